#pragma once

#include "insights/ScheduleViewLogic.h"
#include "popover/PopoverStyle.h"

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPen>
#include <QRectF>
#include <QString>
#include <algorithm>

// Type and colour of the schedule and insight views: white text at graded opacities
// on dark glass, in the popover's faces, colours from the warmth ramp.
namespace ScheduleViewStyle {

inline QColor colour(const RampColour& c, double opacityScale = 1.0) {
    return QColor::fromRgbF(float(c.r), float(c.g), float(c.b), float(c.a * opacityScale));
}
inline QColor white(double opacity) {
    return QColor::fromRgbF(1, 1, 1, float(opacity));
}
inline QColor srgb(double r, double g, double b, double opacity = 1.0) {
    return QColor::fromRgbF(float(r), float(g), float(b), float(opacity));
}
inline QColor accent() {
    return PopoverStyle::accent();
}

// The system face at `size` points; the rounded design falls back to the same face.
inline QFont face(double size, QFont::Weight weight = QFont::Normal) {
    QFont f = PopoverStyle::systemFont(1, weight);
    f.setPixelSize(qMax(1, qRound(size)));
    return f;
}

// A sunrise or sunset tick: a hairline dashed 3 on, 3 off from `from` down to `to`. The
// dashes are drawn one by one: the toolkit measures a dash pattern in pen widths but
// widens a pen thinner than a device pixel first, so a pattern would come out twice as
// long on a standard screen as on a high-density one.
inline void paintDashedTick(QPainter& p, QPointF from, QPointF to) {
    p.setPen(QPen(white(0.2), 0.5, Qt::SolidLine, Qt::FlatCap));
    for (double y = from.y(); y < to.y(); y += 6)
        p.drawLine(QPointF(from.x(), y), QPointF(from.x(), std::min(y + 3, to.y())));
}

// Draws `text` in `font` and `colour` with its top-left at `topLeft`; returns its box.
inline QRectF paintText(QPainter& p, const QString& s, const QFont& f, const QColor& c,
                        QPointF topLeft) {
    const QFontMetricsF m(f);
    const QRectF box(topLeft, QSizeF(m.horizontalAdvance(s), m.height()));
    p.setFont(f);
    p.setPen(c);
    p.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, s);
    return box;
}
// Draws `text` centred on `centre`.
inline QRectF paintCentredText(QPainter& p, const QString& s, const QFont& f, const QColor& c,
                               QPointF centre) {
    const QFontMetricsF m(f);
    const QSizeF size(m.horizontalAdvance(s), m.height());
    return paintText(p, s, f, c, centre - QPointF(size.width() / 2, size.height() / 2));
}

} // namespace ScheduleViewStyle
