#pragma once

#include "core/Clock.h"
#include "sound/SoundCue.h"
#include "sound/SoundCueOutput.h"

#include <QHash>
#include <functional>
#include <memory>
#include <mutex>

// What the engine asks before a cue may sound. Each is called on the caller's
// thread on every play, so each must be cheap and must not throw.
struct SoundCueProbes {
    std::function<bool()> masterSwitchIsOn;
    std::function<SoundCueFocusState()> focus;
    std::function<bool()> outputIsMuted;
    std::function<bool()> voiceOverIsRunning;
    std::function<double()> masterVolume;

    // The user's settings and the platform's probes.
    static SoundCueProbes system();
};

// Plays the ten interface sounds. Decides whether a cue may sound (the user's
// switch, a screen reader, a muted output, do not disturb, a hover repeated too
// fast), renders each cue once and keeps it, and hands it to the output, which
// plays it on its own thread. Playing never blocks on the audio device and never
// fails loudly: the result only says why a cue was or was not heard.
class SoundCueEngine {
public:
    static constexpr double defaultSampleRate = 44100.0;
    static constexpr uint64_t seed = 0x5EEDC0DE;
    static constexpr double hoverInterval = 0.15; // s
    static constexpr double idleTeardown = 5.0;   // s

    using OutputFactory = std::function<std::unique_ptr<SoundCueOutputting>()>;

    SoundCueEngine(SoundCueProbes probes, std::unique_ptr<SoundCueOutputting> output,
                   double sampleRate = defaultSampleRate, Clock& clock = Clock::system());
    // The output is made by `makeOutput` when the first cue is to sound, so an engine
    // whose cues stay off (the default) holds no audio thread or device.
    SoundCueEngine(SoundCueProbes probes, OutputFactory makeOutput,
                   double sampleRate = defaultSampleRate, Clock& clock = Clock::system());
    ~SoundCueEngine();

    // The process-wide engine over the system's probes and the platform's audio
    // output, made on first use. Its output is released when the application object
    // is destroyed.
    static SoundCueEngine& shared();

    // Whether the output has been made (it is, at the first cue that sounds).
    bool hasOutput();

    // From any thread; returns at once.
    SoundCueDecision play(SoundCue cue);

    // The rendering that plays for a cue: made on first use and then the same array
    // for the life of the engine.
    SoundCueAudioBackend::Samples samples(SoundCue cue);

    // The volume each cue is rendered at (microWin is rendered quieter).
    static double renderVolume(SoundCue cue);

private:
    SoundCueOutputting* output();

    SoundCueProbes m_probes;
    OutputFactory m_makeOutput; // until the output is made
    std::unique_ptr<SoundCueOutputting> m_output;
    const double m_sampleRate;
    Clock& m_clock;
    std::mutex m_lock; // guards m_cache, m_lastHoverAt and the making of m_output
    QHash<SoundCue, SoundCueAudioBackend::Samples> m_cache;
    double m_lastHoverAt;
};
