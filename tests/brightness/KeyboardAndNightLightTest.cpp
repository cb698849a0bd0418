// The keyboard backlight's harmony and sync, and the controllers that switch the
// night light, True Tone and dithering off and give them back.
#include "brightness/KeyboardBrightnessController.h"
#include "brightness/NightShiftController.h"
#include "core/Logging.h"
#include "core/NotificationCenter.h"
#include "core/NotificationNames.h"
#include "core/Preferences.h"
#include "core/StateFile.h"
#include "platform/simulated/SimulatedDisplayGamma.h"
#include "platform/simulated/SimulatedDithering.h"
#include "platform/simulated/SimulatedKeyboardBacklight.h"
#include "platform/simulated/SimulatedNightLight.h"
#include "support/ManualTimerPool.h"
#include "support/TestStore.h"
#include "warmth/DitheringController.h"
#include "warmth/XDRBoostController.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <gtest/gtest.h>

namespace {
struct PeripheralRig {
    TestStore store;
    ManualTimerPool timers;
    std::shared_ptr<SimulatedKeyboardBacklight> kbdOwned =
        std::make_shared<SimulatedKeyboardBacklight>();
    SimulatedKeyboardBacklight& kbd = *kbdOwned;
    PeripheralRig() { qputenv("XDG_STATE_HOME", store.dir().toLocal8Bit()); }
    std::unique_ptr<KeyboardBrightnessController> keyboard() {
        return std::make_unique<KeyboardBrightnessController>(
            [this] { return std::vector<std::shared_ptr<KeyboardBacklight>>{kbdOwned}; },
            [this] { return timers.make(); });
    }
    // What the settings file on disk holds now.
    QJsonObject onDisk() const {
        QFile f(store.path());
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QJsonDocument::fromJson(f.readAll()).object();
    }
};
} // namespace

TEST(KeyboardHarmony, BandsGlideOverrideAndBaselineOnDisk) {
    EXPECT_EQ(HarmonyMapping::factor(-1), 1.0f);
    EXPECT_EQ(HarmonyMapping::factor(0.99), 1.0f);
    EXPECT_EQ(HarmonyMapping::factor(1), 0.5f);
    EXPECT_EQ(HarmonyMapping::factor(2.5), 0.2f);
    EXPECT_EQ(HarmonyMapping::factor(3.5), 0.0f);
    EXPECT_EQ(HarmonyMapping::factor(5), 0.0f);
    EXPECT_EQ(HarmonyMapping::rebaselined(0.3f, 3.8), 0.3f);
    EXPECT_EQ(HarmonyMapping::rebaselined(0.5f, 2.0), 1.0f);

    PeripheralRig rig;
    auto kb = rig.keyboard();
    rig.kbd.setLevelExternally(0.8f);
    kb->engageHarmony(2.0);
    ASSERT_TRUE(kb->isHarmonyEngaged());
    EXPECT_DOUBLE_EQ(rig.onDisk().value(PrefKey::fullHarmonyBaseline).toDouble(), double(0.8f));
    ManualFrameTimer& glide = rig.timers.last();
    glide.fireUntilStopped();
    const auto& w = rig.kbd.writes();
    ASSERT_GE(w.size(), 3u);
    EXPECT_NEAR(w[0], 0.68, 1e-5);
    EXPECT_NEAR(w[1], 0.596, 1e-5);
    EXPECT_NEAR(w[2], 0.5372, 1e-5);
    EXPECT_FLOAT_EQ(w.back(), 0.4f);

    // The user sets 0.5 by hand at warmth 2: that is baseline 1.0, held in the band.
    rig.kbd.setLevelExternally(0.5f);
    kb->pollBrightness();
    EXPECT_FLOAT_EQ(kb->harmonyBaseline(), 1.0f);
    EXPECT_DOUBLE_EQ(rig.onDisk().value(PrefKey::fullHarmonyBaseline).toDouble(), 1.0);
    kb->harmonyWarmthChanged(2.2);
    EXPECT_FALSE(kb->glideRunning());
    kb->harmonyWarmthChanged(3.0);
    EXPECT_TRUE(kb->glideRunning());
    rig.timers.last().fireUntilStopped();
    EXPECT_FLOAT_EQ(rig.kbd.currentLevel(), 0.2f);

    kb->disengageHarmony(true);
    EXPECT_FLOAT_EQ(rig.kbd.currentLevel(), 1.0f);
    EXPECT_FALSE(rig.onDisk().contains(PrefKey::fullHarmonyBaseline));
}

TEST(KeyboardHarmony, AStaleBaselineGoesBackOnce) {
    PeripheralRig rig;
    {
        auto kb = rig.keyboard();
        rig.kbd.setLevelExternally(0.7f);
        kb->start();
        kb->engageHarmony(4.0);
        // Dropped without a goodbye, as a killed run would be.
    }
    auto next = rig.keyboard();
    rig.kbd.setLevelExternally(0.0f);
    rig.store.defaults().setBool(PrefKey::enabled, false);
    next->restoreStaleHarmonyBaselineIfNeeded();
    EXPECT_FALSE(rig.store.defaults().contains(PrefKey::fullHarmonyBaseline));
    EXPECT_FLOAT_EQ(rig.kbd.currentLevel(), 0.7f);
    const size_t writes = rig.kbd.writes().size();
    next->restoreStaleHarmonyBaselineIfNeeded();
    EXPECT_EQ(rig.kbd.writes().size(), writes); // once
}

TEST(NightShift, SavesOnDiskFirstAndPutsBackExactlyOnceAlsoAfterAKill) {
    PeripheralRig rig;
    auto nightOwned = std::make_shared<SimulatedNightLight>();
    SimulatedNightLight& night = *nightOwned;
    SimulatedTrueTone trueTone(/*supported=*/true);
    auto make = [&] {
        return std::make_unique<NightShiftController>(
            [&] { return std::vector<std::shared_ptr<NightLight>>{nightOwned}; },
            [&] { return &trueTone; });
    };
    night.setUserState(true, 0.6f);
    {
        auto c = make();
        c->disableNightShift();
        c->disableNightShift();
        EXPECT_EQ(night.calls(), std::vector<QString>{"off"});
        ASSERT_TRUE(StateFile::read(NightShiftController::nightLightStateFile));
        c->restoreNightShift();
        EXPECT_EQ(night.calls(), (std::vector<QString>{"off", "strength 0.6", "on"}));
        EXPECT_FALSE(StateFile::read(NightShiftController::nightLightStateFile));

        c->suppressTrueTone();
        EXPECT_FALSE(trueTone.enabled());
        c->restoreTrueTone();
        EXPECT_TRUE(trueTone.enabled());
        c->disableNightShift();
        c->suppressTrueTone();
    } // killed with both off
    EXPECT_FALSE(night.current().enabled);

    // The tint comes back on at the next launch: the saved state is adopted, not the
    // switched-off one found on screen.
    rig.store.defaults().setBool(PrefKey::enabled, true);
    auto c = make();
    c->restoreStaleStates();
    EXPECT_FALSE(night.current().enabled);
    c->disableNightShift();
    c->restoreNightShift();
    EXPECT_TRUE(night.current().enabled);
    EXPECT_FLOAT_EQ(night.current().strength, 0.6f);

    // Tint off at launch: put back at once, and only once.
    rig.store.defaults().setBool(PrefKey::enabled, false);
    auto d = make();
    d->restoreStaleStates();
    EXPECT_TRUE(trueTone.enabled());
    EXPECT_FALSE(StateFile::read(NightShiftController::trueToneStateFile));

    // Off at suppression stays off; unsupported True Tone is never touched.
    night.setUserState(false, 0.3f);
    auto e = make();
    e->disableNightShift();
    const size_t calls = night.calls().size();
    e->restoreNightShift();
    EXPECT_EQ(night.calls().size(), calls);
    EXPECT_FALSE(night.current().enabled);
    SimulatedTrueTone unsupported(false);
    NightShiftController f([] { return std::vector<std::shared_ptr<NightLight>>{}; },
                           [&] { return &unsupported; });
    f.suppressTrueTone();
    EXPECT_FALSE(f.trueToneSuppressed());
}

TEST(Dithering, RestoresWhatTheDisplaysHadAndIsSilentWithoutTheSetting) {
    PeripheralRig rig;
    SimulatedDithering outputs;
    outputs.addOutput("DP-1", "static 2x2");
    {
        DitheringController c([&] { return &outputs; });
        c.setDithering(false);
        EXPECT_EQ(outputs.mode("DP-1"), "off");
        ASSERT_TRUE(StateFile::read(DitheringController::stateFile));
        c.restore();
        EXPECT_EQ(outputs.mode("DP-1"), "static 2x2"); // not "on"
        outputs.addOutput("HDMI-1", "temporal");
        c.setDithering(false);
    } // killed
    DitheringController next([&] { return &outputs; });
    next.restoreStaleState();
    EXPECT_EQ(outputs.mode("DP-1"), "static 2x2");
    EXPECT_EQ(outputs.mode("HDMI-1"), "temporal");
    EXPECT_FALSE(StateFile::read(DitheringController::stateFile));

    SimulatedDithering none;
    LogCapture log;
    DitheringController bare([&] { return &none; });
    bare.setDithering(false);
    bare.restore();
    bare.setDithering(true);
    EXPECT_EQ(log.messages("com.halcyra.app.dithering").size(), 1);
    EXPECT_EQ(none.writeCount(), 0);
}

TEST(Dithering, ComesOffAgainOnlyAfterADisplayIsAddedOrTheMainOneChanges) {
    PeripheralRig rig;
    rig.store.defaults().setBool(PrefKey::enabled, true);
    rig.store.defaults().setBool(PrefKey::disableDithering, true);
    SimulatedDithering outputs;
    outputs.addOutput("DP-1", "static 2x2");
    SimulatedDisplayGamma gamma;
    DitheringController c([&] { return &outputs; });
    c.setDithering(false);
    c.registerDisplayCallback();
    ASSERT_EQ(outputs.mode("DP-1"), "off");

    // The driver put dithering back; a second after the reconfiguration it goes again.
    auto reconfigureExpecting = [&](const DisplayReconfiguration& change, bool reapplied) {
        outputs.addOutput("DP-1", "static 2x2");
        gamma.simulateReconfiguration(change);
        QElapsedTimer waited;
        waited.start();
        waitUntil([&] { return outputs.mode("DP-1") == "off"; },
                  DitheringController::reapplyDelayMs + 500);
        EXPECT_EQ(outputs.mode("DP-1"), reapplied ? "off" : "static 2x2");
        if (reapplied) EXPECT_GE(waited.elapsed(), DitheringController::reapplyDelayMs - 50);
    };
    reconfigureExpecting({true, false, false}, true);  // a display added
    reconfigureExpecting({false, false, true}, true);  // the main display changed
    reconfigureExpecting({false, true, false}, false); // a display removed
    reconfigureExpecting({}, false);                   // a mode change alone

    // The setting off: the callback stays and does nothing.
    rig.store.defaults().setBool(PrefKey::disableDithering, false);
    reconfigureExpecting({true, false, false}, false);
    c.restore();
}

// The platform that offered a device is replaced (a test's new platform, a restart of
// the backends): the controllers never use the old device again, but its successor.
TEST(PlatformDevices, AReplacedKeyboardOrNightLightIsLetGoAndItsSuccessorUsed) {
    PeripheralRig rig;
    std::vector<std::shared_ptr<KeyboardBacklight>> keyboards{
        std::make_shared<SimulatedKeyboardBacklight>()};
    std::weak_ptr<KeyboardBacklight> oldKeyboard = keyboards.front();
    KeyboardBrightnessController keyboard([&] { return keyboards; },
                                          [&] { return rig.timers.make(); });
    keyboard.start();
    ASSERT_TRUE(keyboard.isAvailable());
    auto successor = std::make_shared<SimulatedKeyboardBacklight>();
    successor->setLevelExternally(0.6f);
    keyboards = {successor};
    EXPECT_TRUE(oldKeyboard.expired()) << "the controller kept the old device alive";
    keyboard.stop();
    keyboard.start(); // resumes on what the platform offers now
    EXPECT_FLOAT_EQ(keyboard.brightness(), 0.6f);
    keyboard.writeBrightness(0.3f);
    EXPECT_FLOAT_EQ(successor->currentLevel(), 0.3f);
    keyboards.clear();
    successor.reset();
    keyboard.writeBrightness(0.5f); // none left: nothing written, no crash
    keyboard.stop();
    keyboard.start();
    EXPECT_FLOAT_EQ(keyboard.brightness(), 0.0f);
    keyboard.stop();

    std::vector<std::shared_ptr<NightLight>> nightLights{std::make_shared<SimulatedNightLight>()};
    SimulatedTrueTone trueTone(false);
    NightShiftController night([&] { return nightLights; }, [&] { return &trueTone; });
    ASSERT_TRUE(night.nightLightClient());
    auto next = std::make_shared<SimulatedNightLight>();
    next->setUserState(true, 0.7f);
    nightLights = {next};
    EXPECT_EQ(night.nightLightClient().get(), next.get());
    night.readNightShiftState();
    EXPECT_TRUE(night.nightShiftEnabled());
    nightLights.clear();
    next.reset();
    EXPECT_FALSE(night.nightLightClient());
}

TEST(XDRBoost, GainRuleAndTeardown) {
    EXPECT_FLOAT_EQ(XDRBoostController::computeGain(1.0, 2.0f), 1.5f);
    EXPECT_FLOAT_EQ(XDRBoostController::computeGain(1.0, 1.2f), 1.08f);
    EXPECT_FLOAT_EQ(XDRBoostController::computeGain(0.7, 1.0f), 1.0f);
    EXPECT_FLOAT_EQ(XDRBoostController::computeGain(0.5, 0.8f), 1.0f);
    EXPECT_FLOAT_EQ(XDRBoostController::computeGain(0.5, INFINITY), 1.0f);
    EXPECT_FLOAT_EQ(XDRBoostController::computeGain(3.0, 4.0f), 1.5f);

    TestStore store;
    int posts = 0;
    QObject context;
    NotificationCenter::defaultCenter().addObserver(&context, NotificationName::xdrConfirmed,
                                                    [&](const Notification&) { ++posts; });
    XDRBoostController xdr;
    xdr.confirmBoost();
    EXPECT_EQ(posts, 0);
    auto* window = new QObject;
    xdr.adoptWindow(window, nullptr, true);
    xdr.confirmBoost();
    EXPECT_EQ(posts, 1);
    store.defaults().setBool(PrefKey::xdrBoostEnabled, true);
    {
        LogCapture resetLog;
        xdr.emergencyReset("test");
        EXPECT_TRUE(resetLog.contains("[Halcyra XDR] EMERGENCY RESET — test", QtInfoMsg));
    }
    EXPECT_FALSE(xdr.hasWindow() && !QPointer<QObject>(window).isNull() &&
                 xdr.awaitingConfirmation());
    EXPECT_FALSE(Preferences::shared().xdrBoostEnabled());
    LogCapture log;
    xdr.deactivate();
    xdr.deactivate();
    EXPECT_EQ(log.messages("com.halcyra.app.xdr").size(), 2);
}
