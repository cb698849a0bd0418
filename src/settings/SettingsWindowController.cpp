#include "settings/SettingsWindowController.h"

#include "popover/PopoverChrome.h"
#include "settings/SettingsView.h"
#include "settings/SettingsViewModel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QLoggingCategory>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

Q_LOGGING_CATEGORY(lcSettingsWindow, "com.halcyra.app.settings-window")

namespace {
qint64 monotonicNs() {
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.nsecsElapsed();
}

Qt::WindowFlags flagsFor(bool inTaskbar) {
    // A tool window stays out of the taskbar; an ordinary one has its entry.
    return (inTaskbar ? Qt::Window : Qt::Tool) | Qt::FramelessWindowHint;
}
} // namespace

SettingsWindowController::SettingsWindowController(std::unique_ptr<SettingsViewModel> viewModel,
                                                   QObject* parent)
    : QObject(parent), m_settingsVM(std::move(viewModel)) {
    m_settingsVM->controllers.applyDockVisibility = [this](bool shown) {
        setShownInTaskbar(shown);
    };
}

SettingsWindowController::~SettingsWindowController() {
    m_settingsVM->closeWindow = nullptr;
    m_settingsVM->controllers.applyDockVisibility = nullptr;
    if (m_window) m_window->removeEventFilter(this);
}

void SettingsWindowController::showSettings(std::optional<SettingsSection> section) {
    m_showStartedNs = monotonicNs();
    if (onWillShow) onWillShow();
    // The window shows what is stored now; copying it in writes nothing back.
    m_settingsVM->isUpdatingFromDefaults = true;
    m_settingsVM->refreshFromPreferences();
    m_settingsVM->isUpdatingFromDefaults = false;

    if (!m_window)
        build();
    else
        m_settingsVM->setWindowVisible(true);
    if (section) m_view->selectSection(*section);
    raiseWindow();
    qCInfo(lcSettingsWindow).noquote()
        << QStringLiteral("Settings window shown — %1")
               .arg(SettingsSections::title(m_view->selectedSection()));
}

void SettingsWindowController::build() {
    m_window = std::make_unique<QWidget>(nullptr, flagsFor(m_inTaskbar));
    QWidget* w = m_window.get();
    w->setObjectName(QStringLiteral("SettingsWindow"));
    w->setWindowTitle(QStringLiteral("Halcyra Settings"));
    w->setAttribute(Qt::WA_DeleteOnClose, false);
    PopoverWindowClearer::prepare(w);
    auto* layout = new QVBoxLayout(w);
    layout->setContentsMargins(0, 0, 0, 0);
    m_view = new SettingsView(*m_settingsVM, w);
    layout->addWidget(m_view);
    w->setFixedSize(SettingsView::viewWidth, SettingsView::viewHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        w->move(area.center() - QPoint(SettingsView::viewWidth / 2, SettingsView::viewHeight / 2));
    }

    // Closing only hides: the window and the section shown survive until next time.
    QPointer<QWidget> weak(w);
    m_settingsVM->closeWindow = [weak] {
        if (weak) weak->close();
    };
    // A window shortcut takes the key before any control of the window sees it.
    auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), w);
    esc->setContext(Qt::WindowShortcut);
    connect(esc, &QShortcut::activated, w, [weak] {
        if (weak && weak->isActiveWindow()) weak->close();
    });
    w->installEventFilter(this);
    m_view->installEventFilter(this);
}

void SettingsWindowController::raiseWindow() {
    QWidget* w = m_window.get();
    w->show();
    w->raise();
    w->activateWindow();
    // Above other windows for half a second so it surfaces over whatever is active,
    // then an ordinary window again.
    if (QWindow* handle = w->windowHandle()) {
        handle->installEventFilter(this);
        handle->setFlag(Qt::WindowStaysOnTopHint, true);
        QTimer::singleShot(500, w, [handle] { handle->setFlag(Qt::WindowStaysOnTopHint, false); });
    }
}

void SettingsWindowController::setShownInTaskbar(bool shown) {
    m_inTaskbar = shown;
    if (!m_window) return;
    const bool visible = m_window->isVisible();
    const QPoint at = m_window->pos();
    m_window->setWindowFlags(flagsFor(shown));
    m_window->move(at);
    if (visible) raiseWindow();
}

void SettingsWindowController::followVisibility() {
    QWidget* w = m_window.get();
    const bool visible = w && w->isVisible() && w->windowHandle() && w->windowHandle()->isExposed();
    // Only a change is assigned.
    if (visible != m_settingsVM->windowVisible()) m_settingsVM->setWindowVisible(visible);
}

bool SettingsWindowController::eventFilter(QObject* watched, QEvent* event) {
    if (m_window && (watched == m_window.get() || watched == m_window->windowHandle())) {
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::Hide:
        case QEvent::Expose:
        case QEvent::WindowStateChange:
            QTimer::singleShot(0, this, &SettingsWindowController::followVisibility);
            break;
        default:
            break;
        }
    } else if (watched == m_view && event->type() == QEvent::Paint && m_showStartedNs >= 0) {
        const qint64 started = m_showStartedNs;
        m_showStartedNs = -1;
        // The frame is on its way once this paint returns.
        QTimer::singleShot(0, this, [this, started] {
            if (onFramePresented) onFramePresented((monotonicNs() - started) / 1'000'000);
        });
    }
    return QObject::eventFilter(watched, event);
}
