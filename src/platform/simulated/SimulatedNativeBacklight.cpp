#include "platform/simulated/SimulatedNativeBacklight.h"

#include <algorithm>
#include <cmath>

float SimulatedNativeBacklight::quantise(float level) const {
    level = std::clamp(std::isnan(level) ? 1.0f : level, 0.0f, 1.0f);
    if (m_steps > 0) level = std::round(level * float(m_steps)) / float(m_steps);
    return level;
}

int SimulatedNativeBacklight::brightness(float& level) {
    if (!m_available) return unavailable;
    if (m_getStatus != success) return m_getStatus;
    level = m_level;
    return success;
}

int SimulatedNativeBacklight::setBrightness(float level) {
    if (!m_available) return unavailable;
    if (m_setStatus != success) return m_setStatus;
    m_setCalls.push_back(level);
    m_level = quantise(level);
    return success;
}
