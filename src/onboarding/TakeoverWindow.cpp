#include "onboarding/TakeoverWindow.h"

#include "core/Preferences.h"
#include "onboarding/OnboardingWindowGeometry.h"
#include "onboarding/TakeoverView.h"
#include "popover/PopoverChrome.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

TakeoverWindow::TakeoverWindow(TakeoverWindowController& controller)
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool),
      m_controller(controller) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(QStringLiteral("Halcyra"));
    setMouseTracking(true);
}

TakeoverWindow::~TakeoverWindow() {
    qApp->removeEventFilter(this);
}

bool TakeoverWindow::present(TakeoverState& state, int startSlide, bool skipEntrance) {
    QScreen* screen = OnboardingWindowGeometry::mainScreen();
    if (!screen) return false;

    const Preferences& prefs = Preferences::shared();
    TakeoverView::Toggles toggles;
    toggles.brightnessKeys = prefs.brightnessKeyInterception();
    toggles.flickerFree = prefs.flickerFree();
    toggles.disableDithering = prefs.disableDithering();
    toggles.launchAtLogin = true;

    QPointer<TakeoverWindowController> c(&m_controller);
    TakeoverView::Actions a;
    a.presetTapped = [c](double k, double i) {
        if (c) c->userChoseWarmth(k, i);
    };
    a.sliderChanged = [c](double k) {
        if (c) c->userDragWarmth(k, 4.0);
    };
    a.sliderCommitted = [c](double k) {
        if (c) c->userChoseWarmth(k, 4.0);
    };
    a.ghostPreset = [c](double k, double i) {
        if (c) c->ghostPreset(k, i);
    };
    // Holds the hook, not the controller, as a click on the icon would.
    a.openPopover = m_controller.hooks.openPopover;
    a.menuBarSlideVisible = [c](bool on) {
        if (c && c->hooks.menuBarSlideVisible) c->hooks.menuBarSlideVisible(on);
    };
    a.finalSlideAppear = [this] { showConfetti(); };
    a.finish = [c] {
        if (c) c->finish();
    };
    a.brightnessKeysChanged = [c](bool on) {
        if (c) c->setBrightnessKeys(on);
    };
    a.flickerFreeChanged = [c](bool on) {
        if (c) c->setFlickerFree(on);
    };
    a.disableDitheringChanged = [c](bool on) {
        if (c) c->setDisableDithering(on);
    };
    a.launchAtLoginChanged = [c](bool on) { return c ? c->setLaunchAtLogin(on) : on; };
    a.launchAtLoginAtAppearance = [c] { return c ? c->launchAtLoginAtAppearance() : true; };

    m_view = new TakeoverView(state, std::move(a), toggles, startSlide, skipEntrance);
    const TakeoverHooks& hooks = m_controller.hooks;
    if (hooks.statusAreaPresent && !hooks.statusAreaPresent()) {
        const QString shortcut = hooks.popoverShortcut ? hooks.popoverShortcut() : QString();
        m_view->setNoStatusArea(shortcut.isEmpty() ? QStringLiteral("Shift+Super+S") : shortcut);
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);

    // Clear where a compositor runs (the desktop under a dimmer and a vignette), painted
    // where none does; decided before the window first shows.
    PopoverWindowClearer::prepare(this);
    setScreen(screen);
    setGeometry(screen->geometry());
    setWindowOpacity(0.0);
    showFullScreen();
    QWidget::raise();
    activateWindow();
    m_view->setFocus();
    qApp->installEventFilter(this);
    m_view->appear();
    animateOpacity(1.0, TakeoverWindowController::fadeInSeconds, nullptr);
    return true;
}

void TakeoverWindow::raise() {
    QWidget::raise();
    activateWindow();
}

void TakeoverWindow::fadeOut(double seconds, std::function<void()> done) {
    qApp->removeEventFilter(this);
    animateOpacity(0.0, seconds, [this, done = std::move(done)] {
        m_closingOurselves = true;
        close();
        if (done) done();
    });
}

void TakeoverWindow::showConfetti() {
    if (m_view) m_view->startConfetti();
}

void TakeoverWindow::animateOpacity(double to, double seconds, std::function<void()> done) {
    OnboardingWindowGeometry::fade(*this, m_fade, to, seconds, std::move(done));
}

bool TakeoverWindow::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress: {
        // A key reaches the filter once per receiving object; count it once, at the native
        // window it came to. A key in another of the application's windows counts too: an
        // Esc in the popover the menu-bar slide opened closes the popover and leaves the
        // takeover in the same press.
        if (!watched->isWindowType()) break;
        const bool esc = static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape;
        const bool ours = static_cast<QWindow*>(watched) == windowHandle();
        if (m_controller.userInput(esc) && ours) return true;
        break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::Wheel:
        m_controller.userInput(false);
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void TakeoverWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (m_closingOurselves) return;
    // Closed by the window manager: the takeover ends as if finished.
    QPointer<TakeoverWindowController> c(&m_controller);
    QMetaObject::invokeMethod(
        qApp,
        [c] {
            if (c) c->windowClosed();
        },
        Qt::QueuedConnection);
}
