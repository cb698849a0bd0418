#pragma once

#include "core/FrameTimer.h"

#include <QString>
#include <functional>
#include <memory>

// The range and key-step grid of one animated setting.
struct RampAxis {
    double lower = 0;         // lowest value; also the origin of the step grid
    double upper = 1;         // highest value
    double normalStep = 0;    // grid spacing of a normal key step
    double fineStep = 0;      // grid spacing of a fine key step
    double keyUpSign = 1;     // multiplies the key direction (+1: the up key raises the value)
    bool barInverted = false; // the display bar shows 1 − fraction

    bool operator==(const RampAxis&) const = default;

    // The grid point nearest to one step beyond `x`, held to the axis.
    double snap(double x, double direction, bool fine) const;
    // Where `v` sits on the display bar, 0 to 1.
    double fraction(double v) const;
    // `v` held to [lower, upper]; not-a-number becomes `lower`.
    double clamp(double v) const;

    static RampAxis brightness();
    static RampAxis warmth();
};

enum class RampEasing { easeOut, sCurve };

// Tells the on-screen display which icons and colours to use.
enum class OSDMode { brightness, warmth };

// Where a ramp shows its value: the on-screen display.
class RampReadout {
public:
    virtual ~RampReadout() = default;
    virtual void updateDisplayed(double fraction) = 0;
    // A key step brings the display up; `displayedFraction` is where the bar starts.
    // `target` is informational.
    virtual void show(double target, double displayedFraction, OSDMode mode) {}
};

// Moves one stored setting to a new value in eased increments, one write per frame,
// so a key press or a preset fades instead of jumping. The ramp only writes the
// setting and announces it; whoever listens re-applies the displays.
class ValueRampEngine {
public:
    struct Hooks {
        std::function<double()> read;          // the stored value
        std::function<void(double)> write;     // store a value and announce it
        std::function<void()> cancelCompeting; // stop the other writer of this setting
        std::function<bool()> isAnimated;      // false makes every move immediate
        std::function<void()> onSettled;       // after every settle; may be empty
        // true when an animated move starts writing every frame, false once it has
        // settled or been cancelled (the store saves such a burst sparingly); may be empty
        std::function<void(bool)> writeBurst;
    };

    static constexpr double stepDuration = 0.25;
    static constexpr double glideDuration = 0.4;

    // `osd` may be null (nothing shows the value) and must outlive the engine.
    // `frameTimer` defaults to a real 1/60 s timer.
    ValueRampEngine(const RampAxis& axis, RampReadout* osd, OSDMode osdMode, Hooks hooks,
                    std::unique_ptr<FrameTimer> frameTimer = nullptr);
    ~ValueRampEngine();
    ValueRampEngine(const ValueRampEngine&) = delete;
    ValueRampEngine& operator=(const ValueRampEngine&) = delete;

    // One key step, direction −1 (down) or +1 (up), on the fine or normal grid.
    void step(double direction, bool fine);
    // Eases to an absolute value, held to the axis.
    void glide(double value);
    // Stops where it is: nothing more is written and the display is not touched.
    void cancel();

    // The running animation timer; null exactly while no animation runs.
    const FrameTimer* timer() const { return m_timerRunning ? m_frameTimer.get() : nullptr; }
    bool rampActive() const { return m_rampActive; }
    // True from glide() until the ramp settles, is cancelled or is stepped by a key:
    // tells the popover that the warmth it sees moving is its own preset glide.
    bool isDiscreteGlide() const { return m_isDiscreteGlide; }

    double target() const { return m_target; }
    double displayed() const { return m_displayed; }
    RampEasing easing() const { return m_easing; }
    const RampAxis& axis() const { return m_axis; }
    OSDMode osdMode() const { return m_osdMode; }

    // Swaps the frame source (tests step a ManualFrameTimer). Cancels a running move.
    void setFrameTimer(std::unique_ptr<FrameTimer> frameTimer);

private:
    void syncIn();
    void retarget(double duration, RampEasing easing);
    void tick();
    void settle(double value);
    void stopTimer();
    void updateReadout(double value);
    void setBurst(bool open);

    RampAxis m_axis;
    RampReadout* m_osd;
    OSDMode m_osdMode;
    Hooks m_hooks;
    std::unique_ptr<FrameTimer> m_frameTimer;

    double m_target = 0;
    double m_displayed = 0;
    bool m_timerRunning = false;
    bool m_burstOpen = false;
    bool m_rampActive = false;
    bool m_isDiscreteGlide = false;
    RampEasing m_easing = RampEasing::easeOut;

    // The animation in flight.
    double m_from = 0;
    double m_to = 0;
    int m_ticks = 1;
    int m_tick = 0;
};
