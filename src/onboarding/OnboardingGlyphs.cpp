#include "onboarding/OnboardingGlyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>
#include <algorithm>

namespace OnboardingGlyphs {

void paint(QPainter& p, Glyph glyph, const QRectF& box, const QColor& colour) {
    const double s = std::min(box.width(), box.height());
    const QRectF r(box.center().x() - s / 2, box.center().y() - s / 2, s, s);
    const QPointF c = r.center();
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(colour, std::max(1.0, s * 0.1), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    switch (glyph) {
    case Sun: {
        p.drawEllipse(c, s * 0.22, s * 0.22);
        p.setPen(pen);
        for (int i = 0; i < 8; ++i) {
            const double a = i * M_PI / 4;
            p.drawLine(c + QPointF(std::cos(a), std::sin(a)) * s * 0.33,
                       c + QPointF(std::cos(a), std::sin(a)) * s * 0.47);
        }
        break;
    }
    case Keyboard: {
        QPainterPath body;
        body.addRoundedRect(r.adjusted(0, s * 0.2, 0, -s * 0.2), s * 0.1, s * 0.1);
        p.drawPath(body);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(0, 0, 0, 150), s * 0.08));
        for (int row = 0; row < 2; ++row)
            for (int col = 0; col < 4; ++col)
                p.drawPoint(
                    QPointF(r.left() + s * (0.2 + 0.2 * col), r.top() + s * (0.4 + 0.18 * row)));
        break;
    }
    case Eye: {
        QPainterPath eye;
        eye.moveTo(r.left(), c.y());
        eye.quadTo(c.x(), r.top() + s * 0.05, r.right(), c.y());
        eye.quadTo(c.x(), r.bottom() - s * 0.05, r.left(), c.y());
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawPath(eye);
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawEllipse(c, s * 0.15, s * 0.15);
        break;
    }
    case Grid: {
        const double cell = s / 3.4;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                p.drawRect(QRectF(r.left() + i * cell * 1.2, r.top() + j * cell * 1.2, cell, cell));
        break;
    }
    case Power: {
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawArc(r.adjusted(s * 0.1, s * 0.12, -s * 0.1, -s * 0.08), 120 * 16, 300 * 16);
        p.drawLine(QPointF(c.x(), r.top()), QPointF(c.x(), c.y()));
        break;
    }
    case ArrowUp: {
        p.setPen(pen);
        p.drawLine(QPointF(c.x(), r.bottom()), QPointF(c.x(), r.top() + s * 0.1));
        p.drawLine(QPointF(c.x(), r.top() + s * 0.1),
                   QPointF(c.x() - s * 0.35, r.top() + s * 0.45));
        p.drawLine(QPointF(c.x(), r.top() + s * 0.1),
                   QPointF(c.x() + s * 0.35, r.top() + s * 0.45));
        break;
    }
    case ArrowRight: {
        p.setPen(pen);
        p.drawLine(QPointF(r.left(), c.y()), QPointF(r.right() - s * 0.1, c.y()));
        p.drawLine(QPointF(r.right() - s * 0.1, c.y()),
                   QPointF(r.right() - s * 0.45, c.y() - s * 0.35));
        p.drawLine(QPointF(r.right() - s * 0.1, c.y()),
                   QPointF(r.right() - s * 0.45, c.y() + s * 0.35));
        break;
    }
    case LockShield: {
        QPainterPath shield;
        shield.moveTo(c.x(), r.top());
        shield.lineTo(r.right(), r.top() + s * 0.2);
        shield.quadTo(r.right(), r.bottom() - s * 0.2, c.x(), r.bottom());
        shield.quadTo(r.left(), r.bottom() - s * 0.2, r.left(), r.top() + s * 0.2);
        shield.closeSubpath();
        p.drawPath(shield);
        break;
    }
    case MenuBar: {
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(r.adjusted(0, s * 0.15, 0, -s * 0.1), s * 0.12, s * 0.12);
        p.drawLine(QPointF(r.left(), r.top() + s * 0.35), QPointF(r.right(), r.top() + s * 0.35));
        break;
    }
    case Moon: {
        QPainterPath moon;
        moon.addEllipse(r.adjusted(s * 0.1, s * 0.1, -s * 0.1, -s * 0.1));
        QPainterPath bite;
        bite.addEllipse(r.adjusted(s * 0.35, -s * 0.05, s * 0.15, -s * 0.25));
        p.drawPath(moon.subtracted(bite));
        break;
    }
    }
    p.restore();
}

} // namespace OnboardingGlyphs
