// The wake and reconfiguration passes, stepped by hand.
#include "warmth/GammaReassertion.h"

#include "OverlayTestRig.h"

#include <gtest/gtest.h>

namespace {

struct Reassert : ::testing::Test {
    OverlayRig rig;
    std::vector<ManualFrameTimer*> timers; // settle, then one per pass as each is queued
    std::unique_ptr<GammaReassertion> reassert;

    Reassert() {
        rig.gamma->addDisplay(7);
        rig.enable(3000);
        reassert = std::make_unique<GammaReassertion>(*rig.engine, [this] {
            auto t = std::make_unique<ManualFrameTimer>();
            timers.push_back(t.get());
            return t;
        });
    }
    int loads() { return rig.gamma->display(7)->loads; }
    ManualFrameTimer& settle() { return *timers[0]; }
    // The pass queued last.
    ManualFrameTimer& newest() { return *timers.back(); }
    void clobber() {
        const auto id = SimulatedDisplayGamma::identityTable(256);
        rig.gamma->overwriteTables(7, id, id, id);
    }
};

TEST_F(Reassert, WakePushesAtOnceThenAfterTheDelayThenCatchesUpAndVerifies) {
    reassert->scheduleGammaReassert(GammaReassertion::systemWakeDelay);
    EXPECT_EQ(loads(), 1) << "the immediate pass runs inside the handler";
    ManualFrameTimer& firstPass = newest();
    EXPECT_DOUBLE_EQ(firstPass.interval(), 0.5);
    EXPECT_EQ(reassert->catchUpsPending(), 0);

    firstPass.fire();
    EXPECT_EQ(loads(), 2);
    EXPECT_FALSE(firstPass.isActive());
    ManualFrameTimer& catchUp = newest();
    ASSERT_TRUE(catchUp.isActive());
    EXPECT_DOUBLE_EQ(catchUp.interval(), 1.2);
    EXPECT_FALSE(rig.engine->gammaVerifyPending());

    catchUp.fire();
    EXPECT_EQ(loads(), 3);
    EXPECT_FALSE(catchUp.isActive());
    ASSERT_TRUE(rig.engine->gammaVerifyPending()) << "the catch-up reads the tables back";
    // A window server that keeps rewriting the tables gets three re-pushes, no more.
    int retries = 0;
    while (rig.engine->gammaVerifyPending()) {
        clobber();
        rig.verifyTimer().fire();
        ++retries;
    }
    EXPECT_EQ(loads(), 6);
    EXPECT_EQ(retries, 3);
    EXPECT_FALSE(rig.forceLockTimer().isActive()) << "flicker-free is off";
}

TEST_F(Reassert, TintOffBeforeTheFirstPassStopsEveryLaterPass) {
    reassert->scheduleGammaReassert(GammaReassertion::displayWakeDelay);
    EXPECT_DOUBLE_EQ(newest().interval(), 0.3);
    const int afterImmediate = loads();
    rig.defaults().setBool(PrefKey::enabled, false);
    const size_t timersBefore = timers.size();
    newest().fire();
    EXPECT_EQ(loads(), afterImmediate);
    EXPECT_EQ(timers.size(), timersBefore) << "no catch-up is queued";

    // Two calls inside the delay: both first passes run and each queues its own
    // catch-up, so two catch-up passes run.
    rig.defaults().setBool(PrefKey::enabled, true);
    reassert->scheduleGammaReassert(0.3);
    ManualFrameTimer* a = timers.back();
    reassert->scheduleGammaReassert(0.3);
    ManualFrameTimer* b = timers.back();
    EXPECT_EQ(reassert->firstPassesPending(), 2);
    a->fire();
    ManualFrameTimer* catchUpA = timers.back();
    b->fire();
    ManualFrameTimer* catchUpB = timers.back();
    EXPECT_NE(catchUpA, catchUpB);
    EXPECT_EQ(reassert->catchUpsPending(), 2);
    EXPECT_EQ(reassert->firstPassesPending(), 0);
    const int beforeCatchUps = loads();
    catchUpA->fire();
    catchUpB->fire();
    EXPECT_EQ(loads(), beforeCatchUps + 2);
    EXPECT_EQ(reassert->catchUpsPending(), 0);

    // A later call cancels only the newest catch-up; an older one still runs.
    reassert->scheduleGammaReassert(0.3);
    a = timers.back();
    reassert->scheduleGammaReassert(0.3);
    b = timers.back();
    a->fire();
    catchUpA = timers.back();
    b->fire();
    catchUpB = timers.back();
    reassert->scheduleGammaReassert(0.3);
    EXPECT_TRUE(catchUpA->isActive());
    EXPECT_FALSE(catchUpB->isActive());
}

TEST_F(Reassert, ABurstOfReconfigurationsGivesOneSettlePass) {
    for (int i = 0; i < 10; ++i)
        reassert->displayConfigDidChange();
    EXPECT_EQ(settle().startCount(), 10) << "each callback restarts the debounce";
    EXPECT_DOUBLE_EQ(settle().interval(), 0.5);
    EXPECT_EQ(loads(), 0);
    EXPECT_EQ(settle().fireUntilStopped(), 1);
    EXPECT_EQ(loads(), 1);
    EXPECT_TRUE(rig.engine->gammaVerifyPending());

    rig.defaults().setBool(PrefKey::enabled, false);
    rig.engine->updateOverlays();
    const int off = loads();
    reassert->displayConfigDidChange();
    settle().fire();
    EXPECT_EQ(loads(), off) << "with the tint off nothing is pushed";
}

} // namespace
