#include "onboarding/WelcomeWowAnimator.h"

#include "onboarding/WarmthSweep.h"

#include <algorithm>
#include <cmath>

WelcomeWowAnimator::WelcomeWowAnimator(Callbacks callbacks, std::unique_ptr<FrameTimer> frames)
    : m_cb(std::move(callbacks)),
      m_frames(frames ? std::move(frames) : std::make_unique<QtFrameTimer>()) {}

void WelcomeWowAnimator::arrive() {
    if (m_cb.sweepBegin) m_cb.sweepBegin();
    if (m_cb.ensurePopoverOpen) m_cb.ensurePopoverOpen();
    m_sinceArrival = 0;
    m_frames->start(FrameTimer::frameInterval, [this] { tick(); });
}

void WelcomeWowAnimator::tick() {
    // The flood and the reveal are due only while the slide is on screen; a flood or a
    // glide already under way is not tied to the slide and runs to its end.
    if (m_sinceArrival >= 0) {
        ++m_sinceArrival;
        if (m_sinceArrival == floodDelayFrames) {
            m_mode = Mode::flood;
            m_frame = 0;
        }
        if (m_sinceArrival == revealDelayFrames && m_cb.revealContent) m_cb.revealContent();
    }

    if (m_mode == Mode::flood) {
        ++m_frame;
        const double s = WarmthSweep::smoothstep(double(m_frame) / floodFrames);
        send(6500.0 - 4700.0 * s, 4.0 * s);
        if (m_frame >= floodFrames) m_mode = Mode::idle;
    } else if (m_mode == Mode::ramp) {
        ++m_frame;
        const double s = WarmthSweep::smoothstep(double(m_frame) / rampFrames);
        send(m_fromK + (m_target.kelvin - m_fromK) * s,
             m_fromI + (m_target.intensity - m_fromI) * s);
        if (m_frame >= rampFrames) settle();
    }
    const bool stepsDue = m_sinceArrival >= 0 && m_sinceArrival < revealDelayFrames;
    if (m_mode == Mode::idle && !stepsDue) m_frames->stop();
}

void WelcomeWowAnimator::send(double kelvin, double intensity) {
    m_lastKelvin = kelvin;
    m_lastIntensity = intensity;
    if (m_cb.warmthUpdate) m_cb.warmthUpdate(WarmthSweep::clampKelvin(kelvin), intensity, true);
}

void WelcomeWowAnimator::tap(const QString& name, double kelvin, int libraryIndex) {
    m_presetChosen = true;
    m_selectedName = name;
    ramp({kelvin, 4.0, libraryIndex});
}

void WelcomeWowAnimator::ramp(Target target) {
    m_target = target;
    m_fromK = m_lastKelvin;
    m_fromI = m_lastIntensity;
    if (std::abs(m_fromK - target.kelvin) < 1 && std::abs(m_fromI - target.intensity) < 0.01) {
        if (m_cb.warmthUpdate)
            m_cb.warmthUpdate(WarmthSweep::clampKelvin(target.kelvin), target.intensity, true);
        settle();
        return;
    }
    m_mode = Mode::ramp;
    m_frame = 0;
    if (!m_frames->isActive()) m_frames->start(FrameTimer::frameInterval, [this] { tick(); });
}

void WelcomeWowAnimator::settle() {
    m_mode = Mode::idle;
    if (m_target.libraryIndex) {
        if (m_cb.applyPresetIndex) m_cb.applyPresetIndex(*m_target.libraryIndex);
        if (m_cb.presetTapped) m_cb.presetTapped(m_target.kelvin, m_target.intensity);
    }
    if (m_cb.sweepEnd) m_cb.sweepEnd();
}

void WelcomeWowAnimator::leave() {
    const bool wasOnSlide = m_sinceArrival >= 0;
    m_sinceArrival = -1; // a flood not yet begun never begins behind the next slide
    if (!wasOnSlide || m_mode != Mode::idle) return;
    if (m_presetChosen) {
        if (m_cb.sweepEnd) m_cb.sweepEnd();
        return;
    }
    ramp({exitKelvin, exitIntensity, std::nullopt});
}

void WelcomeWowAnimator::stop() {
    m_sinceArrival = -1;
    m_mode = Mode::idle;
    m_frames->stop();
}
