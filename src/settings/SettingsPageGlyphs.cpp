#include "settings/SettingsPageGlyphs.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace {

void fill(QPainter& p, const QPainterPath& path, const QColor& c) {
    p.fillPath(path, c);
}

void stroke(QPainter& p, const QPainterPath& path, const QColor& c, qreal width = 1.8) {
    p.strokePath(path, QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

void line(QPainter& p, QPointF a, QPointF b, const QColor& c, qreal width = 1.8) {
    QPainterPath path(a);
    path.lineTo(b);
    stroke(p, path, c, width);
}

// Cuts `path` out of what is already drawn.
void knockOut(QPainter& p, const QPainterPath& path) {
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_DestinationOut);
    p.fillPath(path, Qt::black);
    p.restore();
}

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

QPainterPath poly(std::initializer_list<QPointF> pts) {
    QPainterPath path;
    auto it = pts.begin();
    path.moveTo(*it);
    for (++it; it != pts.end(); ++it)
        path.lineTo(*it);
    path.closeSubpath();
    return path;
}

// A four-pointed star of sparkle.
QPainterPath twinkle(QPointF c, qreal r) {
    const qreal w = r * 0.28;
    QPainterPath path;
    path.moveTo(c + QPointF(0, -r));
    path.quadTo(c + QPointF(w, -w), c + QPointF(r, 0));
    path.quadTo(c + QPointF(w, w), c + QPointF(0, r));
    path.quadTo(c + QPointF(-w, w), c + QPointF(-r, 0));
    path.quadTo(c + QPointF(-w, -w), c + QPointF(0, -r));
    return path;
}

void sun(QPainter& p, QPointF c, qreal core, qreal in, qreal out, const QColor& colour,
         qreal width) {
    fill(p, circle(c, core), colour);
    for (int i = 0; i < 8; ++i) {
        const QPointF d(std::cos(i * M_PI / 4), std::sin(i * M_PI / 4));
        line(p, c + d * in, c + d * out, colour, width);
    }
}

QPainterPath warningTriangle(QPointF apex, qreal side) {
    const qreal h = side * 0.87;
    QPainterPath t = poly({apex, apex + QPointF(side / 2, h), apex + QPointF(-side / 2, h)});
    return QPainterPathStroker(
               QPen(Qt::black, side * 0.12, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin))
        .createStroke(t)
        .united(t);
}

void pinShape(QPainter& p, const QColor& c, bool filled) {
    QPainterPath head;
    head.addRoundedRect(QRectF(8, 2.5, 8, 3), 1.2, 1.2);
    QPainterPath body = poly({{9.2, 5.5}, {14.8, 5.5}, {15.8, 12}, {18, 14}, {6, 14}, {8.2, 12}});
    if (filled) {
        fill(p, head.united(body), c);
    } else {
        stroke(p, head, c, 1.5);
        stroke(p, body, c, 1.5);
    }
    line(p, {12, 14}, {12, 21.5}, c, 1.6);
}

const QHash<QString, SettingsPageGlyphs::Paint>& table() {
    static const QHash<QString, SettingsPageGlyphs::Paint> t{
        {"sun.max.trianglebadge.exclamationmark.fill",
         [](QPainter& p, const QColor& c) {
             sun(p, {10, 10}, 4, 6, 8.5, c, 1.8);
             const QPainterPath badge = warningTriangle({17.5, 12.5}, 9);
             knockOut(p,
                      QPainterPathStroker(QPen(Qt::black, 2.4)).createStroke(badge).united(badge));
             fill(p, badge, c);
             knockOut(p, rounded(QRectF(16.9, 15.2, 1.2, 3.4), 0.6));
             knockOut(p, circle({17.5, 20}, 0.75));
         }},
        {"keyboard.badge.ellipsis",
         [](QPainter& p, const QColor& c) {
             stroke(p, rounded(QRectF(2, 7, 16, 11), 2.2), c, 1.5);
             for (int r = 0; r < 2; ++r)
                 for (int i = 0; i < 4; ++i)
                     fill(p, rounded(QRectF(4.4 + i * 3.1, 9.3 + r * 3, 1.8, 1.8), 0.4), c);
             fill(p, rounded(QRectF(6.5, 15, 7, 1.5), 0.5), c);
             const QPainterPath badge = circle({19, 6}, 4.5);
             knockOut(p, circle({19, 6}, 6));
             fill(p, badge, c);
             for (int i = -1; i <= 1; ++i)
                 knockOut(p, circle({19 + i * 2.2, 6}, 0.8));
         }},
        {"sparkles",
         [](QPainter& p, const QColor& c) {
             fill(p, twinkle({10, 13}, 8), c);
             fill(p, twinkle({18.5, 5.5}, 4), c);
             fill(p, twinkle({19, 18.5}, 3), c);
         }},
        {"light.min",
         [](QPainter& p, const QColor& c) {
             fill(p, circle({12, 12}, 3.2), c);
             for (int i = 0; i < 8; ++i) {
                 const QPointF d(std::cos(i * M_PI / 4), std::sin(i * M_PI / 4));
                 fill(p, circle(QPointF(12, 12) + d * 7, 1.3), c);
             }
         }},
        {"light.max",
         [](QPainter& p, const QColor& c) {
             sun(p, {12, 12}, 4.5, 7, 10.5, c, 2.0);
         }},
        {"exclamationmark.triangle",
         [](QPainter& p, const QColor& c) {
             QPainterPath t = poly({{12, 3}, {22, 20.5}, {2, 20.5}});
             stroke(p, t, c, 1.8);
             line(p, {12, 9}, {12, 14}, c, 2);
             fill(p, circle({12, 17.3}, 1.2), c);
         }},
        {"pin", [](QPainter& p, const QColor& c) { pinShape(p, c, false); }},
        {"pin.fill", [](QPainter& p, const QColor& c) { pinShape(p, c, true); }},
        {"flask.fill",
         [](QPainter& p, const QColor& c) {
             QPainterPath flask = poly({{9, 2.5},
                                        {15, 2.5},
                                        {15, 4},
                                        {14, 4},
                                        {14, 9.5},
                                        {20.5, 19.5},
                                        {19, 21.5},
                                        {5, 21.5},
                                        {3.5, 19.5},
                                        {10, 9.5},
                                        {10, 4},
                                        {9, 4}});
             fill(p, flask, c);
             knockOut(p, poly({{10.8, 10.5}, {13.2, 10.5}, {15.4, 14}, {8.6, 14}}));
         }},
        {"doc.text.fill",
         [](QPainter& p, const QColor& c) {
             fill(p, poly({{5, 2}, {14, 2}, {19, 7}, {19, 22}, {5, 22}}), c);
             knockOut(p, poly({{14, 2}, {14, 7}, {19, 7}}));
             for (int i = 0; i < 3; ++i)
                 knockOut(p, rounded(QRectF(8, 11 + i * 3.5, i == 2 ? 5 : 8, 1.5), 0.6));
         }},
        {"eyeglasses",
         [](QPainter& p, const QColor& c) {
             stroke(p, circle({7, 14}, 4.2), c, 1.7);
             stroke(p, circle({17, 14}, 4.2), c, 1.7);
             QPainterPath bridge;
             bridge.moveTo(10.6, 12.5);
             bridge.quadTo(12, 11, 13.4, 12.5);
             stroke(p, bridge, c, 1.5);
             line(p, {2.9, 12.8}, {1.5, 7}, c, 1.5);
             line(p, {21.1, 12.8}, {22.5, 7}, c, 1.5);
         }},
    };
    return t;
}

} // namespace

SettingsPageGlyphs::Paint SettingsPageGlyphs::find(const QString& symbol) {
    return table().value(symbol, nullptr);
}
