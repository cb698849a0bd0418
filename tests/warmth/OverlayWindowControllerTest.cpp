#include "OverlayTestRig.h"
#include "core/NotificationNames.h"

#include "core/NotificationCenter.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {
const DisplayTint kWarm = ColorTemperature::blendedTint(3400.0, 4.0);
}

TEST(GammaWriter, BuildsStraightRampsScaledByBrightnessAndNeverBlack) {
    OverlayRig rig;
    rig.gamma->addDisplay(10);
    rig.gamma->addDisplay(11, false, 1024);

    rig.engine->applyGamma(6500.0, 4.0, 0.5);
    for (DisplayId id : {10u, 11u}) {
        auto* d = rig.gamma->display(id);
        EXPECT_FLOAT_EQ(OverlayRig::top(d->red), 0.5f);
        EXPECT_EQ(d->red, d->green);
        EXPECT_EQ(d->red, d->blue);
        EXPECT_NEAR(d->red[d->tableSize / 2], 0.25f, 0.001f);
    }
    EXPECT_EQ(rig.engine->lastPushedTableMax(), (std::array<float, 3>{0.5f, 0.5f, 0.5f}));

    // Intensity 0 is identity whatever the kelvin; a near-identity push cannot be judged.
    rig.engine->applyGamma(1800.0, 0.0, 1.0);
    EXPECT_TRUE(rig.isIdentity(10));
    EXPECT_EQ(rig.engine->gammaReadBackClobbered(), std::nullopt);

    // A brightness of 0 (keys, a routed level, a hand-edited file) dims to the floor
    // instead of blacking out every screen; the stored value is not touched.
    rig.defaults().setDouble(PrefKey::brightness, 0.0);
    rig.engine->applyGamma(6500.0, 4.0, 0.0);
    EXPECT_FLOAT_EQ(OverlayRig::top(rig.gamma->display(10)->red), 0.1f);
    EXPECT_EQ(rig.defaults().doubleValue(PrefKey::brightness), 0.0);
    rig.engine->applyGamma(6500.0, 4.0, -3.0);
    EXPECT_FLOAT_EQ(OverlayRig::top(rig.gamma->display(10)->red), 0.1f);
    rig.engine->applyGamma(3400.0, 4.0, std::nan(""));
    EXPECT_FLOAT_EQ(OverlayRig::top(rig.gamma->display(10)->red), 1.0f);

    // The warm push records the blended tint (before brightness).
    rig.engine->applyGamma(3400.0, 4.0, 0.7);
    EXPECT_EQ(DisplayedWarmth::recorded(), kWarm);
    EXPECT_FLOAT_EQ(OverlayRig::top(rig.gamma->display(10)->green), float(0.7 * kWarm.g));
}

TEST(GammaWriter, CachesOnlyARealDisplayListAndCapsItAtSixteen) {
    OverlayRig rig;
    // A failed query is not cached, nothing counts as pushed and nothing is recorded.
    rig.gamma->setQueryFails(true);
    rig.engine->applyGamma(3400.0, 4.0, 1.0);
    rig.engine->applyGamma(3400.0, 4.0, 1.0);
    EXPECT_EQ(rig.gamma->queryCount(), 2);
    EXPECT_FALSE(rig.engine->cachedDisplays());
    EXPECT_FALSE(rig.engine->lastPushedTableMax());
    EXPECT_FALSE(DisplayedWarmth::recorded());

    // An empty answer is not cached either.
    rig.gamma->setQueryFails(false);
    rig.engine->applyGamma(3400.0, 4.0, 1.0);
    EXPECT_EQ(rig.gamma->queryCount(), 3);
    EXPECT_FALSE(rig.engine->cachedDisplays());

    for (DisplayId id = 100; id < 117; ++id)
        rig.gamma->addDisplay(id);
    rig.engine->applyGamma(3400.0, 4.0, 1.0);
    rig.engine->applyGamma(3000.0, 4.0, 1.0);
    EXPECT_EQ(rig.gamma->queryCount(), 4); // the second push used the cache
    ASSERT_TRUE(rig.engine->cachedDisplays());
    EXPECT_EQ(rig.engine->cachedDisplays()->size(), 16u);
    EXPECT_EQ(rig.gamma->display(115)->loads, 2);
    EXPECT_EQ(rig.gamma->display(116)->loads, 0);

    // A display that comes online is only tinted once the cache is dropped.
    rig.gamma->addDisplay(5);
    rig.gamma->removeDisplay(115);
    rig.gamma->removeDisplay(116);
    rig.engine->applyGamma(3400.0, 4.0, 1.0);
    EXPECT_EQ(rig.gamma->display(5)->loads, 0);
    rig.engine->screenParametersChanged(); // the tint is off: only the cache goes
    EXPECT_FALSE(rig.engine->cachedDisplays());
    EXPECT_EQ(rig.gamma->display(5)->loads, 0);
    rig.engine->applyGamma(3400.0, 4.0, 1.0);
    EXPECT_EQ(rig.gamma->display(5)->loads, 1);
}

TEST(GammaWriter, RefusedDisplaysAreLoggedAndATotalFailureChangesNothing) {
    OverlayRig rig;
    rig.gamma->addDisplay(1).refuseStatus = 1001;
    rig.gamma->addDisplay(2);
    rig.engine->applyGamma(3400.0, 4.0, 1.0);
    EXPECT_TRUE(rig.log.contains(
        "SimulatedDisplayGamma::setTransferTables failed for display 1: error 1001"));
    EXPECT_EQ(rig.gamma->display(2)->loads, 1);
    EXPECT_EQ(DisplayedWarmth::recorded(), kWarm);
    const auto pushed = rig.engine->lastPushedTableMax();

    rig.gamma->display(2)->refuseStatus = 1000;
    rig.engine->applyGamma(2000.0, 4.0, 0.5);
    EXPECT_EQ(DisplayedWarmth::recorded(), kWarm);
    EXPECT_EQ(rig.engine->lastPushedTableMax(), pushed);

    rig.engine->resetGammaToIdentity(2);
    EXPECT_TRUE(rig.log.contains(
        "SimulatedDisplayGamma::setTransferTables (identity) failed for display 2: error 1000"));
    EXPECT_EQ(rig.engine->lastPushedTableMax(), pushed);
}

TEST(GammaWriter, CaptureSuspensionRefusesPushesUntilResumed) {
    OverlayRig rig;
    rig.gamma->addDisplay(1, /*builtin=*/true);
    rig.enable();
    rig.defaults().setBool(PrefKey::flickerFree, true);
    rig.backlight->setLevelExternally(0.4f);
    std::vector<bool> states;
    QObject context;
    NotificationCenter::defaultCenter().addObserver(
        &context, NotificationName::screenCaptureStateChanged,
        [&](const Notification& n) { states.push_back(n.userInfo.value("active").toBool()); });

    rig.engine->updateOverlays();
    ASSERT_EQ(NativeBrightnessController::lockHolders(),
              NativeBrightnessController::BrightnessLock::overlayPin());
    EXPECT_FLOAT_EQ(rig.backlight->level(), 1.0f);

    rig.engine->suspendGammaForCapture();
    EXPECT_TRUE(rig.isIdentity(1));
    EXPECT_FALSE(rig.engine->lastPushedTableMax());
    EXPECT_EQ(DisplayedWarmth::recorded(), DisplayTint::identity());
    EXPECT_TRUE(NativeBrightnessController::lockHolders().isEmpty());
    EXPECT_FLOAT_EQ(rig.backlight->level(), 0.4f); // the user's level is back

    const int loads = rig.gamma->display(1)->loads;
    rig.engine->applyGamma(2000.0, 4.0, 1.0);
    rig.engine->updateOverlays();
    EXPECT_EQ(rig.gamma->display(1)->loads, loads);
    EXPECT_FALSE(rig.engine->lastPushedTableMax());
    EXPECT_EQ(DisplayedWarmth::recorded(), DisplayTint::identity());
    EXPECT_TRUE(rig.edrTimer().isActive()); // the guards still start

    rig.engine->resumeGammaAfterCapture();
    EXPECT_EQ(rig.gamma->display(1)->loads, loads + 1);
    EXPECT_EQ(DisplayedWarmth::recorded(), kWarm);
    EXPECT_EQ(states, (std::vector<bool>{true, false}));
}

TEST(GammaWriter, WakeVerificationBacksOffAndGivesUp) {
    OverlayRig rig;
    rig.gamma->addDisplay(1);
    rig.enable(3400.0, 4.0, 0.6);
    rig.engine->updateOverlays();
    const auto bright = SimulatedDisplayGamma::identityTable(256);

    rig.engine->verifyGammaAfterWake(0);
    std::vector<double> delays;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(rig.verifyTimer().isActive());
        delays.push_back(rig.verifyTimer().interval());
        rig.gamma->overwriteTables(1, bright, bright, bright); // the system clobbers it again
        const int loads = rig.gamma->display(1)->loads;
        rig.verifyTimer().fire();
        EXPECT_EQ(rig.gamma->display(1)->loads, loads + 1);
        EXPECT_TRUE(rig.log.contains(QString::asprintf(
            "wake gamma verify: table clobbered after reassert — re-pushing (attempt %d)", i + 1)));
    }
    EXPECT_EQ(delays, (std::vector<double>{0.5, 1.0, 2.0}));
    EXPECT_FALSE(rig.verifyTimer().isActive());
    EXPECT_TRUE(
        rig.log.contains("wake gamma verify: retries exhausted — leaving state to the watchdog"));

    // A table that holds ends the verification at the first check.
    rig.engine->verifyGammaAfterWake(0);
    const int loads = rig.gamma->display(1)->loads;
    rig.verifyTimer().fire();
    EXPECT_FALSE(rig.verifyTimer().isActive());
    EXPECT_EQ(rig.gamma->display(1)->loads, loads);

    // A failed read-back is inconclusive and ends it too.
    rig.engine->verifyGammaAfterWake(0);
    rig.gamma->overwriteTables(1, bright, bright, bright);
    rig.gamma->setReadBackStatus(1000);
    EXPECT_EQ(rig.engine->gammaReadBackClobbered(), std::nullopt);
    rig.verifyTimer().fire();
    EXPECT_FALSE(rig.verifyTimer().isActive());
}

TEST(GammaWriter, NothingToVerifyWhenNoDisplayEverTookAPush) {
    OverlayRig empty;
    empty.enable();
    empty.engine->updateOverlays();
    EXPECT_EQ(empty.engine->gammaReadBackClobbered(), std::nullopt);
}

TEST(GammaWriter, ScreenReconfigurationReappliesOnlyWhenOnAndNotDuringTheUpdater) {
    OverlayRig rig;
    rig.gamma->addDisplay(1);
    rig.engine->applyGamma(3400.0, 4.0, 1.0);
    rig.enable();
    rig.engine->setUpdaterUIActive(true);
    rig.gamma->simulateReconfiguration({true, false, false}); // through the notification
    EXPECT_FALSE(rig.engine->cachedDisplays());
    EXPECT_TRUE(rig.log.contains("Display reconfig during updater UI — reapply suppressed"));
    EXPECT_EQ(rig.gamma->display(1)->loads, 1);

    rig.engine->setUpdaterUIActive(false);
    rig.gamma->addDisplay(2);
    rig.gamma->simulateReconfiguration({true, false, false});
    EXPECT_TRUE(
        rig.log.contains("Display reconfig detected — reasserting gamma immediately (D3-F2)"));
    EXPECT_EQ(rig.gamma->display(2)->loads, 1);
}

TEST(OverlayReapplication, AsksNightShiftTrueToneAndKeyboardOncePerChange) {
    OverlayRig rig;
    rig.gamma->addDisplay(1);
    std::vector<std::string> calls;
    OverlayHooks hooks;
    hooks.disableNightShift = [&] { calls.push_back("disableNightShift"); };
    hooks.restoreNightShift = [&] { calls.push_back("restoreNightShift"); };
    hooks.suppressTrueTone = [&] { calls.push_back("suppressTrueTone"); };
    hooks.restoreTrueTone = [&] { calls.push_back("restoreTrueTone"); };
    hooks.writeKeyboardBrightness = [&](float b) {
        calls.push_back("keyboard " + std::to_string(int(b * 100)));
    };
    hooks.startCaptureMonitor = [&] { calls.push_back("captureStart"); };
    hooks.stopCaptureMonitor = [&] { calls.push_back("captureStop"); };
    rig.engine->setHooks(hooks);
    rig.enable(3400.0, 3.0, 0.5);
    rig.defaults().setBool(PrefKey::autoDisableNightShift, true);
    rig.defaults().setBool(PrefKey::manageTrueTone, true);
    rig.defaults().setBool(PrefKey::keyboardBrightnessSync, true);

    rig.engine->updateOverlays();
    EXPECT_EQ(calls, std::vector<std::string>{"captureStart"}); // the rest runs after the call
    rig.drain();
    EXPECT_EQ(calls, (std::vector<std::string>{"captureStart", "disableNightShift",
                                               "restoreTrueTone", "keyboard 50"}));

    calls.clear();
    rig.engine->updateOverlays();
    rig.defaults().setDouble(PrefKey::intensity, 3.01);
    rig.engine->updateOverlays();
    rig.engine->updateOverlays();
    rig.defaults().setDouble(PrefKey::intensity, 3.0);
    rig.engine->updateOverlays();
    rig.drain();
    EXPECT_EQ(calls,
              (std::vector<std::string>{"captureStart", "captureStart", "captureStart",
                                        "captureStart", "suppressTrueTone", "restoreTrueTone"}));

    // A brightness ramp that ends where it began asks the keyboard nothing new.
    calls.clear();
    rig.defaults().setDouble(PrefKey::brightness, 0.5);
    rig.engine->updateOverlays();
    rig.drain();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "keyboard 50"), 0);

    // Dropping Night Shift management while on leaves Night Shift alone...
    calls.clear();
    rig.defaults().setBool(PrefKey::autoDisableNightShift, false);
    rig.engine->updateOverlays();
    rig.drain();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "restoreNightShift"), 0);
    // ...while switching the tint off undoes everything, once.
    rig.defaults().setBool(PrefKey::autoDisableNightShift, true);
    rig.defaults().setDouble(PrefKey::intensity, 4.0);
    rig.engine->updateOverlays();
    rig.drain();
    calls.clear();
    rig.defaults().setBool(PrefKey::enabled, false);
    rig.engine->updateOverlays();
    rig.engine->updateOverlays();
    rig.drain();
    EXPECT_EQ(calls, (std::vector<std::string>{"captureStop", "restoreNightShift",
                                               "restoreTrueTone", "keyboard 100"}));
    EXPECT_TRUE(rig.isIdentity(1));
    EXPECT_FALSE(rig.edrTimer().isActive());
    EXPECT_EQ(DisplayedWarmth::recorded(), DisplayTint::identity());
}

TEST(OverlayReapplication, UpdateColorPushesAtTheStoredBrightnessWithoutGuards) {
    OverlayRig rig;
    rig.gamma->addDisplay(1);
    rig.enable(6500.0, 4.0, 0.8);
    rig.engine->updateColor(2000.0, 4.0);
    const DisplayTint tint = ColorTemperature::blendedTint(2000.0, 4.0);
    EXPECT_FLOAT_EQ(OverlayRig::top(rig.gamma->display(1)->green), float(0.8 * tint.g));
    EXPECT_FALSE(rig.edrTimer().isActive());
    EXPECT_FALSE(rig.pinTimer().isActive());
}

TEST(OverlayReapplication, OnboardingSessionEndsAtTheBackstop) {
    OverlayRig rig;
    rig.gamma->addDisplay(1);
    rig.enable();
    rig.engine->beginOnboardingSession();
    EXPECT_TRUE(rig.engine->onboardingActive());
    EXPECT_DOUBLE_EQ(rig.backstopTimer().interval(), 600.0);
    rig.backstopTimer().fire();
    EXPECT_FALSE(rig.engine->onboardingActive());
    EXPECT_TRUE(
        rig.log.contains("onboarding session backstop hit — force-releasing EDR-watchdog pause"));
    EXPECT_EQ(rig.gamma->display(1)->loads, 1);
    rig.engine->endOnboardingSession(); // already ended: nothing more
    EXPECT_EQ(rig.gamma->display(1)->loads, 1);
}
