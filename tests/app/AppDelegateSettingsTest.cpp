// The delegate wired to the settings window's model: one change acts once, and the
// gear opens the window.
#include "app/AppDelegate.h"
#include "app/PopoverWindow.h"
#include "platform/Platform.h"
#include "popover/PopoverViewModel.h"
#include "settings/SettingsView.h"
#include "settings/SettingsViewModel.h"
#include "settings/SettingsWindowController.h"
#include "warmth/OverlayWindowController.h"
#include "warmth/ScheduleTestSupport.h"

#include <QMenu>
#include <gtest/gtest.h>

namespace {

struct SettingsWiring : ::testing::Test, ScheduleFixture {
    SettingsWiring() {
        Platform::setInstance(Platform::makeSimulated());
        store.defaults().setBool(PrefKey::welcomeShown, true);
        delegate = std::make_unique<AppDelegate>(clock);
        delegate->wireSubsystems(engine);
        delegate->popUpMenu = [](QMenu&) {};
        delegate->trayHost.present = [] { return true; };
        delegate->applicationDidFinishLaunching();
        engine.onStateChange = [this, inner = engine.onStateChange](const WarmthState& s) {
            ++announcements;
            if (inner) inner(s);
        };
    }
    SettingsViewModel& vm() { return delegate->settingsWindowController()->settingsVM(); }

    std::unique_ptr<AppDelegate> delegate;
    int announcements = 0;
};

} // namespace

TEST_F(SettingsWiring, AScheduleSwitchFlippedInTheWindowActsOnce) {
    using T = SettingsViewModel::Toggle;
    // The store's road alone (another writer, the settings file) sets the measure.
    auto byStore = [&](const QString& key, bool on) {
        announcements = 0;
        store.defaults().setBool(key, on);
        return announcements;
    };
    auto byWindow = [&](T t, bool on) {
        announcements = 0;
        vm().setByUser(t, on);
        return announcements;
    };
    const int storeOn = byStore(PrefKey::useSchedule, true);
    ASSERT_GT(storeOn, 0);
    EXPECT_TRUE(vm().value(T::useSchedule));
    const int storeOff = byStore(PrefKey::useSchedule, false);
    EXPECT_EQ(byWindow(T::useSchedule, true), storeOn);
    EXPECT_TRUE(engine.isRunning());
    EXPECT_EQ(byWindow(T::useSchedule, false), storeOff);
    EXPECT_FALSE(engine.isRunning());

    const int sunOn = byStore(PrefKey::autoSunset, true);
    const int sunOff = byStore(PrefKey::autoSunset, false);
    EXPECT_EQ(byWindow(T::autoSunset, true), sunOn);
    EXPECT_EQ(byWindow(T::autoSunset, false), sunOff);
}

TEST_F(SettingsWiring, TheGearClosesThePopoverAndOpensTheWindowAtHome) {
    delegate->showPopoverIfNeeded();
    ASSERT_TRUE(delegate->viewModel().onSettingsPressed);
    delegate->viewModel().onSettingsPressed();
    SettingsWindowController* settings = delegate->settingsWindowController();
    ASSERT_TRUE(settings->window());
    EXPECT_TRUE(settings->window()->isVisible());
    EXPECT_EQ(settings->view()->selectedSection(), SettingsSection::home);
    EXPECT_FALSE(delegate->popoverVisible());

    // A section asked for by name opens there.
    delegate->showSettings(QStringLiteral("Display"));
    EXPECT_EQ(settings->view()->selectedSection(), SettingsSection::display);
}
