#pragma once

#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QSizeF>
#include <functional>
#include <memory>

class OverlayWindowController;
class PopoverViewModel;
class SunsetScheduler;

// What the tour's view may ask of the application; each may be empty.
struct WelcomeCallbacks {
    std::function<void()> dismiss;
    std::function<void()> ensurePopoverOpen;
    std::function<void(int libraryIndex)> applyPresetIndex;
    std::function<void(double kelvin, double intensity)> presetTapped;
    std::function<void(double kelvin, double intensity, bool enabled)> warmthUpdate;
    std::function<void()> sweepBegin;
    std::function<void()> sweepEnd;
    // The flicker slide's switches and its apply-on-appear step.
    std::function<void(bool on)> flickerFreeChanged;
    std::function<void(bool on)> brightnessKeysChanged;
    std::function<void(bool flickerFree, bool brightnessKeys)> flickerSlideAppeared;
    // The card came on screen (a first run turns flicker-free and launch at login on).
    std::function<void()> cardAppeared;
    // 0.9 s after the last button.
    std::function<void()> openSurvey;
};

// The tour's window, built for one opening.
class WelcomePresenter {
public:
    virtual ~WelcomePresenter() = default;
    // Shows the 960 × 620 card scaled by `fitScale`, fading in over 0.8 s.
    virtual void present(WelcomeCallbacks callbacks, bool isPreview,
                         PopoverViewModel* viewModel) = 0;
    virtual void raise() = 0;
    // Fades out over `seconds`, then closes (which reports windowClosed()).
    virtual void fadeOut(double seconds, std::function<void()> done) = 0;
};

// The calls the tour makes into the rest of the application; each may be empty.
struct WelcomeHooks {
    std::function<void()> pinScheduleOverride;
    std::function<void(double intensity)> harmonyWarmthChanged;
    // Key and sensor glides stop, so none writes over the restored values.
    std::function<void()> cancelWarmthGlides;
    // The room-light adaptation starts again from the user's own restored values, not
    // from a warmth the tour showed.
    std::function<void(double temperature, double brightness)> restoreAmbientBaselines;
    std::function<void()> startKeyInterceptor;
    std::function<void()> stopKeyInterceptor;
    // Registers the login item when the setting is off.
    std::function<void()> ensureLaunchAtLogin;
    std::function<void()> openSurvey;
};

// The welcome tour: a floating 960 × 620 window in which every warmth change is
// transient. The user's own warmth is saved on disk when the window opens and put
// back when it closes, unless a first-run tour commits the user's pick. The schedule
// is paused and the gamma engine runs an onboarding session while it is open.
class WelcomeWindowController : public QObject {
    Q_OBJECT
public:
    using PresenterFactory =
        std::function<std::unique_ptr<WelcomePresenter>(WelcomeWindowController&)>;
    static constexpr double designWidth = 960;
    static constexpr double designHeight = 620;
    static constexpr double dismissFadeSeconds = 1.0;

    WelcomeWindowController(SunsetScheduler& scheduler, PresenterFactory presenters,
                            QObject* parent = nullptr);
    ~WelcomeWindowController() override;

    WelcomeHooks hooks;

    void showWelcomeWindow(OverlayWindowController* overlay, PopoverViewModel* viewModel,
                           std::function<void(int)> applyPresetIndex,
                           std::function<void()> ensurePopoverOpen, bool isPreview,
                           std::function<void()> onDismiss);
    // The window is closing, by its close button or after the dismiss fade.
    void windowClosed();

    bool isOpen() const { return bool(m_presenter); }
    bool isPreview() const { return m_isPreview; }
    // The callbacks handed to the view (tests drive them directly).
    const WelcomeCallbacks& callbacks() const { return m_callbacks; }

    // min(1, visible width / 960, visible height / 620); 1 for an empty frame.
    static double fitScale(const QRectF& visibleFrame);
    // The window's origin in a frame (y grows downwards here): centred where it fits,
    // else on the frame's top-left corner.
    static QPointF origin(const QSizeF& size, const QRectF& frame);

private:
    void buildCallbacks(std::function<void(int)> applyPresetIndex,
                        std::function<void()> ensurePopoverOpen, std::function<void()> onDismiss);
    void writeWarmth(double kelvin, double intensity, bool enabled);
    void finishTransientWarmthFlow();

    SunsetScheduler& m_scheduler;
    PresenterFactory m_presenters;
    std::unique_ptr<WelcomePresenter> m_presenter;
    QPointer<OverlayWindowController> m_overlay;
    QPointer<PopoverViewModel> m_viewModel;
    WelcomeCallbacks m_callbacks;
    bool m_isPreview = false;
    bool m_dismissing = false;
};
