// The welcome tour's feature slides: the presets, the flicker and the payoff.
#include "onboarding/OnboardingGlyphs.h"
#include "onboarding/OnboardingPaintCache.h"
#include "onboarding/OnboardingText.h"
#include "onboarding/WarmthSweep.h"
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

// The first six library rows without the custom one, with their library index.
std::vector<std::pair<HalcyraPreset, int>> wowBlocks() {
    std::vector<std::pair<HalcyraPreset, int>> blocks;
    const auto& library = PresetManager::library();
    for (int i = 0; i < library.size() && blocks.size() < 6; ++i) {
        if (library[i].id != PresetManager::customId) blocks.emplace_back(library[i], i);
    }
    return blocks;
}

} // namespace

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
        // Springs: each block in after the one before it, the pick's dimming and growth.
        BlockMotion& motion = m_blockMotion[std::min(slot, m_blockMotion.size() - 1)];
        const double shownTarget = m_wow.presetChosen() && !selected ? 0.45 : 1.0;
        const double scaleTarget = selected ? 1.05 : 1.0;
        if (m_isSnapshot) {
            motion.shown.reset(shownTarget);
            motion.scale.reset(scaleTarget);
        } else {
            motion.shown.retarget(shownTarget);
            motion.scale.retarget(scaleTarget);
        }
        const double in = m_wowContentVisible ? motion.in.value() : 0.0;
        const double opacity =
            std::clamp(in, 0.0, 1.0) * std::clamp(motion.shown.value(), 0.0, 1.0);
        if (opacity <= 0) continue;
        p.save();
        p.setOpacity(p.opacity() * opacity);
        p.translate(tile.center() + QPointF(0, 22 * (1 - in)));
        const double s = (0.88 + 0.12 * in) * motion.scale.value();
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
         "Your brightness keys now dim the gentle, eye-safe way.", m_brightnessKeys},
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
            double th = draw(&m_cache, nullptr, span(tr(row.title), GlassPainter::white(0.92)),
                             OnboardingText::font(17, QFont::DemiBold), tx, 0, tw, Qt::AlignLeft, 1,
                             0, 0, false);
            th += 4 + draw(&m_cache, nullptr, span(tr(row.sub), GlassPainter::white(0.5)),
                           OnboardingText::font(13, QFont::Normal), tx, 0, tw, Qt::AlignLeft, 1, 0,
                           0, false);
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
