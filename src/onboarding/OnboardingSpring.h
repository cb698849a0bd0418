#pragma once

#include <algorithm>
#include <cmath>

// A damped spring from one value to another, given as a settling time (`response`, the
// period of the undamped swing, in seconds) and a damping fraction below 1 (a little
// overshoot, then rest). A new target mid-swing carries on from where the value is,
// at the speed it has, as a hand-moved thing would. Pure arithmetic on a clock the
// caller advances; main thread only like everything that draws it.
class OnboardingSpring {
public:
    OnboardingSpring(double response, double dampingFraction, double value = 0)
        : m_omega(2 * M_PI / response), m_zeta(dampingFraction), m_from(value), m_to(value) {}

    double value() const {
        return m_to + envelope() * (m_a * std::cos(wd() * m_t) + m_b * std::sin(wd() * m_t));
    }
    double velocity() const {
        const double c = std::cos(wd() * m_t), s = std::sin(wd() * m_t);
        const double k = m_zeta * m_omega;
        return envelope() * ((m_b * wd() - k * m_a) * c - (m_a * wd() + k * m_b) * s);
    }
    double target() const { return m_to; }
    // At rest: within a thousandth of the distance it set out on, and all but still.
    bool settled() const {
        const double scale = std::max(std::abs(m_a), 1e-9);
        return std::abs(value() - m_to) < 1e-3 * scale + 1e-6 &&
               std::abs(velocity()) < 1e-2 * scale * m_omega + 1e-6;
    }

    // Sets out for `to` from the value and speed of this moment.
    void retarget(double to) {
        if (to == m_to) return;
        const double x = value(), v = velocity();
        m_from = x;
        m_to = to;
        m_t = 0;
        m_a = x - to;
        m_b = (v + m_zeta * m_omega * m_a) / wd();
    }
    // Jumps to `to` with nothing left to swing.
    void reset(double to) {
        m_from = m_to = to;
        m_a = m_b = 0;
        m_t = 0;
    }
    void advance(double seconds) { m_t += seconds; }

private:
    double wd() const { return m_omega * std::sqrt(1 - m_zeta * m_zeta); }
    double envelope() const { return std::exp(-m_zeta * m_omega * m_t); }

    double m_omega;
    double m_zeta;
    double m_from, m_to;
    double m_a = 0, m_b = 0;
    double m_t = 0;
};
