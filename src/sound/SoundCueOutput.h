#pragma once

#include "platform/SoundCueAudioBackend.h"
#include "sound/SoundCue.h"
#include "sound/SoundCueQueue.h"

#include <cstdint>
#include <memory>

// Where the engine sends a rendered cue. Returns at once; the playing happens
// elsewhere and never reports back.
class SoundCueOutputting {
public:
    virtual ~SoundCueOutputting() = default;
    virtual void emitCue(SoundCue cue, SoundCueAudioBackend::Samples samples, double sampleRate,
                         double volume) = 0;
};

// Plays cues on a backend's voices in turn, so that quick successive cues overlap
// instead of cutting each other off. Starts the backend on demand and stops it
// `idleTeardown` seconds after the last cue, so that no audio device is held while
// idle. Every backend call happens on one serial queue.
class SoundCueOutput final : public SoundCueOutputting {
public:
    static constexpr int voiceCount = 4;

    // Without a queue, makes its own worker thread ("com.halcyra.soundcues").
    SoundCueOutput(std::unique_ptr<SoundCueAudioBackend> backend, double idleTeardown,
                   std::unique_ptr<SoundCueQueue> queue = nullptr);
    ~SoundCueOutput() override;

    void emitCue(SoundCue cue, SoundCueAudioBackend::Samples samples, double sampleRate,
                 double volume) override;

    // Releases the backend on the queue and stops the queue; later cues are dropped.
    // Blocks until done. Safe to call more than once.
    void shutdown();

private:
    void play(SoundCue cue, const SoundCueAudioBackend::Samples& samples, double sampleRate,
              double volume);
    bool startIfNeeded(double sampleRate);
    void armIdleTeardown();
    void handleConfigurationChange();

    // Touched only on the queue.
    std::unique_ptr<SoundCueAudioBackend> m_backend;
    int m_nextPlayer = 0;
    uint64_t m_playToken = 0;
    double m_voiceSampleRate = 0;
    const double m_idleTeardown;
    std::unique_ptr<SoundCueQueue> m_queue;
};
