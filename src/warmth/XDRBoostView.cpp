#include "warmth/XDRBoostView.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

XDRBoostView::XDRBoostView(const QRect& frame, float gain, float headroom, QWidget* parent)
    : QWidget(parent, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool) {
    setGeometry(frame);
    setAttribute(Qt::WA_OpaquePaintEvent);
    updateGain(gain, headroom);
}

void XDRBoostView::updateGain(float gain, float headroom) {
    (void)headroom;
    m_gain = std::isnan(gain) ? 1.0f : std::clamp(gain, 1.0f, 1.1f);
    update();
}

QColor XDRBoostView::paintedColor() const {
    // Above 1.0 needs an extended-range surface, which X11 does not have.
    const float drawn = std::min(m_gain, 1.0f);
    return QColor::fromRgbF(drawn, drawn, drawn, 1.0f);
}

void XDRBoostView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), paintedColor());
}
