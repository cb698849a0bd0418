#include "app/PopoverWindow.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

namespace {
constexpr int kGap = 6;

} // namespace

PopoverWindow::PopoverWindow(QWidget* parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint) {
    setObjectName(QStringLiteral("HalcyraPopover"));
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

void PopoverWindow::setContent(QWidget* content) {
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
    const QRect target = anchor.isEmpty() ? QRect(QCursor::pos(), QSize(1, 1)) : anchor;
    QScreen* screen = QGuiApplication::screenAt(target.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect();
    m_anchor = anchor;
    move(placement(target, size(), available));
    show();
    raise();
    activateWindow();
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
