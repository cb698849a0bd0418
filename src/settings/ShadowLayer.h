#pragma once

#include <QPixmap>
#include <QSize>
#include <functional>

class QPainter;

// A view's soft shadows and the glass laid over them, as one clear layer of its size:
// blurred and filled once per size, and kept at the resolution it finally lands at, so
// laying it down again is one plain copy rather than a blur, two gradient fills and a
// stroked outline (and not a scaled draw when the view is rendered into a larger image).
class ShadowLayer {
public:
    using Painter = std::function<void(QPainter&)>;
    // Draws the layer at the view's origin. When the size, the resolution or `variant`
    // (what else the glass depends on) has changed, it is made anew: `shadows` paints at
    // the painter device's pixel ratio, as shadows always have, `glass` (may be empty)
    // at the resolution the layer lands at.
    void draw(QPainter& p, QSize size, int variant, const Painter& shadows,
              const Painter& glass = {});

private:
    QPixmap m_layer;
    QSize m_size;
    int m_variant = 0;
    qreal m_dpr = 0;
    qreal m_scale = 0;
};
