#include "sound/SoundCueOutput.h"

#include <QLoggingCategory>
#include <cmath>

Q_LOGGING_CATEGORY(lcSoundCueOutput, "com.halcyra.app.SoundCues")

SoundCueOutput::SoundCueOutput(std::unique_ptr<SoundCueAudioBackend> backend, double idleTeardown,
                               std::unique_ptr<SoundCueQueue> queue)
    : m_backend(std::move(backend)),
      m_idleTeardown(std::isfinite(idleTeardown) ? std::max(idleTeardown, 0.0) : 5.0),
      m_queue(
          queue ? std::move(queue)
                : std::make_unique<SoundCueWorkerQueue>(QStringLiteral("com.halcyra.soundcues"))) {
    // The device can change on any thread; the handling belongs on the queue.
    m_backend->setConfigurationChangeHandler(
        [this] { m_queue->async([this] { handleConfigurationChange(); }); });
}

SoundCueOutput::~SoundCueOutput() {
    shutdown();
}

void SoundCueOutput::shutdown() {
    if (!m_queue) return;
    // The backend's device objects belong to the queue's thread: release them there.
    m_queue->shutdown([this] {
        if (m_backend && m_backend->isRunning()) m_backend->stop();
        m_backend.reset();
    });
}

void SoundCueOutput::emitCue(SoundCue cue, SoundCueAudioBackend::Samples samples, double sampleRate,
                             double volume) {
    m_queue->async([this, cue, samples = std::move(samples), sampleRate, volume] {
        play(cue, samples, sampleRate, volume);
    });
}

void SoundCueOutput::play(SoundCue cue, const SoundCueAudioBackend::Samples& samples,
                          double sampleRate, double volume) {
    if (!m_backend) return;
    if (!samples || samples->empty() || !(sampleRate >= 1.0) || !std::isfinite(sampleRate)) {
        qCWarning(lcSoundCueOutput).noquote()
            << QStringLiteral("sound cue %1: could not build a buffer").arg(rawValue(cue));
        return;
    }
    if (!startIfNeeded(sampleRate)) return;
    const int voice = m_nextPlayer;
    m_nextPlayer = (m_nextPlayer + 1) % voiceCount;
    m_backend->schedule(samples, voice, std::isnan(volume) ? 0.0 : std::clamp(volume, 0.0, 1.0));
    armIdleTeardown();
}

bool SoundCueOutput::startIfNeeded(double sampleRate) {
    // Voices play at the rate they were made with; a cue at another rate would play
    // at the wrong pitch, so it gets a fresh set.
    if (m_backend->voiceCount() > 0 && m_voiceSampleRate != sampleRate) {
        m_backend->dropVoices();
        m_nextPlayer = 0;
    }
    m_backend->makeVoicesIfNeeded(voiceCount, sampleRate);
    m_voiceSampleRate = sampleRate;
    if (m_backend->isRunning()) return true;
    QString error;
    if (m_backend->start(&error)) return true;
    qCWarning(lcSoundCueOutput).noquote()
        << QStringLiteral("sound cue engine failed to start: %1").arg(error);
    return false;
}

void SoundCueOutput::armIdleTeardown() {
    const uint64_t token = ++m_playToken;
    m_queue->asyncAfter(int(std::lround(m_idleTeardown * 1000.0)), [this, token] {
        // A later cue took a newer token and will arm its own teardown.
        if (token != m_playToken || !m_backend || !m_backend->isRunning()) return;
        m_backend->stop();
    });
}

void SoundCueOutput::handleConfigurationChange() {
    if (!m_backend) return;
    m_backend->dropVoices();
    m_nextPlayer = 0;
    if (m_backend->isRunning()) m_backend->stop();
}
