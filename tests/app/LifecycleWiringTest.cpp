// The delegate's shortcut actions, first run, notices, capture guard and update
// session, on the simulated platform.
#include "app/AppDelegate.h"
#include "app/UpdaterManager.h"
#include "brightness/NativeBrightnessController.h"
#include "brightness/ShortcutManager.h"
#include "core/NotificationCenter.h"
#include "core/NotificationNames.h"
#include "onboarding/TakeoverWindowController.h"
#include "platform/Platform.h"
#include "platform/ShortcutKeyTable.h"
#include "platform/simulated/SimulatedDesktopNotifier.h"
#include "platform/simulated/SimulatedDisplayGamma.h"
#include "platform/simulated/SimulatedGlobalHotKeys.h"
#include "platform/simulated/SimulatedOnboardingMarker.h"
#include "platform/simulated/SimulatedScreenCaptureProbe.h"
#include "popover/PopoverViewModel.h"
#include "warmth/ColorTemperature.h"
#include "warmth/OverlayWindowController.h"
#include "warmth/ScheduleTestSupport.h"
#include "warmth/ScreenCaptureMonitor.h"

#include <QMenu>
#include <gtest/gtest.h>

namespace {

using namespace ShortcutKeyTable;

struct Lifecycle : ::testing::Test, ScheduleFixture {
    Lifecycle() {
        Platform::setInstance(Platform::makeSimulated());
        DisplayedWarmth::resetForTesting();
        NativeBrightnessController::resetForTesting();
    }
    ~Lifecycle() override {
        delegate.reset();
        DisplayedWarmth::resetForTesting();
    }
    UserDefaults& defaults() { return store.defaults(); }
    Platform& platform() { return Platform::instance(); }
    AppDelegate& launch() {
        delegate = std::make_unique<AppDelegate>(clock);
        delegate->wireSubsystems(engine);
        delegate->popUpMenu = [](QMenu&) {};
        delegate->applicationDidFinishLaunching();
        return *delegate;
    }
    double blueTop() { return platform().simulatedDisplayGamma()->display(1)->blue.back(); }
    bool identity() { return blueTop() > 0.999; }
    void press(quint16 keyCode, quint64 modifiers) {
        ASSERT_TRUE(platform().simulatedGlobalHotKeys()->press(keyCode, modifiers));
        QCoreApplication::processEvents();
    }
    std::unique_ptr<AppDelegate> delegate;
};

TEST_F(Lifecycle, FirstRunWarmsThenFinishesAndTheMarkerOutlivesTheSettings) {
    launch();
    EXPECT_TRUE(defaults().boolean(PrefKey::enabled));
    EXPECT_EQ(defaults().doubleNumber(PrefKey::temperature), 2000);
    EXPECT_NEAR(blueTop(), ColorTemperature::blendedTint(2000, 4.0).b, 0.002);
    EXPECT_EQ(defaults().stringArrayValue(PrefKey::pinnedPresets), PrefDefault::pinnedPresets);
    // The takeover is up until the user finishes it.
    ASSERT_TRUE(delegate->takeover() && delegate->takeover()->isShown());
    EXPECT_FALSE(defaults().boolean(PrefKey::welcomeShown));
    delegate->takeover()->finish();
    ASSERT_TRUE(waitUntil([&] { return defaults().boolean(PrefKey::welcomeShown); }, 5000));
    EXPECT_TRUE(platform().simulatedOnboardingMarker()->present);
    EXPECT_EQ(
        platform().simulatedDesktopNotifier()->count(QStringLiteral("halcyra.menu-bar-location")),
        1);

    // Settings deleted, marker kept: no second first run.
    delegate.reset();
    defaults().remove(PrefKey::welcomeShown);
    defaults().setDouble(PrefKey::temperature, 4100);
    launch();
    EXPECT_EQ(defaults().doubleNumber(PrefKey::temperature), 4100);
    EXPECT_EQ(platform().simulatedOnboardingMarker()->writes, 1);
}

TEST_F(Lifecycle, ShortcutsSwitchApplyPresetsAndPanic) {
    defaults().setBool(PrefKey::welcomeShown, true);
    defaults().setBool(PrefKey::enabled, false);
    AppDelegate& d = launch();
    ASSERT_TRUE(identity());

    press(18, controlFlag | optionFlag); // preset 1: the library's first row, tint off first
    EXPECT_TRUE(defaults().boolean(PrefKey::enabled));
    EXPECT_EQ(d.viewModel().temperature(), 5500);
    EXPECT_DOUBLE_EQ(defaults().doubleNumber(PrefKey::intensity), 4.0);

    press(29, controlFlag | optionFlag);
    EXPECT_FALSE(defaults().boolean(PrefKey::enabled));
    EXPECT_TRUE(identity());

    press(1, shiftFlag | commandFlag);
    EXPECT_TRUE(d.popoverVisible());
    press(15, controlFlag | optionFlag | commandFlag); // the panic reset, tint already off
    EXPECT_TRUE(identity());
    EXPECT_EQ(delegate->hooks().popoverShortcutText(), QStringLiteral("Shift+Super+S"));
}

TEST_F(Lifecycle, OnlyThePresetShortcutPinsTheScheduleNotAPickByIndex) {
    defaults().setBool(PrefKey::welcomeShown, true);
    defaults().setBool(PrefKey::enabled, true);
    useSchedule(points({{7, 6500}, {9, 2700}, {15, 2700}, {17, 6500}}));
    AppDelegate& d = launch();
    ASSERT_TRUE(engine.isRunning());
    ASSERT_FALSE(engine.manualOverride());

    // The welcome tour's pick goes through the index alone: the schedule stays in charge.
    d.applyPresetAtIndex(2);
    EXPECT_DOUBLE_EQ(defaults().doubleNumber(PrefKey::intensity), 4.0);
    EXPECT_FALSE(engine.manualOverride());

    press(18, controlFlag | optionFlag); // preset 1
    EXPECT_EQ(d.viewModel().temperature(), 5500);
    ASSERT_TRUE(engine.manualOverride());
    EXPECT_TRUE(engine.manualOverride()->takenDuringWarm); // noon lies on the warm stretch
}

TEST_F(Lifecycle, AClickOnTheWatchdogNoticeSwitchesTheTintOn) {
    defaults().setBool(PrefKey::welcomeShown, true);
    defaults().setBool(PrefKey::enabled, false);
    launch();
    platform().simulatedDesktopNotifier()->click(QStringLiteral("halcyra.menu-bar-location"));
    QCoreApplication::processEvents();
    EXPECT_FALSE(defaults().boolean(PrefKey::enabled));
    platform().simulatedDesktopNotifier()->click(QStringLiteral("halcyra.watchdog.pause"));
    EXPECT_TRUE(waitUntil([&] { return defaults().boolean(PrefKey::enabled); }, 1000));
}

TEST_F(Lifecycle, CaptureTakesTheTintDownExceptWhileTheUpdateWindowIsUp) {
    defaults().setBool(PrefKey::welcomeShown, true);
    defaults().setBool(PrefKey::enabled, true);
    defaults().setDouble(PrefKey::temperature, 3000);
    std::vector<bool> announced;
    QObject observer;
    NotificationCenter::defaultCenter().addObserver(
        &observer, NotificationName::screenCaptureStateChanged, [&](const Notification& n) {
            announced.push_back(n.userInfo.value(QStringLiteral("active")).toBool());
        });
    AppDelegate& d = launch();
    UpdaterManager& updater = *d.updaterManager();
    updater.onUpdaterSessionChanged(true);
    platform().simulatedScreenCaptureProbe()->shared = true;
    d.captureMonitor()->tick();
    EXPECT_FALSE(identity()) << "held while the update window is up";

    updater.onUpdaterSessionChanged(false);
    EXPECT_FALSE(d.overlayController().updaterUIActive());
    d.captureMonitor()->tick();
    EXPECT_TRUE(identity());
    EXPECT_EQ(announced, std::vector{true});

    platform().simulatedScreenCaptureProbe()->shared = false;
    for (int i = 0; i < 3; ++i)
        d.captureMonitor()->tick();
    EXPECT_FALSE(identity());
    EXPECT_EQ(announced, (std::vector{true, false}));
    NotificationCenter::defaultCenter().removeObserver(&observer);
}

} // namespace
