// The welcome tour's painted artwork: the meadow and dusk backdrops, the corner aurora and the
// sun of the first slide.
#include "onboarding/OnboardingChrome.h"
#include "onboarding/OnboardingPaintCache.h"
#include "onboarding/WelcomeSlideStyle.h"
#include "onboarding/WelcomeView.h"
#include "popover/GlassPainter.h"

#include <QPainter>
#include <QtMath>
#include <algorithm>
#include <vector>

using WelcomeSlideStyle::kAmber;

void WelcomeView::paintBackdrop(QPainter& p, const QRectF& card) {
    const bool photograph = m_currentSlide == 0 && welcomeIsPhotograph();
    if (m_currentSlide != 1 && m_currentSlide != 5 && !photograph) return;
    p.save();
    p.setClipPath(
        GlassPainter::continuousRoundedRect(card, OnboardingChrome::shared().cornerRadius()));
    if (photograph) {
        // The photograph fills the card, cut to its proportions about the centre, and
        // darkens over its last eighth for the text.
        const QImage& photo = m_images->welcomeBackdrop;
        const double s = std::max(card.width() / photo.width(), card.height() / photo.height());
        const QSizeF shown(photo.width() * s, photo.height() * s);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(QRectF(card.center() - QPointF(shown.width() / 2, shown.height() / 2), shown),
                    photo);
        const QRectF foot(0, card.height() * 7 / 8, card.width(), card.height() / 8);
        QLinearGradient bottom(foot.topLeft(), foot.bottomLeft());
        bottom.setColorAt(0, GlassPainter::black(0));
        bottom.setColorAt(0.5, GlassPainter::black(0.22));
        bottom.setColorAt(1, GlassPainter::black(0.62));
        p.fillRect(foot, bottom);
    } else if (m_currentSlide == 1) {
        // A meadow at golden hour: sky, a low sun, two rolling hills.
        QLinearGradient sky(card.topLeft(), card.bottomLeft());
        sky.setColorAt(0, GlassPainter::srgb(0.33, 0.45, 0.62));
        sky.setColorAt(0.55, GlassPainter::srgb(0.93, 0.72, 0.48));
        sky.setColorAt(1, GlassPainter::srgb(0.98, 0.80, 0.55));
        p.fillRect(card, sky);
        QRadialGradient sun(QPointF(card.width() * 0.72, card.height() * 0.56), 160);
        sun.setColorAt(0, GlassPainter::srgb(1.0, 0.93, 0.70, 0.95));
        sun.setColorAt(0.25, GlassPainter::srgb(1.0, 0.80, 0.50, 0.55));
        sun.setColorAt(1, Qt::transparent);
        p.fillRect(card, sun);
        QPainterPath far;
        far.moveTo(0, card.height() * 0.66);
        far.cubicTo(card.width() * 0.3, card.height() * 0.56, card.width() * 0.6,
                    card.height() * 0.70, card.width(), card.height() * 0.60);
        far.lineTo(card.width(), card.height());
        far.lineTo(0, card.height());
        p.fillPath(far, GlassPainter::srgb(0.42, 0.52, 0.26));
        QPainterPath near;
        near.moveTo(0, card.height() * 0.80);
        near.cubicTo(card.width() * 0.35, card.height() * 0.70, card.width() * 0.7,
                     card.height() * 0.86, card.width(), card.height() * 0.76);
        near.lineTo(card.width(), card.height());
        near.lineTo(0, card.height());
        p.fillPath(near, GlassPainter::srgb(0.26, 0.38, 0.16));
        QLinearGradient veil(card.topLeft(), card.bottomLeft());
        veil.setColorAt(0, GlassPainter::black(0.04));
        veil.setColorAt(1, GlassPainter::black(0.3));
        p.fillRect(card, veil);
    } else {
        // Dusk over a calm horizon, darkening to the bottom for the text.
        QLinearGradient sky(card.topLeft(), card.bottomLeft());
        sky.setColorAt(0, GlassPainter::srgb(0.10, 0.08, 0.20));
        sky.setColorAt(0.5, GlassPainter::srgb(0.45, 0.18, 0.20));
        sky.setColorAt(0.72, GlassPainter::srgb(0.85, 0.38, 0.16));
        sky.setColorAt(1, GlassPainter::srgb(0.20, 0.08, 0.06));
        p.fillRect(card, sky);
        QRadialGradient glow(QPointF(card.center().x(), card.height() * 0.74), 340);
        glow.setColorAt(0, GlassPainter::srgb(1.0, 0.62, 0.3, 0.55));
        glow.setColorAt(1, Qt::transparent);
        p.fillRect(card, glow);
        QLinearGradient bottom(QPointF(0, card.height() * 7 / 8), card.bottomLeft());
        bottom.setColorAt(0, GlassPainter::black(0));
        bottom.setColorAt(0.5, GlassPainter::black(0.22));
        bottom.setColorAt(1, GlassPainter::black(0.62));
        p.fillRect(QRectF(0, card.height() * 7 / 8, card.width(), card.height() / 8), bottom);
        p.fillRect(card, GlassPainter::black(0.25));
    }
    p.restore();
}

void WelcomeView::paintAuroraBloom(QPainter& p, const QRectF& card) {
    QRadialGradient bloom(QPointF(card.right(), card.top()), 260);
    bloom.setColorAt(0, GlassPainter::srgb(0.29, 0.56, 1.0, 0.34));
    bloom.setColorAt(0.5, GlassPainter::srgb(1.0, 0.55, 0.16, 0.24));
    bloom.setColorAt(1, Qt::transparent);
    p.fillPath(GlassPainter::continuousRoundedRect(card, OnboardingChrome::shared().cornerRadius()),
               bloom);
}

namespace {

// A box blur of `radius` pixels, across then down, in place; three runs of it come close
// to a gaussian. For the small, coarse layers of the glow only.
void boxBlur(QImage& image, int radius) {
    const int w = image.width(), h = image.height();
    std::vector<QRgb> line(size_t(std::max(w, h)));
    auto run = [&](int count, int length, auto&& at) {
        for (int i = 0; i < count; ++i) {
            for (int j = 0; j < length; ++j)
                line[size_t(j)] = *at(i, j);
            for (int j = 0; j < length; ++j) {
                // Past the ends counts as clear, so the glow thins out there as within.
                int a = 0, r = 0, g = 0, b = 0;
                for (int k = std::max(0, j - radius); k <= std::min(length - 1, j + radius); ++k) {
                    const QRgb c = line[size_t(k)];
                    a += qAlpha(c), r += qRed(c), g += qGreen(c), b += qBlue(c);
                }
                const int n = 2 * radius + 1;
                *at(i, j) = qRgba(r / n, g / n, b / n, a / n);
            }
        }
    };
    run(h, w, [&](int y, int x) { return reinterpret_cast<QRgb*>(image.scanLine(y)) + x; });
    run(w, h, [&](int x, int y) { return reinterpret_cast<QRgb*>(image.scanLine(y)) + x; });
}

} // namespace

void WelcomeView::paintAurora(QPainter& p, const QRectF& card) {
    // A coloured glow along the card's edge, strongest at the top-trailing corner,
    // turning once every seven seconds. Its bloom is part of the cached card. The ring
    // is a soft light, not a line: drawn at a quarter of the size, blurred and spread
    // back over the corner, where the mask keeps it.
    const QPointF corner(card.right(), card.top());
    const double angle = 210 + std::fmod(m_clockT, 7.0) / 7.0 * 360.0;
    QConicalGradient ring(card.center(), -angle);
    const QColor palette[] = {
        GlassPainter::srgb(0.29, 0.56, 1.0), GlassPainter::srgb(1.0, 0.26, 0.24),
        GlassPainter::srgb(1.0, 0.55, 0.16), GlassPainter::srgb(1.0, 0.83, 0.3)};
    for (int i = 0; i <= 16; ++i)
        ring.setColorAt(i / 16.0, palette[i % 4]);
    const double reach = 320, spill = 16, coarse = 0.25;
    const QRectF region(card.right() - reach, card.top() - spill, reach + spill, reach + spill);
    QImage layer((region.size() * coarse).toSize(), QImage::Format_ARGB32_Premultiplied);
    if (layer.isNull()) return;
    layer.fill(Qt::transparent);
    {
        QPainter lp(&layer);
        lp.setRenderHint(QPainter::Antialiasing);
        lp.scale(coarse, coarse);
        lp.translate(-region.topLeft());
        lp.setPen(QPen(QBrush(ring), 11, Qt::SolidLine, Qt::RoundCap));
        lp.drawPath(GlassPainter::continuousRoundedRect(card.adjusted(2, 2, -2, -2),
                                                        OnboardingChrome::shared().cornerRadius()));
    }
    for (int pass = 0; pass < 3; ++pass)
        boxBlur(layer, 2);
    {
        QPainter lp(&layer);
        lp.scale(coarse, coarse);
        lp.translate(-region.topLeft());
        lp.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        QRadialGradient mask(corner, reach);
        mask.setColorAt(0, Qt::white);
        mask.setColorAt(1.0 / 3, Qt::white);
        mask.setColorAt(2.0 / 3, GlassPainter::white(0.6));
        mask.setColorAt(1, Qt::transparent);
        lp.fillRect(region, mask);
    }
    p.save();
    p.setClipPath(
        GlassPainter::continuousRoundedRect(card, OnboardingChrome::shared().cornerRadius()),
        Qt::IntersectClip);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(region, layer);
    p.restore();
}

namespace {
constexpr double kSunSide = 320;              // the hero's frame
constexpr double kWidestGlow = 106 + 60 + 20; // the glow at the top of its breath
} // namespace

qreal WelcomeView::sunScale(const QPainter& p) const {
    return (p.device() ? p.device()->devicePixelRatioF() : 1.0) * m_fitScale;
}

void WelcomeView::paintSunHero(QPainter& p, const QRectF& frame) {
    const QPointF c = frame.center();
    const double m = std::min(frame.width(), frame.height());
    const QSizeF size(2 * kWidestGlow + 4, 2 * kWidestGlow + 4);
    const qreal scale = sunScale(p);
    // The rays turn once a minute and the glow breathes over five seconds: both move
    // by a fraction of a pixel a frame, so the sun is composed again only when the
    // turn has moved a fifth of a degree or the glow half a point.
    const double turn = std::round(std::fmod(m_clockT / 60.0, 1.0) * 360.0 * 5) / 5;
    const double breathe = 0.5 - 0.5 * std::cos(m_clockT / 5.0 * M_PI);
    const double radius = std::round((106 + 60 + 20 * breathe) * 2) / 2;
    const QString key = QStringLiteral("%1|%2|%3|%4").arg(turn).arg(radius).arg(m).arg(scale);
    if (key != m_sunKey || m_sunFrame.isNull()) {
        m_sunKey = key;
        m_sunFrame = composeSun(size, scale, m, turn, radius / kWidestGlow);
    }
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform); // the sun grows in on arrival
    p.drawImage(c - QPointF(size.width() / 2, size.height() / 2), m_sunFrame);
    p.restore();
}

void WelcomeView::prepareSunHero(const QPainter& p) {
    const qreal scale = sunScale(p);
    for (const SunLayer layer : {SunLayer::rays, SunLayer::glow, SunLayer::disc})
        if (sunLayer(layer, kSunSide, scale, true).isNull()) return;
}

QImage WelcomeView::sunLayer(SunLayer layer, double m, qreal scale, bool ahead) {
    const double outer = 0.52 * m, inner = 0.3 * m;
    QString key;
    QSizeF size;
    std::function<void(QPainter&)> paint;
    switch (layer) {
    case SunLayer::rays:
        key = QStringLiteral("sun-rays|%1").arg(m);
        size = QSizeF(2 * outer + 4, 2 * outer + 4);
        paint = [&](QPainter& rp) {
            const QPointF c(outer + 2, outer + 2);
            rp.setPen(Qt::NoPen);
            rp.setBrush(GlassPainter::srgb(1.0, 0.62, 0.24, 0.1));
            for (int i = 0; i < 28; ++i) {
                const double a = 2 * M_PI * i / 28;
                const auto at = [&](double r, double da) {
                    return c + QPointF(std::cos(a + da), std::sin(a + da)) * r;
                };
                const QPointF ray[] = {at(inner, -0.012), at(outer, 0), at(inner, 0.012)};
                rp.drawConvexPolygon(ray, 3);
            }
        };
        break;
    case SunLayer::glow:
        key = QStringLiteral("sun-glow");
        size = QSizeF(2 * kWidestGlow + 4, 2 * kWidestGlow + 4);
        paint = [](QPainter& gp) {
            const QPointF c(kWidestGlow + 2, kWidestGlow + 2);
            QRadialGradient g(c, kWidestGlow);
            g.setColorAt(0.55, GlassPainter::srgb(1.0, 0.62, 0.24, 0.6));
            g.setColorAt(1, Qt::transparent);
            gp.setPen(Qt::NoPen);
            gp.setBrush(g);
            gp.drawEllipse(c, kWidestGlow, kWidestGlow);
        };
        break;
    case SunLayer::disc:
        key = QStringLiteral("sun-disc");
        size = QSizeF(216, 216);
        paint = [](QPainter& dp) {
            const QPointF c(108, 108);
            QRadialGradient g(c, 150);
            g.setColorAt(0, GlassPainter::srgb(1.0, 0.85, 0.55));
            g.setColorAt(0.5, kAmber);
            g.setColorAt(1, GlassPainter::srgb(0.85, 0.3, 0.12));
            dp.setPen(Qt::NoPen);
            dp.setBrush(g);
            dp.drawEllipse(c, 106, 106);
        };
        break;
    }
    if (ahead && !m_cache.holds(key, size, scale) && !m_cache.takePreparingStep()) return {};
    return m_cache.image(key, size, scale, paint);
}

QImage WelcomeView::composeSun(const QSizeF& size, qreal scale, double m, double turn,
                               double glowScale) {
    QImage frame((size * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
    if (frame.isNull()) return frame;
    frame.setDevicePixelRatio(scale);
    frame.fill(Qt::transparent);
    const QPointF o(size.width() / 2, size.height() / 2);
    // The rays, the glow and the disc are each drawn once and then only turned and
    // scaled: filling 28 slivers and a large gradient anew costs far more.
    QPainter p(&frame);
    const auto place = [&p, o](const QImage& image, double angle, double factor) {
        const QSizeF logical = image.deviceIndependentSize();
        p.save();
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.translate(o);
        p.rotate(angle);
        p.scale(factor, factor);
        p.translate(-logical.width() / 2, -logical.height() / 2);
        p.drawImage(QPointF(0, 0), image);
        p.restore();
    };
    place(sunLayer(SunLayer::rays, m, scale), turn, 1.0);
    place(sunLayer(SunLayer::glow, m, scale), 0, glowScale);
    place(sunLayer(SunLayer::disc, m, scale), 0, 1.0);
    return frame;
}
