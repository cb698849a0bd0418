#include "settings/PaintCache.h"

#include <QPainter>
#include <QTransform>
#include <cmath>

void PaintCache::draw(QPainter& p, const QRectF& box, size_t key, const Painter& paint) {
    const QTransform t = p.deviceTransform();
    const bool uniform = t.type() <= QTransform::TxScale && t.m11() == t.m22() && t.m11() > 0;
    const qreal scale = t.m11();
    // Only a picture that lands on whole device pixels is copied unchanged.
    const bool aligned = uniform && std::fmod(t.dx(), 1.0) == 0 && std::fmod(t.dy(), 1.0) == 0;
    if (!aligned || box.isEmpty()) {
        paint(p);
        return;
    }
    const QRectF cover(std::floor(box.left() * scale) / scale,
                       std::floor(box.top() * scale) / scale, 0, 0);
    const QSize pixels(int(std::ceil(box.right() * scale) - std::floor(box.left() * scale)),
                       int(std::ceil(box.bottom() * scale) - std::floor(box.top() * scale)));
    if (m_layer.isNull() || m_key != key || m_box != box || m_scale != scale) {
        m_layer = QPixmap(pixels);
        m_layer.setDevicePixelRatio(scale);
        m_layer.fill(Qt::transparent);
        QPainter lp(&m_layer);
        lp.setRenderHints(p.renderHints());
        lp.translate(-cover.topLeft());
        paint(lp);
        m_key = key;
        m_box = box;
        m_scale = scale;
    }
    p.drawPixmap(cover.topLeft(), m_layer);
}
