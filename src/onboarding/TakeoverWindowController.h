#pragma once

#include "core/FrameTimer.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

class OverlayWindowController;
class PopoverViewModel;
class SunsetScheduler;

// What the takeover shows right now; the controller publishes, the view follows.
class TakeoverState : public QObject {
    Q_OBJECT
public:
    double temperature() const { return m_temperature; }
    double intensity() const { return m_intensity; }
    void setWarmth(double kelvin, double intensity);
    bool ghostCancelled() const { return m_ghostCancelled; }
    void cancelGhost();
    // A preset tap, a slider drag or release: decides where Esc returns to.
    bool userInteracted = false;

signals:
    void warmthChanged();
    void ghostCancelledChanged();

private:
    double m_temperature = 6500.0;
    double m_intensity = 0.0;
    bool m_ghostCancelled = false;
};

class TakeoverWindowController;

// The takeover's window, built for one showing and dropped after it.
class TakeoverPresenter {
public:
    virtual ~TakeoverPresenter() = default;
    // Shows the window full screen on the main screen, fading in over 0.6 s; false
    // when there is no screen to show it on.
    virtual bool present(TakeoverState& state, int startSlide, bool skipEntrance) = 0;
    virtual void raise() = 0;
    // Fades the window out over `seconds`, closes it, then calls `done`.
    virtual void fadeOut(double seconds, std::function<void()> done) = 0;
    virtual void showConfetti() = 0;
};

// The calls the takeover makes into the rest of the application; each may be empty.
struct TakeoverHooks {
    // A user's pick while a schedule runs pins a manual override.
    std::function<void()> pinScheduleOverride;
    // The keyboard backlight follows an animated intensity.
    std::function<void(double intensity)> harmonyWarmthChanged;
    std::function<void(bool visible)> menuBarSlideVisible;
    std::function<void()> openPopover;
    std::function<void(bool on)> brightnessKeysChanged;
    std::function<void(bool on)> disableDitheringChanged;
    // Registers or unregisters the login item; the state the system reports, absent
    // when it cannot say.
    std::function<std::optional<bool>(bool on)> applyLaunchAtLogin;
    // Whether the desktop shows status icons (so the sun is there to point at), and the
    // shortcut that opens the popover where it does not.
    std::function<bool()> statusAreaPresent;
    std::function<QString()> popoverShortcut;
    // What the system reports of the login item now, absent when it cannot say.
    std::function<std::optional<bool>()> launchAtLoginState;
};

// The first-run takeover: a dark full-screen window whose first slide walks the real
// displays through a six-second warmth sweep and lets the user pick their warmth.
// Animation frames only show a warmth; only a commit stores one. Leaving by the last
// button keeps the last committed warmth; Esc ramps back to the user's own choice or
// to the state found at opening. Main thread only.
class TakeoverWindowController : public QObject {
    Q_OBJECT
public:
    using PresenterFactory =
        std::function<std::unique_ptr<TakeoverPresenter>(TakeoverWindowController&)>;
    using TimerFactory = std::function<std::unique_ptr<FrameTimer>()>;
    // Runs `action` once after `seconds` unless the controller is gone by then.
    using Deferrer = std::function<void(double seconds, std::function<void()> action)>;

    static constexpr double fadeInSeconds = 0.6;
    static constexpr double sweepDelaySeconds = 0.8;
    static constexpr double escFadeSeconds = 0.45;
    static constexpr double finishFadeSeconds = 0.8;
    static constexpr int restoreFrames = 27;
    static constexpr int slideCount = 5;

    TakeoverWindowController(SunsetScheduler& scheduler, PresenterFactory presenters,
                             TimerFactory timers = {}, Deferrer defer = {},
                             QObject* parent = nullptr);
    ~TakeoverWindowController() override;

    TakeoverHooks hooks;

    void show(OverlayWindowController* overlay, PopoverViewModel* viewModel,
              std::function<void()> onFinish, std::function<void()> onEscFallback);

    // ---- From the view ----
    void userChoseWarmth(double kelvin, double intensity);
    void userDragWarmth(double kelvin, double intensity);
    void ghostPreset(double kelvin, double intensity);
    // Any mouse or key input while the takeover is up; true when it was consumed (Esc).
    bool userInput(bool isEscape);
    void finish();
    // The window went away by some other road than Esc or the button.
    void windowClosed();
    // Slide toggles: each writes its setting at once.
    void setBrightnessKeys(bool on);
    void setFlickerFree(bool on);
    void setDisableDithering(bool on);
    // Returns what the switch shows afterwards: the state the system reports.
    bool setLaunchAtLogin(bool on);
    // At appearance: launch at login is switched on when the setting is off; when it is
    // on already, the switch shows what the system reports.
    bool launchAtLoginAtAppearance();

    // ---- Introspection ----
    bool isShown() const { return bool(m_presenter); }
    bool isExiting() const { return m_isExiting; }
    bool sweepRunning() const { return m_sweepTimer && m_sweepTimer->isActive(); }
    bool restoreRunning() const { return m_restoreTimer && m_restoreTimer->isActive(); }
    TakeoverState* state() const { return m_state.get(); }

    // The start slide from "HALCYRA_TAKEOVER_SLIDE" (absent or not a number: 0). A number
    // outside 0–4 is returned as it is: the view shows the last slide for it.
    static int startSlideFromEnvironment(bool* present = nullptr);

private:
    void startWarmthSweep();
    void stopSweep();
    void applyWarmth(double kelvin, double intensity);
    void applyWarmthAnimated(double kelvin, double intensity);
    void exitViaEsc();
    void restorePrior(double kelvin, double intensity, bool enabled);
    void teardown(double fadeSeconds, std::function<void()> completion);
    void exitStepDone();

    struct Prior {
        double temperature = 6500.0;
        double intensity = 0.0;
        bool enabled = false;
    };

    SunsetScheduler& m_scheduler;
    PresenterFactory m_presenters;
    TimerFactory m_timers;
    Deferrer m_defer;
    std::unique_ptr<TakeoverPresenter> m_presenter;
    std::unique_ptr<TakeoverState> m_state;
    std::unique_ptr<FrameTimer> m_sweepTimer;
    std::unique_ptr<FrameTimer> m_restoreTimer;
    QPointer<OverlayWindowController> m_overlay;
    QPointer<PopoverViewModel> m_viewModel;
    Prior m_prior;
    std::function<void()> m_onFinish;
    std::function<void()> m_onEscFallback;
    std::function<void()> m_exitCompletion;
    bool m_isExiting = false;
    bool m_acceptInput = false;
    int m_pendingExitSteps = 0;
    int m_sweepPhase = 0;
    int m_sweepFrame = 0;
    int m_restoreFrame = 0;
    double m_sweepK0 = 0;
    double m_sweepI0 = 0;
};
