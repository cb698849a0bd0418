#include "onboarding/WelcomeView.h"

#include "onboarding/OnboardingChrome.h"
#include "onboarding/OnboardingGlyphs.h"
#include "onboarding/OnboardingText.h"
#include "onboarding/WarmthSweep.h"
#include "popover/GlassPainter.h"
#include "popover/PopoverView.h"
#include "popover/PopoverViewModel.h"
#include "warmth/PresetManager.h"

#include "core/Preferences.h"

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <algorithm>

namespace {
constexpr double kDt = FrameTimer::frameInterval;
constexpr double kRevealed = 1e6;
// What one frame spends making ahead pieces not shown yet: two small steps (a line of
// body text, a layer of the sun) or one large (a line of a title). A title spreads
// over a few of the frames before it fades in, instead of weighing on the one it
// first shows on.
constexpr int kPrepareBudget = 2;
const QColor kAmber = GlassPainter::srgb(1.0, 0.62, 0.24);
} // namespace

WelcomeView::WelcomeView(WelcomeCallbacks callbacks, bool isPreview, PopoverViewModel* viewModel,
                         double fitScale, std::unique_ptr<FrameTimer> frames,
                         std::unique_ptr<FrameTimer> wowFrames, QWidget* parent)
    : QWidget(parent), m_cb(std::move(callbacks)), m_isPreview(isPreview), m_viewModel(viewModel),
      m_fitScale(fitScale > 0 ? fitScale : 1.0),
      m_frames(frames ? std::move(frames) : std::make_unique<QtFrameTimer>()),
      m_wow(
          [this] {
              WelcomeWowAnimator::Callbacks w;
              w.sweepBegin = [this] {
                  if (m_cb.sweepBegin) m_cb.sweepBegin();
              };
              w.ensurePopoverOpen = [this] {
                  if (m_cb.ensurePopoverOpen) m_cb.ensurePopoverOpen();
              };
              w.warmthUpdate = [this](double k, double i, bool on) {
                  if (m_cb.warmthUpdate) m_cb.warmthUpdate(k, i, on);
              };
              w.applyPresetIndex = [this](int i) {
                  if (m_cb.applyPresetIndex) m_cb.applyPresetIndex(i);
              };
              w.presetTapped = [this](double k, double i) {
                  if (m_cb.presetTapped) m_cb.presetTapped(k, i);
              };
              w.sweepEnd = [this] {
                  if (m_cb.sweepEnd) m_cb.sweepEnd();
              };
              w.revealContent = [this] {
                  m_wowContentVisible = true;
                  // The blocks spring in one after another.
                  for (size_t slot = 0; slot < m_blockMotion.size(); ++slot)
                      m_due.emplace_back(m_clockT + 0.07 * double(slot) + 0.02,
                                         [this, slot] { m_blockMotion[slot].in.retarget(1); });
              };
              return w;
          }(),
          std::move(wowFrames)) {
    setFixedSize(int(WelcomeWindowController::designWidth * m_fitScale),
                 int(WelcomeWindowController::designHeight * m_fitScale));
    setAttribute(Qt::WA_TranslucentBackground);
}

WelcomeView::~WelcomeView() {
    m_wow.stop();
}

std::unique_ptr<WelcomeView> WelcomeView::snapshot(int slide) {
    auto view = std::make_unique<WelcomeView>(WelcomeCallbacks{}, true, nullptr, 1.0,
                                              std::make_unique<ManualFrameTimer>(),
                                              std::make_unique<ManualFrameTimer>());
    view->m_isSnapshot = true;
    view->m_currentSlide = std::clamp(slide, 0, slideCount - 1);
    view->m_entranceT = kRevealed;
    view->m_wowContentVisible = true;
    view->m_progress.reset((view->m_currentSlide + 1.0) / slideCount);
    view->m_dots.reset(view->m_currentSlide);
    for (BlockMotion& block : view->m_blockMotion)
        block.in.reset(1);
    view->m_clockT = 12.0; // a settled moment of the decorations
    // After a pick: the evening preset chosen.
    view->m_wow.tap(QStringLiteral("Evening"), 2000, 0);
    view->m_wow.stop();
    return view;
}

void WelcomeView::setImages(const OnboardingImages& images) {
    m_images = &images;
    update();
}

QString WelcomeView::primaryTitle() const {
    switch (m_currentSlide) {
    case 0:
        return tr("Show me");
    case 1:
        return tr("Continue");
    case 2:
        return tr("Got it");
    case 3:
        return tr("Next");
    case 4:
        return tr("Continue");
    default:
        return tr("Open Halcyra");
    }
}

double WelcomeView::reveal(double flagOffset, double duration) const {
    return WarmthSweep::smoothstep((m_entranceT - flagOffset) / duration);
}

double WelcomeView::contentOn() const {
    if (m_currentSlide != 3) return chipsOn();
    return m_wowContentVisible ? 1.0 : 0.0;
}

void WelcomeView::appear() {
    if (m_isPreview) {
        // A replay shows the user's own settings in the flicker slide's switches.
        m_flickerFree = Preferences::shared().flickerFree();
        m_brightnessKeys = Preferences::shared().brightnessKeyInterception();
    }
    if (m_cb.cardAppeared) m_cb.cardAppeared();
    m_entranceT = 0;
    slideAppeared(m_currentSlide);
    m_frames->start(kDt, [this] { tick(); });
}

void WelcomeView::tick() {
    m_clockT += kDt;
    // A later slide's entrance starts slightly below zero (its short lead-in), so the
    // ticks run the clock on from wherever it stands until the entrance has ended.
    if (m_entranceT < 100) m_entranceT += kDt;
    m_slideInT = std::min(1.0, m_slideInT + kDt / 0.35);
    m_progress.advance(kDt);
    m_dots.advance(kDt);
    for (BlockMotion& block : m_blockMotion) {
        block.in.advance(kDt);
        block.shown.advance(kDt);
        block.scale.advance(kDt);
    }
    for (size_t i = 0; i < m_due.size();) {
        if (m_due[i].first <= m_clockT + 1e-9) {
            auto step = std::move(m_due[i].second);
            m_due.erase(m_due.begin() + long(i));
            step();
            i = 0;
        } else {
            ++i;
        }
    }
    update();
}

void WelcomeView::advance() {
    if (m_currentSlide == 3) m_wow.leave();
    if (m_currentSlide < slideCount - 1) {
        ++m_currentSlide;
        m_progress.retarget((m_currentSlide + 1.0) / slideCount);
        m_dots.retarget(m_currentSlide);
        m_entranceT = -0.15;
        m_slideInT = 0;
        slideAppeared(m_currentSlide);
        placeLiveWidget();
        update();
        return;
    }
    if (m_cb.ensurePopoverOpen) m_cb.ensurePopoverOpen();
    if (m_cb.dismiss) m_cb.dismiss();
    if (!m_isSnapshot && m_cb.openSurvey) {
        // The survey outlives the tour's window, so its delay is the application's.
        auto open = m_cb.openSurvey;
        QTimer::singleShot(900, qApp, open);
    }
}

void WelcomeView::slideAppeared(int slide) {
    if (m_isSnapshot) return;
    if (slide == 2) {
        m_due.emplace_back(m_clockT + 0.45, [this] {
            if (m_cb.ensurePopoverOpen) m_cb.ensurePopoverOpen();
        });
    } else if (slide == 3) {
        m_wowContentVisible = false;
        for (BlockMotion& block : m_blockMotion)
            block.in.reset(0);
        m_wow.arrive();
    } else if (slide == 4) {
        if (m_cb.flickerSlideAppeared) m_cb.flickerSlideAppeared(m_flickerFree, m_brightnessKeys);
    }
}

QRectF WelcomeView::bodyRect() const {
    return QRectF(40, 52, 880, 620 - 52 - 70);
}

QRectF WelcomeView::slideFrame() const {
    return QRectF(40, 33, 880, 620 - 33 - 70);
}

void WelcomeView::resizeEvent(QResizeEvent*) {
    placeLiveWidget();
}

void WelcomeView::placeLiveWidget() {
    const bool wanted = m_currentSlide == 1 && m_viewModel && !m_isSnapshot;
    if (!wanted) {
        if (m_liveWidget) m_liveWidget->hide();
        return;
    }
    if (!m_liveWidget) {
        m_liveWidget = new PopoverView(*m_viewModel);
        m_liveWidget->setParent(this);
    }
    const QRectF body = bodyRect();
    const double w = 320;
    const double h = std::min(body.height() - 16, double(m_liveWidget->sizeHint().height()));
    m_liveWidget->setGeometry(QRectF((body.left() + 10) * m_fitScale,
                                     (body.center().y() - h / 2 + 8) * m_fitScale, w * m_fitScale,
                                     h * m_fitScale)
                                  .toRect());
    m_liveWidget->show();
}

bool WelcomeView::clickAt(QPointF pt) {
    if (m_closeRect.contains(pt)) {
        // Ends the tour as closing its window any other way does.
        window()->close();
        return true;
    }
    if (m_button.contains(pt)) {
        advance();
        return true;
    }
    if (m_currentSlide == 3 && m_wowContentVisible) {
        const auto& library = PresetManager::library();
        for (const auto& [rect, index] : m_blocks) {
            if (!rect.contains(pt)) continue;
            m_wow.tap(library[index].name, library[index].temperature, index);
            update();
            return true;
        }
    }
    if (m_currentSlide == 4) {
        for (size_t i = 0; i < m_toggleRects.size(); ++i) {
            if (!m_toggleRects[i].contains(pt)) continue;
            if (i == 0) {
                m_flickerFree = !m_flickerFree;
                if (m_cb.flickerFreeChanged) m_cb.flickerFreeChanged(m_flickerFree);
            } else {
                m_brightnessKeys = !m_brightnessKeys;
                if (m_cb.brightnessKeysChanged) m_cb.brightnessKeysChanged(m_brightnessKeys);
            }
            update();
            return true;
        }
    }
    return false;
}

void WelcomeView::mousePressEvent(QMouseEvent* e) {
    // The background moves the window.
    if (!clickAt(e->position() / m_fitScale)) e->ignore();
}

void WelcomeView::paintEvent(QPaintEvent*) {
    m_cache.allowPreparing(kPrepareBudget);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(m_fitScale, m_fitScale);
    const QRectF card(0, 0, WelcomeWindowController::designWidth,
                      WelcomeWindowController::designHeight);
    // The card, its backdrop and the aurora's bloom only change with the slide.
    const bool photograph = m_currentSlide == 0 && welcomeIsPhotograph();
    const int backdrop = m_currentSlide == 1 || m_currentSlide == 5 ? m_currentSlide
                         : m_currentSlide == 0                      ? 0
                                                                    : -1;
    m_cache.draw(p, QStringLiteral("card|%1|%2").arg(backdrop).arg(photograph), card,
                 [&](QPainter& cp) {
                     paintSurface(cp, card);
                     paintBackdrop(cp, card);
                     if (backdrop == 0 && !photograph) paintAuroraBloom(cp, card);
                 });
    if (m_currentSlide == 0 && !photograph) paintAurora(p, card);
    const QRectF body = bodyRect();
    const double ease = WarmthSweep::smoothstep(m_slideInT);
    p.save();
    p.setOpacity(ease);
    p.translate((1 - ease) * 60, 0);
    m_toggleRects.clear();
    m_blocks.clear();
    if (m_currentSlide <= 1) prepareWidgetMockShadow(p);
    switch (m_currentSlide) {
    case 0:
        paintWelcome(p, body);
        break;
    case 1:
        paintLivesHere(p, body);
        break;
    case 2:
        paintMenuBar(p, body);
        break;
    case 3:
        paintWow(p, body);
        break;
    case 4:
        paintFlicker(p, body);
        break;
    default:
        paintPayoff(p, body);
        break;
    }
    p.restore();
    // The bars above and below the slide change only with the slide: two strips, drawn
    // once each.
    const QFont bf = OnboardingText::font(14, QFont::DemiBold);
    const double bw = QFontMetricsF(bf).horizontalAdvance(primaryTitle()) + 6 + 12 + 44;
    m_button = QRectF(card.width() - 24 - bw, card.height() - 22 - 39, bw, 39);
    const QRectF top(0, 0, card.width(), 64);
    const QRectF foot(0, m_button.top() - 30, card.width(), card.height() - m_button.top() + 30);
    for (const QRectF& strip : {top, foot}) {
        m_cache.draw(p, QStringLiteral("chrome|%1|%2").arg(m_currentSlide).arg(strip.top()), strip,
                     [&](QPainter& cp) {
                         cp.translate(-strip.topLeft());
                         cp.setClipRect(strip);
                         paintChrome(cp, card);
                     });
    }
    paintMovingChrome(p, card);
    // The close control, drawn as the settings window draws its own; outside the cached
    // strips, so that it follows the pointer.
    const bool overClose = m_closeRect.contains(mapFromGlobal(QCursor::pos()) / m_fitScale);
    p.setPen(Qt::NoPen);
    p.setBrush(overClose ? GlassPainter::srgb(1.0, 0.38, 0.35) : GlassPainter::white(0.28));
    p.drawEllipse(m_closeRect);
    if (overClose) {
        const QRectF x = m_closeRect.adjusted(3.5, 3.5, -3.5, -3.5);
        p.setPen(QPen(GlassPainter::black(0.55), 1.3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(x.topLeft(), x.bottomRight());
        p.drawLine(x.topRight(), x.bottomLeft());
    }
}

void WelcomeView::paintSurface(QPainter& p, const QRectF& card) {
    const double radius = OnboardingChrome::shared().cornerRadius();
    const QPainterPath shape = GlassPainter::continuousRoundedRect(card, radius);
    p.fillPath(shape, GlassPainter::srgb(0.07, 0.06, 0.09));
    p.fillPath(shape, GlassPainter::srgb(0.04, 0.03, 0.06, 0.64));
    QRadialGradient warm(QPointF(card.center().x(), card.top() - 0.15 * card.height()), 560);
    warm.setColorAt(0, GlassPainter::srgb(1.0, 0.55, 0.2, 0.1));
    warm.setColorAt(1, Qt::transparent);
    p.fillPath(shape, warm);
    GlassPainter::strokeInside(p, card, radius, GlassPainter::white(0.12), 1.0);
}

void WelcomeView::paintChrome(QPainter& p, const QRectF& card) {
    // Progress bar.
    const QRectF track(24, 30, card.width() - 48, 3);
    p.fillPath(GlassPainter::continuousRoundedRect(track, 1.5), GlassPainter::white(0.08));
    // Counter.
    const QString counter = tr("%1 of %2").arg(m_currentSlide + 1).arg(slideCount);
    p.setFont(OnboardingText::font(13, QFont::Medium));
    const QRectF counterRect(card.width() - 24 - 80, 40, 80, 18);
    p.setPen(GlassPainter::black(0.45));
    p.drawText(counterRect.translated(0, 1), Qt::AlignRight | Qt::AlignVCenter, counter);
    p.setPen(GlassPainter::white(0.42));
    p.drawText(counterRect, Qt::AlignRight | Qt::AlignVCenter, counter);

    // Footer: dots at the leading end, the button at the trailing end.
    const QFont bf = OnboardingText::font(14, QFont::DemiBold);
    const QString title = primaryTitle();
    const double bw = QFontMetricsF(bf).horizontalAdvance(title) + 6 + 12 + 44;
    m_button = QRectF(card.width() - 24 - bw, card.height() - 22 - 39, bw, 39);
    const double cy = m_button.center().y();
    const QPainterPath capsule = GlassPainter::continuousRoundedRect(m_button, 19.5);
    m_cache.shadow(p, capsule, GlassPainter::srgb(1.0, 0.62, 0.24, 0.4), 12, QPointF(0, 3));
    QLinearGradient bg(m_button.topLeft(), m_button.bottomLeft());
    bg.setColorAt(0, GlassPainter::srgb(1, 0.72, 0.32));
    bg.setColorAt(1, kAmber);
    p.fillPath(capsule, bg);
    const QColor ink = GlassPainter::srgb(0.15, 0.09, 0.03);
    p.setFont(bf);
    p.setPen(ink);
    const double tw = QFontMetricsF(bf).horizontalAdvance(title);
    const QRectF label(m_button.left() + 22, m_button.top(), tw + 2, m_button.height());
    p.drawText(label, Qt::AlignLeft | Qt::AlignVCenter, title);
    OnboardingGlyphs::paint(p, OnboardingGlyphs::ArrowRight,
                            QRectF(label.right() + 5, cy - 6, 12, 12), ink);
}

void WelcomeView::paintMovingChrome(QPainter& p, const QRectF& card) {
    const QRectF track(24, 30, card.width() - 48, 3);
    QRectF fill = track;
    fill.setWidth(std::clamp(track.width() * m_progress.value(), 0.0, track.width()));
    QLinearGradient g(fill.topLeft(), fill.topRight());
    g.setColorAt(0, kAmber);
    g.setColorAt(1, GlassPainter::srgb(1, 0.42, 0.18));
    p.fillPath(GlassPainter::continuousRoundedRect(fill, 1.5), g);

    // Each dot is as wide, and as amber, as the wide dot stands on it: 20 on the
    // current slide, 6 elsewhere, in between while it springs across.
    const double cy = m_button.center().y();
    const double at = m_dots.value();
    double x = 24;
    for (int i = 0; i < slideCount; ++i) {
        const double on = std::clamp(1.0 - std::abs(at - i), 0.0, 1.0);
        const QRectF dot(x, cy - 3, 6 + 14 * on, 6);
        const QColor off = GlassPainter::white(0.22);
        const QColor lit = GlassPainter::srgb(1.0, 0.62, 0.24, 0.9);
        QColor c;
        c.setRgbF(off.redF() + (lit.redF() - off.redF()) * on,
                  off.greenF() + (lit.greenF() - off.greenF()) * on,
                  off.blueF() + (lit.blueF() - off.blueF()) * on,
                  off.alphaF() + (lit.alphaF() - off.alphaF()) * on);
        p.fillPath(GlassPainter::continuousRoundedRect(dot, 3), c);
        x += dot.width() + 7;
    }
}
