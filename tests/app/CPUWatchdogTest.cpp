#include "app/CPUWatchdog.h"
#include "core/Logging.h"

#include <gtest/gtest.h>

TEST(CPUWatchdog, GrantsOutOfATwentySecondBudgetPerMinute) {
    ManualClock clock;
    CPUWatchdog dog(clock);
    LogCapture log;
    clock.advanceSeconds(1000);
    dog.noteExpectedBurst(10);
    clock.advanceSeconds(1);
    dog.noteExpectedBurst(10);
    const double secondAt = 1001;
    clock.advanceSeconds(1);
    dog.noteExpectedBurst(10);
    EXPECT_EQ(log.messages(QStringLiteral("com.halcyra.app.watchdog")),
              (QStringList{QStringLiteral("Expected-burst grace granted: 10.0s"),
                           QStringLiteral("Expected-burst grace granted: 10.0s"),
                           QStringLiteral("Expected-burst grace DENIED — 20s/min cap exhausted; "
                                          "watchdog stays armed")}));
    EXPECT_DOUBLE_EQ(dog.graceUntil(), secondAt + 10);
    EXPECT_EQ(dog.graceGrants().size(), 2u);
}

TEST(CPUWatchdog, RollingWindowClipsAndExpiresGrants) {
    ManualClock clock;
    CPUWatchdog dog(clock);
    clock.advanceSeconds(500);
    dog.noteExpectedBurst(30); // clipped to the budget
    ASSERT_EQ(dog.graceGrants().size(), 1u);
    EXPECT_DOUBLE_EQ(dog.graceGrants()[0].duration, 20);

    clock.advanceSeconds(50); // T+50: all of the old grant lies inside the window
    dog.noteExpectedBurst(10);
    EXPECT_EQ(dog.graceGrants().size(), 1u);

    clock.advanceSeconds(20); // T+70: the 10 s after T+10 still count
    dog.noteExpectedBurst(15);
    ASSERT_EQ(dog.graceGrants().size(), 2u);
    EXPECT_DOUBLE_EQ(dog.graceGrants()[1].duration, 10);

    CPUWatchdog fresh(clock);
    const double t = 2000;
    clock.advanceSeconds(t - clock.monotonicMs() / 1000.0);
    fresh.noteExpectedBurst(20);
    clock.advanceSeconds(81); // the old grant ended 61 s ago: dropped, budget back
    fresh.noteExpectedBurst(20);
    EXPECT_EQ(fresh.graceGrants().size(), 1u);
    EXPECT_DOUBLE_EQ(fresh.graceGrants()[0].duration, 20);
}

TEST(CPUWatchdog, EmptyRequestsAreDeniedAndStopResets) {
    ManualClock clock;
    CPUWatchdog dog(clock);
    LogCapture log;
    dog.noteExpectedBurst(0);
    dog.noteExpectedBurst(-5);
    dog.noteExpectedBurst(std::nan(""));
    EXPECT_TRUE(dog.graceGrants().empty());
    EXPECT_EQ(log.messages().filter(QStringLiteral("DENIED")).size(), 3);
    EXPECT_FALSE(dog.isGraced());

    dog.noteExpectedBurst(20);
    EXPECT_TRUE(dog.isGraced());
    dog.samples = {1.0, 2.0};
    dog.graced = {true, false};
    dog.isThrottled = true;
    dog.onThrottle = [] {};

    dog.clearEscalation();
    EXPECT_TRUE(dog.samples.isEmpty());
    EXPECT_FALSE(dog.isThrottled);
    EXPECT_EQ(dog.graceGrants().size(), 1u); // the grace bookkeeping stays

    dog.stop();
    EXPECT_TRUE(dog.graceGrants().empty());
    EXPECT_FALSE(dog.isGraced());
    EXPECT_TRUE(dog.onThrottle); // hooks survive stop()
    dog.noteExpectedBurst(10);
    EXPECT_EQ(dog.graceGrants().size(), 1u);
}
