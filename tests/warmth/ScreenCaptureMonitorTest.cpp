// The capture debounce and its monitor over a scripted probe.
#include "warmth/ScreenCaptureMonitor.h"

#include "core/Logging.h"
#include "platform/simulated/SimulatedScreenCaptureProbe.h"

#include <gtest/gtest.h>

namespace {

using A = CaptureSuspendAction;

std::vector<A> run(CaptureSuspendModel& m, std::initializer_list<bool> polls, bool lock = false) {
    std::vector<A> out;
    for (bool active : polls)
        out.push_back(m.tick(active, lock));
    return out;
}

TEST(CaptureSuspendModel, SuspendsOnceAndResumesOnTheThirdQuietPollInARow) {
    CaptureSuspendModel m;
    EXPECT_EQ(
        run(m, {true, true, false, false, true, false, false, false}),
        (std::vector{A::suspend, A::none, A::none, A::none, A::none, A::none, A::none, A::resume}));
    EXPECT_FALSE(m.suspended);
    // Under a held lock a capture changes nothing; once the lock ends the next poll acts.
    EXPECT_EQ(run(m, {true, true}, /*lock=*/true), (std::vector{A::none, A::none}));
    EXPECT_EQ(m.tick(true, false), A::suspend);
}

TEST(ScreenCaptureMonitor, PollsAtOnceOnStartAndFallsBackToTheSharedFlag) {
    LogCapture log;
    SimulatedScreenCaptureProbe probe;
    std::vector<A> actions;
    ManualFrameTimer* timer = nullptr;
    ScreenCaptureMonitor monitor([] { return false; }, [&](A a) { actions.push_back(a); }, &probe,
                                 [&] {
                                     auto t = std::make_unique<ManualFrameTimer>();
                                     timer = t.get();
                                     return t;
                                 });
    probe.watcher = false;
    probe.shared = true; // a watcher that says no leaves the session's flag
    monitor.start();
    EXPECT_EQ(probe.polls, 1);
    EXPECT_DOUBLE_EQ(timer->interval(), 1.0);
    monitor.start();
    EXPECT_EQ(probe.polls, 1) << "a second start adds no poll";
    EXPECT_EQ(actions, std::vector{A::suspend});
    EXPECT_TRUE(log.contains(QStringLiteral(
        "Capture guard: screen capture/recording detected — suspending gamma LUT + XDR boost")));

    probe.shared = false;
    probe.watcher.reset();
    for (int i = 0; i < 3; ++i)
        timer->fire();
    EXPECT_EQ(actions, (std::vector{A::suspend, A::resume}));
    EXPECT_TRUE(log.contains(
        QStringLiteral("Capture guard: capture ended (debounced) — restoring warmth")));

    probe.watcher = true;
    timer->fire();
    monitor.stop();
    EXPECT_FALSE(monitor.running());
    EXPECT_FALSE(monitor.model().suspended) << "stop returns to idle without an action";
    EXPECT_EQ(actions.size(), 3u);
}

TEST(ScreenCaptureMonitor, ListensWhileNothingIsCapturedAndPollsEverySecondWhileACastIsAbout) {
    SimulatedScreenCaptureProbe probe;
    probe.announces = true;
    probe.watcher = false;
    std::vector<A> actions;
    bool lock = false;
    ManualFrameTimer* timer = nullptr;
    auto monitor = std::make_unique<ScreenCaptureMonitor>(
        [&] { return lock; }, [&](A a) { actions.push_back(a); }, &probe, [&] {
            auto t = std::make_unique<ManualFrameTimer>();
            timer = t.get();
            return t;
        });
    monitor->start();
    EXPECT_EQ(probe.polls, 1);
    EXPECT_TRUE(monitor->running());
    EXPECT_FALSE(timer->isActive()) << "nothing captured: no wake-up every second";

    // A cast under a held lock is not acted on, but it is followed every second, so the
    // lock's end is acted on within one.
    lock = true;
    probe.watcher = true;
    probe.announce();
    EXPECT_TRUE(actions.empty());
    ASSERT_TRUE(timer->isActive());
    EXPECT_DOUBLE_EQ(timer->interval(), 1.0);
    lock = false;
    timer->fire();
    EXPECT_EQ(actions, std::vector{A::suspend});

    // The end is debounced over three polls, then it listens again.
    probe.watcher = false;
    probe.announce();
    timer->fire();
    EXPECT_TRUE(timer->isActive());
    timer->fire();
    EXPECT_EQ(actions, (std::vector{A::suspend, A::resume}));
    EXPECT_FALSE(timer->isActive());

    // A probe that cannot tell of changes is polled, as before.
    probe.announces = false;
    probe.watcher = true;
    probe.announce();
    EXPECT_TRUE(timer->isActive());
    probe.watcher = false;
    for (int i = 0; i < 5; ++i)
        timer->fire();
    EXPECT_TRUE(timer->isActive());

    // Stopped, or gone, it no longer listens.
    monitor->stop();
    EXPECT_FALSE(probe.handler);
    monitor->start();
    monitor.reset();
    EXPECT_FALSE(probe.handler);
}

} // namespace
