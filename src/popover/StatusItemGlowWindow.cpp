#include "popover/StatusItemGlowWindow.h"

#include "popover/PopoverChrome.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

StatusItemGlowWindow::StatusItemGlowWindow(QPoint centre)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus |
                           Qt::X11BypassWindowManagerHint | Qt::NoDropShadowWindowHint) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_DeleteOnClose, false);
    PopoverWindowClearer::prepare(this);
    setFixedSize(side, side);
    move(centre - QPoint(side / 2, side / 2));
}

void StatusItemGlowWindow::setFrame(const GlowFrame& frame) {
    if (frame == m_frame) return;
    m_frame = frame;
    update();
}

void StatusItemGlowWindow::showAbove() {
    if (PopoverWindowClearer::backdropOf(this) == GlassPainter::Backdrop::opaque) {
        QScreen* screen = QGuiApplication::screenAt(geometry().center());
        if (screen) {
            const QPoint at = geometry().topLeft() - screen->geometry().topLeft();
            m_beneath = screen->grabWindow(0, at.x(), at.y(), side, side).toImage();
        }
    }
    show();
    raise();
}

void StatusItemGlowWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!m_beneath.isNull()) p.drawImage(rect(), m_beneath);
    paintGlow(p, QRectF(rect()), m_frame, GlowFrame::warmAccent());
}
