#include "brightness/BrightnessKeyInterceptor.h"
#include "brightness/NativeBrightnessController.h"
#include "core/Logging.h"
#include "core/NotificationCenter.h"
#include "core/NotificationNames.h"
#include "core/Preferences.h"
#include "platform/Platform.h"
#include "platform/simulated/SimulatedMediaKeyTap.h"
#include "platform/simulated/SimulatedNativeBacklight.h"
#include "support/TestStore.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

namespace {
using Lock = NativeBrightnessController::BrightnessLock;

struct KeysRig {
    TestStore store;
    LogCapture log;
    SimulatedKeyboard* keyboard = nullptr;
    std::vector<ManualFrameTimer*> timers;
    std::unique_ptr<BrightnessKeyInterceptor> keys;
    std::vector<double> bursts;
    int announcements = 0;
    QObject observer;

    KeysRig() {
        Platform::setInstance(Platform::makeSimulated());
        keyboard = Platform::instance().simulatedKeyboard();
        NativeBrightnessController::resetForTesting();
        store.defaults().setBool(PrefKey::enabled, true);
        store.defaults().setBool(PrefKey::brightnessKeyInterception, true);
        keys = std::make_unique<BrightnessKeyInterceptor>([this] {
            auto t = std::make_unique<ManualFrameTimer>();
            timers.push_back(t.get());
            return t;
        });
        keys->noteExpectedBurst = [this](double s) { bursts.push_back(s); };
        NotificationCenter::defaultCenter().addObserver(
            &observer, NotificationName::brightnessKeyChanged,
            [this](const Notification&) { ++announcements; });
    }
    ~KeysRig() {
        NotificationCenter::defaultCenter().removeObserver(&observer);
        keys.reset();
        NativeBrightnessController::resetForTesting();
    }
    // Presses a key and lets the main thread take the step and finish its ramp.
    bool press(MediaKey key, ModifierFlags modifiers = 0) {
        const bool swallowed = keyboard->press(key, modifiers);
        QCoreApplication::processEvents();
        for (ManualFrameTimer* t : timers)
            t->fireUntilStopped();
        return swallowed;
    }
    bool pinned() const {
        return NativeBrightnessController::lockHolders().contains(Lock::keyInterceptor());
    }
};
} // namespace

TEST(BrightnessKeyInterceptor, KeysStepBrightnessOrWithShiftWarmthOnlyWhileTheTintIsOn) {
    KeysRig rig;
    rig.keys->start();
    ASSERT_TRUE(rig.keys->isActive());
    EXPECT_TRUE(rig.pinned());
    EXPECT_EQ(rig.keyboard->tapCount(), 1);

    EXPECT_TRUE(rig.press(MediaKey::brightnessDown));
    EXPECT_DOUBLE_EQ(Preferences::shared().brightness(), 0.9375);
    rig.press(MediaKey::brightnessDown, ModifierFlag::option); // Option alone: normal step
    EXPECT_DOUBLE_EQ(Preferences::shared().brightness(), 0.875);
    rig.press(MediaKey::brightnessUp, ModifierFlag::shift | ModifierFlag::option);
    EXPECT_DOUBLE_EQ(Preferences::shared().brightness(), 0.890625);
    rig.press(MediaKey::brightnessDown, ModifierFlag::shift | ModifierFlag::control);
    EXPECT_DOUBLE_EQ(Preferences::shared().temperature(), 3125);
    EXPECT_DOUBLE_EQ(Preferences::shared().brightness(), 0.890625);
    EXPECT_GT(rig.announcements, 0);

    // F14 and F15 are brightness keys too.
    rig.keyboard->press(uint32_t(0xFFCC));
    QCoreApplication::processEvents();
    for (ManualFrameTimer* t : rig.timers)
        t->fireUntilStopped();
    EXPECT_DOUBLE_EQ(Preferences::shared().brightness(), 0.9375);

    // Tint off: the key goes on to the session and nothing moves.
    rig.store.defaults().setBool(PrefKey::enabled, false);
    EXPECT_FALSE(rig.press(MediaKey::brightnessDown));
    EXPECT_DOUBLE_EQ(Preferences::shared().brightness(), 0.9375);

    rig.keys->stop();
    EXPECT_FALSE(rig.keys->isActive());
    EXPECT_FALSE(rig.pinned());
    EXPECT_FALSE(rig.keyboard->press(MediaKey::brightnessDown));
}

TEST(BrightnessKeyInterceptor, KeysHeldElsewhereAreWaitedForWithoutPinningTheBacklight) {
    KeysRig rig;
    rig.keyboard->setHeldElsewhere(true);
    rig.keys->start();
    rig.keys->start(); // one poll, not two
    EXPECT_FALSE(rig.keys->isActive());
    EXPECT_TRUE(rig.keys->pollingForPermission());
    EXPECT_FALSE(rig.pinned());
    EXPECT_EQ(rig.log.messages().filter(QStringLiteral("polling for grant")).size(), 1);

    rig.keys->permissionPollTick();
    EXPECT_FALSE(rig.keys->isActive());
    rig.keyboard->setHeldElsewhere(false);
    rig.keys->permissionPollTick();
    EXPECT_TRUE(rig.keys->isActive());
    EXPECT_TRUE(rig.pinned());
    EXPECT_TRUE(rig.log.contains("Accessibility granted via polling — starting event tap"));

    // Still held after 60 s of polling: the poll gives up.
    rig.keys->stop();
    rig.keyboard->setHeldElsewhere(true);
    rig.keys->start();
    for (int i = 0; i < 40; ++i)
        rig.keys->permissionPollTick();
    EXPECT_FALSE(rig.keys->pollingForPermission());
    EXPECT_TRUE(rig.log.contains("Accessibility poll timed out after 60s"));
}

TEST(BrightnessKeyInterceptor, ATapThatCannotStartIsNotActiveAndLetsTheBacklightGo) {
    KeysRig rig;
    rig.keyboard->setRefuseTaps(true); // the trial grab passes, the real one is refused
    rig.keys->start();
    EXPECT_FALSE(rig.keys->isActive());
    EXPECT_FALSE(rig.pinned());
    EXPECT_TRUE(rig.keys->pollingForPermission());
    EXPECT_TRUE(rig.log.contains("Brightness key tap could not start"));

    rig.keyboard->setRefuseTaps(false);
    rig.keys->permissionPollTick();
    EXPECT_TRUE(rig.keys->isActive());
    EXPECT_TRUE(rig.pinned());
}

TEST(BrightnessKeyInterceptor, HealthCheckRevivesADeadTapAndLogsItOncePerDeath) {
    KeysRig rig;
    rig.keys->start();
    rig.keyboard->disableTaps();
    rig.keyboard->setRefuseTaps(true); // stays dead
    rig.keys->checkTapHealth();
    rig.keys->checkTapHealth();
    rig.keys->checkTapHealth();
    EXPECT_EQ(rig.log.messages().filter(QStringLiteral("tap is dead")).size(), 1);
    EXPECT_EQ(rig.bursts.size(), 3u);
    EXPECT_TRUE(rig.keys->isActive());

    rig.keyboard->setRefuseTaps(false);
    rig.keys->checkTapHealth();
    EXPECT_TRUE(rig.keys->mediaKeyTap()->isTapEnabled());
    rig.keys->checkTapHealth();
    rig.keyboard->disableTaps();
    rig.keys->checkTapHealth();
    EXPECT_EQ(rig.log.messages().filter(QStringLiteral("tap is dead")).size(), 2);

    // The backend took the keys back by itself: grace, pin and re-application.
    rig.bursts.clear();
    rig.announcements = 0;
    rig.keyboard->disableAndRecoverTaps(EventTapRecovery::disabledByMappingChange);
    QCoreApplication::processEvents();
    EXPECT_EQ(rig.bursts, std::vector<double>{10});
    EXPECT_EQ(rig.announcements, 1);
    EXPECT_TRUE(rig.log.contains(
        "Brightness key tap disabled by keyboard mapping change — re-enabled", QtInfoMsg));
}

TEST(BrightnessKeyInterceptor, KeysTakenAwayStopInterceptionAfterThreeChecksAndComeBack) {
    KeysRig rig;
    rig.keys->start();
    rig.keyboard->disableTaps();
    rig.keyboard->setHeldElsewhere(true);
    rig.keys->checkTapHealth();
    rig.keys->checkTapHealth();
    EXPECT_TRUE(rig.keys->isActive());
    EXPECT_EQ(rig.keys->axFailureStreak(), 2);
    rig.keys->checkTapHealth();
    EXPECT_FALSE(rig.keys->isActive());
    EXPECT_FALSE(rig.pinned());
    EXPECT_TRUE(rig.keys->recheckArmed());

    rig.keys->accessibilityRecheckTick(); // still held
    EXPECT_TRUE(rig.keys->recheckArmed());
    rig.keyboard->setHeldElsewhere(false);
    rig.keys->accessibilityRecheckTick();
    EXPECT_TRUE(rig.keys->isActive());
    EXPECT_FALSE(rig.keys->recheckArmed());

    // With the setting off, the re-arm check goes away on its next tick.
    rig.keyboard->disableTaps();
    rig.keyboard->setHeldElsewhere(true);
    for (int i = 0; i < 3; ++i)
        rig.keys->checkTapHealth();
    ASSERT_TRUE(rig.keys->recheckArmed());
    rig.store.defaults().setBool(PrefKey::brightnessKeyInterception, false);
    rig.keys->accessibilityRecheckTick();
    EXPECT_FALSE(rig.keys->recheckArmed());
}
