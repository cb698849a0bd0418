#include "settings/CircadianRingView.h"

#include "core/NotificationCenter.h"
#include "core/NotificationNames.h"
#include "core/Preferences.h"
#include "popover/GlassPainter.h"
#include "settings/ScheduleViewStyle.h"
#include "warmth/SunsetScheduler.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

using namespace ScheduleViewStyle;
namespace L = ScheduleViewLogic;

namespace {
constexpr double kBand = 14.0;
const QColor kTextDim = white(0.5);

struct Ring {
    QPointF centre;
    double radius; // outer edge of the band
};

Ring ringIn(const QRectF& area) {
    const double side = std::min(area.width(), area.height());
    return {QPointF(area.left() + area.width() * 0.5, area.top() + side * 0.5), side * 0.5 - 2};
}

QPointF onRing(const Ring& ring, double hour, double r) {
    const double a = L::ringAngle(hour);
    return ring.centre + QPointF(r * std::cos(a), r * std::sin(a));
}
} // namespace

CircadianRingView::CircadianRingView(bool isWindowVisible, QWidget* parent)
    : CircadianRingView(isWindowVisible, SunsetScheduler::shared(), parent) {}

CircadianRingView::CircadianRingView(bool isWindowVisible, SunsetScheduler& scheduler,
                                     QWidget* parent)
    : QWidget(parent), m_scheduler(scheduler), m_windowVisible(isWindowVisible) {
    setAttribute(Qt::WA_TranslucentBackground);
    m_minuteTimer.setInterval(minuteIntervalMs);
    connect(&m_minuteTimer, &QTimer::timeout, this, [this] {
        if (m_windowVisible) refresh();
    });
    m_minuteTimer.start();
    NotificationCenter::defaultCenter().addObserver(this, NotificationName::preferencesChanged,
                                                    [this](const Notification&) { refresh(); });
}

CircadianRingView::~CircadianRingView() {
    NotificationCenter::defaultCenter().removeObserver(this);
}

void CircadianRingView::setWindowVisible(bool visible) {
    if (visible == m_windowVisible) return;
    m_windowVisible = visible;
    if (visible) refresh();
}

void CircadianRingView::refresh() {
    const QDateTime now = m_scheduler.clock().now();
    const auto intensityAt = L::dayIntensity(m_scheduler, now);
    std::vector<double> samples;
    samples.reserve(segmentCount);
    for (int i = 0; i < segmentCount; ++i)
        samples.push_back(intensityAt((qint64(i) * 86400 / segmentCount) / 3600.0));
    m_samples = std::move(samples);
    m_currentHour = L::fractionalHour(now);
    m_segments = QPixmap();
    update();
}

double CircadianRingView::currentSample() const {
    if (m_samples.empty()) return 0;
    return m_samples[size_t(L::segmentIndex(m_currentHour, int(m_samples.size())))];
}

double CircadianRingView::centreKelvin() const {
    return L::ringCentreKelvin(currentSample(), Preferences::shared().temperature());
}

void CircadianRingView::showEvent(QShowEvent*) {
    refresh();
}

void CircadianRingView::renderSegments(double side, qreal dpr) {
    const QSize pixels = (QSizeF(side, side) * dpr).toSize();
    m_segments = QPixmap(pixels);
    m_segments.setDevicePixelRatio(dpr);
    m_segments.fill(Qt::transparent);
    if (m_samples.size() != size_t(segmentCount)) return;
    QPainter p(&m_segments);
    p.setRenderHint(QPainter::Antialiasing);
    const Ring ring = ringIn(QRectF(0, 0, side, side));
    const double r = ring.radius - kBand / 2;
    // One stroke with a hard-stopped sweep of colours: every five minutes its own colour,
    // with no seams between neighbours. The sweep runs counter-clockwise from three
    // o'clock; the ring runs clockwise from midnight.
    QConicalGradient sweep(ring.centre, 90.0);
    for (int i = 0; i < segmentCount; ++i) {
        const QColor c = colour(L::colorForIntensity(m_samples[size_t(i)]));
        const double from = double(i) / segmentCount, to = double(i + 1) / segmentCount;
        sweep.setColorAt(1.0 - to + (i + 1 < segmentCount ? 1e-9 : 0), c);
        sweep.setColorAt(1.0 - from - (i > 0 ? 1e-9 : 0), c);
    }
    p.setPen(QPen(QBrush(sweep), kBand, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(ring.centre, r, r);
}

QRectF CircadianRingView::ringArea() const {
    return QRectF(rect()).adjusted(labelMargin, labelMargin, -labelMargin, -labelMargin);
}

double CircadianRingView::ringRadius() const {
    return ringIn(ringArea()).radius;
}

void CircadianRingView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area = ringArea();
    if (area.width() <= 2 * kBand || area.height() <= 2 * kBand) return;
    const Ring ring = ringIn(area);
    const double mid = ring.radius - kBand / 2;

    p.setPen(QPen(white(0.06), kBand));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(ring.centre, mid, mid);

    const double side = std::min(area.width(), area.height());
    const qreal dpr = p.device()->devicePixelRatioF();
    if (m_segments.isNull() || m_segments.deviceIndependentSize() != QSizeF(side, side) ||
        m_segments.devicePixelRatio() != dpr)
        renderSegments(side, dpr);
    p.drawPixmap(QPointF(area.left() + area.width() * 0.5 - side * 0.5, area.top()), m_segments);

    const QFont labelFont = face(9, QFont::Medium);
    const std::pair<const char*, double> labels[] = {
        {"12AM", 0}, {"6AM", 6}, {"12PM", 12}, {"6PM", 18}};
    for (const auto& [text, hour] : labels)
        paintCentredText(p, QString::fromLatin1(text), labelFont, kTextDim,
                         onRing(ring, hour, ring.radius + 12));

    for (int hour = 0; hour < 24; hour += 3) {
        const bool major = hour % 6 == 0;
        p.setPen(QPen(white(major ? 0.35 : 0.15), major ? 1.0 : 0.5, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(onRing(ring, hour, ring.radius - kBand - 1),
                   onRing(ring, hour, ring.radius + 1));
    }

    // The marker at the current time.
    const QColor markerColour = colour(currentSample() > 0 ? L::warmColor : L::coolColor);
    const QPointF at = onRing(ring, m_currentHour, mid);
    QPainterPath dot;
    dot.addEllipse(at, 5, 5);
    QColor glow = markerColour;
    glow.setAlphaF(0.8f);
    GlassPainter::paintShadow(p, dot, glow, 6);
    p.fillPath(dot, markerColour);
    p.setPen(QPen(white(0.9), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(at, 5 - 0.75, 5 - 0.75);

    // The centre: the warmth now and its band.
    const double kelvin = centreKelvin();
    const QString figure = std::isfinite(kelvin) && std::abs(kelvin) < 1e9
                               ? QStringLiteral("%1K").arg(qint64(std::trunc(kelvin)))
                               : L::missingValue;
    const QFont big = face(22, QFont::Bold), band = face(10), small = face(9, QFont::Medium);
    const double h1 = QFontMetricsF(big).height(), h2 = QFontMetricsF(band).height(),
                 h3 = QFontMetricsF(small).height();
    double y = ring.centre.y() - (h1 + h2 + h3 + 4) / 2;
    paintCentredText(p, figure, big, Qt::white, {ring.centre.x(), y + h1 / 2});
    y += h1 + 2;
    paintCentredText(p, ScheduleCurve::bandLabel(kelvin), band, kTextDim,
                     {ring.centre.x(), y + h2 / 2});
    y += h2 + 2;
    QColor faint = kTextDim;
    faint.setAlphaF(kTextDim.alphaF() * 0.7f);
    paintCentredText(p, QStringLiteral("now"), small, faint, {ring.centre.x(), y + h3 / 2});
}
