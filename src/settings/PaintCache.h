#pragma once

#include <QPixmap>
#include <QRectF>
#include <functional>

class QPainter;

// A still part of a view (text, glyphs, fills) kept as a picture at the resolution it
// lands at, covering its box out to whole device pixels, so laying it down again is one
// plain copy. It is made anew when `key` (what the part shows), the box or the
// resolution changes. Where the painter turns or skews, the part is painted directly.
class PaintCache {
public:
    using Painter = std::function<void(QPainter&)>;
    void draw(QPainter& p, const QRectF& box, size_t key, const Painter& paint);
    void clear() { m_layer = QPixmap(); }

private:
    QPixmap m_layer;
    QRectF m_box;
    size_t m_key = 0;
    qreal m_scale = 0;
};
