#include "settings/SettingsGlyphs.h"

#include "popover/PopoverGlyphs.h"
#include "settings/SettingsPageGlyphs.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace {

// Every glyph is drawn on a 24 × 24 grid scaled into the largest centred square.
struct Grid {
    Grid(QPainter& painter, const QRectF& box, const QColor& c) : p(painter), colour(c) {
        const qreal side = std::min(box.width(), box.height());
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        p.translate(box.center().x() - side / 2, box.center().y() - side / 2);
        p.scale(side / 24.0, side / 24.0);
        p.setBrush(Qt::NoBrush);
        p.setPen(Qt::NoPen);
    }
    ~Grid() { p.restore(); }
    void fill(const QPainterPath& path) { p.fillPath(path, colour); }
    void stroke(const QPainterPath& path, qreal width = 2.0) {
        QPen pen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        p.strokePath(path, pen);
    }
    void line(QPointF a, QPointF b, qreal width = 2.0) {
        QPainterPath path(a);
        path.lineTo(b);
        stroke(path, width);
    }
    // Cuts `path` out of what is drawn next by painting it in the clear colour.
    void knockOut(const QPainterPath& path) {
        p.save();
        p.setCompositionMode(QPainter::CompositionMode_DestinationOut);
        p.fillPath(path, Qt::black);
        p.restore();
    }
    QPainter& p;
    QColor colour;
};

QPainterPath circle(QPointF c, qreal r) {
    QPainterPath path;
    path.addEllipse(c, r, r);
    return path;
}

QPainterPath rounded(QRectF r, qreal radius) {
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    return path;
}

QPainterPath poly(std::initializer_list<QPointF> pts, bool close = true) {
    QPainterPath path;
    auto it = pts.begin();
    path.moveTo(*it);
    for (++it; it != pts.end(); ++it)
        path.lineTo(*it);
    if (close) path.closeSubpath();
    return path;
}

void sunAt(Grid& g, QPointF c, qreal core, qreal rayIn, qreal rayOut, qreal width) {
    g.fill(circle(c, core));
    for (int i = 0; i < 8; ++i) {
        const qreal a = i * M_PI / 4;
        g.line(c + QPointF(std::cos(a), std::sin(a)) * rayIn,
               c + QPointF(std::cos(a), std::sin(a)) * rayOut, width);
    }
}

QPainterPath crescent(QPointF c, qreal r) {
    QPainterPath moon = circle(c, r);
    return moon.subtracted(circle(c + QPointF(r * 0.55, -r * 0.45), r * 0.85));
}

QPainterPath heart(QPointF c, qreal s) {
    QPainterPath path;
    path.moveTo(c + QPointF(0, s * 0.9));
    path.cubicTo(c + QPointF(-s * 1.6, -s * 0.1), c + QPointF(-s * 0.8, -s * 1.3),
                 c + QPointF(0, -s * 0.45));
    path.cubicTo(c + QPointF(s * 0.8, -s * 1.3), c + QPointF(s * 1.6, -s * 0.1),
                 c + QPointF(0, s * 0.9));
    return path;
}

void circularArrows(Grid& g, qreal r, bool twoArrows) {
    const QPointF c(12, 12);
    auto arc = [&](qreal start, qreal span) {
        QPainterPath path;
        path.arcMoveTo(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), start);
        path.arcTo(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), start, span);
        g.stroke(path);
        const QPointF end = path.currentPosition();
        const qreal a = qDegreesToRadians(start + span);
        const QPointF tangent(-std::sin(a) * (span > 0 ? -1 : 1),
                              -std::cos(a) * (span > 0 ? -1 : 1));
        const QPointF normal(tangent.y(), -tangent.x());
        g.fill(poly({end + tangent * 3.2, end + normal * 3, end - normal * 3}));
    };
    if (twoArrows) {
        arc(30, 130);
        arc(210, 130);
    } else {
        arc(100, 270);
    }
}

void thermometer(Grid& g, QPointF base, qreal height, bool full) {
    QPainterPath tube = rounded(QRectF(base.x() - 2.5, base.y() - height, 5, height + 2), 2.5);
    tube.addEllipse(base + QPointF(0, 2.5), 4, 4);
    g.stroke(tube.simplified(), 1.6);
    g.fill(circle(base + QPointF(0, 2.5), 2.4));
    g.line(base, base - QPointF(0, full ? height - 2 : height / 2), 2.2);
}

using Paint = void (*)(Grid&);

const QHash<QString, Paint>& table() {
    static const QHash<QString, Paint> t{
        {"house.fill",
         [](Grid& g) {
             g.fill(poly({{12, 3},
                          {22, 12},
                          {19, 12},
                          {19, 21},
                          {14.5, 21},
                          {14.5, 15},
                          {9.5, 15},
                          {9.5, 21},
                          {5, 21},
                          {5, 12},
                          {2, 12}}));
         }},
        {"sun.max.fill",
         [](Grid& g) {
             sunAt(g, {12, 12}, 4.6, 7.2, 10.2, 2.0);
         }},
        {"clock.fill",
         [](Grid& g) {
             g.fill(circle({12, 12}, 10));
             g.knockOut(
                 poly({{11, 6}, {13, 6}, {13, 11.2}, {16.8, 14.2}, {15.6, 15.8}, {11, 12.4}}));
         }},
        {"square.grid.2x2",
         [](Grid& g) {
             for (int i = 0; i < 4; ++i)
                 g.stroke(rounded(QRectF(3 + (i % 2) * 10, 3 + (i / 2) * 10, 8, 8), 2), 1.8);
         }},
        {"square.grid.3x3.fill",
         [](Grid& g) {
             for (int i = 0; i < 9; ++i)
                 g.fill(rounded(QRectF(3 + (i % 3) * 6.5, 3 + (i / 3) * 6.5, 5, 5), 1.2));
         }},
        {"keyboard",
         [](Grid& g) {
             g.stroke(rounded(QRectF(2, 6, 20, 13), 2.5), 1.6);
             for (int r = 0; r < 2; ++r)
                 for (int i = 0; i < 5; ++i)
                     g.fill(rounded(QRectF(4.6 + i * 3.2, 8.6 + r * 3.2, 2, 2), 0.5));
             g.fill(rounded(QRectF(7.5, 15.2, 9, 1.8), 0.6));
         }},
        {"chart.bar.fill",
         [](Grid& g) {
             g.fill(rounded(QRectF(3, 13, 5, 8), 1));
             g.fill(rounded(QRectF(9.5, 8, 5, 13), 1));
             g.fill(rounded(QRectF(16, 3, 5, 18), 1));
         }},
        {"safari.fill",
         [](Grid& g) {
             g.fill(circle({12, 12}, 10));
             g.knockOut(poly({{16.5, 7.5}, {13.4, 13.4}, {7.5, 16.5}, {10.6, 10.6}}));
         }},
        {"gear", [](Grid& g) { PopoverGlyphs::gear(g.p, QRectF(0, 0, 24, 24), g.colour); }},
        {"xmark",
         [](Grid& g) {
             g.line({6, 6}, {18, 18}, 3);
             g.line({18, 6}, {6, 18}, 3);
         }},
        {"arrow.triangle.2.circlepath", [](Grid& g) { circularArrows(g, 8, true); }},
        {"clock.arrow.circlepath",
         [](Grid& g) {
             circularArrows(g, 9, false);
             g.line({12, 8}, {12, 12.5}, 1.8);
             g.line({12, 12.5}, {15, 14.5}, 1.8);
         }},
        {"arrow.counterclockwise", [](Grid& g) { circularArrows(g, 8, false); }},
        {"arrow.down.circle.fill",
         [](Grid& g) {
             g.fill(circle({12, 12}, 10));
             QPainterPath arrow = poly({{12, 6}, {12, 17}}, false);
             g.knockOut(QPainterPathStroker(QPen(Qt::black, 2.4, Qt::SolidLine, Qt::RoundCap))
                            .createStroke(arrow));
             g.knockOut(poly({{7.2, 12.6}, {12, 18}, {16.8, 12.6}}));
         }},
        {"checkmark.circle.fill",
         [](Grid& g) { PopoverGlyphs::checkmarkCircleFill(g.p, QRectF(0, 0, 24, 24), g.colour); }},
        {"thermometer.sun.fill",
         [](Grid& g) {
             thermometer(g, {8, 17}, 12, true);
             sunAt(g, {18, 8}, 2.6, 4.2, 5.8, 1.4);
         }},
        {"thermometer.medium",
         [](Grid& g) {
             thermometer(g, {12, 17}, 13, false);
         }},
        {"eye.trianglebadge.exclamationmark.fill",
         [](Grid& g) {
             QPainterPath eye;
             eye.moveTo(1, 11);
             eye.quadTo(9, 1, 17, 11);
             eye.quadTo(9, 21, 1, 11);
             g.fill(eye);
             g.knockOut(circle({9, 11}, 3));
             g.fill(circle({9, 11}, 1.6));
             g.fill(poly({{18, 12}, {23.5, 22}, {12.5, 22}}));
         }},
        {"sun.max.trianglebadge.exclamationmark",
         [](Grid& g) {
             sunAt(g, {10, 10}, 3.6, 5.8, 8.2, 1.7);
             g.fill(poly({{18, 12}, {23.5, 22}, {12.5, 22}}));
         }},
        {"moon.fill",
         [](Grid& g) {
             g.fill(crescent({11, 13}, 9));
         }},
        {"moon.stars.fill",
         [](Grid& g) {
             g.fill(crescent({10, 14}, 8));
             g.fill(
                 poly({{18, 2}, {19, 5}, {22, 6}, {19, 7}, {18, 10}, {17, 7}, {14, 6}, {17, 5}}));
         }},
        {"bubble.left.fill",
         [](Grid& g) {
             QPainterPath b = rounded(QRectF(2, 3, 20, 14), 6);
             b.addPolygon(QPolygonF({QPointF(5, 14), QPointF(4, 21), QPointF(11, 16)}));
             g.fill(b.simplified());
         }},
        {"info.circle",
         [](Grid& g) {
             g.stroke(circle({12, 12}, 9.5), 1.7);
             g.fill(circle({12, 7.6}, 1.4));
             g.line({12, 11}, {12, 17}, 2.2);
         }},
        {"arrow.up.right",
         [](Grid& g) {
             g.line({6, 18}, {18, 6}, 2.4);
             g.stroke(poly({{9, 6}, {18, 6}, {18, 15}}, false), 2.4);
         }},
        {"arrow.down.right",
         [](Grid& g) {
             g.line({6, 6}, {18, 18}, 2.4);
             g.stroke(poly({{18, 9}, {18, 18}, {9, 18}}, false), 2.4);
         }},
        {"minus",
         [](Grid& g) {
             g.line({5, 12}, {19, 12}, 2.6);
         }},
        {"chevron.right",
         [](Grid& g) {
             g.stroke(poly({{9, 4}, {17, 12}, {9, 20}}, false), 3);
         }},
        {"heart.fill",
         [](Grid& g) {
             g.fill(heart({12, 12}, 8.5));
         }},
        {"heart.circle.fill",
         [](Grid& g) {
             g.fill(circle({12, 12}, 10.5));
             g.knockOut(heart({12, 12.3}, 5));
         }},
        {"power",
         [](Grid& g) {
             QPainterPath arc;
             arc.arcMoveTo(QRectF(3.5, 3.5, 17, 17), 120);
             arc.arcTo(QRectF(3.5, 3.5, 17, 17), 120, 300);
             g.stroke(arc, 2.2);
             g.line({12, 2.5}, {12, 11}, 2.2);
         }},
        {"dock.rectangle",
         [](Grid& g) {
             g.stroke(rounded(QRectF(2, 4, 20, 16), 2.5), 1.7);
             g.fill(rounded(QRectF(5, 15, 14, 2.6), 1.2));
         }},
        {"water.waves",
         [](Grid& g) {
             for (int i = 0; i < 3; ++i) {
                 QPainterPath w;
                 const qreal y = 6 + i * 6;
                 w.moveTo(2, y);
                 w.cubicTo(6, y - 3, 8, y + 3, 12, y);
                 w.cubicTo(16, y - 3, 18, y + 3, 22, y);
                 g.stroke(w, 2);
             }
         }},
        {"speaker.fill",
         [](Grid& g) {
             g.fill(poly({{3, 9}, {8, 9}, {14, 3.5}, {14, 20.5}, {8, 15}, {3, 15}}));
         }},
        {"speaker.wave.2.fill",
         [](Grid& g) {
             g.fill(poly({{1, 9}, {6, 9}, {12, 3.5}, {12, 20.5}, {6, 15}, {1, 15}}));
             for (int i = 0; i < 2; ++i) {
                 QPainterPath a;
                 const qreal r = 4 + i * 4;
                 a.arcMoveTo(QRectF(12 - r, 12 - r, 2 * r, 2 * r), -45);
                 a.arcTo(QRectF(12 - r, 12 - r, 2 * r, 2 * r), -45, 90);
                 g.stroke(a, 1.8);
             }
         }},
        {"speaker.wave.3.fill",
         [](Grid& g) {
             g.fill(poly({{0, 9}, {4, 9}, {9, 4}, {9, 20}, {4, 15}, {0, 15}}));
             for (int i = 0; i < 3; ++i) {
                 QPainterPath a;
                 const qreal r = 3.5 + i * 4;
                 a.arcMoveTo(QRectF(9 - r, 12 - r, 2 * r, 2 * r), -45);
                 a.arcTo(QRectF(9 - r, 12 - r, 2 * r, 2 * r), -45, 90);
                 g.stroke(a, 1.6);
             }
         }},
        {"play.rectangle.on.rectangle.fill",
         [](Grid& g) {
             g.stroke(poly({{6, 4}, {21, 4}, {21, 15}}, false), 1.6);
             g.fill(rounded(QRectF(2, 7, 16, 13), 2.5));
             g.knockOut(poly({{8, 10}, {13.5, 13.5}, {8, 17}}));
         }},
        {"envelope.fill",
         [](Grid& g) {
             g.fill(rounded(QRectF(2, 5, 20, 14), 2.5));
             QPainterPath flap = poly({{3, 6}, {12, 13}, {21, 6}}, false);
             g.knockOut(QPainterPathStroker(QPen(Qt::black, 1.6)).createStroke(flap));
         }},
        {"exclamationmark.shield.fill",
         [](Grid& g) {
             QPainterPath s;
             s.moveTo(12, 2);
             s.lineTo(20.5, 5.5);
             s.cubicTo(20.5, 14, 17, 19.5, 12, 22);
             s.cubicTo(7, 19.5, 3.5, 14, 3.5, 5.5);
             s.closeSubpath();
             g.fill(s);
             g.knockOut(rounded(QRectF(10.8, 6.5, 2.4, 8), 1.2));
             g.knockOut(circle({12, 17.3}, 1.4));
         }},
        {"calendar",
         [](Grid& g) {
             g.stroke(rounded(QRectF(3, 5, 18, 16), 2.5), 1.7);
             g.fill(QPainterPath(rounded(QRectF(3, 5, 18, 5), 2.5)));
             g.line({8, 3}, {8, 6.5}, 1.8);
             g.line({16, 3}, {16, 6.5}, 1.8);
         }},
    };
    return t;
}

} // namespace

namespace SettingsGlyphs {

bool has(const QString& symbol) {
    return table().contains(symbol) || SettingsPageGlyphs::find(symbol);
}

void paint(QPainter& p, const QString& symbol, const QRectF& box, const QColor& colour) {
    // The glyphs that cut holes need their own layer, or the hole would show through
    // whatever was painted beneath.
    const Paint paintFn = table().value(symbol, nullptr);
    const SettingsPageGlyphs::Paint pagePaint =
        paintFn ? nullptr : SettingsPageGlyphs::find(symbol);
    if (!paintFn && !pagePaint) {
        // An unknown name draws a plain dot rather than nothing.
        Grid g(p, box, colour);
        g.fill(circle({12, 12}, 4));
        return;
    }
    const qreal side = std::min(box.width(), box.height());
    const qreal dpr = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    const int px = std::max(1, int(std::ceil(side * dpr)));
    QImage layer(px, px, QImage::Format_ARGB32_Premultiplied);
    layer.setDevicePixelRatio(dpr);
    layer.fill(Qt::transparent);
    {
        QPainter lp(&layer);
        Grid g(lp, QRectF(0, 0, side, side), colour);
        if (paintFn)
            paintFn(g);
        else
            pagePaint(lp, colour);
    }
    p.drawImage(QRectF(box.center().x() - side / 2, box.center().y() - side / 2, side, side),
                layer);
}

GlyphPainter painter(const QString& symbol) {
    return [symbol](QPainter& p, const QRectF& box, const QColor& colour) {
        paint(p, symbol, box, colour);
    };
}

} // namespace SettingsGlyphs
