// The five slides of the takeover, each laid out top to bottom. Every function lays
// out when `p` is null and paints when it is not, and returns the slide's height, so
// the shell can centre a slide before painting it.
#include "onboarding/OnboardingGlyphs.h"
#include "onboarding/TakeoverView.h"
#include "onboarding/TakeoverWindowController.h"
#include "popover/GlassPainter.h"

#include <QPainter>
#include <QtMath>
#include <algorithm>

namespace {

const QColor kWarmAccent = GlassPainter::srgb(1.0, 0.55, 0.15);

QFont sized(const QFont& base, int px, QFont::Weight weight) {
    QFont f = base;
    f.setPixelSize(px);
    f.setWeight(weight);
    return f;
}

// Centred, wrapped text with the takeover's soft shadow; returns its height. Laid out
// and drawn once; later frames reuse both.
double text(OnboardingPaintCache& cache, QPainter* p, const QFont& font, const QString& s,
            double top, double centreX, double width, const QColor& colour, double opacity,
            double lift = 0) {
    const QString key = QStringLiteral("text|%1|%2|%3|")
                            .arg(OnboardingPaintCache::fontKey(font))
                            .arg(width)
                            .arg(colour.rgba(), 0, 16) +
                        s;
    const double h = cache.measure(key, [&] {
        const QRectF box(0, 0, width, 10000);
        return QFontMetricsF(font)
            .boundingRect(box, Qt::AlignHCenter | Qt::TextWordWrap, s)
            .height();
    });
    if (!p || opacity <= 0) return h;
    constexpr double pad = 4;
    p->save();
    p->setOpacity(p->opacity() * opacity);
    const QRectF box(centreX - width / 2 - pad, top + lift - pad, width + 2 * pad, h + 2 * pad + 1);
    cache.draw(*p, key, box, [&](QPainter& tp) {
        tp.setFont(font);
        const QRectF at(pad, pad, width, h);
        tp.setPen(GlassPainter::black(0.35));
        tp.drawText(at.translated(0, 1), Qt::AlignHCenter | Qt::TextWordWrap, s);
        tp.setPen(colour);
        tp.drawText(at, Qt::AlignHCenter | Qt::TextWordWrap, s);
    });
    p->restore();
    return h;
}

} // namespace

double TakeoverView::paintSlide(QPainter* p, double top, double width) {
    switch (m_currentSlide) {
    case 0:
        return paintSlideVibe(p, top, width);
    case 1:
        return paintSlideMenuBar(p, top, width);
    case 2:
        return paintSlideBrightness(p, top, width);
    case 3:
        return paintSlideDisplay(p, top, width);
    default:
        return paintSlideProtected(p, top, width);
    }
}

double TakeoverView::paintSlideVibe(QPainter* p, double top, double width) {
    const double cx = this->width() / 2.0;
    double y = top;
    const double titleOn = reveal(0, 0, 1.0);
    y += text(m_cache, p, sized(font(), 34, QFont::DemiBold), tr("Pick your vibe."), y, cx, width,
              Qt::white, titleOn, 12 * (1 - titleOn));
    y += 14;
    const double bodyOn = reveal(0.2, 0.2, 0.8);
    y += text(m_cache, p, sized(font(), 15, QFont::Normal),
              tr("Your whole screen is warming right now — that's Halcyra. Tap a preset to make "
                 "it yours."),
              y, cx, width, GlassPainter::white(0.55), bodyOn, 8 * (1 - bodyOn));
    y += 22;

    // The glass slider: label row, then the track; 16 of padding all round.
    const double sliderW = std::min(400.0, width);
    const double innerW = sliderW - 32;
    const double left = cx - innerW / 2;
    const double rowTop = y + 16;
    const double rowH = 18;
    m_track = QRectF(left, rowTop + rowH + 8, innerW, 28);
    const double sliderOn = reveal(0.4, 0.45, 0.8);
    const double kelvin = std::clamp(m_state.temperature(), 1000.0, 6500.0);
    if (p && sliderOn > 0) {
        p->save();
        p->setOpacity(sliderOn);
        p->setFont(sized(font(), 10, QFont::Medium));
        p->setPen(GlassPainter::white(0.55));
        const QRectF row(left, rowTop, innerW, rowH);
        p->drawText(row, Qt::AlignLeft | Qt::AlignVCenter, tr("Cool"));
        p->drawText(row, Qt::AlignRight | Qt::AlignVCenter, tr("Warm"));
        const QFont readoutFont = sized(font(), 11, QFont::Bold);
        const QString readout = QString::number(qint64(kelvin)) + QLatin1Char('K');
        const double rw = QFontMetricsF(readoutFont).horizontalAdvance(readout) + 16;
        const QRectF capsule(cx - rw / 2, rowTop + (rowH - 17) / 2, rw, 17);
        p->fillPath(GlassPainter::continuousRoundedRect(capsule, 8.5), GlassPainter::white(0.12));
        p->setFont(readoutFont);
        p->setPen(Qt::white);
        p->drawText(capsule, Qt::AlignCenter, readout);

        const QRectF bar(m_track.left(), m_track.center().y() - 5, m_track.width(), 10);
        const QPainterPath capsulePath = GlassPainter::continuousRoundedRect(bar, 5);
        GlassPainter::paintMaterial(*p, capsulePath, GlassPainter::Backdrop::opaque);
        p->fillPath(capsulePath,
                    GlassPainter::horizontalGradient(
                        {GlassPainter::srgb(0.40, 0.60, 0.95), GlassPainter::srgb(0.55, 0.78, 0.95),
                         GlassPainter::srgb(0.96, 0.82, 0.40), GlassPainter::srgb(0.98, 0.55, 0.15),
                         GlassPainter::srgb(0.90, 0.25, 0.08)},
                        bar.left(), bar.right(), 0.7));
        GlassPainter::strokeInside(*p, bar, 5, GlassPainter::white(0.2));
        const QPointF thumb(m_track.left() + thumbXForKelvin(kelvin, m_track.width()),
                            m_track.center().y());
        QPainterPath disc;
        disc.addEllipse(thumb, 10, 10);
        m_cache.shadow(*p, disc, GlassPainter::white(0.2), 4);
        m_cache.shadow(*p, disc, GlassPainter::black(0.3), 3, QPointF(0, 1));
        p->fillPath(disc, GlassPainter::srgb(0.78, 0.78, 0.80));
        p->fillPath(disc, GlassPainter::white(0.5));
        p->setPen(QPen(GlassPainter::white(0.3), 0.5));
        p->drawEllipse(thumb, 9.75, 9.75);
        p->restore();
    }
    y = m_track.bottom() + 16 + 16;

    // Preset cards: the first three, then the rest.
    const double cardsOn = reveal(0.4, 0.65, 0.8);
    const auto [first, second] = cardRows();
    m_cardFrames.clear();
    const QFont labelFont = sized(font(), 11, QFont::Medium);
    std::vector<std::pair<QRectF, HalcyraPreset>> cards;
    QRectF block;
    for (const QList<HalcyraPreset>* row : {&first, &second}) {
        const double rowW = row->size() * 118 + std::max<qsizetype>(0, row->size() - 1) * 10;
        double x = cx - rowW / 2;
        for (const HalcyraPreset& preset : *row) {
            const QRectF card(x, y, 118, 52 + 7 + 14);
            m_cardFrames.insert(preset.id, card);
            cards.emplace_back(card, preset);
            block |= card.adjusted(-10, 0, 10, 0);
            x += 128;
        }
        if (!row->isEmpty()) y += 73;
        if (row == &first) y += 10;
    }
    if (p && cardsOn > 0 && !cards.empty()) {
        // The cards never change while the takeover is up: drawn once, then composited.
        QString key = QStringLiteral("cards");
        for (const auto& [card, preset] : cards)
            key += QLatin1Char('|') + preset.id;
        p->save();
        p->setOpacity(cardsOn);
        m_cache.draw(*p, key, block, [&](QPainter& cp) {
            cp.translate(-block.topLeft());
            for (const auto& [card, preset] : cards) {
                const auto [from, to] = preset.gradientColors();
                const QRectF tile(card.left(), card.top(), 118, 52);
                QLinearGradient g(tile.topLeft(), tile.bottomRight());
                g.setColorAt(0, GlassPainter::srgb(from.red, from.green, from.blue, from.opacity));
                g.setColorAt(1, GlassPainter::srgb(to.red, to.green, to.blue, to.opacity));
                cp.fillPath(GlassPainter::continuousRoundedRect(tile, 10), g);
                GlassPainter::strokeInside(cp, tile, 10, GlassPainter::white(0.12), 1.0);
                cp.setFont(labelFont);
                cp.setPen(GlassPainter::white(0.55));
                cp.drawText(QRectF(card.left() - 10, card.top() + 59, 138, 14), Qt::AlignCenter,
                            preset.name);
            }
        });
        p->restore();
    }
    return y - top;
}

double TakeoverView::paintToggleRow(QPainter* p, double top, double centreX, double width,
                                    int glyph, const QString& title, bool on, double opacity) {
    const double w = std::min(400.0, width);
    const QRectF row(centreX - w / 2, top, w, 14 + 24 + 14);
    m_toggleRects.push_back(row);
    if (!p || opacity <= 0) return row.height();
    p->save();
    p->setOpacity(opacity);
    const QFont titleFont = sized(font(), 14, QFont::Medium);
    const QString key = QStringLiteral("toggle|%1|%2|%3|")
                            .arg(glyph)
                            .arg(int(on))
                            .arg(OnboardingPaintCache::fontKey(titleFont)) +
                        title;
    m_cache.draw(*p, key, row, [&](QPainter& rp) {
        const QRectF local(QPointF(0, 0), row.size());
        GlassPainter::paintMaterial(rp, GlassPainter::continuousRoundedRect(local, 14),
                                    GlassPainter::Backdrop::opaque);
        rp.fillPath(GlassPainter::continuousRoundedRect(local, 14), GlassPainter::white(0.06));
        GlassPainter::strokeInside(rp, local, 14, GlassPainter::white(0.15));
        const QRectF icon(16, local.center().y() - 10, 20, 20);
        OnboardingGlyphs::paint(rp, OnboardingGlyphs::Glyph(glyph), icon.adjusted(3, 3, -3, -3),
                                GlassPainter::white(0.45));
        rp.setFont(titleFont);
        rp.setPen(GlassPainter::white(0.8));
        rp.drawText(QRectF(icon.right() + 12, 0, w - 120, local.height()),
                    Qt::AlignLeft | Qt::AlignVCenter, title);
        // The switch.
        const QRectF track(local.right() - 16 - 38, local.center().y() - 11, 38, 22);
        rp.fillPath(GlassPainter::continuousRoundedRect(track, 11),
                    on ? kWarmAccent : GlassPainter::white(0.2));
        const QPointF knob(on ? track.right() - 11 : track.left() + 11, track.center().y());
        rp.setPen(Qt::NoPen);
        rp.setBrush(Qt::white);
        rp.drawEllipse(knob, 9.5, 9.5);
    });
    p->restore();
    return row.height();
}

double TakeoverView::paintSlideMenuBar(QPainter* p, double top, double width) {
    const double cx = this->width() / 2.0;
    const bool noStatusArea = !m_noStatusAreaShortcut.isEmpty();
    double y = top;
    if (p) {
        p->save();
        const QFont hint = sized(font(), 12, QFont::DemiBold);
        // Where there is no status area there is no corner to point at.
        const QString s =
            noStatusArea ? tr("no status icons on this desktop") : tr("top-right of your screen");
        const double glyph = noStatusArea ? 0 : 19;
        const double tw = QFontMetricsF(hint).horizontalAdvance(s);
        const double x = cx - (tw + glyph) / 2;
        if (!noStatusArea)
            OnboardingGlyphs::paint(*p, OnboardingGlyphs::ArrowUp, QRectF(x, y + 2, 13, 13),
                                    GlassPainter::white(0.3));
        p->setFont(hint);
        p->setPen(GlassPainter::white(0.3));
        p->drawText(QRectF(x + glyph, y, tw + 2, 17), Qt::AlignLeft | Qt::AlignVCenter, s);
        p->restore();
    }
    y += 17 + 16;
    y += text(m_cache, p, sized(font(), 30, QFont::DemiBold),
              noStatusArea ? tr("It's one keystroke away.") : tr("It lives up here."), y, cx, width,
              Qt::white, reveal(0, 0, 0.8));
    y += 18;
    const QString body =
        noStatusArea
            ? tr("Your desktop shows no status icons, so Halcyra has no icon to sit in. Press "
                 "%1, or launch Halcyra again from the application menu, to open it anytime. "
                 "It adjusts your display with the sun all the same.")
                  .arg(m_noStatusAreaShortcut)
            : tr("Halcyra sits quietly in your panel's status area and adjusts your display with "
                 "the sun — deeper warmth at night, natural light by day.");
    y += text(m_cache, p, sized(font(), 15, QFont::Normal), body, y, cx, width,
              GlassPainter::white(0.55), reveal(0.2, 0.15, 0.8));
    return y - top;
}

double TakeoverView::paintSlideBrightness(QPainter* p, double top, double width) {
    const double cx = this->width() / 2.0;
    double y = top;
    const double titleOn = reveal(0, 0, 0.8);
    if (p && titleOn > 0) {
        p->save();
        p->setOpacity(titleOn);
        OnboardingGlyphs::paint(*p, OnboardingGlyphs::Sun, QRectF(cx - 22, y, 44, 44), kWarmAccent);
        p->restore();
    }
    y += 44 + 16;
    y += text(m_cache, p, sized(font(), 28, QFont::DemiBold), tr("Human friendly brightness"), y,
              cx, width, Qt::white, titleOn);
    y += 16;
    y += text(m_cache, p, sized(font(), 14, QFont::Normal),
              tr("Your brightness keys can control Halcyra's overlay instead of raw backlight — "
                 "flicker-free dimming that's gentler on your eyes."),
              y, cx, width, GlassPainter::white(0.55), reveal(0.2, 0.15, 0.8));
    y += 16 + 12;
    m_toggleRects.clear();
    const double contentOn = reveal(0.4, 0.3, 0.6);
    y += paintToggleRow(p, y, cx, width, OnboardingGlyphs::Keyboard,
                        QStringLiteral("Replace Brightness Keys"), m_toggles.brightnessKeys,
                        contentOn);
    return y - top;
}

double TakeoverView::paintSlideDisplay(QPainter* p, double top, double width) {
    const double cx = this->width() / 2.0;
    double y = top;
    y += text(m_cache, p, sized(font(), 30, QFont::DemiBold), tr("Your display has\na secret."), y,
              cx, width, Qt::white, reveal(0, 0, 0.8));
    y += 18;
    y += text(m_cache, p, sized(font(), 15, QFont::Normal),
              tr("It flickers a thousand times per second. You cannot see it — but your eyes "
                 "feel it. Halcyra keeps your backlight steady and smooths dithering."),
              y, cx, width, GlassPainter::white(0.55), reveal(0.2, 0.15, 0.8));
    y += 26;
    m_toggleRects.clear();
    const double contentOn = reveal(0.4, 0.3, 0.6);
    y += paintToggleRow(p, y, cx, width, OnboardingGlyphs::Eye, QStringLiteral("Flicker-Free Mode"),
                        m_toggles.flickerFree, contentOn);
    y += 10;
    y += paintToggleRow(p, y, cx, width, OnboardingGlyphs::Grid, QStringLiteral("Reduce Dithering"),
                        m_toggles.disableDithering, contentOn);
    return y - top;
}

double TakeoverView::paintSlideProtected(QPainter* p, double top, double width) {
    const double cx = this->width() / 2.0;
    double y = top;
    y += text(m_cache, p, sized(font(), 30, QFont::DemiBold), tr("You are protected."), y, cx,
              width, Qt::white, reveal(0, 0, 1.0));
    y += 18;
    y += text(m_cache, p, sized(font(), 15, QFont::Normal),
              tr("Every night, automatically. Halcyra follows the sun so you do not have to think "
                 "about it."),
              y, cx, width, GlassPainter::white(0.55), reveal(0.2, 0.15, 1.0));
    y += 30;
    m_toggleRects.clear();
    y += paintToggleRow(p, y, cx, width, OnboardingGlyphs::Power, QStringLiteral("Launch at Login"),
                        m_toggles.launchAtLogin, reveal(0.4, 0.3, 1.0));
    y += 16;
    const double tipOn = reveal(0.4, 0.5, 1.0);
    if (p && tipOn > 0) {
        p->save();
        p->setOpacity(tipOn);
        const QFont tip = sized(font(), 12, QFont::Normal);
        const QString s = tr("Tip: right-click the sun for the emergency reset");
        const double tw = QFontMetricsF(tip).horizontalAdvance(s);
        const double x = cx - (tw + 20) / 2;
        OnboardingGlyphs::paint(*p, OnboardingGlyphs::MenuBar, QRectF(x, y + 1, 12, 12),
                                GlassPainter::white(0.4));
        p->setFont(tip);
        p->setPen(GlassPainter::white(0.4));
        p->drawText(QRectF(x + 20, y, tw + 2, 15), Qt::AlignLeft | Qt::AlignVCenter, s);
        p->restore();
    }
    y += 15;
    return y - top;
}
