// The six slides of the welcome tour and their painted artwork: the meadow and dusk
// backdrops, the corner aurora and the sun of the first slide.
#include "onboarding/OnboardingGlyphs.h"
#include "onboarding/OnboardingPaintCache.h"
#include "onboarding/OnboardingText.h"
#include "onboarding/WarmthSweep.h"
#include "onboarding/WelcomeView.h"
#include "popover/GlassPainter.h"
#include "warmth/PresetManager.h"

#include <QPainter>
#include <QtMath>
#include <algorithm>

using OnboardingText::draw;
using OnboardingText::span;

namespace {

const QColor kAmber = GlassPainter::srgb(1.0, 0.62, 0.24);
const QColor kDim = GlassPainter::white(0.55);

struct Chip {
    OnboardingGlyphs::Glyph icon;
    const char* title;
    const char* sub;
};
const Chip kChips[] = {
    {OnboardingGlyphs::Moon, "Wind down properly", "Down to 500K — deep candlelight red."},
    {OnboardingGlyphs::Sun, "Wake up rested", "58% more melatonin in the trial (Gooley, 2011)."},
    {OnboardingGlyphs::Eye, "Eyes stop aching", "The flicker behind late-night headaches — off."},
    {OnboardingGlyphs::Moon, "Darker than the desktop allows",
     "Deeper, warmer than a night light ever could."},
    {OnboardingGlyphs::ArrowRight, "Set it once, forget it", "Warms itself as the sun goes down."},
    {OnboardingGlyphs::LockShield, "Protect more than sleep",
     "Night light can cut melatonin up to 85% (Gooley, 2011)."},
};

QColor presetColour(const PresetColor& c) {
    return GlassPainter::srgb(c.red, c.green, c.blue, c.opacity);
}

// The first six library rows without the custom one, with their library index.
std::vector<std::pair<HalcyraPreset, int>> wowBlocks() {
    std::vector<std::pair<HalcyraPreset, int>> blocks;
    const auto& library = PresetManager::library();
    for (int i = 0; i < library.size() && blocks.size() < 6; ++i) {
        if (library[i].id != PresetManager::customId) blocks.emplace_back(library[i], i);
    }
    return blocks;
}

void paintSwitch(QPainter& p, const QRectF& track, bool on) {
    p.fillPath(GlassPainter::continuousRoundedRect(track, track.height() / 2),
               on ? kAmber : GlassPainter::white(0.2));
    const double r = track.height() / 2 - 2.5;
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(
        QPointF(on ? track.right() - r - 2.5 : track.left() + r + 2.5, track.center().y()), r, r);
}

} // namespace

void WelcomeView::paintBackdrop(QPainter& p, const QRectF& card) {
    if (m_currentSlide != 1 && m_currentSlide != 5) return;
    p.save();
    p.setClipPath(GlassPainter::continuousRoundedRect(card, 24));
    if (m_currentSlide == 1) {
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
    p.fillPath(GlassPainter::continuousRoundedRect(card, 24), bloom);
}

void WelcomeView::paintAurora(QPainter& p, const QRectF& card) {
    // A coloured glow along the card's edge, strongest at the top-trailing corner,
    // turning once every seven seconds. Its bloom is part of the cached card.
    const QPointF corner(card.right(), card.top());
    const double angle = 210 + std::fmod(m_clockT, 7.0) / 7.0 * 360.0;
    QConicalGradient ring(card.center(), -angle);
    const QColor palette[] = {
        GlassPainter::srgb(0.29, 0.56, 1.0), GlassPainter::srgb(1.0, 0.26, 0.24),
        GlassPainter::srgb(1.0, 0.55, 0.16), GlassPainter::srgb(1.0, 0.83, 0.3)};
    for (int i = 0; i <= 16; ++i)
        ring.setColorAt(i / 16.0, palette[i % 4]);
    // The mask hides all but the ring's stretch within 320 of the corner, and the ring
    // keeps to the card's edge: two thin strips along the top and trailing edges hold
    // everything that shows.
    const double reach = 320, band = 26;
    const QRectF strips[] = {QRectF(card.right() - reach, card.top(), reach, band),
                             QRectF(card.right() - band, card.top() + band, band, reach - band)};
    const qreal scale = std::max<qreal>(1.0, OnboardingPaintCache::deviceScale(p));
    const QPainterPath edge = GlassPainter::continuousRoundedRect(card.adjusted(3, 3, -3, -3), 22);
    for (const QRectF& strip : strips) {
        QImage layer((strip.size() * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
        if (layer.isNull()) return;
        layer.setDevicePixelRatio(scale);
        layer.fill(Qt::transparent);
        {
            QPainter lp(&layer);
            lp.setRenderHint(QPainter::Antialiasing);
            lp.translate(-strip.topLeft());
            lp.setPen(QPen(QBrush(ring), 6, Qt::SolidLine, Qt::RoundCap));
            lp.drawPath(edge);
            lp.setCompositionMode(QPainter::CompositionMode_DestinationIn);
            m_cache.draw(lp, QStringLiteral("aurora-mask|%1").arg(strip.top()), strip,
                         [&](QPainter& mp) {
                             mp.translate(-strip.topLeft());
                             QRadialGradient mask(corner, reach);
                             mask.setColorAt(0, Qt::white);
                             mask.setColorAt(0.5, GlassPainter::white(0.6));
                             mask.setColorAt(1, Qt::transparent);
                             mp.fillRect(strip, mask);
                         });
        }
        p.drawImage(strip.topLeft(), layer);
    }
}

void WelcomeView::paintSunHero(QPainter& p, const QRectF& frame) {
    const QPointF c = frame.center();
    const double m = std::min(frame.width(), frame.height());
    constexpr double widest = 106 + 60 + 20; // the glow at the top of its breath
    const QSizeF size(2 * widest + 4, 2 * widest + 4);
    const qreal scale = (p.device() ? p.device()->devicePixelRatioF() : 1.0) * m_fitScale;
    // The rays turn once a minute and the glow breathes over five seconds: both move
    // by a fraction of a pixel a frame, so the sun is composed again only when the
    // turn has moved a fifth of a degree or the glow half a point.
    const double turn = std::round(std::fmod(m_clockT / 60.0, 1.0) * 360.0 * 5) / 5;
    const double breathe = 0.5 - 0.5 * std::cos(m_clockT / 5.0 * M_PI);
    const double radius = std::round((106 + 60 + 20 * breathe) * 2) / 2;
    const QString key = QStringLiteral("%1|%2|%3|%4").arg(turn).arg(radius).arg(m).arg(scale);
    if (key != m_sunKey || m_sunFrame.isNull()) {
        m_sunKey = key;
        m_sunFrame = composeSun(size, scale, m, turn, radius / widest);
    }
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform); // the sun grows in on arrival
    p.drawImage(c - QPointF(size.width() / 2, size.height() / 2), m_sunFrame);
    p.restore();
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
    const double outer = 0.52 * m, inner = 0.3 * m;
    const QImage rays = m_cache.image(
        QStringLiteral("sun-rays|%1").arg(m), QSizeF(2 * outer + 4, 2 * outer + 4), scale,
        [&](QPainter& rp) {
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
        });
    place(rays, turn, 1.0);
    const double widest = size.width() / 2 - 2;
    const QImage glow =
        m_cache.image(QStringLiteral("sun-glow"), size, scale, [widest](QPainter& gp) {
            const QPointF c(widest + 2, widest + 2);
            QRadialGradient g(c, widest);
            g.setColorAt(0.55, GlassPainter::srgb(1.0, 0.62, 0.24, 0.6));
            g.setColorAt(1, Qt::transparent);
            gp.setPen(Qt::NoPen);
            gp.setBrush(g);
            gp.drawEllipse(c, widest, widest);
        });
    place(glow, 0, glowScale);
    const QImage disc =
        m_cache.image(QStringLiteral("sun-disc"), QSizeF(216, 216), scale, [](QPainter& dp) {
            const QPointF c(108, 108);
            QRadialGradient g(c, 150);
            g.setColorAt(0, GlassPainter::srgb(1.0, 0.85, 0.55));
            g.setColorAt(0.5, kAmber);
            g.setColorAt(1, GlassPainter::srgb(0.85, 0.3, 0.12));
            dp.setPen(Qt::NoPen);
            dp.setBrush(g);
            dp.drawEllipse(c, 106, 106);
        });
    place(disc, 0, 1.0);
    return frame;
}

void WelcomeView::paintWelcome(QPainter& p, const QRectF& body) {
    // Two columns: the text with its chips, and the sun.
    const double x = body.left();
    double y = body.top() + 10;
    p.save();
    p.setOpacity(p.opacity() * titleOn());
    p.setFont(OnboardingText::font(12, QFont::DemiBold));
    QFont eyebrow = OnboardingText::font(12, QFont::DemiBold);
    eyebrow.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    p.setFont(eyebrow);
    p.setPen(GlassPainter::srgb(1.0, 0.62, 0.24, 0.85));
    p.drawText(QPointF(x, y + 12), tr("WELCOME"));
    p.restore();
    y += 16 + 12;
    y += draw(&m_cache, &p,
              span(tr("Welcome to a "), Qt::white) + span(tr("new era of display health."), kAmber),
              OnboardingText::font(34, QFont::Bold), x, y, columnWidth, Qt::AlignLeft, titleOn(),
              10 * (1 - titleOn()));
    y += 10;
    y += draw(
        &m_cache, &p,
        span(tr("Kill the blue. "), kAmber) + span(tr("Keep the dark. Wake up sharp."), Qt::white),
        OnboardingText::font(19, QFont::DemiBold), x, y, columnWidth, Qt::AlignLeft, bodyOn());
    y += 12;
    y += draw(
        &m_cache, &p,
        span(tr("One tap drops your screen to a deep, firelit red — the blue light that steals "
                "your sleep is gone."),
             kDim),
        OnboardingText::font(15, QFont::Normal), x, y, columnWidth, Qt::AlignLeft, bodyOn());
    y += 14;
    const double chipW = (columnWidth - 20) / 2;
    const double lift = 8 * (1 - chipsOn());
    for (int row = 0; row < 3; ++row) {
        double rowH = 0;
        for (int col = 0; col < 2; ++col) {
            const Chip& chip = kChips[row * 2 + col];
            const double cx = x + col * (chipW + 20);
            if (chipsOn() > 0) {
                p.save();
                p.setOpacity(p.opacity() * chipsOn());
                OnboardingGlyphs::paint(p, chip.icon, QRectF(cx, y + 1 + lift, 15, 15), kAmber);
                p.restore();
            }
            double h = draw(&m_cache, &p, span(tr(chip.title), GlassPainter::white(0.9)),
                            OnboardingText::font(13, QFont::DemiBold), cx + 28, y, chipW - 28,
                            Qt::AlignLeft, chipsOn(), lift, 0, false);
            h += 2 + draw(&m_cache, &p, span(tr(chip.sub), GlassPainter::white(0.45)),
                          OnboardingText::font(11, QFont::Normal), cx + 28, y + h + 2, chipW - 28,
                          Qt::AlignLeft, chipsOn(), lift, 0, false);
            rowH = std::max(rowH, h);
        }
        y += rowH + 12;
    }
    if (heroOn() > 0) {
        p.save();
        p.setOpacity(p.opacity() * heroOn());
        const QRectF hero(body.right() - 320, body.center().y() - 160, 320, 320);
        p.translate(hero.center());
        const double s = 0.9 + 0.1 * heroOn();
        p.scale(s, s);
        p.translate(-hero.center());
        paintSunHero(p, hero);
        p.restore();
    }
}

void WelcomeView::paintWidgetMock(QPainter& p, const QRectF& frame) {
    const QRectF card(frame.left(), frame.top(), 264, 250);
    const QPainterPath shape = GlassPainter::continuousRoundedRect(card, 18);
    m_cache.shadow(p, shape, GlassPainter::black(0.5), 24, QPointF(0, 10));
    p.fillPath(shape, GlassPainter::srgb(0.09, 0.08, 0.11, 0.96));
    GlassPainter::strokeInside(p, card, 18, GlassPainter::white(0.12), 1.0);
    const QRectF in = card.adjusted(18, 18, -18, -18);
    double y = in.top();
    p.setFont(OnboardingText::font(16, QFont::Bold));
    p.setPen(Qt::white);
    p.drawText(QRectF(in.left(), y, in.width(), 22), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Halcyra"));
    paintSwitch(p, QRectF(in.right() - 40, y, 40, 22), true);
    y += 22 + 14;
    const auto slider = [&](const QString& label, const QString& value, bool gradient,
                            double thumbX) {
        p.setFont(OnboardingText::font(12, QFont::Normal));
        p.setPen(GlassPainter::white(0.65));
        p.drawText(QRectF(in.left(), y, in.width(), 15), Qt::AlignLeft | Qt::AlignVCenter, label);
        p.setFont(OnboardingText::font(12, QFont::Medium));
        p.setPen(GlassPainter::white(0.85));
        p.drawText(QRectF(in.left(), y, in.width(), 15), Qt::AlignRight | Qt::AlignVCenter, value);
        y += 15 + 5;
        const QRectF track(in.left(), y + 4.5, in.width(), 5);
        const QPainterPath t = GlassPainter::continuousRoundedRect(track, 2.5);
        if (gradient) {
            p.fillPath(t, GlassPainter::horizontalGradient({GlassPainter::srgb(0.45, 0.70, 1.0),
                                                            GlassPainter::srgb(1.0, 0.85, 0.30),
                                                            GlassPainter::srgb(1.0, 0.45, 0.10),
                                                            GlassPainter::srgb(0.60, 0.05, 0.02)},
                                                           track.left(), track.right()));
        } else {
            p.fillPath(t, GlassPainter::white(0.25));
        }
        QPainterPath thumb;
        thumb.addEllipse(QPointF(in.left() + thumbX + 7, track.center().y()), 7, 7);
        m_cache.shadow(p, thumb, GlassPainter::black(0.4), 2);
        p.fillPath(thumb, Qt::white);
        y += 14 + 14;
    };
    slider(tr("Warmth"), QStringLiteral("5500K"), true, 58);
    slider(tr("Brightness"), QStringLiteral("51%"), false, 108);
    std::vector<HalcyraPreset> swatches;
    for (const HalcyraPreset& preset : PresetManager::library())
        if (preset.id != PresetManager::customId) swatches.push_back(preset);
    const double sw = (in.width() - 8 * (double(swatches.size()) - 1)) / double(swatches.size());
    for (size_t i = 0; i < swatches.size(); ++i) {
        const QRectF s(in.left() + i * (sw + 8), y, sw, 34);
        const auto [from, to] = swatches[i].gradientColors();
        QLinearGradient g(s.topLeft(), s.bottomRight());
        g.setColorAt(0, presetColour(from));
        g.setColorAt(1, presetColour(to));
        p.fillPath(GlassPainter::continuousRoundedRect(s, 8), g);
    }
    y += 34 + 14;
    p.setFont(OnboardingText::font(10, QFont::Normal, true));
    p.setPen(GlassPainter::white(0.4));
    p.drawText(QRectF(in.left(), y, in.width(), 14), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("“Simplicity is the ultimate sophistication.”"));
}

void WelcomeView::paintLivesHere(QPainter& p, const QRectF& body) {
    const double heroLift = 12 * (1 - heroOn());
    const bool live = m_liveWidget && m_liveWidget->isVisible();
    const double widgetW = live ? 320 : 264;
    if (!live && heroOn() > 0) {
        p.save();
        p.setOpacity(p.opacity() * heroOn());
        paintWidgetMock(p,
                        QRectF(body.left() + 10, body.center().y() - 125 + 8 + heroLift, 264, 250));
        p.restore();
    }
    const double x = body.left() + 10 + widgetW + 36;
    const double w = std::min(480.0, body.right() - x);
    double y = body.center().y() - 110;
    y += draw(&m_cache, &p, span(tr("Enjoy the beauty of halcyra."), Qt::white),
              OnboardingText::font(34, QFont::Bold), x, y, w, Qt::AlignLeft, titleOn(),
              10 * (1 - titleOn()));
    y += 12;
    y += draw(
        &m_cache, &p,
        span(tr("This is your widget. Drag the Warmth. Drag the Brightness. One tap on a preset "
                "moves your whole screen."),
             GlassPainter::white(0.92)),
        OnboardingText::font(15, QFont::Normal), x, y, w, Qt::AlignLeft, bodyOn());
    y += 14;
    const QString arrow = QStringLiteral("   →   ");
    y += draw(&m_cache, &p,
              span(tr("Relaxed eyes") + arrow + tr("more focus, longer flow"), Qt::white),
              OnboardingText::font(14, QFont::DemiBold), x, y, w, Qt::AlignLeft, contentOn());
    y += 7;
    draw(&m_cache, &p,
         span(tr("No blue light") + arrow + tr("deeper sleep, wake up sharp"), Qt::white),
         OnboardingText::font(14, QFont::DemiBold), x, y, w, Qt::AlignLeft, contentOn());
}

void WelcomeView::paintMenuBar(QPainter& p, const QRectF& body) {
    // The glow and the bobbing arrow point at the top-trailing corner, where the icon is.
    const QPointF corner(body.right() + 40, 0);
    if (heroOn() > 0) {
        QRadialGradient glow(corner, 300);
        glow.setColorAt(0, GlassPainter::srgb(1.0, 0.62, 0.24, 0.22 * heroOn()));
        glow.setColorAt(0.5, GlassPainter::srgb(1.0, 0.62, 0.24, 0.06 * heroOn()));
        glow.setColorAt(1, Qt::transparent);
        p.fillRect(QRectF(body.right() + 40 - 300, 0, 300, 300), glow);
    }
    const double cx = body.center().x();
    const double w = 520;
    double y = body.top() + 24;
    p.save();
    QFont eyebrow = OnboardingText::font(12, QFont::DemiBold);
    eyebrow.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    p.setFont(eyebrow);
    p.setOpacity(p.opacity() * titleOn());
    p.setPen(GlassPainter::srgb(1.0, 0.62, 0.24, 0.85));
    p.drawText(QRectF(body.left(), y, body.width(), 16), Qt::AlignCenter, tr("PRIME REAL ESTATE"));
    p.restore();
    y += 16 + 12;
    y += draw(&m_cache, &p, span(tr("It lives up here."), Qt::white),
              OnboardingText::font(44, QFont::Bold), body.left(), y, body.width(), Qt::AlignHCenter,
              titleOn(), 10 * (1 - titleOn()));
    y += 14;
    y +=
        draw(&m_cache, &p,
             span(tr("The status area is the most valuable row of pixels on your desktop. Three "
                     "moves and it's yours:"),
                  kDim),
             OnboardingText::font(16, QFont::Normal), cx - w / 2, y, w, Qt::AlignHCenter, bodyOn());
    y += 20;
    struct Step {
        const char* num;
        OnboardingGlyphs::Glyph icon;
        const char* text;
    };
    const Step steps[] = {
        {"1", OnboardingGlyphs::Sun,
         "Find the sun — it just appeared in the status area of your panel."},
        {"2", OnboardingGlyphs::ArrowRight,
         "Left-click it for the popover: warmth, brightness, presets."},
        {"3", OnboardingGlyphs::MenuBar,
         "Right-click it for the emergency reset if a display ever looks wrong."},
    };
    // Wider than the text above them, so each step reads on one line.
    const double rowW = 640;
    for (const Step& step : steps) {
        const double rowH = 22 + 20;
        const QRectF row(cx - rowW / 2, y, rowW, rowH);
        if (contentOn() > 0) {
            p.save();
            p.setOpacity(p.opacity() * contentOn());
            m_cache.draw(p, QStringLiteral("step|") + QLatin1String(step.num), row,
                         [&](QPainter& sp) {
                             const QRectF local(QPointF(0, 0), row.size());
                             sp.fillPath(GlassPainter::continuousRoundedRect(local, 12),
                                         GlassPainter::white(0.05));
                             const QRectF num(14, 10, 22, 22);
                             sp.setPen(Qt::NoPen);
                             sp.setBrush(GlassPainter::white(0.08));
                             sp.drawEllipse(num);
                             sp.setFont(OnboardingText::font(13, QFont::Bold));
                             sp.setPen(kAmber);
                             sp.drawText(num, Qt::AlignCenter, QString::fromLatin1(step.num));
                             OnboardingGlyphs::paint(sp, step.icon,
                                                     QRectF(num.right() + 14, 14, 14, 14), kAmber);
                             sp.setFont(OnboardingText::font(14, QFont::Medium));
                             sp.setPen(GlassPainter::white(0.8));
                             const double tx = num.right() + 44;
                             sp.drawText(QRectF(tx, 0, rowW - tx - 14, rowH),
                                         Qt::AlignLeft | Qt::AlignVCenter, tr(step.text));
                         });
            p.restore();
        }
        y += rowH + 10;
    }
    if (heroOn() > 0) {
        // One bob up and to the right a second.
        const double pulse = -6 * (0.5 - 0.5 * std::cos(m_clockT * M_PI));
        p.save();
        p.setOpacity(p.opacity() * 0.9 * heroOn());
        const QRectF arrowBox(body.right() + 40 - 24 - 30 - 6 - 0.7 * pulse, 52 + 0.7 * pulse, 30,
                              30);
        QPainterPath halo;
        halo.addEllipse(arrowBox);
        m_cache.shadow(p, halo, GlassPainter::srgb(1.0, 0.62, 0.24, 0.35), 10);
        p.translate(arrowBox.center());
        p.rotate(45);
        p.translate(-arrowBox.center());
        OnboardingGlyphs::paint(p, OnboardingGlyphs::ArrowUp, arrowBox, kAmber);
        p.restore();
    }
}

void WelcomeView::paintWow(QPainter& p, const QRectF& body) {
    const double gridW = 280;
    const double total = columnWidth + 28 + gridW;
    const double x = body.left() + (body.width() - total) / 2;
    double y = body.center().y() - 130;
    p.save();
    QFont eyebrow = OnboardingText::font(12, QFont::DemiBold);
    eyebrow.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    p.setFont(eyebrow);
    p.setOpacity(p.opacity() * titleOn());
    p.setPen(GlassPainter::srgb(1.0, 0.62, 0.24, 0.85));
    p.drawText(QPointF(x, y + 12), tr("YOUR EVENING, UNLOCKED"));
    p.restore();
    y += 16 + 12;
    y += draw(&m_cache, &p,
              span(tr("Presets for the "), Qt::white) + span(tr("dark hours"), kAmber) +
                  span(QStringLiteral("."), Qt::white),
              OnboardingText::font(34, QFont::Bold), x, y, columnWidth, Qt::AlignLeft, titleOn());
    y += 14;
    y += draw(
        &m_cache, &p,
        span(tr("One tap moves your whole screen. Customize each preset and pin your favorites "
                "in Settings."),
             kDim),
        OnboardingText::font(16, QFont::Normal), x, y, columnWidth, Qt::AlignLeft, bodyOn());
    if (m_wow.presetChosen()) {
        y += 16;
        OnboardingGlyphs::paint(p, OnboardingGlyphs::Sun, QRectF(x, y + 2, 13, 13), kAmber);
        draw(&m_cache, &p,
             span(m_wow.selectedPresetName(), kAmber) +
                 span(tr(" applied — this is your evening now."), GlassPainter::white(0.55)),
             OnboardingText::font(14, QFont::Medium), x + 19, y, columnWidth - 19, Qt::AlignLeft,
             1.0, 0, 0, false);
    }
    // The blocks, two columns, staggered in.
    const auto blocks = wowBlocks();
    const double colW = (gridW - 12) / 2;
    const double gx = x + columnWidth + 28;
    const double rows = std::ceil(blocks.size() / 2.0);
    const double gy = body.center().y() - (rows * 58 + (rows - 1) * 12) / 2;
    for (size_t slot = 0; slot < blocks.size(); ++slot) {
        const auto& [preset, index] = blocks[slot];
        const QRectF tile(gx + (slot % 2) * (colW + 12), gy + (slot / 2) * 70, colW, 58);
        m_blocks.emplace_back(tile, index);
        const bool selected = m_wow.presetChosen() && m_wow.selectedPresetName() == preset.name;
        double opacity =
            m_wowContentVisible ? (m_wow.presetChosen() && !selected ? 0.45 : 1.0) : 0.0;
        if (opacity <= 0) continue;
        p.save();
        p.setOpacity(p.opacity() * opacity);
        p.translate(tile.center());
        const double s = selected ? 1.05 : 1.0;
        p.scale(s, s);
        p.translate(-tile.center());
        const auto [from, to] = preset.gradientColors();
        QLinearGradient g(tile.topLeft(), tile.bottomRight());
        g.setColorAt(0, presetColour(from));
        g.setColorAt(1, presetColour(to));
        p.fillPath(GlassPainter::continuousRoundedRect(tile, 12), g);
        GlassPainter::strokeInside(p, tile, 12, GlassPainter::white(selected ? 0.85 : 0.1),
                                   selected ? 2 : 1);
        if (selected) {
            p.setFont(OnboardingText::font(10, QFont::DemiBold));
            p.setPen(Qt::white);
            p.drawText(tile.adjusted(6, 6, -6, -6), Qt::AlignLeft | Qt::AlignBottom, preset.name);
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::white);
            const QPointF check(tile.right() - 12, tile.top() + 12);
            p.drawEllipse(check, 7, 7);
            p.setPen(QPen(presetColour(to), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.drawPolyline(QPolygonF({check + QPointF(-3.2, 0), check + QPointF(-0.8, 2.4),
                                      check + QPointF(3.4, -2.6)}));
        }
        p.restore();
    }
}

void WelcomeView::paintFlicker(QPainter& p, const QRectF& body) {
    const double panelW = 400;
    const double total = columnWidth + 28 + panelW;
    const double x = body.left() + (body.width() - total) / 2;
    double y = body.top() + 40;
    y += draw(&m_cache, &p,
              span(tr("The flicker is already gone. "), Qt::white) +
                  span(tr("Your eyes can stop bracing."), kAmber),
              OnboardingText::font(34, QFont::Bold), x, y, columnWidth, Qt::AlignLeft, titleOn());
    y += 12;
    y += draw(
        &m_cache, &p,
        span(tr("It flickers 14,880 times a second. You can't see it — but your eyes feel every "
                "pulse: the aching, the late-night headaches, the fog. Halcyra already steadied "
                "it into flat, calm light."),
             kDim),
        OnboardingText::font(15, QFont::Normal), x, y, columnWidth, Qt::AlignLeft, bodyOn());
    y += 16;
    if (contentOn() > 0) {
        p.save();
        p.setOpacity(p.opacity() * contentOn());
        const QString badge =
            tr("On for you — nothing to switch. Flip either off if you'd rather.");
        const QFont bf = OnboardingText::font(12, QFont::Medium);
        const double bw = QFontMetricsF(bf).horizontalAdvance(badge) + 24 + 17;
        const QRectF pill(x, y, bw, 29);
        p.fillPath(GlassPainter::continuousRoundedRect(pill, 14.5),
                   GlassPainter::srgb(0.2, 0.45, 0.28, 0.25));
        p.setPen(Qt::NoPen);
        p.setBrush(GlassPainter::srgb(0.4, 0.85, 0.5));
        p.drawEllipse(QPointF(pill.left() + 17, pill.center().y()), 5.5, 5.5);
        p.setFont(bf);
        p.setPen(GlassPainter::srgb(0.55, 0.9, 0.62));
        p.drawText(pill.adjusted(29, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, badge);
        p.restore();
    }
    // The switch panel.
    const double px = x + columnWidth + 28;
    struct Row {
        OnboardingGlyphs::Glyph icon;
        const char* title;
        const char* sub;
        bool on;
    };
    const Row rows[] = {
        {OnboardingGlyphs::Sun, "Flicker-free light",
         "Steady glow instead of a strobing backlight.", m_flickerFree},
        {OnboardingGlyphs::Keyboard, "Human-friendly brightness",
         "Your F1 / F2 keys now dim the gentle, eye-safe way.", m_brightnessKeys},
    };
    double py = body.top() + 70;
    for (const Row& row : rows) {
        const QRectF card(px, py, panelW, 92);
        m_toggleRects.push_back(card);
        if (contentOn() > 0) {
            p.save();
            p.setOpacity(p.opacity() * contentOn());
            p.fillPath(GlassPainter::continuousRoundedRect(card, 14), GlassPainter::white(0.05));
            GlassPainter::strokeInside(p, card, 14, GlassPainter::white(0.07), 1);
            OnboardingGlyphs::paint(p, row.icon,
                                    QRectF(card.left() + 18 + 5, card.center().y() - 10, 20, 20),
                                    GlassPainter::srgb(1.0, 0.62, 0.24, 0.9));
            const double tx = card.left() + 18 + 30 + 16;
            const double tw = panelW - (tx - card.left()) - 18 - 53 - 16;
            double th =
                draw(&m_cache, &p, span(tr(row.title), GlassPainter::white(0.92)),
                     OnboardingText::font(17, QFont::DemiBold), tx, 0, tw, Qt::AlignLeft, 0);
            th += 4 + draw(&m_cache, &p, span(tr(row.sub), GlassPainter::white(0.5)),
                           OnboardingText::font(13, QFont::Normal), tx, 0, tw, Qt::AlignLeft, 0);
            const double ty = card.center().y() - th / 2;
            const double h1 = draw(&m_cache, &p, span(tr(row.title), GlassPainter::white(0.92)),
                                   OnboardingText::font(17, QFont::DemiBold), tx, ty, tw,
                                   Qt::AlignLeft, 1, 0, 0, false);
            draw(&m_cache, &p, span(tr(row.sub), GlassPainter::white(0.5)),
                 OnboardingText::font(13, QFont::Normal), tx, ty + h1 + 4, tw, Qt::AlignLeft, 1, 0,
                 0, false);
            paintSwitch(p, QRectF(card.right() - 18 - 53, card.center().y() - 15.5, 53, 31),
                        m_isSnapshot || row.on);
            p.restore();
        }
        py += 92 + 18;
    }
    if (contentOn() > 0) {
        p.save();
        p.setOpacity(p.opacity() * contentOn());
        p.setPen(Qt::NoPen);
        p.setBrush(GlassPainter::srgb(0.4, 0.85, 0.5));
        p.drawEllipse(QPointF(px + 4 + 7.5, py + 2 + 7.5), 7.5, 7.5);
        const double h =
            draw(&m_cache, &p, span(tr("Keyboard backlight follows"), GlassPainter::white(0.9)),
                 OnboardingText::font(13, QFont::DemiBold), px + 31, py, panelW - 31, Qt::AlignLeft,
                 1, 0, 0, false);
        draw(&m_cache, &p,
             span(tr("Your whole desk dims together. Settings → Keyboard."),
                  GlassPainter::white(0.45)),
             OnboardingText::font(11, QFont::Normal), px + 31, py + h + 2, panelW - 31,
             Qt::AlignLeft, 1, 0, 0, false);
        p.restore();
    }
}

void WelcomeView::paintPayoff(QPainter& p, const QRectF& body) {
    const double lift = 10 * (1 - titleOn());
    double y = body.center().y() - 110;
    y += draw(&m_cache, &p, span(QStringLiteral("That’s it."), kDim),
              OnboardingText::font(24, QFont::DemiBold), body.left(), y, body.width(),
              Qt::AlignHCenter, titleOn(), lift);
    y += 10;
    y += draw(&m_cache, &p,
              span(tr("Your body takes it "), Qt::white) + span(tr("from here."), kAmber),
              OnboardingText::font(48, QFont::Bold), body.left(), y, body.width(), Qt::AlignHCenter,
              titleOn(), lift);
    y += 26;
    draw(&m_cache, &p,
         span(tr("500K of deep, firelit red. The dark is yours now. Sleep well."), kDim),
         OnboardingText::font(16, QFont::Normal), body.center().x() - 280, y, 560, Qt::AlignHCenter,
         bodyOn());
}
