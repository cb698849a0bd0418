#include "brightness/NativeBrightnessController.h"
#include "core/Logging.h"
#include "core/Preferences.h"
#include "platform/Platform.h"
#include "platform/simulated/SimulatedNativeBacklight.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

namespace {
using Lock = NativeBrightnessController::BrightnessLock;

struct BacklightRig {
    TestStore store;
    LogCapture log;
    SimulatedNativeBacklight* panel = nullptr;
    BacklightRig() {
        Platform::setInstance(Platform::makeSimulated());
        panel = Platform::instance().simulatedNativeBacklight();
        NativeBrightnessController::resetForTesting();
    }
    ~BacklightRig() { NativeBrightnessController::resetForTesting(); }
    std::optional<double> saved() {
        return Preferences::shared().preBrightnessKeyNativeBrightness();
    }
};
} // namespace

TEST(NativeBrightnessController, SetClampsAndLogs) {
    BacklightRig rig;
    NativeBrightnessController::set(1.7f);
    NativeBrightnessController::set(-0.2f);
    NativeBrightnessController::set(std::nanf(""));
    EXPECT_EQ(rig.panel->setCalls(), (std::vector<float>{1.0f, 0.0f, 1.0f}));
    EXPECT_TRUE(rig.log.contains("Native brightness set to 0.000"));
    EXPECT_EQ(NativeBrightnessController::getQuiet(), 1.0f);

    rig.panel->setSetStatus(7);
    rig.panel->setGetStatus(9);
    NativeBrightnessController::set(0.5f);
    EXPECT_TRUE(rig.log.contains("SetBrightness (logind, sysfs) failed: 7"));
    EXPECT_EQ(NativeBrightnessController::getQuiet(), std::nullopt);
    EXPECT_TRUE(rig.log.contains("sysfs brightness read failed: 9"));

    rig.panel->setAvailable(false);
    NativeBrightnessController::set(0.5f);
    EXPECT_EQ(NativeBrightnessController::getQuiet(), std::nullopt);
    // No backlight is how a desktop is, not a failure; a backlight that refuses is.
    EXPECT_TRUE(rig.log.contains("SetBrightness (logind, sysfs) not available", QtInfoMsg));
    EXPECT_TRUE(rig.log.contains("sysfs brightness read not available", QtInfoMsg));
    EXPECT_TRUE(rig.log.contains("SetBrightness (logind, sysfs) failed: 7", QtCriticalMsg));
}

TEST(NativeBrightnessController, FirstHolderSavesTheLevelAndTheLastPutsItBack) {
    BacklightRig rig;
    rig.panel->setLevelExternally(0.42f);
    NativeBrightnessController::acquireLock(Lock::overlayPin());
    NativeBrightnessController::acquireLock(Lock::keyInterceptor());
    EXPECT_NEAR(*rig.saved(), 0.42, 1e-6);
    EXPECT_FLOAT_EQ(rig.panel->level(), 1.0f);

    NativeBrightnessController::releaseLock(Lock::overlayPin());
    EXPECT_FLOAT_EQ(rig.panel->level(), 1.0f);
    EXPECT_TRUE(rig.saved());
    NativeBrightnessController::releaseLock(Lock::keyInterceptor());
    EXPECT_FLOAT_EQ(rig.panel->level(), 0.42f);
    EXPECT_FALSE(rig.saved());
    EXPECT_TRUE(NativeBrightnessController::lockHolders().isEmpty());

    // A level saved before a crash survives the next first acquire...
    rig.store.defaults().setDouble(PrefKey::preBrightnessKeyNativeBrightness, 0.3);
    rig.panel->setLevelExternally(1.0f); // still pinned from the crashed run
    NativeBrightnessController::acquireLock(Lock::keyInterceptor());
    EXPECT_NEAR(*rig.saved(), 0.3, 1e-9);
    NativeBrightnessController::resetForTesting();
    // ...and a release by a holder that never acquired puts it back.
    NativeBrightnessController::releaseLock(Lock::overlayPin());
    EXPECT_FLOAT_EQ(rig.panel->level(), 0.3f);
    EXPECT_FALSE(rig.saved());
}

TEST(NativeBrightnessController, WithoutAPanelHoldersCountButNothingIsSavedOrLost) {
    BacklightRig rig;
    rig.panel->setAvailable(false);
    NativeBrightnessController::acquireLock(Lock::overlayPin());
    EXPECT_EQ(NativeBrightnessController::lockHolders(), Lock::overlayPin());
    EXPECT_FALSE(rig.saved());
    NativeBrightnessController::releaseLock(Lock::overlayPin());
    EXPECT_FALSE(rig.log.contains("not available"));

    // A saved level that cannot be put back now is kept for later.
    rig.store.defaults().setDouble(PrefKey::preBrightnessKeyNativeBrightness, 0.6);
    NativeBrightnessController::releaseAllLocks();
    for (int frame = 0; frame < 60; ++frame) // pushes that want no pin release it
        NativeBrightnessController::releaseLock(Lock::overlayPin());
    EXPECT_TRUE(rig.saved());
    EXPECT_FALSE(rig.log.contains("not available"));
    rig.panel->setAvailable(true);
    rig.panel->setSetStatus(3);
    NativeBrightnessController::releaseAllLocks();
    EXPECT_TRUE(rig.saved());

    // At termination every holder goes at once and the level comes back.
    rig.panel->setSetStatus(0);
    NativeBrightnessController::acquireLock(Lock::overlayPin());
    NativeBrightnessController::acquireLock(Lock::keyInterceptor());
    NativeBrightnessController::releaseAllLocks();
    EXPECT_TRUE(NativeBrightnessController::lockHolders().isEmpty());
    EXPECT_FLOAT_EQ(rig.panel->level(), 0.6f);
    EXPECT_FALSE(rig.saved());
}

TEST(NativeBrightnessController, ReassertingThePinWritesOnlyAPanelThatDrifted) {
    BacklightRig rig;
    rig.panel->setLevelExternally(0.4f);
    NativeBrightnessController::acquireLock(Lock::overlayPin());
    NativeBrightnessController::acquireLock(Lock::overlayPin());
    NativeBrightnessController::acquireLock(Lock::keyInterceptor());
    EXPECT_EQ(rig.panel->setCalls(), std::vector<float>{1.0f});

    rig.panel->setLevelExternally(0.8f);
    NativeBrightnessController::acquireLock(Lock::overlayPin());
    EXPECT_EQ(rig.panel->setCalls(), (std::vector<float>{1.0f, 1.0f}));
    EXPECT_NEAR(*rig.saved(), 0.4, 1e-6); // the level saved first stays the one put back
}

TEST(NativeBrightnessController, TheUsersLevelIsOnDiskWhileThePanelIsPinned) {
    BacklightRig rig;
    rig.store.defaults().setBool(PrefKey::enabled, true); // a save just before: the next waits
    rig.panel->setLevelExternally(0.4f);
    ASSERT_TRUE(
        killedRightAfter([] { NativeBrightnessController::acquireLock(Lock::overlayPin()); }));
    const auto saved =
        UserDefaults(rig.store.path()).doubleValue(PrefKey::preBrightnessKeyNativeBrightness);
    ASSERT_TRUE(saved);
    EXPECT_NEAR(*saved, 0.4, 1e-6);
}
