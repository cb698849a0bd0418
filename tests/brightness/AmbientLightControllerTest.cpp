// Room-light adaptation: the lux rules, the poll on manual timers, the leases and the
// manual baselines.
#include "brightness/AmbientLightController.h"
#include "brightness/AmbientAdaptation.h"
#include "core/Preferences.h"
#include "platform/simulated/SimulatedLightSensor.h"
#include "support/ManualTimerPool.h"
#include "support/TestStore.h"

#include <QTemporaryFile>
#include <gtest/gtest.h>

namespace A = AmbientAdaptation;

TEST(AmbientAdaptation, BandsFactorsFloorAndWarmthShift) {
    EXPECT_EQ(A::estimatedCCT(0.5), 2700);
    EXPECT_EQ(A::estimatedCCT(10), 3000);
    EXPECT_EQ(A::estimatedCCT(100), 4000);
    EXPECT_EQ(A::estimatedCCT(300), 5000);
    EXPECT_EQ(A::estimatedCCT(500), 6500);
    EXPECT_EQ(A::dimFactor(0), 0.85);
    EXPECT_EQ(A::dimFactor(10), 0.9);
    EXPECT_EQ(A::dimFactor(50), 0.95);
    EXPECT_EQ(A::dimFactor(200), 1.0);
    EXPECT_DOUBLE_EQ(A::dimTarget(1.0, 5), 0.85);
    EXPECT_DOUBLE_EQ(A::dimTarget(0.3, 5), 0.3);
    // Dimming never brightens: a manual level under the floor stays as it is.
    EXPECT_DOUBLE_EQ(A::dimTarget(0.2, 5), 0.2);
    EXPECT_DOUBLE_EQ(A::dimTarget(0.33, 5), 0.3);

    EXPECT_DOUBLE_EQ(A::warmthShiftMired(1), 120);
    EXPECT_DOUBLE_EQ(A::warmthShiftMired(0), 120);
    EXPECT_NEAR(A::warmthShiftMired(10), 77, 1);
    EXPECT_NEAR(A::warmthShiftMired(100), 12, 1);
    EXPECT_DOUBLE_EQ(A::warmthShiftMired(300), 0);
    EXPECT_NEAR(A::shiftedTemperature(3400, 120), 2415, 1);
    EXPECT_NEAR(A::shiftedTemperature(600, 120), 559.7, 0.1);
    EXPECT_DOUBLE_EQ(A::shiftedTemperature(500, 120), 500);
}

namespace {
struct AmbientRig {
    TestStore store;
    SimulatedLightSensor first{false};
    SimulatedLightSensor second{true};
    ManualTimerPool timers;
    std::unique_ptr<AmbientLightController> ambient;
    bool brightnessRampBusy = false;

    AmbientRig() {
        qunsetenv("HALCYRA_FAKE_LUX_FILE");
        ambient = std::make_unique<AmbientLightController>(
            [this] {
                return std::vector<LightSensor*>{&first, &second};
            },
            [this] { return timers.make(); });
        ambient->setRampProbes([this] { return brightnessRampBusy; }, [] { return false; });
    }
    ManualFrameTimer* poll() { return &timers[0]; }
    // Runs every transition timer to its end.
    void settle() {
        for (size_t i = 1; i < timers.size(); ++i)
            timers[i].fireUntilStopped();
    }
    double brightness() { return Preferences::shared().brightness(); }
};
} // namespace

TEST(AmbientLightController, DimsFromTheManualLevelAndNeverCompoundsOrReadsAFailureAsDark) {
    AmbientRig rig;
    rig.store.defaults().setDouble(PrefKey::brightness, 1.0);
    rig.second.setLux(5);
    rig.ambient->start();
    ASSERT_TRUE(rig.ambient->isAlsAvailable());
    rig.ambient->startALSMonitoring();
    ASSERT_EQ(rig.poll()->interval(), 5.0);
    EXPECT_EQ(rig.ambient->ambientLux(), 5); // published, not yet acted on
    EXPECT_EQ(rig.brightness(), 1.0);

    // A room already dark when monitoring starts dims at the first poll.
    rig.poll()->fire();
    ASSERT_EQ(rig.timers.size(), 2u);
    EXPECT_EQ(rig.timers[1].interval(), 1.0 / 30.0);
    EXPECT_EQ(rig.timers[1].fireUntilStopped(), 60);
    EXPECT_DOUBLE_EQ(rig.brightness(), 0.85);

    // The same room again: the gate stays shut.
    rig.poll()->fire();
    EXPECT_EQ(rig.timers.size(), 2u);

    // A failed read is not a dark room.
    rig.second.setLux(std::nullopt);
    rig.store.defaults().setDouble(PrefKey::brightness, 0.85);
    rig.poll()->fire();
    EXPECT_EQ(rig.timers.size(), 2u);
    EXPECT_EQ(rig.ambient->ambientLux(), 5);

    // Stopping and starting again (the tint toggled, or a new run) keeps the user's
    // level as the baseline: the stored 0.85 is our own write.
    rig.ambient->stop();
    AmbientLightController again([&] { return std::vector<LightSensor*>{&rig.second}; },
                                 [&] { return rig.timers.make(); });
    again.start();
    EXPECT_DOUBLE_EQ(again.userManualBrightness(), 1.0);
    rig.ambient->start();
    EXPECT_DOUBLE_EQ(rig.ambient->userManualBrightness(), 1.0);

    // A level the user sets is the new baseline; an echo of our own write is not.
    rig.ambient->noteUserBrightness(0.85);
    EXPECT_DOUBLE_EQ(rig.ambient->userManualBrightness(), 1.0);
    rig.ambient->noteUserBrightness(0.6);
    EXPECT_DOUBLE_EQ(rig.ambient->userManualBrightness(), 0.6);
}

TEST(AmbientLightController, AnotherWriterTakesTheAxisAndABusyRampHoldsThePoll) {
    AmbientRig rig;
    rig.second.setLux(500);
    rig.ambient->start();
    rig.ambient->startALSMonitoring();
    rig.second.setLux(20);
    rig.brightnessRampBusy = true;
    rig.poll()->fire();
    EXPECT_EQ(rig.timers.size(), 1u);
    EXPECT_EQ(rig.ambient->ambientLux(), 500); // stays behind while the ramp runs

    rig.brightnessRampBusy = false;
    rig.poll()->fire();
    ASSERT_EQ(rig.timers.size(), 2u);
    EXPECT_EQ(rig.ambient->ambientLux(), 20);
    rig.timers[1].fire();
    const double midway = rig.brightness();
    EXPECT_LT(midway, 1.0);
    // A key press: the ramp yields the axis, and nothing of the transition lands.
    rig.ambient->yieldAxis(AmbientLightController::TransitionAxis::brightness);
    rig.store.defaults().setDouble(PrefKey::brightness, 0.7);
    rig.timers[1].fireUntilStopped();
    EXPECT_DOUBLE_EQ(rig.brightness(), 0.7);
}

TEST(AmbientLightController, WarmthShiftIsConfirmedOnTheSecondPollAndFakeLuxWorksWithoutSensor) {
    QTemporaryFile fake;
    ASSERT_TRUE(fake.open());
    fake.write("  1 \n");
    fake.flush();
    AmbientRig rig;
    rig.second.setPresent(false);
    qputenv("HALCYRA_FAKE_LUX_FILE", fake.fileName().toLocal8Bit());
    rig.store.defaults().setBool(PrefKey::adaptToRoomLighting, true);
    rig.store.defaults().setBool(PrefKey::ambientDimming, false);
    rig.store.defaults().setDouble(PrefKey::temperature, 3400);
    rig.ambient->start();
    ASSERT_TRUE(rig.ambient->isAlsAvailable());
    rig.ambient->startALSMonitoring();
    rig.poll()->fire();
    EXPECT_EQ(rig.ambient->pendingWarmthShiftMired(), 120.0);
    EXPECT_EQ(rig.timers.size(), 1u);
    rig.poll()->fire();
    ASSERT_EQ(rig.timers.size(), 2u);
    rig.settle();
    EXPECT_NEAR(Preferences::shared().temperature(), 2415, 1);

    // Text that is not a number leaves the reading alone (and with no sensor, no poll acts).
    fake.resize(0);
    fake.write("42 lux");
    fake.flush();
    rig.poll()->fire();
    EXPECT_EQ(rig.ambient->ambientLux(), 1);
    qunsetenv("HALCYRA_FAKE_LUX_FILE");
}

TEST(AmbientLightController, WithoutAnySensorMonitoringDoesNotStart) {
    AmbientRig rig;
    rig.second.setPresent(false);
    rig.ambient->start();
    EXPECT_FALSE(rig.ambient->isAlsAvailable());
    rig.ambient->startALSMonitoring();
    EXPECT_EQ(rig.timers.size(), 0u);
}
