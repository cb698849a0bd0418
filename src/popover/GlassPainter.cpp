#include "popover/GlassPainter.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// One horizontal then one vertical running-sum pass of a box `r` wide each side over a
// premultiplied ARGB image; three rounds come close to a Gaussian.
void boxBlur(QImage& img, int r) {
    if (r < 1) return;
    const int w = img.width(), h = img.height();
    std::vector<int> acc(4 * std::max(w, h) + 8);
    auto pass = [&](bool horizontal) {
        const int lines = horizontal ? h : w, len = horizontal ? w : h;
        std::vector<QRgb> line(len);
        for (int l = 0; l < lines; ++l) {
            for (int i = 0; i < len; ++i)
                line[i] = horizontal ? reinterpret_cast<const QRgb*>(img.constScanLine(l))[i]
                                     : reinterpret_cast<const QRgb*>(img.constScanLine(i))[l];
            int sa = 0, sr = 0, sg = 0, sb = 0;
            const int win = 2 * r + 1;
            auto add = [&](int i, int sign) {
                if (i < 0 || i >= len) return;
                const QRgb c = line[i];
                sa += sign * qAlpha(c), sr += sign * qRed(c), sg += sign * qGreen(c),
                    sb += sign * qBlue(c);
            };
            for (int i = -r; i <= r; ++i)
                add(i, 1);
            for (int i = 0; i < len; ++i) {
                const QRgb out = qRgba(sr / win, sg / win, sb / win, sa / win);
                if (horizontal)
                    reinterpret_cast<QRgb*>(img.scanLine(l))[i] = out;
                else
                    reinterpret_cast<QRgb*>(img.scanLine(i))[l] = out;
                add(i - r, -1);
                add(i + r + 1, 1);
            }
        }
    };
    for (int round = 0; round < 3; ++round) {
        pass(true);
        pass(false);
    }
}

} // namespace

QColor GlassPainter::white(qreal opacity) {
    return QColor::fromRgbF(1, 1, 1, float(opacity));
}
QColor GlassPainter::black(qreal opacity) {
    return QColor::fromRgbF(0, 0, 0, float(opacity));
}
QColor GlassPainter::srgb(qreal r, qreal g, qreal b, qreal opacity) {
    return QColor::fromRgbF(float(r), float(g), float(b), float(opacity));
}

QPainterPath GlassPainter::continuousRoundedRect(const QRectF& rect, qreal radius) {
    QPainterPath path;
    const qreal maxR = std::min(rect.width(), rect.height()) / 2.0;
    // A continuous corner starts its bend earlier than a circular arc and eases in,
    // so the straight edge flows into the curve without a visible kink.
    const qreal r = std::clamp(radius, 0.0, maxR);
    if (r <= 0) {
        path.addRect(rect);
        return path;
    }
    // One cubic per corner, tangent to both edges, reaching 1.28 r along each and
    // passing as close to the corner as a circular arc of radius r would.
    // A shape too small for the long bend (a capsule) falls back to a circular arc.
    const qreal a = std::min(r * 1.28, maxR);
    const qreal squeeze = std::clamp((r * 1.28 - a) / (r * 0.28), 0.0, 1.0);
    const qreal c = a * (0.291 + (0.4477 - 0.291) * squeeze);
    const qreal l = rect.left(), t = rect.top(), rt = rect.right(), b = rect.bottom();
    path.moveTo(l + a, t);
    path.lineTo(rt - a, t);
    path.cubicTo(rt - c, t, rt, t + c, rt, t + a);
    path.lineTo(rt, b - a);
    path.cubicTo(rt, b - c, rt - c, b, rt - a, b);
    path.lineTo(l + a, b);
    path.cubicTo(l + c, b, l, b - c, l, b - a);
    path.lineTo(l, t + a);
    path.cubicTo(l, t + c, l + c, t, l + a, t);
    path.closeSubpath();
    return path;
}

void GlassPainter::paintShadow(QPainter& p, const QPainterPath& shape, const QColor& colour,
                               qreal radius, QPointF offset) {
    if (colour.alpha() == 0 || shape.isEmpty()) return;
    const qreal scale = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    const int pad = int(std::ceil(radius * 2 + 2));
    const QRectF box = shape.boundingRect().adjusted(-pad, -pad, pad, pad);
    QImage img((box.size() * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
    if (img.isNull()) return;
    img.fill(Qt::transparent);
    {
        QPainter ip(&img);
        ip.setRenderHint(QPainter::Antialiasing);
        ip.scale(scale, scale);
        ip.translate(-box.topLeft());
        ip.fillPath(shape, colour);
    }
    // A shadow's radius spreads it about twice as far as its standard deviation; three
    // box passes of half-width r give a deviation of about r.
    boxBlur(img, int(std::lround(radius * scale / 2.0)));
    img.setDevicePixelRatio(scale);
    p.drawImage(box.topLeft() + offset, img);
}

void GlassPainter::paintMaterial(QPainter& p, const QPainterPath& shape, Backdrop backdrop) {
    const QRectF r = shape.boundingRect();
    // The ultra-thin material: a thin smoky layer that lets the backdrop through, with
    // a faint sheen that catches light at the top edge. Without a compositor nothing
    // can show through, so it becomes the solid tone it would have over a dark desktop.
    const bool solid = backdrop == Backdrop::opaque;
    p.fillPath(shape, solid ? srgb(0.17, 0.17, 0.19) : srgb(0.16, 0.16, 0.18, 0.62));
    QLinearGradient sheen(r.topLeft(), r.bottomLeft());
    sheen.setColorAt(0.0, white(0.07));
    sheen.setColorAt(0.35, white(0.02));
    sheen.setColorAt(1.0, white(0.0));
    p.fillPath(shape, sheen);
}

namespace {
// The framed card: a soft shadow, the material, an optional veil over it, a hairline.
void paintFramedCard(QPainter& p, const QRectF& rect, qreal radius, GlassPainter::Backdrop backdrop,
                     const QColor& veil) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = GlassPainter::continuousRoundedRect(rect, radius);
    GlassPainter::paintShadow(p, shape, GlassPainter::black(0.12), 1.5, QPointF(0, 1));
    GlassPainter::paintMaterial(p, shape, backdrop);
    if (veil.alpha() > 0) p.fillPath(shape, veil);
    GlassPainter::strokeInside(p, rect, radius, GlassPainter::white(0.15), 0.5);
    p.restore();
}
} // namespace

void GlassPainter::paintCard(QPainter& p, const QRectF& rect, qreal radius, Backdrop backdrop) {
    // The popover's glass is darkened so its controls read over any desktop.
    paintFramedCard(p, rect, radius, backdrop, black(0.4));
}

void GlassPainter::paintGlassCard(QPainter& p, const QRectF& rect, qreal radius,
                                  Backdrop backdrop) {
    paintFramedCard(p, rect, radius, backdrop, Qt::transparent);
}

void GlassPainter::strokeInside(QPainter& p, const QRectF& rect, qreal radius, const QColor& colour,
                                qreal width) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const qreal h = width / 2.0;
    p.setPen(QPen(colour, width));
    p.setBrush(Qt::NoBrush);
    p.drawPath(continuousRoundedRect(rect.adjusted(h, h, -h, -h), std::max(0.0, radius - h)));
    p.restore();
}

void GlassPainter::paintInset(QPainter& p, const QRectF& rect, qreal radius, qreal fillOpacity,
                              qreal edgeOpacity) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.fillPath(continuousRoundedRect(rect, radius), white(fillOpacity));
    strokeInside(p, rect, radius, white(edgeOpacity), 0.5);
    p.restore();
}

void GlassPainter::paintThumb(QPainter& p, QPointF centre, qreal diameter,
                              const std::function<void(QPainter&)>& backdrop) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const qreal r = diameter / 2.0;
    const QRectF box(centre.x() - r, centre.y() - r, diameter, diameter);
    QPainterPath disc;
    disc.addEllipse(box);
    paintShadow(p, disc, black(0.25), 2.0, QPointF(0, 1));

    // The material frosts what lies beneath: a blurred copy of it, clipped to the disc,
    // under the material's own veil.
    const qreal scale = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    const int pad = 4;
    const QRectF area = box.adjusted(-pad, -pad, pad, pad);
    QImage frosted((area.size() * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
    if (backdrop && !frosted.isNull()) {
        frosted.fill(Qt::transparent);
        {
            QPainter fp(&frosted);
            fp.setRenderHint(QPainter::Antialiasing);
            fp.scale(scale, scale);
            fp.translate(-area.topLeft());
            backdrop(fp);
        }
        boxBlur(frosted, int(std::lround(3.0 * scale)));
        frosted.setDevicePixelRatio(scale);
        p.save();
        p.setClipPath(disc, Qt::IntersectClip);
        p.drawImage(area.topLeft(), frosted);
        p.restore();
    }
    paintMaterial(p, disc, Backdrop::translucent);
    p.setPen(QPen(white(0.35), 0.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(box.adjusted(0.25, 0.25, -0.25, -0.25));
    p.restore();
}

QLinearGradient GlassPainter::horizontalGradient(const QList<QColor>& stops, qreal x0, qreal x1,
                                                 qreal opacity) {
    QLinearGradient g(QPointF(x0, 0), QPointF(x1, 0));
    const int n = int(stops.size());
    for (int i = 0; i < n; ++i) {
        QColor c = stops[i];
        c.setAlphaF(float(c.alphaF() * opacity));
        g.setColorAt(n == 1 ? 0.0 : qreal(i) / (n - 1), c);
    }
    if (n == 1) g.setColorAt(1.0, g.stops().front().second);
    return g;
}
