// Room-light adaptation: the lux rules, the poll on manual timers, the leases and the
// manual baselines.
#include "brightness/AmbientLightController.h"
#include "brightness/AmbientAdaptation.h"
#include "core/Logging.h"
#include "core/Preferences.h"
#include "platform/simulated/SimulatedLightSensor.h"
#include "support/ManualTimerPool.h"
#include "support/TestStore.h"

#include <QTemporaryFile>
#include <gtest/gtest.h>
#include <stdexcept>
#include <system_error>

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
    std::shared_ptr<SimulatedLightSensor> firstOwned =
        std::make_shared<SimulatedLightSensor>(false);
    std::shared_ptr<SimulatedLightSensor> secondOwned =
        std::make_shared<SimulatedLightSensor>(true);
    SimulatedLightSensor& first = *firstOwned;
    SimulatedLightSensor& second = *secondOwned;
    ManualTimerPool timers;
    std::unique_ptr<AmbientLightController> ambient;
    bool brightnessRampBusy = false;

    AmbientRig() {
        qunsetenv("HALCYRA_FAKE_LUX_FILE");
        ambient = std::make_unique<AmbientLightController>(
            [this] {
                return std::vector<std::shared_ptr<LightSensor>>{firstOwned, secondOwned};
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
    rig.second.setLux(8);
    rig.ambient->start();
    ASSERT_TRUE(rig.ambient->isAlsAvailable());
    rig.ambient->startALSMonitoring();
    ASSERT_EQ(rig.poll()->interval(), 5.0);
    EXPECT_EQ(rig.ambient->ambientLux(), 8); // published, not yet acted on
    EXPECT_EQ(rig.brightness(), 1.0);

    // A room already dark when monitoring starts is no change: the gate stays shut,
    // also for a move of exactly 5 lux.
    rig.poll()->fire();
    EXPECT_EQ(rig.timers.size(), 1u);
    rig.second.setLux(3);
    rig.poll()->fire();
    EXPECT_EQ(rig.timers.size(), 1u);
    EXPECT_EQ(rig.ambient->ambientLux(), 8);

    // Past the gate: the light moved by more than 5 lux, and dimming follows.
    rig.second.setLux(2);
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
    EXPECT_EQ(rig.ambient->ambientLux(), 2);

    // Stopping and starting again (the tint toggled, or a new run) keeps the user's
    // level as the baseline: the stored 0.85 is our own write.
    rig.ambient->stop();
    AmbientLightController again(
        [&] { return std::vector<std::shared_ptr<LightSensor>>{rig.secondOwned}; },
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

namespace {
// A backend that fails the way a C++ library does, or with something else entirely.
struct ThrowingSensor final : LightSensor {
    bool throwOnOpen = false;
    bool throwForeign = false;
    QString name() const override { return QStringLiteral("flaky"); }
    bool open() override {
        if (throwOnOpen) throw std::runtime_error("no such device");
        return true;
    }
    std::optional<double> readLux() override {
        if (throwForeign) throw 7;
        throw std::system_error(std::make_error_code(std::errc::io_error), "read failed");
    }
};
} // namespace

TEST(AmbientLightController, ASensorBackendThatThrowsIsSkippedAndTheNextSourceAnswers) {
    TestStore store;
    qunsetenv("HALCYRA_FAKE_LUX_FILE");
    auto flaky = std::make_shared<ThrowingSensor>();
    auto sensor = std::make_shared<SimulatedLightSensor>(true);
    sensor->setLux(120);
    ManualTimerPool timers;
    AmbientLightController ambient(
        [&] {
            return std::vector<std::shared_ptr<LightSensor>>{flaky, sensor};
        },
        [&] { return timers.make(); });
    LogCapture log;
    ambient.start();
    ASSERT_TRUE(ambient.isAlsAvailable());
    const auto reading = ambient.readAmbientLight();
    ASSERT_TRUE(reading);
    EXPECT_EQ(reading->lux, 120);
    EXPECT_TRUE(log.contains("read flaky threw a C++ exception: std::system_error: read failed"));
    EXPECT_TRUE(log.contains("— skipping"));

    // Failing to open is skipped the same way; the other source still opens.
    ambient.stop();
    flaky->throwOnOpen = true;
    ambient.start();
    EXPECT_TRUE(
        log.contains("open flaky threw a C++ exception: std::runtime_error: no such device"));
    EXPECT_EQ(ambient.readAmbientLight()->lux, 120);

    // Whatever is not the platform's kind of failure is not swallowed.
    ambient.stop();
    flaky->throwOnOpen = false;
    flaky->throwForeign = true;
    ambient.start();
    EXPECT_THROW(ambient.readAmbientLight(), int);
    ambient.stop();
}

TEST(AmbientLightController, NeverReadsASourceItsPlatformLetGoOfAndAsksItsSuccessor) {
    TestStore store;
    qunsetenv("HALCYRA_FAKE_LUX_FILE");
    auto old = std::make_shared<SimulatedLightSensor>(true);
    old->setLux(40);
    std::vector<std::shared_ptr<LightSensor>> current{old};
    ManualTimerPool timers;
    AmbientLightController ambient([&] { return current; }, [&] { return timers.make(); });
    ambient.start();
    ASSERT_EQ(ambient.readAmbientLight()->lux, 40);

    // The platform is replaced: the old source is destroyed with it.
    std::weak_ptr<SimulatedLightSensor> gone = old;
    auto successor = std::make_shared<SimulatedLightSensor>(true);
    successor->setLux(300);
    current = {successor};
    old.reset();
    ASSERT_TRUE(gone.expired()) << "the controller kept the old platform's source alive";
    const auto reading = ambient.readAmbientLight();
    ASSERT_TRUE(reading);
    EXPECT_EQ(reading->lux, 300);
    EXPECT_EQ(successor->readCount(), 1);

    // No platform source left at all: no reading, no crash.
    current.clear();
    successor.reset();
    EXPECT_FALSE(ambient.readAmbientLight());
    ambient.stop();
}
