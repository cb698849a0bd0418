#include "onboarding/OnboardingChrome.h"

#include "popover/GlassPainter.h"
#include "popover/PopoverChrome.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainterPath>
#include <QRegion>
#include <QWidget>
#include <QWindow>
#include <cmath>

namespace {
const char* radiusProperty = "halcyraCornerRadius";

// Moves a frameless window by its background and closes it on Esc. Presses reach the
// window only where no control of the card took them.
class WindowHandling final : public QObject {
public:
    explicit WindowHandling(QWidget* window) : QObject(window), m_window(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != m_window) return false;
        switch (event->type()) {
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape) return false;
            m_window->close();
            return true;
        case QEvent::MouseButtonPress: {
            auto* e = static_cast<QMouseEvent*>(event);
            if (e->button() != Qt::LeftButton) return false;
            QWindow* handle = m_window->windowHandle();
            // The window manager moves the window where it can; without one, by hand.
            m_dragging = !(handle && handle->startSystemMove());
            m_grab = e->globalPosition().toPoint() - m_window->pos();
            return true;
        }
        case QEvent::MouseMove:
            if (!m_dragging) return false;
            m_window->move(static_cast<QMouseEvent*>(event)->globalPosition().toPoint() - m_grab);
            return true;
        case QEvent::MouseButtonRelease:
            m_dragging = false;
            return false;
        default:
            return false;
        }
    }

private:
    QWidget* m_window;
    bool m_dragging = false;
    QPoint m_grab;
};
} // namespace

OnboardingChrome& OnboardingChrome::shared() {
    static OnboardingChrome chrome;
    return chrome;
}

void OnboardingChrome::adopt(const QWidget* window) {
    if (!window) return;
    const QVariant drawn = window->property(radiusProperty);
    if (!drawn.isValid()) return;
    const double r = drawn.toDouble();
    if (!(r > 0)) return;
    if (std::abs(r - m_cornerRadius) <= 0.5) return;
    m_cornerRadius = r;
    emit cornerRadiusChanged(r);
}

void OnboardingChrome::frame(QWidget* window, double radius, double scale) {
    if (!window) return;
    window->setWindowFlags((window->windowFlags() & ~Qt::WindowType_Mask) | Qt::Window |
                           Qt::FramelessWindowHint);
    window->setProperty(radiusProperty, radius);
    if (PopoverWindowClearer::prepare(window) == GlassPainter::Backdrop::opaque) {
        const QPainterPath outline = GlassPainter::continuousRoundedRect(
            QRectF(QPointF(0, 0), window->size()), radius * scale);
        window->setMask(QRegion(outline.toFillPolygon().toPolygon()));
    }
    window->installEventFilter(new WindowHandling(window));
}
