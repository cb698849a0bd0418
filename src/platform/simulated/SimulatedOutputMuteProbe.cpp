#include "platform/simulated/SimulatedOutputMuteProbe.h"

std::optional<bool> SimulatedOutputMuteProbe::muted() const {
    std::lock_guard lock(m_mutex);
    return m_muted;
}

std::optional<double> SimulatedOutputMuteProbe::volume() const {
    std::lock_guard lock(m_mutex);
    return m_volume;
}

void SimulatedOutputMuteProbe::setMuted(std::optional<bool> muted) {
    std::lock_guard lock(m_mutex);
    m_muted = muted;
}

void SimulatedOutputMuteProbe::setVolume(std::optional<double> volume) {
    std::lock_guard lock(m_mutex);
    m_volume = volume;
}
