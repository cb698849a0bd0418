#include "popover/GlowFrame.h"

#include <QPainter>
#include <QRadialGradient>
#include <algorithm>

void paintGlow(QPainter& p, const QRectF& box, const GlowFrame& frame, const QColor& warmAccent) {
    // The glow of a 64-point window around the item, drawn into the item's own square:
    // from 3/32 of the reach to its edge, warm to clear.
    const double reach = std::min(box.width(), box.height()) / 2 / 1.15 * frame.scale;
    if (!(reach > 0) || frame.alpha <= 0) return;
    QRadialGradient g(box.center(), reach, box.center());
    QColor inner = warmAccent, mid = warmAccent, outer = warmAccent;
    inner.setAlphaF(0.85f);
    mid.setAlphaF(0.35f);
    outer.setAlphaF(0.0f);
    g.setColorAt(3.0 / 32.0, inner);
    g.setColorAt(0.5 + 1.5 / 32.0, mid);
    g.setColorAt(1.0, outer);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(p.opacity() * frame.opacity * frame.alpha);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(box.center(), reach, reach);
    p.restore();
}
