#include "sound/SoundCueEngine.h"

#include "core/Preferences.h"
#include "platform/DoNotDisturbProbe.h"
#include "platform/OutputMuteProbe.h"
#include "platform/Platform.h"
#include "platform/ScreenReaderProbe.h"
#include "sound/SoundCueRecipes.h"
#include "sound/SoundCueSynth.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <cmath>
#include <limits>

Q_LOGGING_CATEGORY(lcSoundCues, "com.halcyra.app.SoundCues")

namespace {
bool ask(const std::function<bool()>& probe, bool absent) {
    return probe ? probe() : absent;
}

std::unique_ptr<SoundCueEngine>& sharedSlot() {
    static std::unique_ptr<SoundCueEngine> engine;
    return engine;
}

void releaseSharedEngine() {
    sharedSlot().reset();
}
} // namespace

SoundCueProbes SoundCueProbes::system() {
    SoundCueProbes probes;
    probes.masterSwitchIsOn = [] { return Preferences::shared().soundCues(); };
    probes.masterVolume = [] { return Preferences::shared().soundCueVolume(); };
    probes.voiceOverIsRunning = [] { return Platform::instance().screenReaderProbe().isRunning(); };
    probes.outputIsMuted = [] { return Platform::instance().outputMuteProbe().outputIsMuted(); };
    probes.focus = [] {
        switch (Platform::instance().doNotDisturbProbe().state()) {
        case DoNotDisturbState::active:
            return SoundCueFocusState::active;
        case DoNotDisturbState::inactive:
            return SoundCueFocusState::inactive;
        case DoNotDisturbState::unknown:
            break;
        }
        return SoundCueFocusState::unknown;
    };
    return probes;
}

SoundCueEngine::SoundCueEngine(SoundCueProbes probes, std::unique_ptr<SoundCueOutputting> output,
                               double sampleRate, Clock& clock)
    : m_probes(std::move(probes)), m_output(std::move(output)), m_sampleRate(sampleRate),
      m_clock(clock), m_lastHoverAt(-std::numeric_limits<double>::infinity()) {}

SoundCueEngine::SoundCueEngine(SoundCueProbes probes, OutputFactory makeOutput, double sampleRate,
                               Clock& clock)
    : SoundCueEngine(std::move(probes), std::unique_ptr<SoundCueOutputting>(), sampleRate, clock) {
    m_makeOutput = std::move(makeOutput);
}

SoundCueEngine::~SoundCueEngine() = default;

SoundCueOutputting* SoundCueEngine::output() {
    std::lock_guard lock(m_lock);
    if (!m_output && m_makeOutput) {
        m_output = m_makeOutput();
        m_makeOutput = nullptr;
    }
    return m_output.get();
}

bool SoundCueEngine::hasOutput() {
    std::lock_guard lock(m_lock);
    return m_output != nullptr;
}

SoundCueEngine& SoundCueEngine::shared() {
    static std::once_flag once;
    std::call_once(once, [] {
        // The audio side (its thread, the device query) waits for the first cue: the
        // engine is made at launch, and the cues are off unless the user turns them on.
        sharedSlot() = std::make_unique<SoundCueEngine>(
            SoundCueProbes::system(), OutputFactory([] {
                return std::make_unique<SoundCueOutput>(
                    Platform::instance().makeSoundCueAudioBackend(), idleTeardown);
            }));
        // The output's thread and device have to be gone before the application
        // object is; a cue asked for after that is decided but not heard.
        if (QCoreApplication::instance()) qAddPostRoutine(releaseSharedEngine);
    });
    if (!sharedSlot()) {
        // Past the application's end: a silent engine that still answers.
        static SoundCueEngine silent(SoundCueProbes{}, std::unique_ptr<SoundCueOutputting>());
        return silent;
    }
    return *sharedSlot();
}

double SoundCueEngine::renderVolume(SoundCue cue) {
    return cue == SoundCue::microWin ? 0.4 : 1.0;
}

SoundCueDecision SoundCueEngine::play(SoundCue cue) {
    if (!ask(m_probes.masterSwitchIsOn, false)) return SoundCueDecision::masterSwitchOff;
    if (ask(m_probes.voiceOverIsRunning, false)) return SoundCueDecision::voiceOverRunning;
    if (ask(m_probes.outputIsMuted, false)) return SoundCueDecision::outputMuted;
    if (m_probes.focus && m_probes.focus() == SoundCueFocusState::active)
        return SoundCueDecision::focusActive;
    if (cue == SoundCue::hover) {
        std::lock_guard lock(m_lock);
        const double t = double(m_clock.monotonicMs()) / 1000.0;
        if (t - m_lastHoverAt < hoverInterval) return SoundCueDecision::hoverThrottled;
        m_lastHoverAt = t;
    }
    SoundCueAudioBackend::Samples rendered = samples(cue);
    const double v = m_probes.masterVolume ? m_probes.masterVolume() : 1.0;
    const double volume = std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 1.0);
    if (SoundCueOutputting* out = output())
        out->emitCue(cue, std::move(rendered), m_sampleRate, volume);
    return SoundCueDecision::played;
}

SoundCueAudioBackend::Samples SoundCueEngine::samples(SoundCue cue) {
    std::lock_guard lock(m_lock);
    auto it = m_cache.constFind(cue);
    if (it != m_cache.constEnd()) return *it;
    auto rendered = std::make_shared<const std::vector<float>>(
        SoundCueSynth::render(SoundCueRecipes::recipe(cue), m_sampleRate, renderVolume(cue), seed));
    m_cache.insert(cue, rendered);
    return rendered;
}
