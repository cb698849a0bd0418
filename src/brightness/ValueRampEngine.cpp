#include "ValueRampEngine.h"

#include <QLoggingCategory>
#include <algorithm>
#include <cmath>

Q_LOGGING_CATEGORY(lcValueRamp, "com.halcyra.app.value-ramp")

double RampAxis::clamp(double v) const {
    if (std::isnan(v)) return lower;
    return std::min(std::max(v, lower), upper);
}

double RampAxis::fraction(double v) const {
    if (!(lower < upper)) return 0;
    const double f = (std::min(std::max(v, lower), upper) - lower) / (upper - lower);
    return barInverted ? 1.0 - f : f;
}

double RampAxis::snap(double x, double direction, bool fine) const {
    const double s = fine ? fineStep : normalStep;
    if (!(s > 0)) return clamp(x);
    const double v = x + s * (direction * keyUpSign);
    double r = lower + s * std::round((v - lower) / s);
    if (std::isnan(r) || r < lower) r = lower;
    return r < upper ? r : upper;
}

RampAxis RampAxis::brightness() {
    return RampAxis{0.0, 1.0, 1.0 / 16.0, 1.0 / 64.0, 1.0, false};
}

RampAxis RampAxis::warmth() {
    return RampAxis{500.0, 6500.0, 375.0, 93.75, 1.0, false};
}

ValueRampEngine::ValueRampEngine(const RampAxis& axis, RampReadout* osd, OSDMode osdMode,
                                 Hooks hooks, std::unique_ptr<FrameTimer> frameTimer)
    : m_axis(axis), m_osd(osd), m_osdMode(osdMode), m_hooks(std::move(hooks)),
      m_frameTimer(frameTimer ? std::move(frameTimer) : std::make_unique<QtFrameTimer>()) {
    if (!m_hooks.read) m_hooks.read = [] { return 0.0; };
    if (!m_hooks.write) m_hooks.write = [](double) {};
    if (!m_hooks.cancelCompeting) m_hooks.cancelCompeting = [] {};
    if (!m_hooks.isAnimated) m_hooks.isAnimated = [] { return true; };
    m_target = m_displayed = m_axis.clamp(m_hooks.read());
}

ValueRampEngine::~ValueRampEngine() {
    stopTimer();
    setBurst(false);
}

void ValueRampEngine::setFrameTimer(std::unique_ptr<FrameTimer> frameTimer) {
    cancel();
    m_frameTimer = frameTimer ? std::move(frameTimer) : std::make_unique<QtFrameTimer>();
}

void ValueRampEngine::syncIn() {
    // While a move runs, successive presses build on its target, not on the screen.
    if (m_rampActive) return;
    m_target = m_displayed = m_axis.clamp(m_hooks.read());
}

void ValueRampEngine::step(double direction, bool fine) {
    syncIn();
    m_isDiscreteGlide = false;
    m_hooks.cancelCompeting();
    m_target = m_axis.snap(m_target, direction, fine);
    qCInfo(lcValueRamp).noquote() << QString::asprintf("Ramp target → %.4f (displayed %.4f)",
                                                       m_target, m_displayed);
    if (m_osd) m_osd->show(m_target, m_axis.fraction(m_displayed), m_osdMode);
    // Every frame, the first too, goes out on the timer: the move keeps its full
    // 0.25 s, and a press into a running move only re-aims it.
    retarget(stepDuration, RampEasing::easeOut);
}

void ValueRampEngine::glide(double value) {
    syncIn();
    m_isDiscreteGlide = true;
    m_hooks.cancelCompeting();
    m_target = m_axis.clamp(value);
    retarget(glideDuration, RampEasing::sCurve);
}

void ValueRampEngine::cancel() {
    stopTimer();
    m_rampActive = false;
    m_isDiscreteGlide = false;
    setBurst(false);
}

void ValueRampEngine::setBurst(bool open) {
    if (m_burstOpen == open) return;
    m_burstOpen = open;
    if (m_hooks.writeBurst) m_hooks.writeBurst(open);
}

void ValueRampEngine::stopTimer() {
    if (m_timerRunning) m_frameTimer->stop();
    m_timerRunning = false;
}

void ValueRampEngine::retarget(double duration, RampEasing easing) {
    stopTimer();
    m_rampActive = true;
    m_easing = easing;
    const double d = m_hooks.isAnimated() ? duration : 0.0;
    if (d <= 0) {
        settle(m_target);
        return;
    }
    // Moves below 0.01 % of the axis are not worth 15 frames of gamma uploads.
    if (std::abs(m_target - m_displayed) <= (m_axis.upper - m_axis.lower) * 0.0001) {
        settle(m_target);
        return;
    }
    m_ticks = std::max(1, int(std::floor(d / FrameTimer::frameInterval + 1e-9)));
    m_from = m_displayed;
    m_to = m_target;
    m_tick = 0;
    m_timerRunning = true;
    setBurst(true);
    m_frameTimer->start(FrameTimer::frameInterval, [this] { tick(); });
}

void ValueRampEngine::tick() {
    if (!m_timerRunning) return;
    ++m_tick;
    const double t = std::min(double(m_tick) / m_ticks, 1.0);
    const bool done = m_tick >= m_ticks;
    if (done) stopTimer();
    const double eased =
        m_easing == RampEasing::sCurve ? t * t * (3.0 - 2.0 * t) : 1.0 - (1.0 - t) * (1.0 - t);
    if (done) {
        settle(m_to);
        return;
    }
    const double value = m_from + (m_to - m_from) * eased;
    m_displayed = value;
    m_hooks.write(value);
    updateReadout(value);
}

void ValueRampEngine::settle(double value) {
    stopTimer();
    m_rampActive = false;
    // A settled glide is no longer the popover's own: outside warmth changes count again.
    m_isDiscreteGlide = false;
    m_displayed = value;
    m_hooks.write(value);
    setBurst(false);
    updateReadout(value);
    qCInfo(lcValueRamp).noquote() << QString::asprintf("Ramp settled at %.4f", value);
    if (m_hooks.onSettled) m_hooks.onSettled();
}

void ValueRampEngine::updateReadout(double value) {
    if (m_osd) m_osd->updateDisplayed(m_axis.fraction(value));
}
