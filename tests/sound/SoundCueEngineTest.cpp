#include "sound/SoundCueEngine.h"
#include "sound/SoundCueRecipes.h"
#include "sound/SoundCueSynth.h"

#include "core/Preferences.h"
#include "platform/Platform.h"
#include "platform/simulated/SimulatedDoNotDisturbProbe.h"
#include "platform/simulated/SimulatedOutputMuteProbe.h"
#include "platform/simulated/SimulatedScreenReaderProbe.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

namespace {
// Records what the engine hands to the output.
class RecordingOutput final : public SoundCueOutputting {
public:
    struct Emission {
        SoundCue cue;
        SoundCueAudioBackend::Samples samples;
        double sampleRate;
        double volume;
    };
    void emitCue(SoundCue cue, SoundCueAudioBackend::Samples samples, double sampleRate,
                 double volume) override {
        emissions->push_back({cue, std::move(samples), sampleRate, volume});
    }
    std::shared_ptr<std::vector<Emission>> emissions = std::make_shared<std::vector<Emission>>();
};

// Probes whose answers a test sets, counting how often each is asked.
struct FakeProbes {
    bool master = true;
    bool voiceOver = false;
    bool muted = false;
    SoundCueFocusState focus = SoundCueFocusState::inactive;
    double volume = 1.0;
    QStringList asked;

    SoundCueProbes probes() {
        SoundCueProbes p;
        p.masterSwitchIsOn = [this] {
            asked << "master";
            return master;
        };
        p.voiceOverIsRunning = [this] {
            asked << "voiceOver";
            return voiceOver;
        };
        p.outputIsMuted = [this] {
            asked << "muted";
            return muted;
        };
        p.focus = [this] {
            asked << "focus";
            return focus;
        };
        p.masterVolume = [this] {
            asked << "volume";
            return volume;
        };
        return p;
    }
};

struct EngineFixture {
    FakeProbes fake;
    ManualClock clock;
    RecordingOutput* output = new RecordingOutput;
    std::shared_ptr<std::vector<RecordingOutput::Emission>> emitted = output->emissions;
    SoundCueEngine engine{fake.probes(), std::unique_ptr<SoundCueOutputting>(output),
                          SoundCueEngine::defaultSampleRate, clock};
};
} // namespace

TEST(SoundCueEngine, GatesInOrderAndStopAtTheFirstThatHolds) {
    EngineFixture f;
    f.fake.master = false;
    f.fake.voiceOver = true;
    f.fake.muted = true;
    f.fake.focus = SoundCueFocusState::active;
    EXPECT_EQ(f.engine.play(SoundCue::toggleOn), SoundCueDecision::masterSwitchOff);
    EXPECT_EQ(f.fake.asked, QStringList{"master"});
    EXPECT_TRUE(f.emitted->empty());

    f.fake.master = true;
    EXPECT_EQ(f.engine.play(SoundCue::toggleOn), SoundCueDecision::voiceOverRunning);
    f.fake.voiceOver = false;
    EXPECT_EQ(f.engine.play(SoundCue::toggleOn), SoundCueDecision::outputMuted);
    f.fake.muted = false;
    f.fake.asked.clear();
    EXPECT_EQ(f.engine.play(SoundCue::toggleOn), SoundCueDecision::focusActive);
    EXPECT_EQ(f.fake.asked, (QStringList{"master", "voiceOver", "muted", "focus"}));
    EXPECT_TRUE(f.emitted->empty());

    // An unknown focus state never blocks.
    f.fake.focus = SoundCueFocusState::unknown;
    EXPECT_EQ(f.engine.play(SoundCue::toggleOn), SoundCueDecision::played);
    ASSERT_EQ(f.emitted->size(), 1u);
    EXPECT_EQ(f.emitted->at(0).cue, SoundCue::toggleOn);
    EXPECT_EQ(f.emitted->at(0).sampleRate, 44100.0);
}

TEST(SoundCueEngine, HoverIsThrottledOnTheInjectedClock) {
    EngineFixture f;
    // The first hover after start is never held back.
    EXPECT_EQ(f.engine.play(SoundCue::hover), SoundCueDecision::played);
    f.clock.advanceMs(100);
    EXPECT_EQ(f.engine.play(SoundCue::hover), SoundCueDecision::hoverThrottled);
    // Other cues neither wait for nor move the hover clock.
    EXPECT_EQ(f.engine.play(SoundCue::pinned), SoundCueDecision::played);
    EXPECT_EQ(f.engine.play(SoundCue::pressDown), SoundCueDecision::played);
    f.clock.advanceMs(60); // 0.16 s after the first hover
    EXPECT_EQ(f.engine.play(SoundCue::hover), SoundCueDecision::played);
    f.clock.advanceMs(149);
    EXPECT_EQ(f.engine.play(SoundCue::hover), SoundCueDecision::hoverThrottled);
    f.clock.advanceMs(1);
    EXPECT_EQ(f.engine.play(SoundCue::hover), SoundCueDecision::played);
    // A gated hover (switch off) does not count as heard.
    f.fake.master = false;
    f.clock.advanceMs(200);
    EXPECT_EQ(f.engine.play(SoundCue::hover), SoundCueDecision::masterSwitchOff);
    f.fake.master = true;
    f.clock.advanceMs(10);
    EXPECT_EQ(f.engine.play(SoundCue::hover), SoundCueDecision::played);
    EXPECT_EQ(f.emitted->size(), 6u);
}

TEST(SoundCueEngine, VolumeIsClampedAndRenderingsAreCached) {
    EngineFixture f;
    const double volumes[] = {1.5, -0.2, 0.5, std::numeric_limits<double>::quiet_NaN()};
    const double expected[] = {1.0, 0.0, 0.5, 0.0};
    for (double v : volumes) {
        f.fake.volume = v;
        f.engine.play(SoundCue::presetApplied);
    }
    ASSERT_EQ(f.emitted->size(), 4u);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(f.emitted->at(i).volume, expected[i]);
    // The same array each time, rendered once.
    EXPECT_EQ(f.emitted->at(0).samples.get(), f.emitted->at(3).samples.get());
    EXPECT_EQ(f.engine.samples(SoundCue::presetApplied).get(), f.emitted->at(0).samples.get());

    // microWin is rendered at 0.4, the others at full volume, all with the fixed seed.
    EXPECT_EQ(*f.engine.samples(SoundCue::microWin),
              SoundCueSynth::render(SoundCueRecipes::recipe(SoundCue::microWin), 44100.0, 0.4,
                                    0x5EEDC0DE));
    EXPECT_EQ(*f.engine.samples(SoundCue::toggleOff),
              SoundCueSynth::render(SoundCueRecipes::recipe(SoundCue::toggleOff), 44100.0, 1.0,
                                    0x5EEDC0DE));
}

TEST(SoundCueEngine, OutputIsMadeOnlyWhenACueFirstSounds) {
    FakeProbes fake;
    ManualClock clock;
    int made = 0;
    auto emitted = std::make_shared<std::vector<RecordingOutput::Emission>>();
    SoundCueEngine engine(
        fake.probes(), SoundCueEngine::OutputFactory([&]() -> std::unique_ptr<SoundCueOutputting> {
            ++made;
            auto output = std::make_unique<RecordingOutput>();
            output->emissions = emitted;
            return output;
        }),
        SoundCueEngine::defaultSampleRate, clock);

    // Cues that the gates stop make no audio output.
    fake.master = false;
    EXPECT_EQ(engine.play(SoundCue::toggleOn), SoundCueDecision::masterSwitchOff);
    fake.master = true;
    fake.muted = true;
    EXPECT_EQ(engine.play(SoundCue::toggleOn), SoundCueDecision::outputMuted);
    EXPECT_EQ(made, 0);
    EXPECT_FALSE(engine.hasOutput());

    fake.muted = false;
    EXPECT_EQ(engine.play(SoundCue::toggleOn), SoundCueDecision::played);
    EXPECT_EQ(engine.play(SoundCue::toggleOff), SoundCueDecision::played);
    EXPECT_EQ(made, 1);
    EXPECT_TRUE(engine.hasOutput());
    ASSERT_EQ(emitted->size(), 2u);
    EXPECT_EQ(emitted->at(1).cue, SoundCue::toggleOff);
}

TEST(SoundCueEngine, CueNamesRoundTrip) {
    QStringList names;
    for (SoundCue cue : allSoundCues) {
        names << rawValue(cue);
        EXPECT_EQ(soundCueFromRawValue(rawValue(cue)), cue);
    }
    EXPECT_EQ(names,
              (QStringList{"toggleOn", "toggleOff", "hover", "sliderRelease", "presetApplied",
                           "settingsOpened", "microWin", "pressDown", "releaseUp", "pinned"}));
    EXPECT_FALSE(soundCueFromRawValue("TOGGLEON").has_value());
    EXPECT_FALSE(soundCueFromRawValue("").has_value());
}

TEST(SoundCueEngine, SystemProbesReadSettingsAndThePlatform) {
    TestStore store;
    Platform::setInstance(Platform::makeSimulated());
    Platform& platform = Platform::instance();
    const SoundCueProbes probes = SoundCueProbes::system();

    EXPECT_FALSE(probes.masterSwitchIsOn()); // off until the user turns it on
    store.defaults().setBool(PrefKey::soundCues, true);
    EXPECT_TRUE(probes.masterSwitchIsOn());
    store.defaults().setDouble(PrefKey::soundCueVolume, 0.05);
    EXPECT_DOUBLE_EQ(probes.masterVolume(), 0.2);

    EXPECT_EQ(probes.focus(), SoundCueFocusState::unknown);
    platform.simulatedDoNotDisturbProbe()->setState(DoNotDisturbState::active);
    EXPECT_EQ(probes.focus(), SoundCueFocusState::active);
    platform.simulatedDoNotDisturbProbe()->setState(DoNotDisturbState::inactive);
    EXPECT_EQ(probes.focus(), SoundCueFocusState::inactive);

    EXPECT_FALSE(probes.voiceOverIsRunning());
    platform.simulatedScreenReaderProbe()->setRunning(true);
    EXPECT_TRUE(probes.voiceOverIsRunning());

    // An unknown output is not muted; a silent one is, whatever its switch says.
    SimulatedOutputMuteProbe* mute = platform.simulatedOutputMuteProbe();
    EXPECT_FALSE(probes.outputIsMuted());
    mute->setMuted(false);
    mute->setVolume(0.0);
    EXPECT_TRUE(probes.outputIsMuted());
    mute->setVolume(0.3);
    EXPECT_FALSE(probes.outputIsMuted());
    mute->setMuted(true);
    EXPECT_TRUE(probes.outputIsMuted());
    Platform::setInstance(Platform::makeSimulated());
}
