#pragma once

#include "platform/SoundCueAudioBackend.h"

#include <mutex>

// An output with no device behind it: it accepts buffers and counts them. Tests
// read what was played and can make the engine refuse to start or the device
// change. Safe to inspect from any thread.
class SimulatedSoundCueAudioBackend final : public SoundCueAudioBackend {
public:
    struct Scheduled {
        int voice;
        double volume;
        size_t sampleCount;
        Samples samples;
    };

    int voiceCount() const override;
    void makeVoicesIfNeeded(int count, double sampleRate) override;
    void dropVoices() override;
    bool isRunning() const override;
    bool start(QString* error) override;
    void stop() override;
    void schedule(Samples samples, int voice, double volume) override;

    // Scripting.
    void setStartError(const QString& error); // empty: starts succeed
    void simulateConfigurationChange() { notifyConfigurationChange(); }

    // Inspection.
    std::vector<Scheduled> scheduled() const;
    int buffersPlayed() const;
    int startCount() const;
    int stopCount() const;
    int voiceSetsMade() const; // how many times a fresh set of voices was made
    double voiceSampleRate() const;

private:
    mutable std::mutex m_mutex;
    int m_voices = 0;
    double m_sampleRate = 0;
    bool m_running = false;
    QString m_startError;
    std::vector<Scheduled> m_scheduled;
    int m_starts = 0;
    int m_stops = 0;
    int m_voiceSets = 0;
};
