// The onboarding's hooks as the delegate wires them, reaching the real peripheral
// controllers on the simulated platform.
#include "app/AppDelegate.h"
#include "app/StatusItem.h"
#include "brightness/AmbientLightController.h"
#include "brightness/BrightnessKeyInterceptor.h"
#include "brightness/KeyboardBrightnessController.h"
#include "onboarding/TakeoverWindowController.h"
#include "onboarding/WelcomeWindowController.h"
#include "platform/Platform.h"
#include "platform/simulated/SimulatedAutostartEntry.h"
#include "platform/simulated/SimulatedDithering.h"
#include "platform/simulated/SimulatedKeyboardBacklight.h"
#include "popover/StatusItemGlowWindow.h"
#include "warmth/ScheduleTestSupport.h"

#include <QApplication>
#include <QMenu>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

struct OnboardingWiring : ::testing::Test, ScheduleFixture {
    OnboardingWiring() {
        // One platform for the whole run: the peripheral controllers are process-wide
        // and keep the devices they opened.
        static const bool platform = [] {
            Platform::setInstance(Platform::makeSimulated());
            return true;
        }();
        Q_UNUSED(platform);
        store.defaults().setBool(PrefKey::welcomeShown, true);
        store.defaults().setBool(PrefKey::enabled, true);
        store.defaults().setDouble(PrefKey::temperature, 3400);
        store.defaults().setDouble(PrefKey::intensity, 4.0);
        delegate = std::make_unique<AppDelegate>(clock);
        delegate->wireSubsystems(engine);
        delegate->popUpMenu = [](QMenu&) {};
        delegate->trayHost.present = [] { return true; };
        delegate->trayHost.iconGeometry = [] { return QRect(700, 0, 24, 24); };
        delegate->applicationDidFinishLaunching();
    }
    ~OnboardingWiring() override {
        BrightnessKeyInterceptor::shared().stop();
        KeyboardBrightnessController::shared().disengageHarmony(false);
        KeyboardBrightnessController::shared().stop();
    }
    std::unique_ptr<AppDelegate> delegate;
};

} // namespace

TEST_F(OnboardingWiring, TheTakeoverSlidesReachTheGlowDitheringLoginItemAndKeyboard) {
    Platform& platform = Platform::instance();
    TakeoverWindowController& takeover = *delegate->takeover();
    StatusItem& item = *delegate->statusItem();

    // The glow is a window of its own over the icon, which the tray says is at 700, 0.
    auto glowWindow = [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (dynamic_cast<StatusItemGlowWindow*>(w) && w->isVisible()) return w;
        return static_cast<QWidget*>(nullptr);
    };
    takeover.hooks.menuBarSlideVisible(true);
    ASSERT_NE(glowWindow(), nullptr);
    EXPECT_EQ(glowWindow()->size(), QSize(64, 64));
    EXPECT_LE(
        (glowWindow()->geometry().center() - QRect(700, 0, 24, 24).center()).manhattanLength(), 2);
    EXPECT_FALSE(item.glow().has_value());
    takeover.hooks.menuBarSlideVisible(false);
    EXPECT_TRUE(waitUntil([&] { return glowWindow() == nullptr; }, 2000));

    platform.simulatedDithering()->addOutput("SIM-1", "static 2x2");
    takeover.setDisableDithering(true);
    EXPECT_EQ(platform.simulatedDithering()->mode("SIM-1"), "off");
    takeover.setDisableDithering(false); // switched back: the displays' own dithering
    EXPECT_EQ(platform.simulatedDithering()->mode("SIM-1"), "static 2x2");

    EXPECT_TRUE(takeover.setLaunchAtLogin(true));
    EXPECT_EQ(platform.autostartEntry().status(), AutostartEntry::State::enabled);
    EXPECT_FALSE(takeover.setLaunchAtLogin(false));
    EXPECT_EQ(platform.autostartEntry().status(), AutostartEntry::State::disabled);
    // The tray is there, so the menu-bar slide points at the icon; the shortcut is known.
    EXPECT_TRUE(takeover.hooks.statusAreaPresent());
    EXPECT_FALSE(takeover.hooks.popoverShortcut().isEmpty());
    // The setting says on, the entry is gone: the switch shows the entry.
    store.defaults().setBool(PrefKey::launchAtLogin, true);
    EXPECT_FALSE(takeover.launchAtLoginAtAppearance());
    EXPECT_EQ(platform.autostartEntry().status(), AutostartEntry::State::disabled);

    // A sweep frame never engages keyboard harmony; an engaged one follows the frame.
    KeyboardBrightnessController& keyboard = KeyboardBrightnessController::shared();
    keyboard.start();
    takeover.hooks.harmonyWarmthChanged(4.0);
    EXPECT_FALSE(keyboard.isHarmonyEngaged());
    platform.simulatedKeyboardBacklight()->setLevelExternally(0.8f);
    keyboard.engageHarmony(0.0);
    ASSERT_TRUE(keyboard.isHarmonyEngaged());
    takeover.hooks.harmonyWarmthChanged(4.0); // the deepest band: the keyboard goes dark
    EXPECT_TRUE(waitUntil([&] { return keyboard.brightness() < 0.01f; }, 3000));
}

TEST_F(OnboardingWiring, AReplaySwitchesNothingByItselfButTheUsersFlipsActAndRoomLightStays) {
    Platform& platform = Platform::instance();
    UserDefaults& defaults = store.defaults();
    defaults.setBool(PrefKey::flickerFree, false);
    defaults.setBool(PrefKey::brightnessKeyInterception, false);
    WelcomeWindowController& welcome = *delegate->welcome();
    delegate->previewOnboarding();
    ASSERT_TRUE(welcome.isOpen());
    // The tour floats above other windows for its first second only.
    QWindow* tour = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == QStringLiteral("Set up Halcyra"))
            tour = w->windowHandle();
    ASSERT_NE(tour, nullptr);
    EXPECT_TRUE(tour->flags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(waitUntil([&] { return !(tour->flags() & Qt::WindowStaysOnTopHint); }, 800));
    EXPECT_TRUE(waitUntil([&] { return !(tour->flags() & Qt::WindowStaysOnTopHint); }, 1000));
    const WelcomeCallbacks& cb = welcome.callbacks();
    // What the tour does on its own in a replay switches nothing.
    cb.cardAppeared();
    cb.flickerSlideAppeared(true, true);
    EXPECT_FALSE(defaults.boolean(PrefKey::flickerFree));
    EXPECT_FALSE(defaults.boolean(PrefKey::brightnessKeyInterception));
    EXPECT_FALSE(BrightnessKeyInterceptor::shared().isActive());
    EXPECT_NE(platform.autostartEntry().status(), AutostartEntry::State::enabled);

    // The user's own flips write at once and act.
    cb.flickerFreeChanged(true);
    EXPECT_TRUE(defaults.boolean(PrefKey::flickerFree));
    cb.brightnessKeysChanged(true);
    EXPECT_TRUE(defaults.boolean(PrefKey::brightnessKeyInterception));
    EXPECT_TRUE(BrightnessKeyInterceptor::shared().isActive());
    cb.brightnessKeysChanged(false);
    EXPECT_FALSE(defaults.boolean(PrefKey::brightnessKeyInterception));
    EXPECT_FALSE(BrightnessKeyInterceptor::shared().isActive()); // off gives the keys back
    cb.brightnessKeysChanged(true);
    EXPECT_TRUE(defaults.boolean(PrefKey::brightnessKeyInterception));
    EXPECT_TRUE(BrightnessKeyInterceptor::shared().isActive());
    cb.presetTapped(1900, 4.0); // the popover model takes it as the user's warmth
    welcome.windowClosed();
    waitUntil([] { return false; }, 50); // the closed window is released
    EXPECT_EQ(AmbientLightController::shared().userManualTemperature(), 3400);
    EXPECT_EQ(Preferences::shared().temperature(), 3400);
}
