#pragma once

#include "core/Clock.h"
#include "core/NotificationNames.h"
#include "warmth/EDRDisplayGuardState.h"
#include "warmth/TouchBrightnessRouter.h"

#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class DisplayGamma;
class FrameTimer;

// Calls into components that are built later (capture guard, Night Shift and True
// Tone, keyboard backlight). Each is optional; an empty one means the component is
// absent and the step does nothing. The application installs them once.
struct OverlayHooks {
    // Screen-capture monitor (started by every push while on, stopped by the cleanup).
    std::function<void()> startCaptureMonitor;
    std::function<void()> stopCaptureMonitor;
    // Night Shift and True Tone; each hook checks its own client is present.
    std::function<void()> disableNightShift;
    std::function<void()> restoreNightShift;
    std::function<void()> suppressTrueTone;
    std::function<void()> restoreTrueTone;
    // Plain keyboard sync: write this level when the keyboard backlight is available
    // (the tint's brightness while on, full when the tint goes off).
    std::function<void(float level)> writeKeyboardBrightness;
    // Keyboard harmony: follow a new intensity (engaging harmony when not engaged).
    std::function<void(double intensity)> harmonyIntensityChanged;
    // Keyboard harmony: follow a pushed intensity only when already engaged.
    std::function<void(double intensity)> harmonyWarmthChangedIfEngaged;
    std::function<void()> disengageHarmonyRestoringBaseline;
};

// The display warmth engine: turns a kelvin, an intensity and a brightness into
// gamma tables on every online display, keeps the tables right across
// reconfiguration, wake, screen capture and raised EDR headroom, and pins the
// built-in panel's backlight while gamma does the dimming. One instance lives for
// the whole process; everything runs on the main thread.
class OverlayWindowController : public QObject {
    Q_OBJECT
public:
    static constexpr int maxDisplays = 16;
    static constexpr int tableSize = 256;
    static constexpr double edrWatchdogInterval = 0.4;
    static constexpr double brightnessPinInterval = 0.5;
    static constexpr double onboardingBackstopSeconds = 600.0;
    static constexpr std::array<double, 3> gammaVerifyBackoffs = {0.5, 1.0, 2.0};
    // The dimmest factor that reaches the tables: no path may black out every screen.
    static constexpr double minimumBrightness = 0.1;

    using TimerFactory = std::function<std::unique_ptr<FrameTimer>()>;

    // `timers` makes the engine's timers (default: timers on the main event loop).
    explicit OverlayWindowController(Clock& clock = Clock::system(), TimerFactory timers = {},
                                     QObject* parent = nullptr);
    // Restores the displays' own tables.
    ~OverlayWindowController() override;

    void setHooks(OverlayHooks hooks) { m_hooks = std::move(hooks); }
    // Each subsystem fills in its own hooks.
    OverlayHooks& hooks() { return m_hooks; }

    // A warmth that a full re-application shows instead of the stored temperature and
    // intensity (intensity on the 0..4 scale); absent means the stored values. The
    // schedule answers it while it governs the tint.
    struct ReapplicationWarmth {
        double kelvin;
        double intensity;
    };
    using ReapplicationWarmthProvider = std::function<std::optional<ReapplicationWarmth>()>;
    void setReapplicationWarmthProvider(ReapplicationWarmthProvider provider) {
        m_reapplicationWarmth = std::move(provider);
    }

    // ---- Table writer ----
    // Pushes warm tables to every online display the EDR guard does not hold.
    void applyGamma(double kelvin, double intensity, double brightness);
    void resetGammaToIdentity(DisplayId display);
    // Refreshes the cached display list now.
    void cacheDisplayList();
    // Display reconfiguration: drops the cache and re-applies when on.
    void screenParametersChanged();
    void suspendGammaForCapture();
    void resumeGammaAfterCapture();
    // True when the main display's tables are brighter than the last push, false
    // when not, absent when no judgement is possible.
    std::optional<bool> gammaReadBackClobbered();
    // Read-back checks after wake or reconfiguration, re-pushing a clobbered table
    // with growing back-offs.
    void verifyGammaAfterWake(int attempt = 0);
    static bool gammaTraceEnabled();
    void traceGammaReset(const QString& caller);

    // ---- Re-application ----
    // Makes every display match the stored settings.
    void updateOverlays();
    // Undoes everything the tint does (run once on the on-to-off edge).
    void performDisableCleanup();
    // Pushes a warmth other than the stored one at the stored brightness.
    void updateColor(double kelvin, double intensity);
    void beginWowSweep();
    void endWowSweep();
    void beginOnboardingSession();
    void endOnboardingSession();
    EDRReadings currentEDRHeadroomsByDisplay();

    // ---- EDR guard ----
    void startEDRWatchdog();
    void edrWatchdogTick();
    void suspendGammaForEDR(DisplayId display);

    // ---- Brightness pin ----
    void lockBrightnessToMax();
    void releaseBrightnessPin();
    void startBrightnessPinMonitor();
    // One 0.5 s pass of the pin monitor.
    void brightnessPinMonitorTick();
    void routeToGammaDimming(float level);
    // After wake and reconfiguration, in flicker-free mode: set the backlight to full
    // again and check it once 0.2 s later.
    void forceBrightnessLock();

    // ---- State ----
    std::optional<std::array<float, 3>> lastPushedTableMax() const { return m_lastPushedTableMax; }
    const std::optional<std::vector<DisplayId>>& cachedDisplays() const { return m_cachedDisplays; }
    bool gammaSuspendedForCapture() const { return m_gammaSuspendedForCapture; }
    // The application reseeds it on wake.
    EDRDisplayGuardState& edrGuard() { return m_edrGuard; }
    const TouchBrightnessRouter& brightnessRouter() const { return m_brightnessRouter; }
    bool updaterUIActive() const { return m_updaterUIActive; }
    void setUpdaterUIActive(bool active) { m_updaterUIActive = active; }
    bool wowSweepActive() const { return m_wowSweepActive; }
    bool onboardingActive() const { return m_onboardingActive; }
    bool edrWatchdogRunning() const;
    bool brightnessPinMonitorRunning() const;
    bool gammaVerifyPending() const;

private:
    DisplayGamma& gamma() const;
    std::unique_ptr<FrameTimer> makeTimer();
    // Gives every display its own tables back and forgets the pushed tint.
    void resetToSystemTables();
    void stopEDRWatchdog();
    void stopBrightnessPinMonitor();
    // Runs `task` on the main loop after the current call returns.
    void runSoon(std::function<void()> task);
    bool builtinDisplayHeld();
    // A built-in panel with a backlight is among the displays we tint.
    bool builtinPanelOnline();

    Clock& m_clock;
    TimerFactory m_timerFactory;
    OverlayHooks m_hooks;
    ReapplicationWarmthProvider m_reapplicationWarmth;

    bool m_lastKnownEnabled = true;
    std::optional<bool> m_lastTrueToneRequest;
    bool m_nightShiftSuppressRequested = false;
    std::optional<double> m_lastKeyboardSyncBrightness;
    std::optional<double> m_lastHarmonyIntensity;
    std::unique_ptr<FrameTimer> m_brightnessPinTimer;
    TouchBrightnessRouter m_brightnessRouter;
    std::unique_ptr<FrameTimer> m_edrWatchdogTimer;
    EDRDisplayGuardState m_edrGuard;
    bool m_wowSweepActive = false;
    bool m_updaterUIActive = false;
    bool m_onboardingActive = false;
    std::unique_ptr<FrameTimer> m_onboardingBackstopTimer;
    bool m_gammaSuspendedForCapture = false;
    bool m_captureMonitorStarted = false;
    std::optional<std::vector<DisplayId>> m_cachedDisplays;
    std::optional<std::array<float, 3>> m_lastPushedTableMax;
    // The tables of the last push, rebuilt only when their maxima change: a ramp or
    // sweep pushes about 60 times a second.
    std::optional<std::array<float, 3>> m_builtTableMax;
    std::vector<float> m_red, m_green, m_blue;
    std::unique_ptr<FrameTimer> m_gammaVerifyTimer;
    std::unique_ptr<FrameTimer> m_forceLockCheckTimer;
};
