#include "BrightnessKeyInterceptor.h"
#include "core/NotificationNames.h"

#include "core/NotificationCenter.h"
#include "core/Preferences.h"
#include "core/UserDefaults.h"

BrightnessKeyInterceptor& BrightnessKeyInterceptor::shared() {
    // Never destroyed: a ramp timer must not outlive the event loop it ticks on.
    static BrightnessKeyInterceptor* interceptor = new BrightnessKeyInterceptor();
    return *interceptor;
}

namespace {
void announceChange() {
    NotificationCenter::defaultCenter().post(NotificationName::brightnessKeyChanged);
}
} // namespace

BrightnessKeyInterceptor::BrightnessKeyInterceptor(
    std::function<std::unique_ptr<FrameTimer>()> frameTimers) {
    auto makeTimer = [&]() -> std::unique_ptr<FrameTimer> {
        return frameTimers ? frameTimers() : nullptr;
    };

    // The ambient light adaptation is the other writer of both settings; once it
    // exists, cancelCompeting drops its pending transition for the axis and bumps
    // that axis's lease before the ramp's first write.
    ValueRampEngine::Hooks brightness;
    brightness.read = [] { return Preferences::shared().brightness(); };
    brightness.write = [](double v) {
        UserDefaults::standard().setDouble(PrefKey::brightness, v);
        announceChange();
    };
    brightness.cancelCompeting = [] {};
    brightness.isAnimated = [] { return true; };
    m_ramp = std::make_unique<ValueRampEngine>(RampAxis::brightness(), nullptr, OSDMode::brightness,
                                               std::move(brightness), makeTimer());

    ValueRampEngine::Hooks warmth;
    warmth.read = [] { return Preferences::shared().temperature(); };
    warmth.write = [](double v) {
        UserDefaults::standard().setDouble(PrefKey::temperature, v);
        announceChange();
    };
    warmth.cancelCompeting = [] {};
    warmth.isAnimated = [] { return Preferences::shared().smoothTransitions(); };
    warmth.onSettled = [] {
        NotificationCenter::defaultCenter().post(NotificationName::warmthRampSettled);
    };
    m_warmthRamp = std::make_unique<ValueRampEngine>(RampAxis::warmth(), nullptr, OSDMode::warmth,
                                                     std::move(warmth), makeTimer());
}

BrightnessKeyInterceptor::~BrightnessKeyInterceptor() = default;

void BrightnessKeyInterceptor::yieldWarmthToDirectWrite() {
    shared().warmthRamp().cancel();
    // The ambient light adaptation's pending warmth transition is dropped here too
    // (and its temperature lease bumped) once that controller exists.
}
