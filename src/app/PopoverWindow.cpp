#include "app/PopoverWindow.h"

#include "platform/InputHold.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

namespace {
constexpr int kGap = 6;
// A hold is refused while another client has the keyboard (the global shortcut's own
// connection has it until the key comes up) and before the window is on screen: it is
// tried again this often, this many times.
constexpr int kHoldRetryMs = 25;
constexpr int kHoldTries = 200;

} // namespace

PopoverWindow::PopoverWindow(QWidget* parent)
    // Not a toolkit popup: one of those takes every event of the application's other
    // windows for itself, so the settings window could not be used beside it, and its
    // grab fails for good when it opens while the shortcut's key is still down. An
    // unmanaged window holds the input itself (see holdInput()).
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::X11BypassWindowManagerHint | Qt::NoDropShadowWindowHint) {
    setObjectName(QStringLiteral("HalcyraPopover"));
    m_holdRetry.setSingleShot(true);
    connect(&m_holdRetry, &QTimer::timeout, this, &PopoverWindow::holdInput);
    // The click that closes the popover goes on by hand (see mouseReleaseEvent).
    setAttribute(Qt::WA_NoMouseReplay);
    QPalette dark = palette();
    dark.setColor(QPalette::Window, QColor(30, 28, 36));
    dark.setColor(QPalette::WindowText, QColor(235, 235, 240));
    setPalette(dark);
    // Rounded corners where the desktop composites; square dark ones where it does not.
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    resize(defaultSize);
}

void PopoverWindow::setContentFactory(std::function<QWidget*()> make) {
    setContent(nullptr);
    m_makeContent = std::move(make);
}

QWidget* PopoverWindow::content() {
    if (!m_content && m_makeContent) setContent(std::exchange(m_makeContent, {})());
    return m_content;
}

void PopoverWindow::setContent(QWidget* content) {
    m_makeContent = {};
    if (m_content) delete m_content.data();
    m_content = content;
    if (content) {
        layout()->addWidget(content);
        resize(content->sizeHint().isValid() ? content->sizeHint().expandedTo(QSize(1, 1))
                                             : defaultSize);
    } else {
        resize(defaultSize);
    }
}

QPoint PopoverWindow::placement(const QRect& anchor, const QSize& size, const QRect& available) {
    int x = anchor.center().x() - size.width() / 2;
    int y = anchor.bottom() + 1 + kGap;
    // An icon in a bottom panel opens the popover upwards.
    if (y + size.height() > available.bottom() + 1 &&
        anchor.top() - kGap - size.height() >= available.top())
        y = anchor.top() - kGap - size.height();
    if (!available.isEmpty()) {
        x = std::clamp(x, available.left(),
                       std::max(available.left(), available.right() + 1 - size.width()));
        y = std::clamp(y, available.top(),
                       std::max(available.top(), available.bottom() + 1 - size.height()));
    }
    return {x, y};
}

void PopoverWindow::showAnchored(const QRect& anchor) {
    content(); // its size is where the popover opens
    const QRect target = anchor.isEmpty() ? QRect(QCursor::pos(), QSize(1, 1)) : anchor;
    QScreen* screen = QGuiApplication::screenAt(target.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect();
    m_anchor = anchor;
    move(placement(target, size(), available));
    show();
    raise();
    activateWindow();
    // Presses in the application's other windows reach them, not the popover: they are
    // watched on their way.
    qApp->installEventFilter(this);
    m_holdTries = 0;
    m_keysLent = false;
    holdInput();
}

void PopoverWindow::holdInput() {
    InputHold& hold = Platform::instance().inputHold();
    if (!isVisible() || !hold.isAvailable()) return;
    if (!m_holdsPointer) m_holdsPointer = hold.holdPointer(winId());
    if (!m_holdsKeys && !m_keysLent) m_holdsKeys = hold.holdKeyboard(winId());
    const bool done = m_holdsPointer && (m_holdsKeys || m_keysLent);
    if (!done && ++m_holdTries < kHoldTries) m_holdRetry.start(kHoldRetryMs);
}

QWidget* PopoverWindow::shownCompanion() const {
    QWidget* window = companion ? companion() : nullptr;
    return window && window->isVisible() && window != this ? window : nullptr;
}

bool PopoverWindow::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    const bool key =
        type == QEvent::KeyPress || type == QEvent::KeyRelease || type == QEvent::ShortcutOverride;
    if ((!key && type != QEvent::MouseButtonPress) || !watched->isWidgetType()) return false;
    QWidget* window = static_cast<QWidget*>(watched)->window();
    if (key) {
        // The toolkit hands a key to the window it believes focused, whichever window the
        // server reported it for: while the popover has the keys, one that reaches
        // another window of ours (one that was shown after it) is the popover's.
        if (window == this || !m_holdsKeys) return false;
        if (type == QEvent::ShortcutOverride) {
            event->accept(); // no shortcut of that window fires; the key press follows
            return true;
        }
        auto* k = static_cast<QKeyEvent*>(event);
        QKeyEvent copy(type, k->key(), k->modifiers(), k->nativeScanCode(), k->nativeVirtualKey(),
                       k->nativeModifiers(), k->text(), k->isAutoRepeat(), k->count());
        QCoreApplication::sendEvent(focusWidget() ? focusWidget() : this, &copy);
        return true;
    }
    if (window == this) {
        if (m_keysLent) { // the keys come back with a press in the popover
            m_keysLent = false;
            m_holdTries = 0;
            holdInput();
        }
        return false;
    }
    const QPoint global = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
    if (window == shownCompanion()) {
        // The keys go to it from now on, as the focused window.
        if (m_holdsKeys) Platform::instance().inputHold().releaseKeyboard();
        m_holdsKeys = false;
        m_keysLent = true;
        if (!window->isActiveWindow()) window->activateWindow();
    } else if (replaysPressAt(global)) {
        // Another window of ours (the tour, say): the popover gives way and the press
        // goes on. The status icon toggles the popover itself.
        close();
    }
    return false;
}

void PopoverWindow::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool PopoverWindow::replaysPressAt(const QPoint& global) const {
    // The click that closes the popover on the status icon must not reopen it; a click
    // anywhere else (one of our own windows, say the tour's button) still acts.
    return !m_anchor.contains(global);
}

void PopoverWindow::mousePressEvent(QMouseEvent* event) {
    if (rect().contains(event->position().toPoint())) {
        QWidget::mousePressEvent(event);
        return;
    }
    // A press in the settings window's frame that reaches the popover (its window
    // manager's part of it): the popover stays.
    if (QWidget* window = shownCompanion();
        window && window->frameGeometry().contains(event->globalPosition().toPoint())) {
        event->accept();
        return;
    }
    // A press outside: the popover closes when the button comes up, and the click goes
    // on to our own window beneath. Closing it at the press would leave the toolkit's
    // idea of the pressed button behind under X11 (that press reaches the window beneath
    // at the popover's coordinates, and the next click there is dropped).
    m_closingClick = true;
    event->accept();
}

void PopoverWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_closingClick) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_closingClick = false;
    const QPointF global = event->globalPosition();
    close();
    if (!replaysPressAt(global.toPoint())) return;
    const QPointer<QWidget> beneath = QApplication::widgetAt(global.toPoint());
    if (!beneath || beneath->window() == this) return;
    const QPointF local = beneath->mapFromGlobal(global);
    const QPointF scene = beneath->window()->mapFromGlobal(global);
    QMouseEvent press(QEvent::MouseButtonPress, local, scene, global, event->button(),
                      event->buttons() | event->button(), event->modifiers());
    QCoreApplication::sendEvent(beneath, &press);
    if (!beneath) return;
    QMouseEvent release(QEvent::MouseButtonRelease, local, scene, global, event->button(),
                        event->buttons(), event->modifiers());
    QCoreApplication::sendEvent(beneath, &release);
}

void PopoverWindow::hideEvent(QHideEvent* event) {
    m_closingClick = false;
    m_holdRetry.stop();
    if (m_holdsPointer || m_holdsKeys) Platform::instance().inputHold().release();
    m_holdsPointer = m_holdsKeys = m_keysLent = false;
    qApp->removeEventFilter(this);
    QWidget::hideEvent(event);
    emit closed();
}

void PopoverWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(255, 255, 255, 30));
    p.setBrush(palette().color(QPalette::Window));
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
}
