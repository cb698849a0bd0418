#include "platform/simulated/SimulatedSoundCueAudioBackend.h"

int SimulatedSoundCueAudioBackend::voiceCount() const {
    std::lock_guard lock(m_mutex);
    return m_voices;
}

void SimulatedSoundCueAudioBackend::makeVoicesIfNeeded(int count, double sampleRate) {
    std::lock_guard lock(m_mutex);
    if (m_voices > 0) return;
    m_voices = count;
    m_sampleRate = sampleRate;
    ++m_voiceSets;
}

void SimulatedSoundCueAudioBackend::dropVoices() {
    std::lock_guard lock(m_mutex);
    m_voices = 0;
}

bool SimulatedSoundCueAudioBackend::isRunning() const {
    std::lock_guard lock(m_mutex);
    return m_running;
}

bool SimulatedSoundCueAudioBackend::start(QString* error) {
    std::lock_guard lock(m_mutex);
    if (!m_startError.isEmpty()) {
        if (error) *error = m_startError;
        return false;
    }
    if (!m_running) ++m_starts;
    m_running = true;
    return true;
}

void SimulatedSoundCueAudioBackend::stop() {
    std::lock_guard lock(m_mutex);
    if (m_running) ++m_stops;
    m_running = false;
}

void SimulatedSoundCueAudioBackend::schedule(Samples samples, int voice, double volume) {
    std::lock_guard lock(m_mutex);
    if (voice < 0 || voice >= m_voices) return;
    m_scheduled.push_back({voice, volume, samples ? samples->size() : 0, samples});
}

void SimulatedSoundCueAudioBackend::setStartError(const QString& error) {
    std::lock_guard lock(m_mutex);
    m_startError = error;
}

std::vector<SimulatedSoundCueAudioBackend::Scheduled>
SimulatedSoundCueAudioBackend::scheduled() const {
    std::lock_guard lock(m_mutex);
    return m_scheduled;
}

int SimulatedSoundCueAudioBackend::buffersPlayed() const {
    std::lock_guard lock(m_mutex);
    return int(m_scheduled.size());
}

int SimulatedSoundCueAudioBackend::startCount() const {
    std::lock_guard lock(m_mutex);
    return m_starts;
}

int SimulatedSoundCueAudioBackend::stopCount() const {
    std::lock_guard lock(m_mutex);
    return m_stops;
}

int SimulatedSoundCueAudioBackend::voiceSetsMade() const {
    std::lock_guard lock(m_mutex);
    return m_voiceSets;
}

double SimulatedSoundCueAudioBackend::voiceSampleRate() const {
    std::lock_guard lock(m_mutex);
    return m_sampleRate;
}
