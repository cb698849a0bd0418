#include "platform/simulated/SimulatedNightLight.h"

std::optional<NightLight::State> SimulatedNightLight::state() {
    if (!m_available) return std::nullopt;
    return m_state;
}

bool SimulatedNightLight::setEnabled(bool on) {
    m_calls.push_back(on ? QStringLiteral("on") : QStringLiteral("off"));
    if (!m_available || m_refuse) return false;
    m_state.enabled = on;
    return true;
}

bool SimulatedNightLight::setStrength(float strength) {
    m_calls.push_back(QStringLiteral("strength %1").arg(strength));
    if (!m_available || m_refuse) return false;
    m_state.strength = strength;
    return true;
}
