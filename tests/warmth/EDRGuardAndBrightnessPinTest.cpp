#include "OverlayTestRig.h"
#include "core/NotificationNames.h"

#include "core/NotificationCenter.h"

#include <gtest/gtest.h>

using Lock = NativeBrightnessController::BrightnessLock;
using Action = TouchBrightnessRouter::Action;

TEST(EDRDisplayGuardState, RisesPastTheMarginAndSettlesBelowTheRestoreMargin) {
    EDRDisplayGuardState g;
    g.reconcile({{1, 1.0}, {2, 0.4}});
    EXPECT_TRUE(
        g.newlyElevated({{1, 1.5}, {2, 0.95}}).empty()); // 1.5 is not above 1.5; 0.95 <= 1.0
    EXPECT_EQ(g.newlyElevated({{1, 1.51}, {2, 0.95}}), std::vector<DisplayId>{1});
    EXPECT_EQ(g.newlyElevated({{3, 9.0}}), std::vector<DisplayId>{}); // unknown: its own baseline

    g.suspendedDisplays.insert(1);
    EXPECT_FALSE(g.isSettled(1, 1.16));
    EXPECT_TRUE(g.isSettled(1, 1.15));
    EXPECT_TRUE(g.newlyElevated({{1, 3.0}}).empty()); // already held

    // Held displays keep their baseline; empty readings change nothing.
    g.rebaseline({{1, 3.0}, {2, 0.6}});
    EXPECT_EQ(g.baselines[1], 1.0);
    EXPECT_EQ(g.baselines[2], 0.6);
    g.reconcile({});
    g.rebaseline({});
    EXPECT_EQ(g.baselines.size(), 2u);

    // Unplugged while held: forgotten, and not held when it returns.
    g.reconcile({{2, 0.6}});
    EXPECT_FALSE(g.baselines.contains(1));
    EXPECT_FALSE(g.suspendedDisplays.contains(1));
    g.reconcile({{1, 2.0}, {2, 0.6}});
    EXPECT_EQ(g.baselines[1], 2.0);

    // Reseed releases everything, even on an empty reading.
    g.suspendedDisplays = {1, 2};
    g.reseed({});
    EXPECT_TRUE(g.suspendedDisplays.empty());
    g.reseed({{2, 1.7}});
    EXPECT_EQ(g.baselines[2], 1.7);
    EXPECT_EQ(g.baselines[1], 2.0);
}

TEST(EDRGuard, NoWatchdogWhereHeadroomCannotChange) {
    OverlayRig rig;
    rig.edr->setFixed(true);
    rig.enable();
    rig.engine->updateOverlays();
    EXPECT_FALSE(rig.edrTimer().isActive());
}

TEST(EDRGuard, HoldsAnElevatedDisplayAtIdentityAndRestoresItWhenSettled) {
    OverlayRig rig;
    rig.gamma->addDisplay(1);
    rig.gamma->addDisplay(2);
    rig.enable();
    rig.engine->updateOverlays();
    ASSERT_TRUE(rig.edrTimer().isActive());
    EXPECT_DOUBLE_EQ(rig.edrTimer().interval(), 0.4);

    rig.edr->setHeadroom(2, 1.6);
    rig.edrTimer().fire();
    EXPECT_TRUE(rig.log.contains("EDR watchdog: display 2 headroom rose to 1.60 (baseline 1.00) — "
                                 "suspending LUT for that display"));
    EXPECT_TRUE(rig.isIdentity(2));
    EXPECT_FALSE(rig.isIdentity(1));

    // Pushes skip the held display; the other keeps its warmth.
    rig.defaults().setDouble(PrefKey::temperature, 2500.0);
    rig.engine->updateOverlays();
    EXPECT_TRUE(rig.isIdentity(2));
    EXPECT_FLOAT_EQ(OverlayRig::top(rig.gamma->display(1)->green),
                    float(ColorTemperature::blendedTint(2500.0, 4.0).g));

    rig.edr->setHeadroom(2, 1.16);
    rig.edrTimer().fire();
    EXPECT_TRUE(rig.isIdentity(2));
    rig.edr->setHeadroom(2, 1.15);
    rig.edrTimer().fire();
    EXPECT_TRUE(rig.log.contains(
        "EDR watchdog: display 2 headroom settled to 1.15 (baseline 1.00) — restoring warmth"));
    EXPECT_FALSE(rig.isIdentity(2));
}

TEST(EDRGuard, WhenTheOnlyDisplayIsHeldAPushChangesNothing) {
    OverlayRig solo;
    solo.gamma->addDisplay(7);
    solo.enable();
    solo.engine->updateOverlays();
    const auto pushed = solo.engine->lastPushedTableMax();
    solo.edr->setHeadroom(7, 2.0);
    solo.defaults().setDouble(PrefKey::temperature, 2000.0);
    solo.engine->updateOverlays();
    EXPECT_TRUE(solo.log.contains("EDR elevated on apply for display 7 (headroom 2.00, baseline "
                                  "1.00) — holding that display at identity to prevent white-out"));
    EXPECT_TRUE(solo.isIdentity(7));
    EXPECT_EQ(solo.engine->lastPushedTableMax(), pushed);
    EXPECT_EQ(DisplayedWarmth::recorded(), ColorTemperature::blendedTint(3400.0, 4.0));
    solo.engine->applyGamma(2000.0, 4.0, 1.0); // a direct push skips it too
    EXPECT_TRUE(solo.isIdentity(7));
    EXPECT_EQ(solo.engine->lastPushedTableMax(), pushed);

    // The tint switched off: the next tick stops the watchdog.
    solo.defaults().setBool(PrefKey::enabled, false);
    solo.edrTimer().fire();
    EXPECT_FALSE(solo.edrTimer().isActive());
}

TEST(EDRGuard, OnboardingKeepsWarmthOnARaisedDisplay) {
    OverlayRig rig;
    rig.gamma->addDisplay(1);
    rig.enable();
    rig.engine->updateOverlays();

    rig.engine->beginOnboardingSession();
    rig.edr->setHeadroom(1, 2.0);
    rig.edrTimer().fire();
    rig.edrTimer().fire();
    EXPECT_EQ(rig.log.messages()
                  .filter("EDR watchdog: display 1 headroom rose to 2.00 during onboarding — "
                          "suspend suppressed")
                  .size(),
              2);
    EXPECT_FALSE(rig.isIdentity(1));
    rig.engine->endOnboardingSession(); // its push now holds the display
    EXPECT_TRUE(rig.isIdentity(1));
}

TEST(EDRGuard, DuringTheSweepARaisedDisplayStillGetsThePush) {
    OverlayRig sweep;
    sweep.gamma->addDisplay(1);
    sweep.enable();
    sweep.engine->updateOverlays();
    sweep.engine->beginWowSweep();
    EXPECT_FALSE(sweep.edrTimer().isActive());
    sweep.edr->setHeadroom(1, 2.0);
    sweep.engine->updateOverlays();
    EXPECT_FALSE(sweep.isIdentity(1));
    EXPECT_FALSE(sweep.edrTimer().isActive()); // refuses to start during the sweep
    sweep.engine->endWowSweep();               // reseeds: the raised level is the new baseline
    EXPECT_FALSE(sweep.isIdentity(1));
    EXPECT_TRUE(sweep.edrTimer().isActive());
}

TEST(TouchBrightnessRouter, RepinsInsideTheSettleWindowAndRoutesAStableUserLevel) {
    TouchBrightnessRouter r;
    EXPECT_EQ(r.evaluate(0.5f, 0), Action::pending()); // never pinned: the distant past
    r.notePinned(10'000);
    EXPECT_EQ(r.evaluate(0.99f, 10'100), Action::idle());
    EXPECT_EQ(r.evaluate(0.989f, 10'200), Action::repin());
    EXPECT_EQ(r.evaluate(0.6f, 11'499), Action::repin());
    EXPECT_EQ(r.evaluate(0.6f, 11'500), Action::pending());
    EXPECT_EQ(r.evaluate(0.61f, 12'000), Action::route(0.61f));
    EXPECT_EQ(r.stableTicks, 0);

    r.notePinned(20'000);
    EXPECT_EQ(r.evaluate(0.6f, 30'000), Action::pending());
    EXPECT_EQ(r.evaluate(0.65f, 30'500), Action::pending());
    EXPECT_EQ(r.evaluate(0.66f, 31'000), Action::route(0.66f));
}

TEST(BrightnessPin, PinsTheBuiltInPanelRoutesUserChangesAndLetsGo) {
    OverlayRig rig;
    rig.gamma->addDisplay(1, /*builtin=*/true);
    rig.gamma->addDisplay(2);
    rig.backlight->setLevelExternally(0.45f);
    rig.enable(3400.0, 4.0, 0.8);
    rig.defaults().setBool(PrefKey::flickerFree, true);
    int posts = 0;
    QObject context;
    NotificationCenter::defaultCenter().addObserver(
        &context, NotificationName::brightnessKeyChanged, [&](const Notification&) { ++posts; });

    rig.engine->updateOverlays();
    EXPECT_EQ(NativeBrightnessController::lockHolders(), Lock::overlayPin());
    EXPECT_EQ(Preferences::shared().preBrightnessKeyNativeBrightness(), 0.45f);
    EXPECT_FLOAT_EQ(rig.backlight->level(), 1.0f);
    ASSERT_TRUE(rig.pinTimer().isActive());
    EXPECT_DOUBLE_EQ(rig.pinTimer().interval(), 0.5);

    // The system undoes the pin right after it: re-pinned.
    rig.backlight->setLevelExternally(0.7f);
    rig.clock.advanceSeconds(0.5);
    rig.pinTimer().fire();
    EXPECT_TRUE(
        rig.log.contains("Brightness drift 0.700 within settle window — re-pinning to max"));
    EXPECT_FLOAT_EQ(rig.backlight->level(), 1.0f);

    // The user's own change, stable over two ticks after the window: it becomes gamma dimming.
    rig.clock.advanceSeconds(2.0);
    rig.backlight->setLevelExternally(0.6f);
    rig.pinTimer().fire();
    EXPECT_EQ(posts, 0);
    rig.clock.advanceSeconds(0.5);
    rig.pinTimer().fire();
    EXPECT_TRUE(
        rig.log.contains("Desktop brightness slider 0.60 — routing to Halcyra gamma dimming"));
    EXPECT_NEAR(*rig.defaults().doubleValue(PrefKey::brightness), 0.6, 1e-6);
    EXPECT_EQ(posts, 1);
    EXPECT_FLOAT_EQ(rig.backlight->level(), 1.0f); // the push re-pinned
    EXPECT_FLOAT_EQ(OverlayRig::top(rig.gamma->display(2)->red), 0.6f);

    // A level within 0.01 of the stored one is only re-pinned.
    rig.backlight->setLevelExternally(0.605f);
    rig.engine->routeToGammaDimming(0.605f);
    EXPECT_EQ(posts, 1);
    EXPECT_FLOAT_EQ(rig.backlight->level(), 1.0f);
    // A very low routed level is stored as it is; the tables still keep the floor.
    rig.engine->routeToGammaDimming(0.05f);
    EXPECT_NEAR(*rig.defaults().doubleValue(PrefKey::brightness), 0.05, 1e-6);
    EXPECT_FLOAT_EQ(OverlayRig::top(rig.gamma->display(2)->red), 0.1f);

    // The built-in panel held for EDR gives the backlight back even in flicker-free mode.
    rig.edr->setHeadroom(1, 2.0);
    rig.engine->updateOverlays();
    EXPECT_TRUE(NativeBrightnessController::lockHolders().isEmpty());
    EXPECT_FLOAT_EQ(rig.backlight->level(), 0.45f);
    EXPECT_FALSE(rig.pinTimer().isActive());
    EXPECT_FALSE(Preferences::shared().preBrightnessKeyNativeBrightness());

    // An external display held for EDR does not.
    rig.edr->clearHeadrooms();
    rig.engine->edrGuard().reseed(rig.engine->currentEDRHeadroomsByDisplay());
    rig.engine->updateOverlays();
    EXPECT_EQ(NativeBrightnessController::lockHolders(), Lock::overlayPin());
    rig.edr->setHeadroom(2, 2.0);
    rig.engine->updateOverlays();
    EXPECT_TRUE(rig.isIdentity(2));
    EXPECT_EQ(NativeBrightnessController::lockHolders(), Lock::overlayPin());
}

TEST(BrightnessPin, NothingToPinWithoutABuiltInDisplay) {
    OverlayRig rig;
    rig.gamma->addDisplay(2); // an external monitor only
    rig.backlight->setLevelExternally(0.3f);
    rig.enable();
    rig.defaults().setBool(PrefKey::flickerFree, true);
    rig.engine->updateOverlays();
    EXPECT_TRUE(NativeBrightnessController::lockHolders().isEmpty());
    EXPECT_FALSE(rig.pinTimer().isActive());
    EXPECT_FLOAT_EQ(rig.backlight->level(), 0.3f);
    EXPECT_TRUE(rig.backlight->setCalls().empty());
}

TEST(BrightnessPin, NothingToPinWithoutAPanelBacklight) {
    OverlayRig desktop;
    desktop.gamma->addDisplay(1, /*builtin=*/true);
    desktop.backlight->setAvailable(false);
    desktop.enable();
    desktop.defaults().setBool(PrefKey::flickerFree, true);
    desktop.engine->updateOverlays();
    desktop.engine->forceBrightnessLock();
    EXPECT_TRUE(NativeBrightnessController::lockHolders().isEmpty());
    EXPECT_FALSE(desktop.log.contains("not available"));
}

TEST(BrightnessPin, ForceLockOnlyInFlickerFreeModeWithOneRetry) {
    OverlayRig rig;
    rig.gamma->addDisplay(1, /*builtin=*/true);
    rig.enable();
    rig.backlight->setLevelExternally(0.5f);
    NativeBrightnessController::acquireLock(Lock::keyInterceptor());
    rig.backlight->setLevelExternally(0.5f);
    rig.backlight->clearSetCalls();
    rig.engine->forceBrightnessLock();
    EXPECT_TRUE(rig.backlight->setCalls().empty());
    EXPECT_FALSE(rig.forceLockTimer().isActive());

    rig.defaults().setBool(PrefKey::flickerFree, true);
    rig.engine->forceBrightnessLock();
    EXPECT_EQ(rig.backlight->setCalls(), std::vector<float>{1.0f});
    EXPECT_DOUBLE_EQ(rig.forceLockTimer().interval(), 0.2);
    rig.backlight->setLevelExternally(0.9f);
    rig.forceLockTimer().fire();
    EXPECT_TRUE(rig.log.contains(
        "forceBrightnessLock: read-back 0.90 < 0.99 — retrying (PWM flicker threshold)"));
    EXPECT_EQ(rig.backlight->setCalls(), (std::vector<float>{1.0f, 1.0f}));
    EXPECT_FALSE(rig.forceLockTimer().isActive()); // no further retries
    // It opened a settle window: a drift now is re-pinned, not routed.
    rig.backlight->setLevelExternally(0.5f);
    rig.engine->brightnessPinMonitorTick();
    EXPECT_FLOAT_EQ(rig.backlight->level(), 1.0f);
}

TEST(BrightnessPin, ARampFrameNeitherQueriesDisplaysNorRewritesAPinnedPanel) {
    OverlayRig rig;
    rig.gamma->addDisplay(1, /*builtin=*/true);
    rig.edr->setFixed(true); // a real session: no headroom source
    rig.enable();
    rig.defaults().setBool(PrefKey::flickerFree, true);
    rig.backlight->setLevelExternally(0.5f);
    rig.engine->updateOverlays();
    EXPECT_EQ(rig.backlight->setCalls(), std::vector<float>{1.0f});

    rig.backlight->clearSetCalls();
    rig.log.clear();
    const int queries = rig.gamma->queryCount();
    for (int frame = 0; frame < 60; ++frame) {
        rig.defaults().setDouble(PrefKey::brightness, 1.0 - 0.5 * frame / 59.0);
        rig.engine->updateOverlays();
    }
    EXPECT_EQ(rig.gamma->queryCount(), queries);
    EXPECT_TRUE(rig.backlight->setCalls().empty());
    EXPECT_FALSE(rig.log.contains("Native brightness set to"));
    EXPECT_FLOAT_EQ(OverlayRig::top(rig.gamma->display(1)->red), 0.5f);

    // A panel moved away from full is still put back by the next push.
    rig.backlight->setLevelExternally(0.7f);
    rig.engine->updateOverlays();
    EXPECT_EQ(rig.backlight->setCalls(), std::vector<float>{1.0f});
    EXPECT_TRUE(rig.log.contains("Native brightness set to 1.000"));
    EXPECT_EQ(NativeBrightnessController::lockHolders(), Lock::overlayPin());
}
