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
    case MusicNote: {
        p.drawEllipse(QPointF(r.left() + s * 0.3, r.bottom() - s * 0.2), s * 0.18, s * 0.14);
        p.drawEllipse(QPointF(r.right() - s * 0.18, r.bottom() - s * 0.3), s * 0.18, s * 0.14);
        QPainterPath beam;
        beam.moveTo(r.left() + s * 0.42, r.bottom() - s * 0.2);
        beam.lineTo(r.left() + s * 0.42, r.top() + s * 0.2);
        beam.lineTo(r.right() - s * 0.06, r.top() + s * 0.05);
        beam.lineTo(r.right() - s * 0.06, r.bottom() - s * 0.3);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawPath(beam);
        break;
    }
    case Camera: {
        QPainterPath body;
        body.addRoundedRect(r.adjusted(0, s * 0.25, 0, -s * 0.1), s * 0.12, s * 0.12);
        body.addRect(QRectF(c.x() - s * 0.2, r.top() + s * 0.12, s * 0.4, s * 0.15));
        QPainterPath lens;
        lens.addEllipse(QPointF(c.x(), c.y() + s * 0.08), s * 0.2, s * 0.2);
        p.drawPath(body.simplified().subtracted(lens));
        p.drawEllipse(QPointF(c.x(), c.y() + s * 0.08), s * 0.1, s * 0.1);
        break;
    }
    case PlayRectangle: {
        QPainterPath screen;
        screen.addRoundedRect(r.adjusted(0, s * 0.15, 0, -s * 0.15), s * 0.15, s * 0.15);
        QPainterPath play;
        play.moveTo(c.x() - s * 0.12, c.y() - s * 0.18);
        play.lineTo(c.x() + s * 0.2, c.y());
        play.lineTo(c.x() - s * 0.12, c.y() + s * 0.18);
        play.closeSubpath();
        p.drawPath(screen.subtracted(play));
        break;
    }
    case At: {
        QFont f = p.font();
        f.setPixelSize(std::max(6, int(s * 1.05)));
        f.setBold(true);
        p.setFont(f);
        p.setPen(colour);
        p.drawText(r, Qt::AlignCenter, QStringLiteral("@"));
        break;
    }
    case Bubbles: {
        p.drawRoundedRect(QRectF(r.left(), r.top() + s * 0.1, s * 0.62, s * 0.45), s * 0.15,
                          s * 0.15);
        p.drawRoundedRect(QRectF(r.left() + s * 0.38, r.top() + s * 0.45, s * 0.62, s * 0.42),
                          s * 0.15, s * 0.15);
        break;
    }
    case MagnifyingGlass: {
        p.setPen(QPen(colour, s * 0.13, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(r.left() + s * 0.4, r.top() + s * 0.4), s * 0.28, s * 0.28);
        p.drawLine(QPointF(r.left() + s * 0.62, r.top() + s * 0.62),
                   QPointF(r.right() - s * 0.06, r.bottom() - s * 0.06));
        break;
    }
    case People: {
        p.drawEllipse(QPointF(r.left() + s * 0.33, r.top() + s * 0.3), s * 0.15, s * 0.15);
        p.drawEllipse(QPointF(r.left() + s * 0.7, r.top() + s * 0.33), s * 0.13, s * 0.13);
        p.drawPie(QRectF(r.left() + s * 0.05, r.top() + s * 0.5, s * 0.56, s * 0.6), 0, 180 * 16);
        p.drawPie(QRectF(r.left() + s * 0.47, r.top() + s * 0.52, s * 0.48, s * 0.52), 0, 180 * 16);
        break;
    }
    case Document: {
        QPainterPath page;
        page.addRoundedRect(r.adjusted(s * 0.15, 0, -s * 0.15, 0), s * 0.1, s * 0.1);
        QPainterPath lines;
        for (int i = 0; i < 3; ++i)
            lines.addRect(
                QRectF(r.left() + s * 0.3, r.top() + s * (0.3 + 0.18 * i), s * 0.4, s * 0.07));
        p.drawPath(page.subtracted(lines));
        break;
    }
    case Ellipsis: {
        QPainterPath disc;
        disc.addEllipse(r);
        QPainterPath dots;
        for (int i = -1; i <= 1; ++i)
            dots.addEllipse(QPointF(c.x() + i * s * 0.25, c.y()), s * 0.08, s * 0.08);
        p.drawPath(disc.subtracted(dots));
        break;
    }
    case Star: {
        QPolygonF star;
        for (int i = 0; i < 10; ++i) {
            const double a = -M_PI / 2 + i * M_PI / 5;
            const double radius = (i % 2 ? 0.2 : 0.5) * s;
            star << c + QPointF(std::cos(a), std::sin(a)) * radius;
        }
        p.drawPolygon(star);
        break;
    }
    }
    p.restore();
}

} // namespace OnboardingGlyphs
