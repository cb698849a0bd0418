#pragma once

#include "brightness/ValueRampEngine.h"
#include "core/NotificationNames.h"

#include <QString>
#include <memory>

// Owner of the two value ramps: brightness (`ramp`) and warmth (`warmthRamp`).
//
// Only the ramps and the warmth hand-over live here for now; taking over the
// brightness keys (the key tap, the Accessibility permission, the backlight pin)
// and the on-screen display arrive with the key interception itself.
class BrightnessKeyInterceptor {
public:

    // The one instance, created on first use.
    static BrightnessKeyInterceptor& shared();

    // Builds both ramps over the standard settings store. A null `frameTimers`
    // factory gives real 1/60 s timers.
    explicit BrightnessKeyInterceptor(
        std::function<std::unique_ptr<FrameTimer>()> frameTimers = nullptr);
    ~BrightnessKeyInterceptor();

    ValueRampEngine& ramp() { return *m_ramp; }
    ValueRampEngine& warmthRamp() { return *m_warmthRamp; }

    // Called by any writer about to set "halcyra.temperature" directly (the popover's
    // warmth slider, the schedule's warm announcement), so no running warmth
    // animation overwrites the value it writes.
    static void yieldWarmthToDirectWrite();

private:
    std::unique_ptr<ValueRampEngine> m_ramp;
    std::unique_ptr<ValueRampEngine> m_warmthRamp;
};
