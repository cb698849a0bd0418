#include "onboarding/TakeoverView.h"

#include "onboarding/TakeoverWindowController.h"
#include "onboarding/WarmthSweep.h"
#include "popover/GlassPainter.h"
#include "popover/PopoverChrome.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRandomGenerator>
#include <algorithm>
#include <array>
#include <cmath>

namespace {
constexpr double kDt = FrameTimer::frameInterval;
constexpr double kSkipped = 1e6; // an entrance already over
} // namespace

TakeoverView::TakeoverView(TakeoverState& state, Actions actions, Toggles toggles, int startSlide,
                           bool entranceSkipped, std::unique_ptr<FrameTimer> frames,
                           QWidget* parent)
    : QWidget(parent), m_state(state), m_actions(std::move(actions)), m_toggles(toggles),
      m_frames(frames ? std::move(frames) : std::make_unique<QtFrameTimer>()),
      m_currentSlide(startSlide), m_entranceT(entranceSkipped ? kSkipped : -1.0) {
    m_dots.reset(startSlide);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    connect(&m_state, &TakeoverState::warmthChanged, this, qOverload<>(&QWidget::update));
    connect(&m_state, &TakeoverState::ghostCancelledChanged, this, [this] {
        if (m_state.ghostCancelled()) cancelGhost();
    });
}

TakeoverView::~TakeoverView() = default;

void TakeoverView::setNoStatusArea(const QString& shortcut) {
    m_noStatusAreaShortcut = shortcut;
    update();
}

double TakeoverView::kelvinForTrack(double x, double w) {
    const double u = w > 0 ? std::clamp(x / w, 0.0, 1.0) : 0.0;
    return std::clamp(6500.0 - 5500.0 * u, 1000.0, 6500.0);
}

double TakeoverView::thumbXForKelvin(double kelvin, double w) {
    const double k = std::clamp(kelvin, 1000.0, 6500.0);
    const double x = (6500.0 - k) / 5500.0 * w;
    return std::max(std::min(x, w - 9.0), 9.0);
}

std::pair<QList<HalcyraPreset>, QList<HalcyraPreset>> TakeoverView::cardRows() {
    QList<HalcyraPreset> first, second;
    for (const HalcyraPreset& p : PresetManager::library()) {
        if (p.id == PresetManager::customId) continue;
        (first.size() < 3 ? first : second).append(p);
    }
    return {first, second};
}

double TakeoverView::reveal(double flagOffset, double delay, double duration) const {
    const double t = (m_entranceT - flagOffset - delay) / duration;
    return WarmthSweep::smoothstep(t);
}

void TakeoverView::appear() {
    if (m_actions.launchAtLoginAtAppearance)
        m_toggles.launchAtLogin = m_actions.launchAtLoginAtAppearance();
    if (m_entranceT < 0) {
        m_entranceT = 0;
        m_entranceRunning = true;
    }
    m_due.emplace_back(m_appearT + ghostDelaySeconds, [this] { startGhost(); });
    slideAppeared(m_currentSlide);
    keepTicking();
}

void TakeoverView::keepTicking() {
    if (!m_frames->isActive()) m_frames->start(kDt, [this] { tick(); });
}

void TakeoverView::tick() {
    m_appearT += kDt;
    // Run what has fallen due; a step may schedule more.
    for (size_t i = 0; i < m_due.size();) {
        if (m_due[i].first <= m_appearT + 1e-9) {
            auto step = std::move(m_due[i].second);
            m_due.erase(m_due.begin() + long(i));
            step();
            i = 0;
        } else {
            ++i;
        }
    }
    if (m_entranceRunning) {
        m_entranceT += kDt;
        if (m_entranceT > 2.0) m_entranceRunning = false;
    }
    m_slideInT = std::min(1.0, m_slideInT + kDt / 0.35);
    if (m_slideInT >= 1.0) m_leaving = QImage();

    if (m_ghostFrame >= 0 && m_ghostFrame < ghostGlideFrames) {
        if (m_state.ghostCancelled()) {
            m_ghostFrame = -1;
        } else {
            ++m_ghostFrame;
            const double s = WarmthSweep::smoothstep(double(m_ghostFrame) / ghostGlideFrames);
            m_ghostPos = m_ghostStart + (m_ghostEnd - m_ghostStart) * s;
            if (m_ghostFrame == ghostGlideFrames) {
                m_ghostFrame = -1;
                ghostClick();
            }
        }
    }
    if (m_ghostFadeDone < 1.0) {
        m_ghostFadeDone = std::min(1.0, m_ghostFadeDone + kDt / m_ghostFadeSeconds);
        const double t = m_ghostFadeDone;
        const double eased = m_ghostFadeTarget > m_ghostFadeFrom ? WarmthSweep::smoothstep(t)
                                                                 : 1 - (1 - t) * (1 - t);
        m_ghostOpacity = m_ghostFadeFrom + (m_ghostFadeTarget - m_ghostFadeFrom) * eased;
    }
    if (m_ghostOpacity == 0 && m_ghostFadeTarget == 0) m_ghostVisible = false;
    m_dots.advance(kDt);
    if (m_ghostRingT >= 0) m_ghostRingT += kDt;

    if (m_confettiT >= 0) {
        m_confettiT += kDt;
        // Six colours, 40 pieces a second each, for the first 0.4 s.
        static const QColor colours[] = {
            GlassPainter::srgb(1.0, 0.55, 0.15), GlassPainter::srgb(1.0, 0.75, 0.3),
            GlassPainter::srgb(0.55, 0.7, 0.9),  GlassPainter::srgb(1.0, 0.45, 0.3),
            GlassPainter::srgb(0.85, 0.55, 1.0), QColor(Qt::white)};
        if (m_confettiT <= 0.4) {
            auto* rng = QRandomGenerator::global();
            for (const QColor& c : colours) {
                const double x = width() * (0.2 + 0.6 * rng->generateDouble());
                const double angle = -M_PI / 2 + (rng->generateDouble() - 0.5) * M_PI / 2;
                const double speed = 220 + (rng->generateDouble() - 0.5) * 180;
                m_confetti.push_back({x, -4, std::cos(angle) * speed * 0.5,
                                      -std::sin(angle) * speed, rng->generateDouble() * 6.28,
                                      3 + (rng->generateDouble() - 0.5) * 12, 1.0,
                                      0.7 + rng->generateDouble() * 0.6, c});
            }
        }
        for (Piece& piece : m_confetti) {
            piece.vy += 110 * kDt;
            piece.x += piece.vx * kDt;
            piece.y += piece.vy * kDt;
            piece.angle += piece.spin * kDt;
            piece.alpha -= 0.35 * kDt;
        }
        std::erase_if(m_confetti, [](const Piece& p) { return p.alpha <= 0; });
        if (m_confettiT > 4.5) {
            m_confetti.clear();
            m_confettiT = -1;
        }
    }
    update();
    const bool busy = m_entranceRunning || !m_due.empty() || m_slideInT < 1.0 ||
                      !m_dots.settled() || m_ghostFrame >= 0 || m_ghostVisible ||
                      m_confettiT >= 0 || (m_ghostRingT >= 0 && m_ghostRingT < 0.6);
    if (!busy) m_frames->stop();
}

QString TakeoverView::buttonTitle() const {
    return m_currentSlide < slideCount - 1 ? tr("Next") : tr("Open Halcyra");
}

void TakeoverView::advance() {
    if (m_currentSlide >= slideCount - 1) {
        if (m_actions.finish) m_actions.finish();
        return;
    }
    cancelGhost();
    keepLeavingSlide();
    slideLeft(m_currentSlide);
    ++m_currentSlide;
    m_dots.retarget(m_currentSlide);
    m_entranceT = -0.15;
    m_entranceRunning = true;
    m_slideInT = 0;
    slideAppeared(m_currentSlide);
    keepTicking();
    update();
}

void TakeoverView::slideAppeared(int slide) {
    if (slide == 1) {
        if (m_actions.menuBarSlideVisible) m_actions.menuBarSlideVisible(true);
        m_due.emplace_back(m_appearT + 0.5, [this] {
            if (m_actions.openPopover) m_actions.openPopover();
        });
    } else if (slide < 0 || slide > 3) {
        // Every number past the display slide shows the last slide, confetti and all.
        m_due.emplace_back(m_appearT + 0.3, [this] {
            if (m_actions.finalSlideAppear) m_actions.finalSlideAppear();
        });
    }
}

void TakeoverView::slideLeft(int slide) {
    if (slide == 1 && m_actions.menuBarSlideVisible) m_actions.menuBarSlideVisible(false);
}

void TakeoverView::startConfetti() {
    m_confettiT = 0;
    keepTicking();
}

void TakeoverView::startGhost() {
    if (m_currentSlide != 0 || m_ghostFired || m_state.ghostCancelled()) return;
    if (m_cardFrames.isEmpty()) paintSlide(nullptr, 0, width()); // lay out without painting
    const auto it = m_cardFrames.constFind(QStringLiteral("evening"));
    if (it == m_cardFrames.cend()) return;
    m_ghostFired = true;
    m_ghostStart = QPointF(0.68 * width(), 0.78 * height());
    m_ghostEnd = it->center() + QPointF(6, 8);
    m_ghostPos = m_ghostStart;
    m_ghostVisible = true;
    fadeGhost(1.0, 0.25);
    m_ghostFrame = 0;
    keepTicking();
}

void TakeoverView::ghostClick() {
    if (m_state.ghostCancelled()) return;
    m_ghostClicking = true;
    m_ghostRingT = 0;
    m_due.emplace_back(m_appearT + 0.35, [this] {
        m_ghostClicking = false;
        if (m_state.ghostCancelled()) return;
        for (const HalcyraPreset& p : PresetManager::library()) {
            if (p.id != QLatin1String("evening")) continue;
            if (m_actions.ghostPreset) m_actions.ghostPreset(p.temperature, 4.0);
            break;
        }
        m_due.emplace_back(m_appearT + 0.9, [this] { fadeGhost(0.0, 0.4); });
    });
}

void TakeoverView::cancelGhost() {
    m_ghostFrame = -1;
    if (m_ghostVisible) fadeGhost(0.0, 0.15);
    m_ghostFired = true;
}

void TakeoverView::fadeGhost(double target, double seconds) {
    m_ghostFadeFrom = m_ghostOpacity;
    m_ghostFadeTarget = target;
    m_ghostFadeSeconds = seconds;
    m_ghostFadeDone = 0;
    keepTicking();
}

void TakeoverView::keepLeavingSlide() {
    const double w = width();
    const double slideW = std::min(460.0, w);
    const double slideH = paintSlide(nullptr, 0, slideW);
    layOutFooter();
    const double top = std::max(0.0, (m_button.top() - slideH) / 2);
    // Room for the glyphs' and shadows' overhang around the slide.
    const QRectF band(0, top - 24, w, slideH + 48);
    const qreal dpr = devicePixelRatioF();
    m_leaving = QImage((band.size() * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
    if (m_leaving.isNull()) return;
    m_leaving.setDevicePixelRatio(dpr);
    m_leaving.fill(Qt::transparent);
    m_leavingAt = band.topLeft();
    QPainter lp(&m_leaving);
    lp.setRenderHint(QPainter::Antialiasing);
    lp.translate(-band.topLeft());
    paintSlide(&lp, top, slideW);
}

void TakeoverView::dragTo(double x, bool end) {
    const double k = kelvinForTrack(x - m_track.left(), m_track.width());
    if (m_actions.sliderChanged && !end) m_actions.sliderChanged(k);
    if (end && m_actions.sliderCommitted) m_actions.sliderCommitted(k);
}

void TakeoverView::toggleAt(int index) {
    switch (m_currentSlide) {
    case 2:
        m_toggles.brightnessKeys = !m_toggles.brightnessKeys;
        if (m_actions.brightnessKeysChanged)
            m_actions.brightnessKeysChanged(m_toggles.brightnessKeys);
        break;
    case 3:
        if (index == 0) {
            m_toggles.flickerFree = !m_toggles.flickerFree;
            if (m_actions.flickerFreeChanged) m_actions.flickerFreeChanged(m_toggles.flickerFree);
        } else {
            m_toggles.disableDithering = !m_toggles.disableDithering;
            if (m_actions.disableDitheringChanged)
                m_actions.disableDitheringChanged(m_toggles.disableDithering);
        }
        break;
    default: {
        // The last slide, which every number past the display slide shows.
        const bool wanted = !m_toggles.launchAtLogin;
        m_toggles.launchAtLogin = m_actions.launchAtLoginChanged
                                      ? m_actions.launchAtLoginChanged(wanted)
                                      : m_toggles.launchAtLogin;
        break;
    }
    }
    update();
}

void TakeoverView::mousePressEvent(QMouseEvent* e) {
    const QPointF pos = e->position();
    if (m_button.contains(pos)) {
        advance();
        return;
    }
    if (m_currentSlide == 0) {
        if (m_track.contains(pos)) {
            m_dragging = true;
            dragTo(pos.x(), false);
            return;
        }
        for (auto it = m_cardFrames.cbegin(); it != m_cardFrames.cend(); ++it) {
            if (!it->contains(pos)) continue;
            for (const HalcyraPreset& p : PresetManager::library()) {
                if (p.id == it.key() && m_actions.presetTapped)
                    m_actions.presetTapped(p.temperature, 4.0);
            }
            return;
        }
    }
    for (size_t i = 0; i < m_toggleRects.size(); ++i) {
        if (m_toggleRects[i].contains(pos)) {
            toggleAt(int(i));
            return;
        }
    }
}

void TakeoverView::mouseMoveEvent(QMouseEvent* e) {
    if (m_dragging) dragTo(e->position().x(), false);
}

void TakeoverView::mouseReleaseEvent(QMouseEvent* e) {
    if (!m_dragging) return;
    m_dragging = false;
    dragTo(e->position().x(), true);
}

void TakeoverView::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Space) {
        advance();
        return;
    }
    QWidget::keyPressEvent(e);
}

void TakeoverView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double w = width(), h = height();
    // The scene behind the slides, the footer and the slide's glow change only with
    // the size and the slide: each is drawn once and then only composited.
    // Where a compositor blends windows the user's own desktop shows through the dimmer.
    const bool clear =
        PopoverWindowClearer::backdropOf(window()) == GlassPainter::Backdrop::translucent;
    m_cache.draw(p, clear ? QStringLiteral("scene|clear") : QStringLiteral("scene"), rect(),
                 [w, h, clear](QPainter& sp) {
                     const QRectF all(0, 0, w, h);
                     if (!clear) {
                         // Without a compositor nothing shows through, so the window carries its
                         // own neutral scene: light enough that the displays' warmth is plain to
                         // see.
                         QLinearGradient scene(0, 0, 0, h);
                         scene.setColorAt(0, GlassPainter::srgb(0.60, 0.64, 0.70));
                         scene.setColorAt(1, GlassPainter::srgb(0.30, 0.32, 0.36));
                         sp.fillRect(all, scene);
                     }
                     sp.fillRect(all, GlassPainter::black(0.35));
                     QRadialGradient vignette(QPointF(w / 2, h / 2), 0.62 * std::max(w, h));
                     vignette.setColorAt(0, GlassPainter::black(0.22));
                     vignette.setColorAt(1, Qt::transparent);
                     sp.fillRect(all, vignette);
                 });

    layOutFooter();
    const QRectF footer(0, m_button.top(), w, h - m_button.top());
    m_cache.draw(p, QStringLiteral("footer|%1").arg(buttonTitle()), footer, [&](QPainter& fp) {
        fp.translate(-footer.topLeft());
        paintFooter(fp);
    });
    paintDots(p);
    const double footerTop = m_button.top();
    const double slideW = std::min(460.0, w);
    const double slideH = paintSlide(nullptr, 0, slideW);
    const double top = std::max(0.0, (footerTop - slideH) / 2);
    // The slide glow, then the slide sliding in from the trailing edge.
    const QRectF glowRect((w - slideW) / 2, top, slideW, slideH);
    m_cache.draw(p, QStringLiteral("glow"), glowRect, [&](QPainter& gp) {
        const QRectF local(QPointF(0, 0), glowRect.size());
        QRadialGradient glow(QPointF(local.center().x(), local.bottom()), 300);
        glow.setColorAt(0, GlassPainter::srgb(1.0, 0.55, 0.15, 0.06));
        glow.setColorAt(1, Qt::transparent);
        gp.fillPath(GlassPainter::continuousRoundedRect(local, 24), glow);
    });
    const double ease = WarmthSweep::smoothstep(m_slideInT);
    if (!m_leaving.isNull() && ease < 1.0) {
        // The slide before moves out towards the leading edge as this one comes in.
        p.save();
        p.setOpacity(1.0 - ease);
        p.drawImage(m_leavingAt - QPointF(ease * 80.0, 0), m_leaving);
        p.restore();
    }
    p.save();
    p.setOpacity(ease);
    p.translate((1.0 - ease) * 80.0, 0);
    paintSlide(&p, top, slideW);
    p.restore();
    if (m_slideInT < 1.0) {
        // Card frames and hit areas are where the slide settles, not where it passes.
        paintSlide(nullptr, top, slideW);
    }
    paintGhost(p);
    paintConfetti(p);
}
