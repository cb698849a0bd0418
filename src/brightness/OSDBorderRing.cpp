#include "brightness/OSDBorderRing.h"

#include <QPainter>
#include <QPainterPath>
#include <QRgba64>
#include <algorithm>
#include <cmath>

namespace {

// x × a / 255 on each channel, rounded as the raster engine rounds it.
QRgb byteMul(QRgb x, uint a) {
    uint t = (x & 0xff00ff) * a;
    t = ((t + ((t >> 8) & 0xff00ff) + 0x800080) >> 8) & 0xff00ff;
    x = ((x >> 8) & 0xff00ff) * a;
    x = (x + ((x >> 8) & 0xff00ff) + 0x800080) & 0xff00ff00;
    return x | t;
}

QColor withAlpha(QColor c, qreal a) {
    c.setAlphaF(float(a));
    return c;
}

} // namespace

OSDBorderRing::OSDBorderRing(const QPainterPath& outline, QPointF centre) {
    // Pieces of the outline with the angle of their middle seen from the centre.
    for (int i = 0; i < runCount; ++i) {
        const qreal a0 = qreal(i) / runCount, a1 = qreal(i + 1) / runCount;
        Run run;
        for (int k = 0; k <= 4; ++k)
            run.points << outline.pointAtPercent(a0 + (a1 - a0) * k / 4);
        const QPointF mid = outline.pointAtPercent((a0 + a1) / 2);
        run.angle = std::atan2(-(mid.y() - centre.y()), mid.x() - centre.x()) * 180.0 / M_PI;
        m_runs.push_back(std::move(run));
    }
}

std::vector<QRgb> OSDBorderRing::colours(qreal seconds, const QColor& accent) const {
    // Each run is the gradient's colour at its middle. Worked in plain floats, rounded
    // to 16 bits a channel as a colour made from them would be: 48 colours a frame,
    // sixty frames a second.
    const qreal start = std::fmod(seconds, 3.0) / 3.0 * 360.0;
    struct Rgba {
        float r, g, b, a;
    };
    auto rgba = [](const QColor& c) { return Rgba{c.redF(), c.greenF(), c.blueF(), c.alphaF()}; };
    struct Stop {
        float at;
        Rgba colour;
    };
    const Stop stops[] = {{0.0f, rgba(accent)},
                          {0.08f, rgba(withAlpha(accent, 0.6))},
                          {0.3f, rgba(QColor::fromRgbF(1, 1, 1, 0.05f))},
                          {0.85f, rgba(QColor::fromRgbF(1, 1, 1, 0.05f))},
                          {0.95f, rgba(withAlpha(accent, 0.3))},
                          {1.0f, rgba(accent)}};
    auto colourAt = [&](float f) {
        for (size_t i = 1; i < std::size(stops); ++i) {
            if (f > stops[i].at) continue;
            const float k = (f - stops[i - 1].at) / (stops[i].at - stops[i - 1].at);
            const Rgba& a = stops[i - 1].colour;
            const Rgba& b = stops[i].colour;
            return Rgba{a.r + (b.r - a.r) * k, a.g + (b.g - a.g) * k, a.b + (b.b - a.b) * k,
                        a.a + (b.a - a.a) * k};
        }
        return stops[0].colour;
    };
    auto channel = [](float v) { return quint16(qRound(v * 65535.0f)); };
    std::vector<QRgb> out;
    out.reserve(m_runs.size());
    for (const Run& run : m_runs) {
        const Rgba c = colourAt(float(std::fmod(run.angle - start + 720.0, 360.0) / 360.0));
        const QRgba64 v =
            QRgba64::fromRgba64(channel(c.r), channel(c.g), channel(c.b), channel(c.a));
        out.push_back(qPremultiply(v).toArgb32());
    }
    return out;
}

void OSDBorderRing::measure(QSize pixels, qreal dpr) {
    QImage scratch(pixels, QImage::Format_ARGB32_Premultiplied);
    scratch.setDevicePixelRatio(dpr);
    const int stride = int(scratch.bytesPerLine() / 4);
    struct Covered {
        int offset, run;
        uchar cover;
    };
    std::vector<Covered> covered;
    for (size_t i = 0; i < m_runs.size(); ++i) {
        Run& run = m_runs[i];
        scratch.fill(Qt::transparent);
        {
            QPainter c(&scratch);
            c.setRenderHint(QPainter::Antialiasing);
            c.setPen(QPen(Qt::white, 1.5, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
            c.drawPolyline(run.points);
        }
        const QRectF near = run.points.boundingRect().adjusted(-3, -3, 3, 3);
        const QRect scan =
            QRectF(near.topLeft() * dpr, near.size() * dpr).toAlignedRect() & scratch.rect();
        QRect found;
        for (int y = scan.top(); y <= scan.bottom(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(scratch.constScanLine(y));
            for (int x = scan.left(); x <= scan.right(); ++x) {
                if (const int a = qAlpha(line[x])) {
                    covered.push_back({y * stride + x, int(i), uchar(a)});
                    found |= QRect(x, y, 1, 1);
                }
            }
        }
        run.area =
            QRectF(QPointF(found.topLeft()) / dpr, QSizeF(found.size()) / dpr).toAlignedRect();
    }
    // Pixel by pixel, the runs over it in their order.
    std::stable_sort(covered.begin(), covered.end(),
                     [](const Covered& a, const Covered& b) { return a.offset < b.offset; });
    m_pixels.clear();
    m_contributions.clear();
    for (Run& run : m_runs)
        run.pixels.clear();
    for (const Covered& c : covered) {
        if (m_pixels.empty() || m_pixels.back().offset != c.offset)
            m_pixels.push_back({c.offset, int(m_contributions.size()), 0});
        ++m_pixels.back().count;
        m_contributions.push_back({c.run, c.cover});
        m_runs[size_t(c.run)].pixels.push_back(int(m_pixels.size() - 1));
    }
    m_stamps.assign(m_pixels.size(), 0);
    m_blends = 0;
    m_size = pixels;
    m_dpr = dpr;
}

inline void OSDBorderRing::blendPixel(const Pixel& p, const QRgb* from, QRgb* to,
                                      const std::vector<QRgb>& colours) const {
    QRgb d = from[p.offset];
    const Contribution* c = m_contributions.data() + p.first;
    for (const Contribution* end = c + p.count; c != end; ++c) {
        const QRgb colour = colours[size_t(c->run)];
        const QRgb s = c->cover == 255 ? colour : byteMul(colour, c->cover);
        d = s + byteMul(d, 255 - qAlpha(s));
    }
    to[p.offset] = d;
}

void OSDBorderRing::blend(QImage& frame, const QImage& backdrop, const std::vector<QRgb>& colours,
                          const std::vector<QRgb>* shown) {
    if (frame.size() != m_size || backdrop.size() != m_size ||
        frame.bytesPerLine() != backdrop.bytesPerLine() || colours.size() != m_runs.size())
        return;
    const auto* from = reinterpret_cast<const QRgb*>(backdrop.constBits());
    auto* to = reinterpret_cast<QRgb*>(frame.bits());
    if (!shown || shown->size() != colours.size()) {
        for (const Pixel& p : m_pixels)
            blendPixel(p, from, to, colours);
        return;
    }
    // A pixel two changed runs share is made once.
    if (++m_blends == 0) {
        std::fill(m_stamps.begin(), m_stamps.end(), 0u);
        m_blends = 1;
    }
    for (size_t i = 0; i < m_runs.size(); ++i) {
        if ((*shown)[i] == colours[i]) continue;
        for (const int index : m_runs[i].pixels) {
            if (m_stamps[size_t(index)] == m_blends) continue;
            m_stamps[size_t(index)] = m_blends;
            blendPixel(m_pixels[size_t(index)], from, to, colours);
        }
    }
}
