// The visualiser's painting: the sky and curve layers, the marker, the handles and
// the card's words. Its layout and its pointer and keys are in SchedulingVisualizerView.cpp.
#include "settings/SchedulingVisualizerView.h"

#include "insights/ScheduleSettingsModel.h"
#include "popover/GlassPainter.h"
#include "settings/ScheduleGlyphs.h"
#include "settings/ScheduleViewStyle.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <vector>

using namespace ScheduleViewStyle;
namespace L = ScheduleViewLogic;

namespace {
constexpr double kSunSpacing = 8;
const QColor kTextDim = white(0.6);

double lh(const QFont& f) {
    return QFontMetricsF(f).height();
}

QPainterPath polygon(const QList<QPointF>& pts) {
    QPainterPath path;
    path.addPolygon(QPolygonF(pts));
    path.closeSubpath();
    return path;
}

// A handle's blurred shadow is the same picture wherever the handle sits: made once
// for each radius, colour and resolution, then copied (a drag repaints every handle on
// every step, and only the dragged one changes colour).
struct ShadowSprite {
    double r, blur;
    QRgb rgba;
    qreal scale;
    QImage image;
};
using ShadowSprites = std::vector<ShadowSprite>;

void paintDotShadow(QPainter& p, ShadowSprites& sprites, QPointF centre, double r,
                    const QColor& colour, double blur) {
    const qreal scale = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    using Sprite = ShadowSprite;
    const QRgb rgba = colour.rgba();
    const double half = r + std::ceil(blur * 2 + 2); // the blur's own margin
    auto it = std::find_if(sprites.begin(), sprites.end(), [&](const Sprite& s) {
        return s.r == r && s.blur == blur && s.rgba == rgba && s.scale == scale;
    });
    if (it == sprites.end()) {
        if (sprites.size() >= 40) sprites.erase(sprites.begin());
        QImage image((QSizeF(2 * half, 2 * half) * scale).toSize(),
                     QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(scale);
        image.fill(Qt::transparent);
        QPainter ip(&image);
        QPainterPath dot;
        dot.addEllipse(QPointF(half, half), r, r);
        GlassPainter::paintShadow(ip, dot, colour, blur);
        ip.end();
        sprites.push_back({r, blur, rgba, scale, std::move(image)});
        it = sprites.end() - 1;
    }
    p.drawImage(centre - QPointF(half, half), it->image);
}
QPixmap clearLayer(const QRectF& area, qreal dpr) {
    QPixmap layer((area.size() * dpr).toSize());
    layer.setDevicePixelRatio(dpr);
    layer.fill(Qt::transparent);
    return layer;
}
} // namespace

void SchedulingVisualizerView::renderSkyLayers(const QRectF& area, qreal dpr,
                                               const L::SunHours& sun) {
    m_layers[arcLayer] = clearLayer(area, dpr);
    m_layers[skyLayer] = clearLayer(area, dpr);
    m_layerSun = {sun.sunrise, sun.sunset};
    QPainter p(&m_layers[arcLayer]);
    p.setRenderHint(QPainter::Antialiasing);
    const L::VisualiserGeometry g{area.width()};
    const double w = g.width, horizon = g.horizonY();
    const double r = sun.sunrise, s = sun.sunset;

    QList<QPointF> arc;
    arc.reserve(201);
    for (int k = 0; k <= 200; ++k) {
        const double hour = 24.0 * k / 200;
        arc.append({g.x(hour), g.sunY(L::sunElevation(hour, r, s))});
    }
    const int rawR = int(std::trunc(r / 24 * 200)), rawS = int(std::trunc(s / 24 * 200));
    const int iR = std::clamp(rawR, 0, 200), iS = std::clamp(rawS, 0, 200);
    const double riseX = w * r / 24, setX = w * s / 24;

    // A sunset before the sunrise (far-northern summers) has no day to fill.
    if (iR <= iS) {
        QList<QPointF> day{{riseX, horizon}};
        day += arc.mid(iR, iS - iR + 1);
        day.append({setX, horizon});
        QLinearGradient sky(0, 6, 0, horizon);
        sky.setColorAt(0, srgb(1.0, 0.78, 0.25, 0.85));
        sky.setColorAt(0.6, srgb(1.0, 0.65, 0.15, 0.6));
        sky.setColorAt(1, srgb(1.0, 0.55, 0.10, 0.2));
        p.fillPath(polygon(day), sky);
    }
    const QColor night = srgb(0.15, 0.18, 0.25, 0.7);
    if (rawR >= 1) {
        QList<QPointF> dawn{{0, horizon}};
        dawn += arc.mid(0, iR + 1);
        dawn.append({riseX, horizon});
        p.fillPath(polygon(dawn), night);
    }
    if (rawS <= 199) {
        QList<QPointF> dusk{{setX, horizon}};
        dusk += arc.mid(iS);
        dusk.append({w, horizon});
        p.fillPath(polygon(dusk), night);
    }
    p.setPen(QPen(white(0.3), 0.5));
    p.drawLine(QPointF(0, horizon), QPointF(w, horizon));
    const QFont label = face(7, QFont::DemiBold);
    const QString horizonText = QStringLiteral("HORIZON");
    const QFontMetricsF lm(label);
    paintText(p, horizonText, label, white(0.3),
              {w - 4 - lm.horizontalAdvance(horizonText), horizon - 8 - lm.height() / 2});
    p.setPen(QPen(white(0.5), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF(arc));
    for (double x : {riseX, setX})
        paintDashedTick(p, QPointF(x, horizon - 35), QPointF(x, horizon));
    p.setPen(QPen(white(0.5), 1));
    p.setBrush(Qt::NoBrush);
    for (double x : {riseX, setX})
        p.drawEllipse(QPointF(x, horizon), 3, 3);

    p.end();

    p.begin(&m_layers[skyLayer]);
    p.setRenderHint(QPainter::Antialiasing);
    struct Sky {
        const char* icon;
        double hour;
        QColor colour;
    };
    double moon = s + (r - s + 24) / 2;
    if (moon >= 24) moon -= 24;
    const Sky symbols[] = {{"sunrise.fill", r, srgb(1.0, 0.62, 0.35, 0.9)},
                           {"sun.max.fill", (r + s) / 2, srgb(1.0, 0.95, 0.80, 0.95)},
                           {"sunset.fill", s, srgb(1.0, 0.55, 0.25, 0.9)},
                           {"moon.fill", moon, srgb(0.85, 0.88, 0.95, 0.8)}};
    for (const Sky& sky : symbols) {
        const double x = std::clamp(g.x(sky.hour), 10.0, std::max(10.0, w - 10));
        const double y = std::max(8.0, g.sunY(L::sunElevation(sky.hour, r, s)) - 11);
        ScheduleGlyphs::draw(p, QString::fromLatin1(sky.icon), QRectF(x - 5, y - 5, 10, 10),
                             sky.colour);
    }
}

void SchedulingVisualizerView::renderCurveLayer(const QRectF& area, qreal dpr, bool whole) {
    const L::VisualiserGeometry g{area.width()};
    const int n = int(m_samples.size());
    auto at = [&](int i) {
        const L::IntensitySample& s = m_samples[size_t(i)];
        return QPointF(g.x(s.hour), g.bandBase() - g.bandSpan() * s.intensity);
    };
    if (whole || !m_curveMoved || n < 2) m_layers[curveLayer] = clearLayer(area, dpr);
    QPainter p(&m_layers[curveLayer]);
    p.setRenderHint(QPainter::Antialiasing);
    int from = 0, to = n - 1;
    if (!whole && m_curveMoved && n >= 2) {
        // The pixels a moved sample reaches: its two segments, the pen's half width, its
        // round ends and a pixel of smoothing, on whole pixels of the layer.
        constexpr double reach = 3;
        const double left = at(std::max(0, m_curveMoved->first - 1)).x() - reach;
        const double right = at(std::min(n - 1, m_curveMoved->second + 1)).x() + reach;
        const QRectF stretch(std::floor(left * dpr) / dpr, 0,
                             (std::ceil(right * dpr) - std::floor(left * dpr)) / dpr,
                             area.height());
        p.setClipRect(stretch);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.fillRect(stretch, Qt::transparent);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        // Every segment that comes within reach of the stretch, and no more.
        while (from + 1 < n && at(from + 1).x() < stretch.left() - reach)
            ++from;
        while (to - 1 > from && at(to - 1).x() > stretch.right() + reach)
            --to;
    }
    m_curveMoved.reset();
    if (n < 2) return;
    QPolygonF curve;
    for (int i = from; i <= to; ++i)
        curve << at(i);
    QLinearGradient stroke(0, g.bandTop(), 0, g.bandBase());
    stroke.setColorAt(0, colour(L::warmColor, 0.9));
    stroke.setColorAt(1, colour(L::deepColor, 0.7));
    p.setPen(QPen(QBrush(stroke), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(curve);
}

void SchedulingVisualizerView::paintMarker(QPainter& p, const QRectF& area) const {
    const L::VisualiserGeometry g{area.width()};
    const L::SunHours sun = sunHours();
    const QPointF at =
        area.topLeft() + QPointF(g.x(m_currentHour),
                                 g.sunY(L::sunElevation(m_currentHour, sun.sunrise, sun.sunset)));
    const QColor c = m_currentIntensity > 0 ? srgb(1.0, 0.75, 0.20) : srgb(1.0, 0.92, 0.55);
    // The breath in sixteenths: its glow a quarter of a point at a time, too fine to
    // see, so a breath's seventeen glows are made once and copied from then on.
    const double pulse = std::round(m_pulse * 16) / 16;
    const double radius = 6 * (0.95 + 0.15 * pulse);
    QPainterPath dot;
    dot.addEllipse(at, radius, radius);
    QColor glow = c;
    glow.setAlphaF(0.8f);
    thread_local ShadowSprites glows;
    paintDotShadow(p, glows, at, radius, glow, 4 + 4 * pulse);
    p.fillPath(dot, c);

    const QString badge = QStringLiteral("%1K").arg(L::currentStateKelvin(m_currentIntensity));
    const QFont f = face(9, QFont::Bold);
    const QFontMetricsF m(f);
    const QRectF box(at.x() - m.horizontalAdvance(badge) / 2 - 5, at.y() - 16 - m.height() / 2 - 2,
                     m.horizontalAdvance(badge) + 10, m.height() + 4);
    p.setPen(Qt::NoPen);
    p.setBrush(colour(L::colorForIntensity(m_currentIntensity), 0.85));
    p.drawRoundedRect(box, box.height() / 2, box.height() / 2);
    paintCentredText(p, badge, f, Qt::white, box.center());
}

void SchedulingVisualizerView::paintHandles(QPainter& p, const QRectF& area) const {
    const L::VisualiserGeometry g{area.width()};
    for (const SchedulePoint& point : m_model.schedulePoints()) {
        const QPointF c = area.topLeft() + g.handle(point.hour, point.kelvin);
        const QColor tint = colour(L::colorForKelvin(point.kelvin));
        const bool dragging = m_draggingId == point.id;
        const bool selected = m_selectedId == point.id && hasFocus();
        if (dragging || selected) {
            QColor ring = tint;
            ring.setAlphaF(tint.alphaF() * 0.4f);
            p.setPen(QPen(ring, 2));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(c, 12, 12);
        }
        const double r = dragging ? 8 : 6;
        QPainterPath dot;
        dot.addEllipse(c, r, r);
        QColor shadow = tint;
        shadow.setAlphaF(tint.alphaF() * 0.6f);
        thread_local ShadowSprites shadows;
        paintDotShadow(p, shadows, c, r, shadow, 4);
        p.fillPath(dot, tint);
        if (!dragging) continue;
        const QFont timeFont = face(9, QFont::Bold), kelvinFont = face(8, QFont::DemiBold);
        const QString time = L::clockString(point.hour);
        const QString kelvin = QStringLiteral("%1K").arg(qint64(std::trunc(point.kelvin)));
        const QFontMetricsF tm(timeFont), km(kelvinFont);
        const double tw = std::max(tm.horizontalAdvance(time), km.horizontalAdvance(kelvin));
        const double th = tm.height() + 1 + km.height();
        const QRectF tip(c.x() - tw / 2 - 6, c.y() - 28 - th / 2 - 3, tw + 12, th + 6);
        p.setPen(Qt::NoPen);
        p.setBrush(GlassPainter::black(0.8));
        p.drawPath(GlassPainter::continuousRoundedRect(tip, 4));
        paintCentredText(p, time, timeFont, Qt::white,
                         {tip.center().x(), tip.top() + 3 + tm.height() / 2});
        paintCentredText(p, kelvin, kelvinFont, Qt::white,
                         {tip.center().x(), tip.bottom() - 3 - km.height() / 2});
    }
}

void SchedulingVisualizerView::paintArea(QPainter& p, const QRectF& area) {
    const qreal dpr = p.device()->devicePixelRatioF();
    auto stale = [&](const QPixmap& layer) {
        return layer.isNull() || layer.deviceIndependentSize() != area.size() ||
               layer.devicePixelRatio() != dpr;
    };
    const L::SunHours sun = sunHours();
    if (stale(m_layers[arcLayer]) || m_layerSun != std::pair(sun.sunrise, sun.sunset))
        renderSkyLayers(area, dpr, sun);
    if (stale(m_layers[curveLayer]))
        renderCurveLayer(area, dpr, true);
    else if (m_curveMoved)
        renderCurveLayer(area, dpr, false);
    // Back to front: the sky and its arc, the sun marker, the warmth curve, the handles
    // and the sky symbols; the curve passes over the marker at night.
    p.drawPixmap(area.topLeft(), m_layers[arcLayer]);
    paintMarker(p, area);
    p.drawPixmap(area.topLeft(), m_layers[curveLayer]);
    if (handlesShown()) paintHandles(p, area);
    p.drawPixmap(area.topLeft(), m_layers[skyLayer]);
}

void SchedulingVisualizerView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // The card with its titles and the sentences under the drawing change far less often
    // than the curve and the handles, and apart from each other.
    const L::SunHours sun = sunHours();
    const QString sunrise = L::arcTimeString(sun.sunriseTime);
    const QString sunset = L::arcTimeString(sun.sunsetTime);
    m_chrome.draw(p, QRectF(rect()), qHashMulti(0, m_model.useSchedule(), sunrise, sunset),
                  [&](QPainter& cp) { paintChrome(cp, sunrise, sunset); });
    const QString status = statusSentenceText(), caption = captionLine();
    const QString state = L::currentStateLabel(m_currentIntensity);
    const int mode = m_model.autoSunset() ? 0 : m_model.useSchedule() ? 1 : 2;
    const Rows row = rows();
    m_words.draw(p, QRectF(0, row.status, width(), row.bottom - row.status),
                 qHashMulti(0, mode, status, caption, state, m_currentIntensity > 0),
                 [&](QPainter& cp) { paintWords(cp, row, status, caption, state); });
    paintArea(p, drawingArea());
}

void SchedulingVisualizerView::paintChrome(QPainter& p, const QString& sunriseTime,
                                           const QString& sunsetTime) {
    const QRectF card = QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25);
    p.fillPath(GlassPainter::continuousRoundedRect(card, 12), white(0.08));
    GlassPainter::strokeInside(p, QRectF(rect()), 12, white(0.1), 0.5);

    const Rows row = rows();
    const double left = padding, right = width() - padding;
    paintText(p, QStringLiteral("Schedule Preview"), face(12, QFont::DemiBold), Qt::white,
              {left, row.header});
    if (m_model.useSchedule()) {
        const QString hint = QStringLiteral("Drag points to adjust");
        const QFont f = face(10);
        const double h = lh(face(12, QFont::DemiBold));
        paintText(p, hint, f, kTextDim,
                  {right - QFontMetricsF(f).horizontalAdvance(hint), row.header + (h - lh(f)) / 2});
    }

    const QFont caption = face(10, QFont::Medium), figure = face(20, QFont::Bold);
    const double figureTop = row.times + lh(caption) + 1;
    paintText(p, QStringLiteral("Sunrise"), caption, kTextDim, {left, row.times});
    paintText(p, sunriseTime, figure, Qt::white, {left, figureTop});
    const QString sunset = QStringLiteral("Sunset");
    paintText(p, sunset, caption, kTextDim,
              {right - QFontMetricsF(caption).horizontalAdvance(sunset), row.times});
    paintText(p, sunsetTime, figure, Qt::white,
              {right - QFontMetricsF(figure).horizontalAdvance(sunsetTime), figureTop});
}

void SchedulingVisualizerView::paintWords(QPainter& p, const Rows& row, const QString& statusText,
                                          const QString& captionText, const QString& stateText) {
    const double left = padding, right = width() - padding;
    const QFont status = face(11, QFont::Medium);
    p.setFont(status);
    p.setPen(white(0.85));
    // One line: a sentence longer than the card ends in an ellipsis.
    p.drawText(QRectF(left, row.status, right - left, row.caption - kSunSpacing - row.status),
               Qt::AlignLeft | Qt::AlignVCenter,
               QFontMetricsF(status).elidedText(statusText, Qt::ElideRight, right - left));

    const QFont captionFont = face(10);
    const QString icon = m_model.autoSunset()    ? QStringLiteral("location.fill")
                         : m_model.useSchedule() ? QStringLiteral("clock.fill")
                                                 : QStringLiteral("hand.raised.fill");
    const double ch = lh(captionFont);
    ScheduleGlyphs::draw(p, icon, QRectF(left, row.caption + (ch - 9) / 2, 9, 9), kTextDim);
    p.setFont(captionFont);
    p.setPen(kTextDim);
    p.drawText(
        QRectF(left + 13, row.caption, right - left - 13, ch), Qt::AlignLeft | Qt::AlignVCenter,
        QFontMetricsF(captionFont).elidedText(captionText, Qt::ElideRight, right - left - 13));

    const QFont stateFont = face(11, QFont::Medium);
    const double sh = lh(stateFont);
    p.setPen(Qt::NoPen);
    p.setBrush(colour(m_currentIntensity > 0 ? L::warmColor : L::coolColor));
    p.drawEllipse(QRectF(left, row.state + (sh - 6) / 2, 6, 6));
    paintText(p, stateText, stateFont, kTextDim, {left + 12, row.state});
}
