#include "platform/simulated/SimulatedKeyboardBacklight.h"

#include <algorithm>
#include <cmath>

float SimulatedKeyboardBacklight::quantise(float level) const {
    const float l = std::clamp(level, 0.0f, 1.0f);
    if (m_steps <= 0) return l;
    return std::round(l * m_steps) / float(m_steps);
}

bool SimulatedKeyboardBacklight::setLevel(float level) {
    if (!m_present) return false;
    m_level = quantise(level);
    m_writes.push_back(m_level);
    return true;
}
