#include "settings/ShadowLayer.h"

#include <QPaintDevice>
#include <QPainter>
#include <QTransform>

void ShadowLayer::draw(QPainter& p, QSize size, int variant, const Painter& shadows,
                       const Painter& glass) {
    const qreal dpr = p.device()->devicePixelRatioF();
    // Where the layer lands: the painter may scale beyond the device's own ratio (a view
    // rendered into a larger image). Only a plain uniform scale is worth keeping.
    const QTransform t = p.deviceTransform();
    const bool uniform = t.type() <= QTransform::TxScale && t.m11() == t.m22() && t.m11() > 0;
    const qreal scale = uniform ? t.m11() : dpr;
    if (m_layer.isNull() || m_size != size || m_variant != variant || m_dpr != dpr ||
        m_scale != scale) {
        // Blurred at the device's ratio, then enlarged once the way every draw would
        // have enlarged it: the shadow's pixels stay the same.
        QPixmap base((QSizeF(size) * dpr).toSize());
        base.setDevicePixelRatio(dpr);
        base.fill(Qt::transparent);
        {
            QPainter sp(&base);
            sp.setRenderHint(QPainter::Antialiasing);
            shadows(sp);
        }
        if (scale == dpr) {
            m_layer = base;
        } else {
            m_layer = QPixmap((QSizeF(size) * scale).toSize());
            m_layer.setDevicePixelRatio(scale);
            m_layer.fill(Qt::transparent);
            QPainter sp(&m_layer);
            sp.setCompositionMode(QPainter::CompositionMode_Source);
            sp.drawPixmap(0, 0, base);
        }
        if (glass) {
            QPainter gp(&m_layer);
            gp.setRenderHint(QPainter::Antialiasing);
            glass(gp);
        }
        m_size = size;
        m_variant = variant;
        m_dpr = dpr;
        m_scale = scale;
    }
    p.drawPixmap(0, 0, m_layer);
}
