#include "brightness/BrightnessOSDPanel.h"

#include "brightness/OSDBorderRing.h"
#include "brightness/SnapGuideOverlay.h"
#include "core/NotificationCenter.h"
#include "core/NotificationNames.h"
#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "platform/Platform.h"
#include "platform/WindowPixels.h"

#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QWindow>
#include <cmath>
#include <cstring>

namespace {
constexpr qreal cornerRadius = 14;
constexpr qreal padX = 16, padY = 12, spacing = 12, iconSize = 16, barHeight = 6;

QColor srgb(qreal r, qreal g, qreal b, qreal a = 1.0) {
    return QColor::fromRgbF(float(r), float(g), float(b), float(a));
}
const QColor warmYellow = srgb(1.0, 0.85, 0.3);
const QColor softGold = srgb(1.0, 0.92, 0.6);
const QColor nearWhite = srgb(1.0, 0.98, 0.92);
const QColor coolWhite = srgb(0.86, 0.93, 1.0);
const QColor amber = srgb(0.97, 0.59, 0.12);
const QColor ember = srgb(0.85, 0.18, 0.08);

QColor withAlpha(QColor c, qreal a) {
    c.setAlphaF(float(a));
    return c;
}

QPainterPath panelShape(const QRectF& r) {
    QPainterPath path;
    path.addRoundedRect(r, cornerRadius, cornerRadius);
    return path;
}

void sun(QPainter& p, const QRectF& box, const QColor& c, bool large) {
    const QPointF centre = box.center();
    const qreal core = box.width() * (large ? 0.24 : 0.2);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(centre, core, core);
    const qreal inner = core + box.width() * 0.1;
    const qreal outer = box.width() * (large ? 0.5 : 0.4);
    QPen pen(c, large ? 1.6 : 1.4, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    for (int i = 0; i < 8; ++i) {
        const qreal a = i * M_PI / 4;
        const QPointF d(std::cos(a), std::sin(a));
        if (large)
            p.drawLine(centre + d * inner, centre + d * outer);
        else
            p.drawPoint(centre + d * outer * 0.95);
    }
}

void moon(QPainter& p, const QRectF& box, const QColor& c) {
    const QRectF disc = box.adjusted(1.5, 1.5, -1.5, -1.5);
    QPainterPath full;
    full.addEllipse(disc);
    QPainterPath bite;
    bite.addEllipse(disc.translated(disc.width() * 0.38, -disc.height() * 0.22));
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(full.subtracted(bite));
}
} // namespace

BrightnessOSDPanel::BrightnessOSDPanel(OSDState& state, Look look)
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::X11BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus |
                           Qt::NoDropShadowWindowHint),
      m_state(state), m_look(std::move(look)), m_positionKey(PrefKey::osdPosition) {
    setObjectName(QStringLiteral("HalcyraBrightnessOSD"));
    setWindowTitle(QStringLiteral("Halcyra brightness"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(BrightnessOSD::panelSize);
    if (m_look.composited) {
        // The corners and the card's see-through glass are blended by the compositor.
        setAttribute(Qt::WA_TranslucentBackground);
    } else {
        // Without a compositor the corners would be black: the window is cut to the
        // card, once, on the window itself. A widget mask would cut every repaint into
        // strips along the rounded outline, one image request each.
        winId();
        if (QWindow* window = windowHandle())
            window->setMask(QRegion(panelShape(QRectF(rect())).toFillPolygon().toPolygon()));
    }
    m_frameTimer.setInterval(frameMs);
    m_frameTimer.setTimerType(Qt::PreciseTimer);
    // Each frame only the border turns: only its strip is repainted and sent.
    const QRect r = rect();
    const QRegion inside =
        QRegion(r.adjusted(14, 3, -14, -3)) + QRegion(r.adjusted(3, 14, -3, -14));
    m_borderRegion = QRegion(r) - inside;
    connect(&m_frameTimer, &QTimer::timeout, this, [this] {
        if (m_frameTimer.interval() != frameMs) m_frameTimer.setInterval(frameMs);
        frameTick();
    });
    m_ring = std::make_unique<OSDBorderRing>(
        panelShape(QRectF(r).adjusted(0.75, 0.75, -0.75, -0.75)), QRectF(r).center());
    connect(&m_state, &OSDState::changed, this, &BrightnessOSDPanel::stateChanged);
}

BrightnessOSDPanel::~BrightnessOSDPanel() = default;

OSDScreens BrightnessOSDPanel::currentScreens() {
    OSDScreens screens;
    if (QScreen* main = QGuiApplication::primaryScreen()) screens.main = main->geometry();
    for (QScreen* s : QGuiApplication::screens())
        screens.all.append(s->geometry());
    return screens;
}

void BrightnessOSDPanel::moveTo(QPoint origin) {
    if (pos() != origin) move(origin);
}

void BrightnessOSDPanel::orderFront() {
    show();
    raise();
    // A key press has woken the application anyway: the border's next frame goes out
    // with it and its timer counts from here, so a held key costs one wake-up less
    // between two of its presses.
    if (m_frameTimer.isActive()) {
        frameTick();
        m_frameTimer.start(frameAfterLevelMs);
    }
}

void BrightnessOSDPanel::orderOut() {
    hide();
}

void BrightnessOSDPanel::stateChanged() {
    // The border turns only while the panel is up and the watchdog has not stilled it.
    const bool animate = m_state.isVisible() && !m_state.animationsStilled();
    if (animate && !m_frameTimer.isActive()) {
        if (!m_animationStart.isValid()) m_animationStart.start();
        m_colours = borderColours();
        m_frameTimer.start();
    } else if (!animate) {
        m_frameTimer.stop();
    }
    const bool whole = m_state.mode() != m_shownMode || m_state.isVisible() != m_shownVisible ||
                       m_state.animationsStilled() != m_shownStilled;
    m_shownMode = m_state.mode();
    m_shownVisible = m_state.isVisible();
    m_shownStilled = m_state.animationsStilled();
    if (whole) {
        m_pending = QRect();
        update();
        return;
    }
    // Only the level moved: only the bar is drawn again. While the border turns, the
    // border's frame is made now with it and the border's own timer waits a little
    // longer than a ramp's frame: during a ramp the two share one paint a frame.
    const QRect bar = barTrack().toAlignedRect().adjusted(-1, -1, 1, 1);
    if (m_frameTimer.isActive()) {
        m_pending |= bar;
        frameTick();
        m_frameTimer.start(frameAfterLevelMs);
    } else {
        update(bar);
    }
}

void BrightnessOSDPanel::frameTick() {
    // Only the runs whose colour changed are painted and sent: most of the outline is
    // the gradient's flat stretch and stays as it is from one frame to the next.
    std::vector<QRgb> colours = borderColours();
    std::vector<QRect> pieces;
    if (m_ring->measuredRatio() == 0) {
        pieces.push_back(m_borderRegion.boundingRect());
    } else {
        bool previousChanged = false;
        for (size_t i = 0; i < colours.size(); ++i) {
            const bool changed = i >= m_colours.size() || colours[i] != m_colours[i];
            const bool joinable = previousChanged;
            previousChanged = changed;
            if (!changed) continue;
            const QRect area = m_ring->area(i);
            // Neighbouring runs along a straight edge join into one strip; one round a
            // corner starts a new piece rather than spanning the card's inside.
            if (joinable) {
                const QRect joined = pieces.back() | area;
                if (qint64(joined.width()) * joined.height() <=
                    qint64(pieces.back().width()) * pieces.back().height() +
                        qint64(area.width()) * area.height() + 32) {
                    pieces.back() = joined;
                    continue;
                }
            }
            pieces.push_back(area);
        }
    }
    m_colours = std::move(colours);
    if (!m_pending.isEmpty()) pieces.push_back(m_pending);
    m_pending = QRect();
    if (pieces.empty() || putFrame(pieces)) return;
    // The toolkit's way: one rectangle a frame, one image request however many runs
    // changed.
    QRect bounds;
    for (const QRect& r : pieces)
        bounds |= r;
    update(bounds);
}

bool BrightnessOSDPanel::putFrame(const std::vector<QRect>& pieces) {
    // Straight onto the window while it is on screen: a frame then costs the few small
    // images that changed, in one write, not a posted repaint of their bounding box and
    // the toolkit's wait for the server between two frames. Before it is first exposed
    // the toolkit paints it whole anyway.
    const QWindow* window = windowHandle();
    if (!isVisible() || !window || !window->isExposed()) return false;
    const qreal dpr = devicePixelRatioF();
    composeFrame(dpr);
    std::vector<QRect> pixels;
    pixels.reserve(pieces.size());
    for (const QRect& r : pieces)
        pixels.push_back(
            QRectF(QPointF(r.topLeft()) * dpr, QSizeF(r.size()) * dpr).toAlignedRect());
    return Platform::instance().windowPixels().put(winId(), m_frame, pixels);
}

std::vector<QRgb> BrightnessOSDPanel::borderColours() const {
    const QColor accent = m_state.mode() == OSDMode::warmth ? amber : warmYellow;
    return m_ring->colours(m_animationStart.isValid() ? m_animationStart.elapsed() / 1000.0 : 0.0,
                           accent);
}

void BrightnessOSDPanel::paintEvent(QPaintEvent* event) {
    const qreal dpr = devicePixelRatioF();
    composeFrame(dpr);
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    // One piece, sent to the server as one image.
    const QRect piece = event->region().boundingRect();
    p.drawImage(piece.topLeft(), m_frame,
                QRectF(QPointF(piece.topLeft()) * dpr, QSizeF(piece.size()) * dpr));
}

void BrightnessOSDPanel::composeFrame(qreal dpr) {
    if (m_backdrop.isNull() || m_backdrop.devicePixelRatio() != dpr ||
        m_backdropMode != m_state.mode()) {
        m_backdrop = QImage((QSizeF(size()) * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
        m_backdrop.setDevicePixelRatio(dpr);
        m_backdrop.fill(Qt::transparent);
        QPainter c(&m_backdrop);
        paintBackdrop(c);
        c.end();
        m_backdropMode = m_state.mode();
        m_frame = m_backdrop.copy();
        m_frame.setDevicePixelRatio(dpr);
        m_framePercentage = -1;
        m_frameLook = BorderLook::none;
    }
    if (m_ring->measuredRatio() != dpr) {
        m_ring->measure(m_frame.size(), dpr);
        m_frameLook = BorderLook::none; // the runs' pixels are new: lay them all again
    }
    if (m_framePercentage != m_state.percentage()) {
        // The bar's old fill goes back to the bare track before the new one is drawn.
        const QRect bar = QRectF(barTrack().topLeft() * dpr, barTrack().size() * dpr)
                              .toAlignedRect()
                              .adjusted(-1, -1, 1, 1) &
                          m_frame.rect();
        for (int y = bar.top(); y <= bar.bottom(); ++y)
            std::memcpy(m_frame.scanLine(y) + bar.left() * 4,
                        m_backdrop.constScanLine(y) + bar.left() * 4, size_t(bar.width()) * 4);
        QPainter c(&m_frame);
        c.setRenderHint(QPainter::Antialiasing);
        paintFill(c);
        m_framePercentage = m_state.percentage();
    }
    const BorderLook look = !m_state.isVisible()          ? BorderLook::none
                            : m_state.animationsStilled() ? BorderLook::still
                                                          : BorderLook::turning;
    if (look != m_frameLook || (look == BorderLook::turning && m_frameColours != m_colours))
        composeBorder();
}

void BrightnessOSDPanel::composeBorder() {
    const BorderLook look = !m_state.isVisible()          ? BorderLook::none
                            : m_state.animationsStilled() ? BorderLook::still
                                                          : BorderLook::turning;
    if (m_colours.size() != size_t(OSDBorderRing::runCount)) m_colours = borderColours();
    // Turning on: only the runs whose colour changed are made again, from the backdrop.
    if (look == BorderLook::turning && m_frameLook == BorderLook::turning) {
        m_ring->blend(m_frame, m_backdrop, m_colours, &m_frameColours);
        m_frameColours = m_colours;
        return;
    }
    const qreal dpr = m_frame.devicePixelRatio();
    // The strip under the border goes back to the backdrop, then the border is laid on.
    for (const QRect& r : m_borderRegion) {
        const QRect d = QRectF(QPointF(r.topLeft()) * dpr, QSizeF(r.size()) * dpr).toAlignedRect() &
                        m_frame.rect();
        for (int y = d.top(); y <= d.bottom(); ++y)
            std::memcpy(m_frame.scanLine(y) + d.left() * 4,
                        m_backdrop.constScanLine(y) + d.left() * 4, size_t(d.width()) * 4);
    }
    m_frameLook = look;
    if (look == BorderLook::still) {
        const QColor accent = m_state.mode() == OSDMode::warmth ? amber : warmYellow;
        QPainter c(&m_frame);
        c.setRenderHint(QPainter::Antialiasing);
        c.setBrush(Qt::NoBrush);
        c.setPen(QPen(withAlpha(accent, 0.5), 1.5));
        c.drawPath(panelShape(QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75)));
    } else if (look == BorderLook::turning) {
        m_ring->blend(m_frame, m_backdrop, m_colours, nullptr);
        m_frameColours = m_colours;
    }
}

QRectF BrightnessOSDPanel::barTrack() const {
    const QRectF content = QRectF(rect()).adjusted(padX, padY, -padX, -padY);
    const qreal barLeft = content.left() + iconSize + spacing;
    const qreal barWidth = content.right() - iconSize - spacing - barLeft;
    return {barLeft, content.center().y() - barHeight / 2, barWidth, barHeight};
}

void BrightnessOSDPanel::paintBackdrop(QPainter& p) const {
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(rect());
    const QPainterPath shape = panelShape(r);
    p.setClipPath(shape);
    // The card's shadow lies within the panel, seen through its glass where windows
    // are blended.
    if (m_look.composited && m_look.shadow)
        m_look.shadow(p, shape, QColor::fromRgbF(0, 0, 0, 0.5f), 20.0, QPointF(0, 10));
    p.fillPath(shape, QColor::fromRgbF(0.12f, 0.12f, 0.12f, 0.85f));

    const bool warmth = m_state.mode() == OSDMode::warmth;
    const QRectF content = r.adjusted(padX, padY, -padX, -padY);
    const QRectF leading(content.left(), content.center().y() - iconSize / 2, iconSize, iconSize);
    const QRectF trailing(content.right() - iconSize, leading.top(), iconSize, iconSize);
    if (warmth)
        moon(p, leading, withAlpha(coolWhite, 0.7));
    else
        sun(p, leading, withAlpha(warmYellow, 0.7), false);
    sun(p, trailing, warmth ? ember : warmYellow, true);

    const QRectF track = barTrack();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor::fromRgbF(1, 1, 1, 0.15f));
    p.drawRoundedRect(track, barHeight / 2, barHeight / 2);
}

void BrightnessOSDPanel::paintFill(QPainter& p) const {
    const bool warmth = m_state.mode() == OSDMode::warmth;
    const QRectF track = barTrack();
    const qreal fill = std::clamp(m_state.percentage(), 0.0, 1.0) * track.width();
    if (!(fill > 0)) return;
    QLinearGradient g(track.left(), 0, track.right(), 0);
    const QList<QColor> stops = warmth ? QList<QColor>{ember, amber, coolWhite}
                                       : QList<QColor>{warmYellow, softGold, nearWhite};
    for (int i = 0; i < stops.size(); ++i)
        g.setColorAt(qreal(i) / (stops.size() - 1), stops[i]);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(QRectF(track.left(), track.top(), fill, barHeight), barHeight / 2,
                      barHeight / 2);
}

// ---- Dragging ----

void BrightnessOSDPanel::mousePressEvent(QMouseEvent* e) {
    m_dragStartMouse = e->globalPosition();
}

void BrightnessOSDPanel::mouseMoveEvent(QMouseEvent* e) {
    if (!(e->buttons() & Qt::LeftButton)) return;
    const OSDScreens screens = currentScreens();
    const std::optional<QRectF> main =
        screens.main ? std::optional<QRectF>(QRectF(*screens.main)) : std::nullopt;
    if (!m_isDragging) {
        m_isDragging = true;
        NotificationCenter::defaultCenter().post(NotificationName::osdDragBegan, this);
        m_guides.beginDrag(QSizeF(size()), QPointF(pos()), m_dragStartMouse, main);
        if (m_guides.guidesVisible) {
            if (!m_overlay) m_overlay = std::make_unique<SnapGuideOverlay>();
            m_overlay->showGuides(m_guides);
        }
    }
    const QPointF p = m_guides.applySnap(e->globalPosition(), QSizeF(size()), main);
    if (m_overlay && m_guides.guidesVisible) m_overlay->showGuides(m_guides);
    const QPoint rounded(int(std::lround(p.x())), int(std::lround(p.y())));
    if (rounded != pos()) move(rounded);
}

void BrightnessOSDPanel::mouseReleaseEvent(QMouseEvent*) {
    const bool wasDragging = m_isDragging;
    m_isDragging = false;
    if (!wasDragging) return;
    m_guides.endDrag();
    if (m_overlay) m_overlay->fadeOut();
    if (!m_positionKey.isEmpty()) {
        const QJsonObject origin{{QStringLiteral("x"), pos().x()},
                                 {QStringLiteral("y"), pos().y()}};
        UserDefaults::standard().setString(
            m_positionKey, QString::fromUtf8(QJsonDocument(origin).toJson(QJsonDocument::Compact)));
    }
    NotificationCenter::defaultCenter().post(NotificationName::osdDragEnded, this);
}
