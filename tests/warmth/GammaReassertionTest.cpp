// The wake and reconfiguration passes, stepped by hand.
#include "warmth/GammaReassertion.h"

#include "OverlayTestRig.h"

#include <gtest/gtest.h>

namespace {

struct Reassert : ::testing::Test {
    OverlayRig rig;
    std::vector<ManualFrameTimer*> timers; // catch-up, settle, then one per first pass
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
    ManualFrameTimer& catchUp() { return *timers[0]; }
    ManualFrameTimer& settle() { return *timers[1]; }
    ManualFrameTimer& firstPass() { return *timers.back(); }
    void clobber() {
        const auto id = SimulatedDisplayGamma::identityTable(256);
        rig.gamma->overwriteTables(7, id, id, id);
    }
};

TEST_F(Reassert, WakePushesAtOnceThenAfterTheDelayThenCatchesUpAndVerifies) {
    reassert->scheduleGammaReassert(GammaReassertion::systemWakeDelay);
    EXPECT_EQ(loads(), 1) << "the immediate pass runs inside the handler";
    EXPECT_DOUBLE_EQ(firstPass().interval(), 0.5);
    EXPECT_FALSE(catchUp().isActive());

    firstPass().fire();
    EXPECT_EQ(loads(), 2);
    EXPECT_FALSE(firstPass().isActive());
    ASSERT_TRUE(catchUp().isActive());
    EXPECT_DOUBLE_EQ(catchUp().interval(), 1.2);
    EXPECT_FALSE(rig.engine->gammaVerifyPending());

    catchUp().fire();
    EXPECT_EQ(loads(), 3);
    EXPECT_FALSE(catchUp().isActive());
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
    EXPECT_DOUBLE_EQ(firstPass().interval(), 0.3);
    const int afterImmediate = loads();
    rig.defaults().setBool(PrefKey::enabled, false);
    firstPass().fire();
    EXPECT_EQ(loads(), afterImmediate);
    EXPECT_FALSE(catchUp().isActive());

    // Two calls inside the delay: both first passes run, one catch-up stands: the
    // newer first pass replaces the older's, so one catch-up pass runs, 1.2 s after
    // the newer.
    rig.defaults().setBool(PrefKey::enabled, true);
    const size_t timersBefore = timers.size();
    reassert->scheduleGammaReassert(0.3);
    ManualFrameTimer* a = timers.back();
    reassert->scheduleGammaReassert(0.3);
    ManualFrameTimer* b = timers.back();
    EXPECT_EQ(reassert->firstPassesPending(), 2);
    EXPECT_EQ(timers.size(), timersBefore + 2) << "no catch-up timer of their own";
    a->fire();
    const int startsAfterOlder = catchUp().startCount();
    b->fire();
    EXPECT_EQ(catchUp().startCount(), startsAfterOlder + 1); // restarted, not added
    EXPECT_TRUE(catchUp().isActive());
    EXPECT_EQ(reassert->firstPassesPending(), 0);
    const int beforeCatchUp = loads();
    catchUp().fire();
    EXPECT_FALSE(catchUp().isActive());
    EXPECT_EQ(loads(), beforeCatchUp + 1);
    EXPECT_EQ(timers.size(), timersBefore + 2);
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
