#include "popover/PopoverGlyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QtMath>
#include <algorithm>

namespace {

QRectF square(const QRectF& box) {
    const qreal s = std::min(box.width(), box.height());
    return QRectF(box.center().x() - s / 2, box.center().y() - s / 2, s, s);
}

QPainterPath stroked(const QPainterPath& line, qreal width) {
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(line);
}

void fill(QPainter& p, const QPainterPath& shape, const QColor& colour) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.fillPath(shape.simplified(), colour);
    p.restore();
}

} // namespace

namespace PopoverGlyphs {

void checkmarkCircleFill(QPainter& p, const QRectF& box, const QColor& colour) {
    const QRectF s = square(box);
    const qreal u = s.width();
    QPainterPath disc;
    disc.addEllipse(s.adjusted(u * 0.04, u * 0.04, -u * 0.04, -u * 0.04));
    QPainterPath tick;
    tick.moveTo(s.left() + u * 0.29, s.top() + u * 0.52);
    tick.lineTo(s.left() + u * 0.44, s.top() + u * 0.67);
    tick.lineTo(s.left() + u * 0.71, s.top() + u * 0.36);
    fill(p, disc.subtracted(stroked(tick, u * 0.11)), colour);
}

void arrowUpCircleFill(QPainter& p, const QRectF& box, const QColor& colour) {
    const QRectF s = square(box);
    const qreal u = s.width();
    QPainterPath disc;
    disc.addEllipse(s.adjusted(u * 0.04, u * 0.04, -u * 0.04, -u * 0.04));
    QPainterPath arrow;
    const qreal cx = s.center().x();
    arrow.moveTo(cx, s.top() + u * 0.74);
    arrow.lineTo(cx, s.top() + u * 0.28);
    arrow.moveTo(s.left() + u * 0.31, s.top() + u * 0.46);
    arrow.lineTo(cx, s.top() + u * 0.27);
    arrow.lineTo(s.right() - u * 0.31, s.top() + u * 0.46);
    fill(p, disc.subtracted(stroked(arrow, u * 0.1)), colour);
}

void gear(QPainter& p, const QRectF& box, const QColor& colour) {
    const QRectF s = square(box);
    const QPointF c = s.center();
    const qreal outer = s.width() * 0.48, inner = s.width() * 0.37;
    const int teeth = 8;
    QPainterPath body;
    // Each tooth is a flat-topped bump; the flank points sit a little inside the
    // tooth's angular width so the teeth taper the way machined ones do.
    for (int i = 0; i < teeth; ++i) {
        const qreal a0 = (2 * M_PI * i) / teeth;
        const qreal half = M_PI / teeth;
        const qreal pts[4][2] = {{a0 - half * 0.55, inner},
                                 {a0 - half * 0.35, outer},
                                 {a0 + half * 0.35, outer},
                                 {a0 + half * 0.55, inner}};
        for (int k = 0; k < 4; ++k) {
            const QPointF pt(c.x() + std::cos(pts[k][0]) * pts[k][1],
                             c.y() + std::sin(pts[k][0]) * pts[k][1]);
            if (i == 0 && k == 0)
                body.moveTo(pt);
            else
                body.lineTo(pt);
        }
        // The rim between two teeth follows the inner circle.
        const qreal b0 = a0 + half * 0.55, b1 = a0 + 2 * half - half * 0.55;
        for (int k = 1; k <= 3; ++k) {
            const qreal a = b0 + (b1 - b0) * k / 4.0;
            body.lineTo(c.x() + std::cos(a) * inner, c.y() + std::sin(a) * inner);
        }
    }
    body.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(c, s.width() * 0.16, s.width() * 0.16);
    // A solid wheel with one round hole: the form that still reads at menu sizes.
    fill(p, body.subtracted(hole), colour);
}

void exclamationTriangleFill(QPainter& p, const QRectF& box, const QColor& colour) {
    const QRectF s = square(box);
    const qreal u = s.width();
    QPainterPath tri;
    tri.moveTo(s.center().x(), s.top() + u * 0.08);
    tri.lineTo(s.right() - u * 0.04, s.bottom() - u * 0.1);
    tri.lineTo(s.left() + u * 0.04, s.bottom() - u * 0.1);
    tri.closeSubpath();
    const QPainterPath rounded = tri.united(stroked(tri, u * 0.08));
    QPainterPath mark;
    mark.moveTo(s.center().x(), s.top() + u * 0.36);
    mark.lineTo(s.center().x(), s.top() + u * 0.6);
    QPainterPath dot;
    dot.addEllipse(QPointF(s.center().x(), s.top() + u * 0.75), u * 0.06, u * 0.06);
    fill(p, rounded.subtracted(stroked(mark, u * 0.11)).subtracted(dot), colour);
}

void lightRecessed(QPainter& p, const QRectF& box, const QColor& colour) {
    const QRectF s = square(box);
    const qreal u = s.width();
    QPainterPath lines;
    // The ceiling, the recessed dome under it and three rays of light below.
    lines.moveTo(s.left() + u * 0.08, s.top() + u * 0.2);
    lines.lineTo(s.right() - u * 0.08, s.top() + u * 0.2);
    QPainterPath dome;
    dome.moveTo(s.left() + u * 0.24, s.top() + u * 0.2);
    dome.arcTo(QRectF(s.left() + u * 0.24, s.top() - u * 0.08, u * 0.52, u * 0.56), 180, 180);
    dome.closeSubpath();
    lines.moveTo(s.center().x(), s.top() + u * 0.68);
    lines.lineTo(s.center().x(), s.top() + u * 0.9);
    lines.moveTo(s.left() + u * 0.22, s.top() + u * 0.6);
    lines.lineTo(s.left() + u * 0.1, s.top() + u * 0.78);
    lines.moveTo(s.right() - u * 0.22, s.top() + u * 0.6);
    lines.lineTo(s.right() - u * 0.1, s.top() + u * 0.78);
    fill(p, stroked(lines, u * 0.09).united(dome), colour);
}

} // namespace PopoverGlyphs
