#include "settings/ScheduleGlyphs.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <functional>

namespace {

// Every symbol is drawn on a 24 × 24 grid, scaled into the box.
using Draw = std::function<void(QPainter&, const QColor&)>;

QPen line(const QColor& c, double width = 2.0) {
    return QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void disc(QPainter& p, QPointF c, double r, const QColor& colour) {
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(c, r, r);
}

void rays(QPainter& p, QPointF c, double from, double to, const QColor& colour, int count = 8,
          double startAngle = 0, double sweep = 2 * M_PI, double width = 2.0) {
    p.setPen(line(colour, width));
    for (int i = 0; i < count; ++i) {
        const double a = startAngle + sweep * i / (sweep < 2 * M_PI ? count - 1 : count);
        const QPointF d(std::cos(a), std::sin(a));
        p.drawLine(c + d * from, c + d * to);
    }
}

QPainterPath crescent(QPointF c, double r) {
    QPainterPath moon;
    moon.addEllipse(c, r, r);
    QPainterPath bite;
    bite.addEllipse(c + QPointF(r * 0.55, -r * 0.45), r * 0.85, r * 0.85);
    return moon.subtracted(bite);
}

void star(QPainter& p, QPointF c, double r, const QColor& colour) {
    QPainterPath s;
    s.moveTo(c + QPointF(0, -r));
    s.quadTo(c, c + QPointF(r, 0));
    s.quadTo(c, c + QPointF(0, r));
    s.quadTo(c, c + QPointF(-r, 0));
    s.quadTo(c, c + QPointF(0, -r));
    p.fillPath(s, colour);
}

void horizonSun(QPainter& p, const QColor& c, bool rising) {
    QPainterPath half;
    half.moveTo(6, 15);
    half.arcTo(QRectF(6, 9, 12, 12), 180, -180);
    half.closeSubpath();
    p.fillPath(half, c);
    rays(p, {12, 15}, 8, 10, c, 5, M_PI, M_PI);
    p.setPen(line(c));
    p.drawLine(QPointF(2, 18.5), QPointF(22, 18.5));
    // The arrow says which way the sun goes.
    const double tip = rising ? 1.5 : 7.5, base = rising ? 5 : 4;
    p.drawLine(QPointF(12, 1.5), QPointF(12, 7.5));
    p.drawLine(QPointF(9.5, base), QPointF(12, tip));
    p.drawLine(QPointF(14.5, base), QPointF(12, tip));
}

void eye(QPainter& p, QPointF c, double scale, const QColor& colour, bool filled = false) {
    QPainterPath almond;
    almond.moveTo(c + QPointF(-10, 0) * scale);
    almond.quadTo(c + QPointF(0, -9) * scale, c + QPointF(10, 0) * scale);
    almond.quadTo(c + QPointF(0, 9) * scale, c + QPointF(-10, 0) * scale);
    p.setPen(line(colour, 1.8 * scale));
    p.setBrush(filled ? QBrush(colour) : Qt::NoBrush);
    p.drawPath(almond);
    disc(p, c, 3.2 * scale, colour);
}

const QHash<QString, Draw>& table() {
    static const QHash<QString, Draw> glyphs = [] {
        QHash<QString, Draw> t;
        t[QStringLiteral("sun.max.fill")] = [](QPainter& p, const QColor& c) {
            disc(p, {12, 12}, 5, c);
            rays(p, {12, 12}, 7.5, 10.5, c);
        };
        t[QStringLiteral("sun.min.fill")] = [](QPainter& p, const QColor& c) {
            disc(p, {12, 12}, 4.5, c);
            rays(p, {12, 12}, 7, 8.5, c);
        };
        t[QStringLiteral("sunset.fill")] = [](QPainter& p, const QColor& c) {
            horizonSun(p, c, false);
        };
        t[QStringLiteral("sunrise.fill")] = [](QPainter& p, const QColor& c) {
            horizonSun(p, c, true);
        };
        t[QStringLiteral("moon.fill")] = [](QPainter& p, const QColor& c) {
            p.fillPath(crescent({11, 13}, 9), c);
        };
        t[QStringLiteral("moon.stars.fill")] = [](QPainter& p, const QColor& c) {
            p.fillPath(crescent({10, 14}, 8.5), c);
            star(p, {19, 5}, 3.5, c);
            star(p, {21, 12}, 2, c);
        };
        t[QStringLiteral("moon.zzz.fill")] = [](QPainter& p, const QColor& c) {
            p.fillPath(crescent({10, 14}, 8.5), c);
            p.setPen(line(c, 1.6));
            p.setBrush(Qt::NoBrush);
            p.drawPolyline(QPolygonF({{16, 2}, {21, 2}, {16, 8}, {21, 8}}));
        };
        t[QStringLiteral("moon.circle.fill")] = [](QPainter& p, const QColor& c) {
            QPainterPath round;
            round.addEllipse(QPointF(12, 12), 11, 11);
            p.fillPath(round.subtracted(crescent({11, 12.5}, 6.5)), c);
        };
        t[QStringLiteral("location.fill")] = [](QPainter& p, const QColor& c) {
            QPainterPath arrow;
            arrow.addPolygon(QPolygonF({{21, 3}, {3, 11}, {11.5, 12.5}, {13, 21}}));
            arrow.closeSubpath();
            p.fillPath(arrow, c);
        };
        t[QStringLiteral("clock.fill")] = [](QPainter& p, const QColor& c) {
            QPainterPath face;
            face.addEllipse(QPointF(12, 12), 10.5, 10.5);
            QPainterPath hands;
            hands.moveTo(12, 5.5);
            hands.lineTo(12, 12);
            hands.lineTo(16.5, 14.5);
            const QPainterPath cut = QPainterPathStroker(line(c, 2.2)).createStroke(hands);
            p.fillPath(face.subtracted(cut), c);
        };
        t[QStringLiteral("hand.raised.fill")] = [](QPainter& p, const QColor& c) {
            p.setPen(line(c, 3.2));
            for (double x : {7.5, 10.8, 14.1})
                p.drawLine(QPointF(x, 4), QPointF(x, 13));
            p.drawLine(QPointF(17.3, 6.5), QPointF(17.3, 14));
            QPainterPath palm;
            palm.addRoundedRect(QRectF(6, 11, 13, 11), 5, 5);
            p.fillPath(palm, c);
            p.drawLine(QPointF(4.5, 13), QPointF(7, 17));
        };
        auto circled = [](bool plus) {
            return [plus](QPainter& p, const QColor& c) {
                QPainterPath round;
                round.addEllipse(QPointF(12, 12), 10.5, 10.5);
                QPainterPath sign;
                sign.moveTo(7, 12);
                sign.lineTo(17, 12);
                if (plus) {
                    sign.moveTo(12, 7);
                    sign.lineTo(12, 17);
                }
                p.fillPath(round.subtracted(QPainterPathStroker(line(c, 2.4)).createStroke(sign)),
                           c);
            };
        };
        t[QStringLiteral("minus.circle.fill")] = circled(false);
        t[QStringLiteral("plus.circle.fill")] = circled(true);
        t[QStringLiteral("chevron.down")] = [](QPainter& p, const QColor& c) {
            p.setPen(line(c, 2.6));
            p.setBrush(Qt::NoBrush);
            p.drawPolyline(QPolygonF({{5, 9}, {12, 16}, {19, 9}}));
        };
        t[QStringLiteral("slider.horizontal.below.sun.max")] = [](QPainter& p, const QColor& c) {
            disc(p, {12, 8}, 3.2, c);
            rays(p, {12, 8}, 5, 6.8, c, 8, 0, 2 * M_PI, 1.5);
            p.setPen(line(c, 2));
            p.drawLine(QPointF(3, 19), QPointF(21, 19));
            disc(p, {9, 19}, 3, c);
        };
        t[QStringLiteral("flame.fill")] = [](QPainter& p, const QColor& c) {
            QPainterPath f;
            f.moveTo(12, 1.5);
            f.cubicTo(15, 7, 20, 10, 19, 15.5);
            f.cubicTo(18, 21, 14, 22.5, 12, 22.5);
            f.cubicTo(9, 22.5, 5, 20.5, 5, 15.5);
            f.cubicTo(5, 11, 9, 9, 12, 1.5);
            p.fillPath(f, c);
        };
        t[QStringLiteral("flame")] = [](QPainter& p, const QColor& c) {
            QPainterPath f;
            f.moveTo(12, 2.5);
            f.cubicTo(15, 7.5, 19, 10, 18.2, 15.5);
            f.cubicTo(17.5, 20, 14, 21.5, 12, 21.5);
            f.cubicTo(9, 21.5, 5.8, 19.5, 5.8, 15.5);
            f.cubicTo(5.8, 11.5, 9, 9, 12, 2.5);
            p.setPen(line(c, 1.8));
            p.setBrush(Qt::NoBrush);
            p.drawPath(f);
        };
        t[QStringLiteral("sparkles")] = [](QPainter& p, const QColor& c) {
            star(p, {10, 13}, 8, c);
            star(p, {19, 5}, 3.5, c);
            star(p, {19.5, 19}, 2.5, c);
        };
        t[QStringLiteral("bed.double.fill")] = [](QPainter& p, const QColor& c) {
            QPainterPath bed;
            bed.addRoundedRect(QRectF(2, 12, 20, 6), 1.5, 1.5);
            bed.addRoundedRect(QRectF(4, 7, 7, 5), 2, 2);
            bed.addRoundedRect(QRectF(13, 7, 7, 5), 2, 2);
            p.fillPath(bed, c);
            p.setPen(line(c, 2));
            p.drawLine(QPointF(3, 18), QPointF(3, 21));
            p.drawLine(QPointF(21, 18), QPointF(21, 21));
        };
        t[QStringLiteral("cup.and.saucer.fill")] = [](QPainter& p, const QColor& c) {
            QPainterPath cup;
            cup.moveTo(4, 6);
            cup.lineTo(17, 6);
            cup.lineTo(16, 15);
            cup.quadTo(15.5, 17, 13.5, 17);
            cup.lineTo(7.5, 17);
            cup.quadTo(5.5, 17, 5, 15);
            cup.closeSubpath();
            p.fillPath(cup, c);
            p.setPen(line(c, 1.8));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QPointF(18.2, 10), 2.6, 2.6);
            p.drawLine(QPointF(2.5, 20), QPointF(21.5, 20));
        };
        t[QStringLiteral("eye")] = [](QPainter& p, const QColor& c) { eye(p, {12, 12}, 1, c); };
        t[QStringLiteral("eye.slash")] = [](QPainter& p, const QColor& c) {
            eye(p, {12, 12}, 1, c);
            p.setPen(line(c, 2));
            p.drawLine(QPointF(4, 3), QPointF(20, 21));
        };
        t[QStringLiteral("eye.trianglebadge.exclamationmark")] = [](QPainter& p, const QColor& c) {
            eye(p, {10, 12}, 0.85, c);
            QPainterPath tri;
            tri.addPolygon(QPolygonF({{18, 12}, {23.5, 22}, {12.5, 22}}));
            tri.closeSubpath();
            p.fillPath(tri, c);
        };
        t[QStringLiteral("eyes")] = [](QPainter& p, const QColor& c) {
            for (double x : {7.0, 17.0}) {
                p.setPen(line(c, 1.6));
                p.setBrush(Qt::NoBrush);
                p.drawEllipse(QPointF(x, 12), 4.2, 7);
                disc(p, {x + 1, 13.5}, 2.2, c);
            }
        };
        t[QStringLiteral("mountain.2.fill")] = [](QPainter& p, const QColor& c) {
            QPainterPath m;
            m.addPolygon(QPolygonF({{1, 20}, {9, 6}, {13, 13}, {16, 9}, {23, 20}}));
            m.closeSubpath();
            p.fillPath(m, c);
        };
        t[QStringLiteral("waveform")] = [](QPainter& p, const QColor& c) {
            p.setPen(line(c, 2));
            const double heights[] = {4, 10, 16, 8, 13, 6, 3};
            for (int i = 0; i < 7; ++i) {
                const double x = 3 + i * 3;
                p.drawLine(QPointF(x, 12 - heights[i] / 2), QPointF(x, 12 + heights[i] / 2));
            }
        };
        t[QStringLiteral("pawprint.fill")] = [](QPainter& p, const QColor& c) {
            disc(p, {12, 16}, 5, c);
            disc(p, {5, 10}, 2.3, c);
            disc(p, {9.5, 5.5}, 2.3, c);
            disc(p, {14.5, 5.5}, 2.3, c);
            disc(p, {19, 10}, 2.3, c);
        };
        return t;
    }();
    return glyphs;
}

} // namespace

namespace ScheduleGlyphs {

bool knows(const QString& name) {
    return table().contains(name);
}

void draw(QPainter& p, const QString& name, const QRectF& box, const QColor& colour) {
    const double side = std::min(box.width(), box.height());
    if (!(side > 0)) return;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(box.center().x() - side / 2, box.center().y() - side / 2);
    p.scale(side / 24.0, side / 24.0);
    const auto it = table().constFind(name);
    if (it != table().constEnd())
        (*it)(p, colour);
    else
        disc(p, {12, 12}, 6, colour);
    p.restore();
}

} // namespace ScheduleGlyphs
