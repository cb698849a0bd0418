#include "app/CrashLoopGuard.h"
#include "core/Logging.h"
#include "core/Preferences.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

namespace {

struct Launch {
    CrashLoopGuard::Outcome outcome;
    QStringList log;
};

Launch launch(UserDefaults& defaults, ManualClock& clock, bool completes) {
    LogCapture capture;
    CrashLoopGuard guard(defaults, clock);
    Launch l{guard.beginLaunch(), {}};
    EXPECT_TRUE(defaults.boolean(PrefKey::launchCrashGuard));
    if (completes) guard.launchSucceeded();
    l.log = capture.messages(QStringLiteral("com.halcyra.app.menubar"));
    return l;
}

} // namespace

TEST(CrashLoopGuard, FirstLaunchAndCompletedLaunchesNeverCount) {
    TestStore store;
    ManualClock clock;
    Launch first = launch(store.defaults(), clock, true);
    EXPECT_EQ(first.outcome.rapidRelaunchCount, 0);
    EXPECT_FALSE(first.outcome.safeMode);
    EXPECT_EQ(first.log, QStringList{QStringLiteral("crash guard cleared — launch succeeded")});
    EXPECT_FALSE(store.defaults().boolean(PrefKey::launchCrashGuard));
    EXPECT_EQ(store.defaults().doubleNumber(PrefKey::lastLaunchTime), clock.secondsSince1970());

    clock.advanceSeconds(10);
    Launch second = launch(store.defaults(), clock, true);
    EXPECT_EQ(second.outcome.rapidRelaunchCount, 1);
    EXPECT_EQ(store.defaults().integer(PrefKey::crashRecoveryCount), 0);
    EXPECT_FALSE(store.defaults().boolean(PrefKey::safeMode));
}

TEST(CrashLoopGuard, FourRapidUnfinishedLaunchesEnterSafeModeByBothRules) {
    TestStore store;
    ManualClock clock;
    std::vector<Launch> launches;
    for (int i = 0; i < 4; ++i) {
        launches.push_back(launch(store.defaults(), clock, false));
        clock.advanceSeconds(5);
    }
    EXPECT_EQ(launches[0].outcome.rapidRelaunchCount, 0);
    EXPECT_TRUE(launches[0].log.isEmpty());

    EXPECT_EQ(launches[1].outcome.rapidRelaunchCount, 1);
    EXPECT_EQ(launches[1].log, QStringList{QStringLiteral(
                                   "crash guard was set — previous launch crashed (count: 1)")});
    EXPECT_FALSE(launches[1].outcome.safeMode);

    EXPECT_EQ(launches[2].outcome.rapidRelaunchCount, 2);
    EXPECT_EQ(launches[2].log,
              QStringList{QStringLiteral("SAFE MODE ACTIVATED — 2 consecutive crashes detected")});
    EXPECT_TRUE(launches[2].outcome.safeMode);
    EXPECT_FALSE(launches[2].outcome.crashLoopDetected);

    EXPECT_EQ(launches[3].outcome.rapidRelaunchCount, 3);
    EXPECT_TRUE(launches[3].outcome.crashLoopDetected);
    EXPECT_EQ(
        launches[3].log,
        (QStringList{QStringLiteral("CRASH LOOP DETECTED — 3 crashes in <30s, entering safe mode"),
                     QStringLiteral("SAFE MODE ACTIVATED — 3 consecutive crashes detected")}));

    // Safe mode stays once set; a completed launch does not clear it.
    clock.advanceSeconds(100);
    Launch later = launch(store.defaults(), clock, true);
    EXPECT_TRUE(later.outcome.safeMode);
    EXPECT_FALSE(later.outcome.crashLoopDetected);
}

TEST(CrashLoopGuard, WindowEdgeAndClockGoingBackwards) {
    TestStore store;
    ManualClock clock;
    launch(store.defaults(), clock, false);
    clock.advanceSeconds(30.0);
    EXPECT_EQ(launch(store.defaults(), clock, false).outcome.rapidRelaunchCount, 0);

    // The clock was set back an hour between launches: not a rapid relaunch.
    store.defaults().setInteger(PrefKey::crashRecoveryCount, 2);
    clock.setNow(clock.now().addSecs(-3600));
    Launch back = launch(store.defaults(), clock, false);
    EXPECT_EQ(back.outcome.rapidRelaunchCount, 0);
    EXPECT_FALSE(back.outcome.crashLoopDetected);
    EXPECT_EQ(store.defaults().integer(PrefKey::crashRecoveryCount), 0);
}

TEST(CrashLoopGuard, OneUnfinishedLaunchIsForgivenByTheNextCleanOne) {
    TestStore store;
    ManualClock clock;
    store.defaults().setBool(PrefKey::launchCrashGuard, true);
    Launch l = launch(store.defaults(), clock, true);
    EXPECT_EQ(l.outcome.consecutiveCrashCount, 1);
    EXPECT_FALSE(l.outcome.safeMode);
    clock.advanceSeconds(100);
    launch(store.defaults(), clock, true);
    EXPECT_EQ(store.defaults().integer(PrefKey::consecutiveCrashCount), 0);
    EXPECT_FALSE(store.defaults().boolean(PrefKey::safeMode));
}

TEST(CrashLoopGuard, KilledLaunchesLeaveTheirMarkerAndCountsOnDiskInOneSave) {
    TestStore store;
    ManualClock clock;
    for (int i = 0; i < 2; ++i) {
        SaveCounter counter(store.path());
        ASSERT_TRUE(
            killedRightAfter([&] { CrashLoopGuard(store.defaults(), clock).beginLaunch(); }));
        // Four durable keys, one save: the start waits for the disk once, and no file
        // ever holds the new marker with the old counts.
        EXPECT_EQ(counter.saves(), 1);
        ASSERT_TRUE(store.defaults().reload()); // the next launch knows only the file
        clock.advanceSeconds(5);
    }
    UserDefaults onDisk(store.path());
    EXPECT_TRUE(onDisk.boolean(PrefKey::launchCrashGuard));
    EXPECT_EQ(onDisk.integer(PrefKey::crashRecoveryCount), 1);
    EXPECT_EQ(onDisk.integer(PrefKey::consecutiveCrashCount), 1);
    EXPECT_TRUE(CrashLoopGuard(onDisk, clock).beginLaunch().safeMode);
}

TEST(CrashLoopGuard, DamagedStoredCountsAreHeldToARangeTheGuardCanUse) {
    struct Case {
        double stored;
        int consecutive;
        bool safeMode;
    };
    const std::vector<Case> cases = {
        {1e15, 1001, true}, // not "1000000000000001 consecutive crashes"
        {-5, 1, false},     // a negative count must not hold the guard back
        {1, 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        TestStore store;
        ManualClock clock;
        store.defaults().setBool(PrefKey::launchCrashGuard, true);
        store.defaults().setDouble(PrefKey::consecutiveCrashCount, c.stored);
        Launch l = launch(store.defaults(), clock, false);
        EXPECT_EQ(l.outcome.consecutiveCrashCount, c.consecutive);
        EXPECT_EQ(l.outcome.safeMode, c.safeMode);
        EXPECT_EQ(l.log.join('\n').contains(QStringLiteral("00000")), false);
    }
    // The rapid-relaunch count likewise: after a damaged -100 the crash-loop rule still
    // fires on the third fast start after it.
    TestStore store;
    ManualClock clock;
    launch(store.defaults(), clock, false);
    store.defaults().setDouble(PrefKey::crashRecoveryCount, -100);
    for (int i = 1; i <= 3; ++i) {
        store.defaults().setBool(PrefKey::launchCrashGuard, false);
        clock.advanceSeconds(5);
        EXPECT_EQ(launch(store.defaults(), clock, false).outcome.crashLoopDetected, i == 3) << i;
    }
}
