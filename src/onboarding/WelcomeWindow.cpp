#include "onboarding/WelcomeWindow.h"

#include "onboarding/OnboardingChrome.h"
#include "onboarding/OnboardingWindowGeometry.h"
#include "onboarding/WelcomeView.h"

#include <QCloseEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

WelcomeWindow::WelcomeWindow(WelcomeWindowController& controller)
    : QWidget(nullptr, Qt::Window), m_controller(controller) {
    setWindowTitle(tr("Set up Halcyra"));
    setAttribute(Qt::WA_DeleteOnClose, false);
}

WelcomeWindow::~WelcomeWindow() = default;

void WelcomeWindow::present(WelcomeCallbacks callbacks, bool isPreview,
                            PopoverViewModel* viewModel) {
    const QRectF area = OnboardingWindowGeometry::visibleFrame();
    const double fit = WelcomeWindowController::fitScale(area);
    m_view = new WelcomeView(std::move(callbacks), isPreview, viewModel, fit);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    setFixedSize(m_view->size());
    OnboardingChrome::frame(this, OnboardingChrome::defaultCornerRadius, fit);
    OnboardingChrome::shared().adopt(this);
    if (!area.isEmpty()) move(WelcomeWindowController::origin(QSizeF(size()), area).toPoint());
    setWindowOpacity(0.0);
    // Above every other window while it fades in, then an ordinary window the user can
    // put others over.
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    show();
    QWidget::raise();
    activateWindow();
    m_view->appear();
    animateOpacity(1.0, 0.8, nullptr);
    QTimer::singleShot(int(floatSeconds * 1000), this, [this] {
        // Through the native window: the widget's own flags would unmap and map it again.
        if (QWindow* handle = windowHandle()) handle->setFlag(Qt::WindowStaysOnTopHint, false);
    });
}

void WelcomeWindow::raise() {
    QWidget::raise();
    activateWindow();
}

void WelcomeWindow::fadeOut(double seconds, std::function<void()> done) {
    animateOpacity(0.0, seconds, [this, done = std::move(done)] {
        close();
        if (done) done();
    });
}

void WelcomeWindow::animateOpacity(double to, double seconds, std::function<void()> done) {
    OnboardingWindowGeometry::fade(*this, m_fade, to, seconds, std::move(done));
}

void WelcomeWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (m_closed) return;
    m_closed = true;
    if (m_view) m_view->wow().stop();
    m_controller.windowClosed();
}
