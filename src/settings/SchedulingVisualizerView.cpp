#include "settings/SchedulingVisualizerView.h"

#include "core/FrameTimer.h"
#include "core/NotificationCenter.h"
#include "core/NotificationNames.h"
#include "core/Preferences.h"
#include "insights/ScheduleSettingsModel.h"
#include "settings/ScheduleViewStyle.h"
#include "warmth/SunsetScheduler.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <algorithm>
#include <cmath>

using namespace ScheduleViewStyle;
namespace L = ScheduleViewLogic;

namespace {
constexpr double kColumnSpacing = 10;
constexpr double kSunSpacing = 8;

double lh(const QFont& f) {
    return QFontMetricsF(f).height();
}
} // namespace

SchedulingVisualizerView::SchedulingVisualizerView(ScheduleSettingsModel& model, QWidget* parent)
    : SchedulingVisualizerView(model, SunsetScheduler::shared(), nullptr, parent) {}

SchedulingVisualizerView::SchedulingVisualizerView(ScheduleSettingsModel& model,
                                                   SunsetScheduler& scheduler,
                                                   std::unique_ptr<FrameTimer> pulseTimer,
                                                   QWidget* parent)
    : QWidget(parent), m_model(model), m_scheduler(scheduler),
      m_pulseTimer(pulseTimer ? std::move(pulseTimer) : std::make_unique<QtFrameTimer>()) {
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFocusPolicy(Qt::StrongFocus);
    m_updateTimer.setInterval(updateIntervalMs);
    connect(&m_updateTimer, &QTimer::timeout, this, [this] {
        if (m_model.windowVisible()) refreshSamples();
    });
    m_updateTimer.start();
    NotificationCenter::defaultCenter().addObserver(
        this, NotificationName::preferencesChanged,
        [this](const Notification&) { refreshSamples(); });
    connect(&model, &ScheduleSettingsModel::autoSunsetChanged, this,
            &SchedulingVisualizerView::refreshSamples);
    connect(&model, &ScheduleSettingsModel::useScheduleChanged, this,
            &SchedulingVisualizerView::refreshSamples);
    connect(&model, &ScheduleSettingsModel::schedulePointsChanged, this,
            &SchedulingVisualizerView::refreshSamples);
    connect(&model, &ScheduleSettingsModel::windowVisibleChanged, this, [this](bool visible) {
        setMarkerPulse(visible);
        if (visible) refreshSamples();
    });
}

SchedulingVisualizerView::~SchedulingVisualizerView() {
    m_pulseTimer->stop();
    NotificationCenter::defaultCenter().removeObserver(this);
}

void SchedulingVisualizerView::refreshSamples() {
    const QDateTime now = m_scheduler.clock().now();
    const auto intensityAt = L::dayIntensity(m_scheduler, now);
    std::vector<L::IntensitySample> samples;
    samples.reserve(sampleCount);
    for (int i = 0; i < sampleCount; ++i) {
        const double hour = (1440 / sampleCount * i) / 60.0;
        samples.push_back({hour, intensityAt(hour)});
    }
    // Only the stretch of the curve whose samples moved is stroked again (a drag moves
    // the day between the dragged point's neighbours).
    if (samples.size() == m_samples.size()) {
        for (int i = 0; i < int(samples.size()); ++i) {
            if (samples[size_t(i)].intensity == m_samples[size_t(i)].intensity) continue;
            m_curveMoved = {m_curveMoved ? std::min(m_curveMoved->first, i) : i,
                            m_curveMoved ? std::max(m_curveMoved->second, i) : i};
        }
    } else {
        m_layers[curveLayer] = QPixmap();
    }
    m_samples = std::move(samples);
    m_currentHour = now.time().hour() + now.time().minute() / 60.0;
    m_currentIntensity = m_samples[size_t(L::segmentIndex(m_currentHour, sampleCount))].intensity;
    // A sentence of another length may take another number of lines.
    const int height = heightForWidth(width());
    if (height != m_laidOutHeight) {
        m_laidOutHeight = height;
        updateGeometry();
    }
    update();
}

void SchedulingVisualizerView::setMarkerPulse(bool on) {
    m_pulseOn = on;
    if (on) m_pulseTime = 0;
    if (!m_pulseTimer->isActive() && (on || m_pulse > 0))
        m_pulseTimer->start(FrameTimer::frameInterval, [this] { pulseTick(); });
}

void SchedulingVisualizerView::pulseTick() {
    const double dt = FrameTimer::frameInterval;
    if (m_pulseOn) {
        // Ease in and out over one period, then back, for ever.
        m_pulseTime += dt;
        const double phase = std::fmod(m_pulseTime / pulsePeriod, 2.0);
        const double f = phase <= 1 ? phase : 2 - phase;
        m_pulse = ScheduleCurve::smoothstep(f);
    } else {
        m_pulse = std::max(0.0, m_pulse - dt / pulseSettle);
        if (m_pulse <= 0) m_pulseTimer->stop();
    }
    update(markerRect().toAlignedRect());
}

L::SunHours SchedulingVisualizerView::sunHours() const {
    return L::sunHours(m_scheduler.todaySunrise(), m_scheduler.todaySunset(),
                       m_scheduler.clock().now());
}

QString SchedulingVisualizerView::statusSentenceText() const {
    const bool noLocation =
        Preferences(&m_model.store()).autoSunset() && !m_scheduler.lastLocation().has_value();
    return L::visualiserStatusSentence(noLocation, m_samples, m_currentHour, m_currentIntensity);
}

QString SchedulingVisualizerView::captionLine() const {
    const L::SunHours sun = sunHours();
    return L::visualiserCaption(m_model.autoSunset(), m_model.useSchedule(),
                                int(m_model.schedulePoints().size()), sun.sunsetTime,
                                sun.sunriseTime);
}

double SchedulingVisualizerView::statusHeight() const {
    return lh(face(11, QFont::Medium)); // the sentence keeps to one line
}

SchedulingVisualizerView::Rows SchedulingVisualizerView::rows() const {
    Rows r{};
    r.header = padding;
    r.times = r.header + lh(face(12, QFont::DemiBold)) + kColumnSpacing;
    r.area = r.times + lh(face(10, QFont::Medium)) + 1 + lh(face(20, QFont::Bold)) + kSunSpacing;
    r.status = r.area + L::VisualiserGeometry::height + kSunSpacing;
    r.caption = r.status + statusHeight() + kSunSpacing;
    r.state = r.caption + lh(face(10)) + kColumnSpacing;
    r.bottom = r.state + lh(face(11, QFont::Medium)) + padding;
    return r;
}

int SchedulingVisualizerView::heightForWidth(int) const {
    // Every row keeps its height at any width.
    return int(std::ceil(rows().bottom));
}

QRectF SchedulingVisualizerView::drawingArea() const {
    return {padding, rows().area, std::max(0.0, width() - 2 * padding),
            L::VisualiserGeometry::height};
}

L::VisualiserGeometry SchedulingVisualizerView::geometry() const {
    return L::VisualiserGeometry{drawingArea().width()};
}

bool SchedulingVisualizerView::handlesShown() const {
    return !m_model.autoSunset();
}

QRectF SchedulingVisualizerView::markerRect() const {
    const QRectF area = drawingArea();
    const L::VisualiserGeometry g = geometry();
    const L::SunHours sun = sunHours();
    const QPointF at(area.left() + g.x(m_currentHour),
                     area.top() + g.sunY(L::sunElevation(m_currentHour, sun.sunrise, sun.sunset)));
    // Room for the breathing shadow and the kelvin badge above it.
    return QRectF(at.x() - 40, at.y() - 36, 80, 60);
}

void SchedulingVisualizerView::showEvent(QShowEvent*) {
    refreshSamples();
    setMarkerPulse(m_model.windowVisible());
}

void SchedulingVisualizerView::hideEvent(QHideEvent*) {
    setMarkerPulse(false);
}

void SchedulingVisualizerView::resizeEvent(QResizeEvent*) {
    m_layers = {};
}

// ---- Dragging ----

std::optional<QUuid> SchedulingVisualizerView::handleAt(QPointF pos) const {
    if (!handlesShown()) return std::nullopt;
    const QRectF area = drawingArea();
    const L::VisualiserGeometry g = geometry();
    // The last drawn handle is on top.
    const auto& points = m_model.schedulePoints();
    for (auto it = points.rbegin(); it != points.rend(); ++it) {
        const QPointF c = area.topLeft() + g.handle(it->hour, it->kelvin);
        if (QLineF(c, pos).length() <= handleHitRadius) return it->id;
    }
    return std::nullopt;
}

void SchedulingVisualizerView::dragChanged(const QUuid& id, QPointF areaPoint) {
    m_draggingId = id;
    QList<SchedulePoint> points = m_model.schedulePoints();
    const auto it = std::find_if(points.begin(), points.end(),
                                 [&id](const SchedulePoint& p) { return p.id == id; });
    if (it == points.end()) return;
    const L::VisualiserGeometry::DragTarget target =
        geometry().dragTarget(areaPoint.x(), areaPoint.y());
    it->hour = target.hour;
    it->kelvin = target.kelvin;
    m_model.setSchedulePoints(points);
    if (!m_model.useSchedule()) {
        m_model.setUseSchedule(true);
        m_model.setAutoSunset(false);
    }
    update();
}

void SchedulingVisualizerView::dragEnded() {
    m_draggingId.reset();
    update();
    if (m_model.onScheduleChanged) m_model.onScheduleChanged();
}

void SchedulingVisualizerView::mousePressEvent(QMouseEvent* e) {
    m_pressedId = e->button() == Qt::LeftButton ? handleAt(e->position()) : std::nullopt;
    m_pressPos = e->position();
    if (m_pressedId) {
        m_selectedId = m_pressedId;
        update();
    }
}

void SchedulingVisualizerView::mouseMoveEvent(QMouseEvent* e) {
    if (!m_pressedId) return;
    if (!m_draggingId && QLineF(m_pressPos, e->position()).length() < dragThreshold) return;
    dragChanged(*m_pressedId, e->position() - drawingArea().topLeft());
}

void SchedulingVisualizerView::mouseReleaseEvent(QMouseEvent*) {
    const bool dragged = m_draggingId.has_value();
    m_pressedId.reset();
    if (dragged) dragEnded();
}

void SchedulingVisualizerView::keyPressEvent(QKeyEvent* e) {
    const auto& points = m_model.schedulePoints();
    const auto it = std::find_if(points.begin(), points.end(), [this](const SchedulePoint& p) {
        return m_selectedId && p.id == *m_selectedId;
    });
    double dh = 0, dk = 0;
    switch (e->key()) {
    case Qt::Key_Left:
        dh = -1.0 / 12;
        break;
    case Qt::Key_Right:
        dh = 1.0 / 12;
        break;
    case Qt::Key_Up:
        dk = -100;
        break;
    case Qt::Key_Down:
        dk = 100;
        break;
    default:
        QWidget::keyPressEvent(e);
        return;
    }
    if (!handlesShown() || it == points.end()) {
        QWidget::keyPressEvent(e);
        return;
    }
    // The same road as a drag: to where the moved handle would be drawn.
    const L::VisualiserGeometry g = geometry();
    const double kelvin = std::clamp(std::clamp(it->kelvin, 1800.0, 6500.0) + dk, 1800.0, 6500.0);
    const QPointF target(g.x(std::clamp(it->hour + dh, 0.0, 23.99)), g.handle(0, kelvin).y());
    dragChanged(it->id, target);
    dragEnded();
}
