#pragma once

#include "brightness/ValueRampEngine.h"
#include "platform/MediaKeyTap.h"

#include <QObject>
#include <QString>
#include <memory>

class QTimer;

// Takes the brightness keys from the session while the tint is on: the native
// backlight is pinned at full (the shared lock), and a key press moves the software
// brightness, or with Shift the warmth, one eased step on the ramps, shown on the
// on-screen display. On X11 there is no Accessibility permission: the keys are
// "granted" when their grabs succeed, and "waiting for permission" means another
// client holds them and the grab is retried on the poll's schedule.
//
// Main thread, except handle(), which the tap calls on its own thread.
class BrightnessKeyInterceptor : public QObject, public MediaKeyTapDelegate {
    Q_OBJECT
public:
    static constexpr int permissionPollMs = 1500;
    static constexpr double permissionPollLimitSeconds = 60.0;
    static constexpr int tapHealthCheckMs = 5000;
    static constexpr int axRecheckMs = 10000;
    static constexpr int revocationStreak = 3;

    // The one instance, created on first use (on the main thread).
    static BrightnessKeyInterceptor& shared();

    // Builds both ramps over the standard settings store. A null `frameTimers`
    // factory gives real 1/60 s timers.
    explicit BrightnessKeyInterceptor(
        std::function<std::unique_ptr<FrameTimer>()> frameTimers = nullptr);
    ~BrightnessKeyInterceptor() override;

    ValueRampEngine& ramp() { return *m_ramp; }
    ValueRampEngine& warmthRamp() { return *m_warmthRamp; }

    // Where both ramps show their value: the on-screen display (null: nowhere). It
    // must outlive its installation.
    void setDisplay(RampReadout* display) { m_display.target = display; }

    void start();
    void stop();
    bool isActive() const { return m_isActive; }

    // The CPU watchdog's grace for a tap recovery (installed by the application).
    std::function<void(double seconds)> noteExpectedBurst;

    // Tap thread: swallows a brightness key while the tint is on and steps a ramp on
    // the main thread.
    bool handle(MediaKey key, std::optional<KeyEvent> event,
                std::optional<ModifierFlags> modifiers) override;

    // Called by any writer about to set "halcyra.temperature" directly (the popover's
    // warmth slider, the schedule's warm announcement), so no running warmth
    // animation overwrites the value it writes.
    static void yieldWarmthToDirectWrite();

    // The ramp and grid a press with `modifiers` moves: (warmth?, fine?).
    static std::pair<bool, bool> stepKind(std::optional<ModifierFlags> modifiers);

    // State, for tests and the health of the timers.
    MediaKeyTap* mediaKeyTap() const { return m_tap.get(); }
    bool pollingForPermission() const { return m_permissionPollTimer != nullptr; }
    bool recheckArmed() const { return m_axRecheckTimer != nullptr; }
    int axFailureStreak() const { return m_axFailureStreak; }
    // The timers' ticks (tests call them directly).
    void permissionPollTick();
    void checkTapHealth();
    void accessibilityRecheckTick();

signals:
    void activeChanged(bool active);

private:
    // Forwards to the display installed later, so the ramps can be built first.
    struct DisplayRelay : RampReadout {
        RampReadout* target = nullptr;
        void updateDisplayed(double f) override {
            if (target) target->updateDisplayed(f);
        }
        void show(double t, double d, OSDMode m) override {
            if (target) target->show(t, d, m);
        }
    };

    bool keysGranted();
    void initializeEventTap();
    void startPermissionPolling();
    void startTapHealthCheck();
    void startAccessibilityRecheck();
    void recoverAfterTapDisabled(uint32_t type);
    void reassertPin();
    void setActive(bool active);

    DisplayRelay m_display;
    std::unique_ptr<ValueRampEngine> m_ramp;
    std::unique_ptr<ValueRampEngine> m_warmthRamp;
    std::unique_ptr<MediaKeyTap> m_tap;
    std::unique_ptr<QTimer> m_permissionPollTimer;
    std::unique_ptr<QTimer> m_tapHealthTimer;
    std::unique_ptr<QTimer> m_axRecheckTimer;
    double m_pollElapsed = 0;
    int m_axFailureStreak = 0;
    bool m_isActive = false;
    // The health check logs a dead tap once, not every 5 s.
    bool m_reportedDeadTap = false;
};
