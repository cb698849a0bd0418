#include "sound/SoundCueOutput.h"

#include "ManualSoundCueQueue.h"
#include "core/Logging.h"
#include "platform/simulated/SimulatedSoundCueAudioBackend.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

namespace {
SoundCueAudioBackend::Samples someSamples(size_t n = 100) {
    return std::make_shared<const std::vector<float>>(n, 0.25f);
}

// An output over a simulated backend and a queue stepped on a manual clock.
struct OutputFixture {
    ManualClock clock;
    SimulatedSoundCueAudioBackend* backend = new SimulatedSoundCueAudioBackend;
    ManualSoundCueQueue* queue = new ManualSoundCueQueue(clock);
    SoundCueOutput output{std::unique_ptr<SoundCueAudioBackend>(backend), 5.0,
                          std::unique_ptr<SoundCueQueue>(queue)};

    void cue(SoundCue c = SoundCue::hover, double volume = 1.0) {
        output.emitCue(c, someSamples(), 44100.0, volume);
    }
    std::vector<int> voices() const {
        std::vector<int> v;
        for (const auto& s : backend->scheduled())
            v.push_back(s.voice);
        return v;
    }
};
} // namespace

TEST(SoundCueOutput, StartsOnDemandAndStopsFiveSecondsAfterTheLastCue) {
    OutputFixture f;
    f.cue();
    // Nothing happens on the caller's side: the work waits for the queue.
    EXPECT_EQ(f.backend->buffersPlayed(), 0);
    EXPECT_FALSE(f.backend->isRunning());
    f.queue->runDue();
    EXPECT_EQ(f.backend->buffersPlayed(), 1);
    EXPECT_TRUE(f.backend->isRunning());
    EXPECT_EQ(f.backend->voiceCount(), 4);
    EXPECT_EQ(f.backend->voiceSampleRate(), 44100.0);

    f.queue->advance(1.0);
    f.cue();
    f.queue->runDue();
    EXPECT_EQ(f.backend->startCount(), 1);
    f.queue->advance(4.5); // 5.5 s after the first cue, 4.5 s after the second
    EXPECT_TRUE(f.backend->isRunning());
    f.queue->advance(0.499);
    EXPECT_TRUE(f.backend->isRunning());
    f.queue->advance(0.001);
    EXPECT_FALSE(f.backend->isRunning());
    EXPECT_EQ(f.backend->stopCount(), 1);
    EXPECT_EQ(f.queue->pending(), 0u);

    // The voices stay: the next cue only restarts the engine.
    f.cue();
    f.queue->runDue();
    EXPECT_EQ(f.backend->startCount(), 2);
    EXPECT_EQ(f.backend->voiceSetsMade(), 1);
}

TEST(SoundCueOutput, VoicesRotateAndADeviceChangeStartsAfresh) {
    OutputFixture f;
    for (int i = 0; i < 5; ++i)
        f.cue(SoundCue::pressDown, 0.25 * i);
    f.queue->runDue();
    EXPECT_EQ(f.voices(), (std::vector<int>{0, 1, 2, 3, 0}));
    EXPECT_EQ(f.backend->scheduled()[3].volume, 0.75);

    f.cue();
    f.queue->runDue();
    f.backend->simulateConfigurationChange();
    f.queue->runDue();
    EXPECT_FALSE(f.backend->isRunning());
    EXPECT_EQ(f.backend->voiceCount(), 0);
    f.cue();
    f.queue->runDue();
    EXPECT_EQ(f.voices().back(), 0);
    EXPECT_EQ(f.backend->voiceSetsMade(), 2);
    EXPECT_TRUE(f.backend->isRunning());
}

TEST(SoundCueOutput, FailuresAreLoggedAndDropOnlyThatCue) {
    LogCapture log;
    OutputFixture f;
    f.backend->setStartError(QStringLiteral("no device here"));
    f.cue();
    f.cue();
    f.queue->runDue();
    EXPECT_EQ(f.backend->buffersPlayed(), 0);
    EXPECT_EQ(log.messages("com.halcyra.app.SoundCues")
                  .filter("sound cue engine failed to start: no device here")
                  .size(),
              2);
    // Nothing was armed for a cue that never played.
    EXPECT_EQ(f.queue->pending(), 0u);

    f.output.emitCue(SoundCue::microWin, std::make_shared<const std::vector<float>>(), 44100.0, 1);
    f.output.emitCue(SoundCue::hover, nullptr, 44100.0, 1);
    f.output.emitCue(SoundCue::hover, someSamples(), 0.0, 1);
    f.queue->runDue();
    EXPECT_TRUE(log.contains("sound cue microWin: could not build a buffer"));
    EXPECT_EQ(log.messages().filter("sound cue hover: could not build a buffer").size(), 2);

    // The next cue tries again from the start.
    f.backend->setStartError(QString());
    f.cue();
    f.queue->runDue();
    EXPECT_EQ(f.backend->buffersPlayed(), 1);
    EXPECT_EQ(f.voices(), std::vector<int>{0});
}

TEST(SoundCueOutput, WorkerThreadPlaysTearsDownAndShutsDown) {
    auto* backend = new SimulatedSoundCueAudioBackend;
    SoundCueOutput output(std::unique_ptr<SoundCueAudioBackend>(backend), 0.05);
    for (int i = 0; i < 3; ++i)
        output.emitCue(SoundCue::toggleOn, someSamples(), 44100.0, 1.0);
    ASSERT_TRUE(waitUntil([&] { return backend->buffersPlayed() == 3; }));
    ASSERT_TRUE(waitUntil([&] { return backend->stopCount() == 1; }));
    EXPECT_EQ(backend->startCount(), 1);
    output.shutdown();
    // Later cues are dropped quietly.
    output.emitCue(SoundCue::toggleOn, someSamples(), 44100.0, 1.0);
    output.shutdown();
}
