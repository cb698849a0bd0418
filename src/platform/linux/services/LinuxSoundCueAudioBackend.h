#pragma once

#include "platform/SoundCueAudioBackend.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <memory>

class QAudioSink;
class QMediaDevices;
class SoundCueVoiceMixer;

// Sound cues on the desktop's sound server through Qt Multimedia: one output
// stream on the default device, fed by a mixer with one slot per voice, so cues
// that follow each other quickly overlap. The stream only exists while the engine
// runs. Lives on the sound cue worker thread.
class LinuxSoundCueAudioBackend final : public SoundCueAudioBackend {
public:
    LinuxSoundCueAudioBackend();
    ~LinuxSoundCueAudioBackend() override;

    // True when the machine offers at least one audio output.
    static bool outputAvailable();

    int voiceCount() const override;
    void makeVoicesIfNeeded(int count, double sampleRate) override;
    void dropVoices() override;
    bool isRunning() const override { return m_running; }
    bool start(QString* error) override;
    void stop() override;
    void schedule(Samples samples, int voice, double volume) override;

private:
    void watchDevices();
    void onOutputsChanged();

    std::unique_ptr<QMediaDevices> m_devices;
    std::unique_ptr<SoundCueVoiceMixer> m_mixer;
    std::unique_ptr<QAudioSink> m_sink;
    QAudioDevice m_device;
    QAudioFormat m_format;
    bool m_running = false;
};
