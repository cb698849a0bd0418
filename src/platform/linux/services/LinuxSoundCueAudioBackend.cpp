#include "platform/linux/services/LinuxSoundCueAudioBackend.h"

#include <QAudioSink>
#include <QIODevice>
#include <QLoggingCategory>
#include <QMediaDevices>
#include <algorithm>
#include <cstring>
#include <mutex>

Q_LOGGING_CATEGORY(lcAudioBackend, "com.halcyra.app.SoundCues")

namespace {
QString describe(QAudio::Error error) {
    switch (error) {
    case QAudio::NoError:
        return QStringLiteral("no error");
    case QAudio::OpenError:
        return QStringLiteral("the audio device could not be opened");
    case QAudio::IOError:
        return QStringLiteral("the audio device stopped taking data");
    case QAudio::UnderrunError:
        return QStringLiteral("the audio device ran out of data");
    case QAudio::FatalError:
        return QStringLiteral("the audio device failed");
    }
    return QStringLiteral("unknown audio error");
}
} // namespace

// Endless source for the output stream: the sum of every voice's current buffer,
// silence where none plays. Starting a buffer on a voice cuts off what it played.
class SoundCueVoiceMixer final : public QIODevice {
public:
    SoundCueVoiceMixer(int voices, QAudioFormat::SampleFormat format)
        : m_voices(size_t(voices)), m_format(format) {
        open(QIODevice::ReadOnly);
    }

    int voiceCount() const { return int(m_voices.size()); }

    void play(int voice, SoundCueAudioBackend::Samples samples, double volume) {
        std::lock_guard lock(m_mutex);
        if (voice < 0 || voice >= int(m_voices.size())) return;
        m_voices[size_t(voice)] = {std::move(samples), 0, float(std::clamp(volume, 0.0, 1.0))};
    }

    void silence() {
        std::lock_guard lock(m_mutex);
        for (Voice& v : m_voices)
            v = {};
    }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return 1 << 20; }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const qint64 bytesPerSample = m_format == QAudioFormat::Float ? 4 : 2;
        const qint64 frames = maxSize / bytesPerSample;
        std::lock_guard lock(m_mutex);
        for (qint64 i = 0; i < frames; ++i) {
            float sum = 0.0f;
            for (Voice& v : m_voices) {
                if (!v.samples || v.position >= v.samples->size()) continue;
                sum += (*v.samples)[v.position++] * v.volume;
            }
            sum = std::clamp(sum, -1.0f, 1.0f);
            if (m_format == QAudioFormat::Float) {
                std::memcpy(data + i * 4, &sum, 4);
            } else {
                const qint16 s = qint16(sum * 32767.0f);
                std::memcpy(data + i * 2, &s, 2);
            }
        }
        return frames * bytesPerSample;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    struct Voice {
        SoundCueAudioBackend::Samples samples;
        size_t position = 0;
        float volume = 0.0f;
    };
    std::mutex m_mutex;
    std::vector<Voice> m_voices;
    QAudioFormat::SampleFormat m_format;
};

LinuxSoundCueAudioBackend::LinuxSoundCueAudioBackend() = default;

LinuxSoundCueAudioBackend::~LinuxSoundCueAudioBackend() {
    m_sink.reset();
    m_mixer.reset();
}

bool LinuxSoundCueAudioBackend::outputAvailable() {
    return !QMediaDevices::audioOutputs().isEmpty();
}

int LinuxSoundCueAudioBackend::voiceCount() const {
    return m_mixer ? m_mixer->voiceCount() : 0;
}

void LinuxSoundCueAudioBackend::watchDevices() {
    if (m_devices) return;
    // Made on the worker thread so that its signals arrive there.
    m_devices = std::make_unique<QMediaDevices>();
    QObject::connect(m_devices.get(), &QMediaDevices::audioOutputsChanged, m_devices.get(),
                     [this] { onOutputsChanged(); });
}

void LinuxSoundCueAudioBackend::onOutputsChanged() {
    if (!m_mixer) return;
    if (QMediaDevices::defaultAudioOutput().id() != m_device.id()) notifyConfigurationChange();
}

void LinuxSoundCueAudioBackend::makeVoicesIfNeeded(int count, double sampleRate) {
    watchDevices();
    if (m_mixer) return;
    m_device = QMediaDevices::defaultAudioOutput();
    m_format = QAudioFormat();
    m_format.setSampleRate(int(sampleRate));
    m_format.setChannelCount(1);
    m_format.setSampleFormat(QAudioFormat::Float);
    if (!m_device.isNull() && !m_device.isFormatSupported(m_format))
        m_format.setSampleFormat(QAudioFormat::Int16);
    m_mixer = std::make_unique<SoundCueVoiceMixer>(count, m_format.sampleFormat());
    m_sink.reset();
    if (m_device.isNull()) return;
    m_sink = std::make_unique<QAudioSink>(m_device, m_format);
    // The stream keeps the backend's own buffer size: smaller ones stall the pull
    // from the mixer on some sound servers.
    QObject::connect(
        m_sink.get(), &QAudioSink::stateChanged, m_sink.get(), [this](QAudio::State s) {
            // A stream the server took away (device unplugged, server restarted) is
            // handled like a device change: the next cue builds everything afresh.
            if (s == QAudio::StoppedState && m_running && m_sink &&
                m_sink->error() != QAudio::NoError && m_sink->error() != QAudio::UnderrunError) {
                qCWarning(lcAudioBackend).noquote()
                    << "Audio output stopped —" << describe(m_sink->error());
                notifyConfigurationChange();
            }
        });
}

void LinuxSoundCueAudioBackend::dropVoices() {
    m_running = false;
    m_sink.reset();
    m_mixer.reset();
}

bool LinuxSoundCueAudioBackend::start(QString* error) {
    if (m_running) return true;
    if (!m_mixer || !m_sink) {
        if (error) *error = QStringLiteral("no audio output device");
        return false;
    }
    m_mixer->silence();
    m_sink->start(m_mixer.get());
    if (m_sink->error() != QAudio::NoError || m_sink->state() == QAudio::StoppedState) {
        if (error) *error = describe(m_sink->error());
        m_sink->stop();
        return false;
    }
    m_running = true;
    return true;
}

void LinuxSoundCueAudioBackend::stop() {
    if (m_mixer) m_mixer->silence();
    if (m_sink) m_sink->stop();
    m_running = false;
}

void LinuxSoundCueAudioBackend::schedule(Samples samples, int voice, double volume) {
    if (m_mixer) m_mixer->play(voice, std::move(samples), volume);
}
