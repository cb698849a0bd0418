// The welcome tour's first slides: the welcome, the live widget and where Halcyra lives.
#include "onboarding/OnboardingGlyphs.h"
#include "onboarding/OnboardingPaintCache.h"
#include "onboarding/OnboardingText.h"
#include "onboarding/WelcomeSlideStyle.h"
#include "onboarding/WelcomeView.h"
#include "popover/GlassPainter.h"
#include "warmth/PresetManager.h"

#include <QPainter>
#include <QtMath>
#include <algorithm>

using OnboardingText::draw;
using OnboardingText::span;
using WelcomeSlideStyle::kAmber;
using WelcomeSlideStyle::kDim;
using WelcomeSlideStyle::paintSwitch;
using WelcomeSlideStyle::presetColour;

namespace {

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

} // namespace

QColor WelcomeSlideStyle::presetColour(const PresetColor& c) {
    return GlassPainter::srgb(c.red, c.green, c.blue, c.opacity);
}

void WelcomeSlideStyle::paintSwitch(QPainter& p, const QRectF& track, bool on) {
    p.fillPath(GlassPainter::continuousRoundedRect(track, track.height() / 2),
               on ? kAmber : GlassPainter::white(0.2));
    const double r = track.height() / 2 - 2.5;
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(
        QPointF(on ? track.right() - r - 2.5 : track.left() + r + 2.5, track.center().y()), r, r);
}

void WelcomeView::paintWelcomePhotograph(QPainter& p) {
    // The logo, the title and the subtitle at the bottom of the photograph, over its
    // darkening foot.
    const QRectF frame = slideFrame();
    const QFont titleFont = OnboardingText::font(42, QFont::Bold);
    const QFont subFont = OnboardingText::font(19, QFont::DemiBold);
    const QString title = span(tr("Welcome to Halcyra"), Qt::white);
    const QString sub = span(tr("Your Screen Has Never Felt So Good"), kAmber);
    const double titleH =
        draw(&m_cache, nullptr, title, titleFont, frame.left(), 0, frame.width(), Qt::AlignHCenter);
    const double subH =
        draw(&m_cache, nullptr, sub, subFont, frame.left(), 0, frame.width(), Qt::AlignHCenter);
    const QImage& logo = m_images->logo;
    const double logoSide = 96;
    double y = frame.bottom() - subH - 10 - titleH;
    if (!logo.isNull()) {
        y -= 16 + logoSide;
        const double on = heroOn();
        if (on > 0) {
            const QRectF box(frame.center().x() - logoSide / 2, y, logoSide, logoSide);
            p.save();
            p.setOpacity(p.opacity() * on);
            p.translate(box.center());
            const double s = 0.92 + 0.08 * on;
            p.scale(s, s);
            p.translate(-box.center());
            QPainterPath tile;
            tile.addRoundedRect(box.adjusted(6, 6, -6, -6), 18, 18);
            m_cache.shadow(p, tile, GlassPainter::black(0.45), 18, QPointF(0, 6));
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            p.drawImage(box, logo);
            p.restore();
        }
        y += logoSide + 16;
    }
    y += draw(&m_cache, &p, title, titleFont, frame.left(), y, frame.width(), Qt::AlignHCenter,
              titleOn(), 10 * (1 - titleOn()));
    y += 10;
    draw(&m_cache, &p, sub, subFont, frame.left(), y, frame.width(), Qt::AlignHCenter, bodyOn());
}

void WelcomeView::paintWelcome(QPainter& p, const QRectF& body) {
    if (welcomeIsPhotograph()) {
        paintWelcomePhotograph(p);
        return;
    }
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
    // The sun fades in before the chips: its layers are made ahead first.
    if (heroOn() <= 0) prepareSunHero(p);
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

QPainterPath WelcomeView::widgetMockShape(QPointF topLeft) {
    return GlassPainter::continuousRoundedRect(QRectF(topLeft, QSizeF(264, 250)), 18);
}

void WelcomeView::prepareWidgetMockShadow(QPainter& p) {
    if (m_liveWidget && m_liveWidget->isVisible()) return;
    m_cache.prepareShadow(p, widgetMockShape({}), GlassPainter::black(0.5), 24);
}

void WelcomeView::paintWidgetMock(QPainter& p, const QRectF& frame) {
    const QRectF card(frame.left(), frame.top(), 264, 250);
    const QPainterPath shape = widgetMockShape(card.topLeft());
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
    // The glow and the bobbing arrow point from the slide's top-trailing corner, under
    // the top bar, towards the icon.
    const QRectF frame = slideFrame();
    const QPointF corner = frame.topRight();
    if (heroOn() > 0) {
        QRadialGradient glow(corner, 300);
        glow.setColorAt(0, GlassPainter::srgb(1.0, 0.62, 0.24, 0.22 * heroOn()));
        glow.setColorAt(0.5, GlassPainter::srgb(1.0, 0.62, 0.24, 0.06 * heroOn()));
        glow.setColorAt(1, Qt::transparent);
        p.fillRect(QRectF(corner.x() - 300, corner.y(), 300, 300) & frame, glow);
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
        const QRectF arrowBox(corner.x() - 30 - 6 - 0.7 * pulse, corner.y() + 52 + 0.7 * pulse, 30,
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
