// The delegate wired to the settings window's model: one change acts once, and the
// gear opens the window.
#include "app/AppDelegate.h"
#include "app/PopoverWindow.h"
#include "core/NotificationCenter.h"
#include "platform/InstanceLock.h"
#include "platform/Platform.h"
#include "popover/PopoverViewModel.h"
#include "popover/ToggleSwitch.h"
#include "settings/SchedulePointListView.h"
#include "settings/SchedulingTabView.h"
#include "settings/SettingsView.h"
#include "settings/SettingsViewModel.h"
#include "settings/SettingsWindowController.h"
#include "warmth/OverlayWindowController.h"
#include "warmth/ScheduleTestSupport.h"

#include <QAbstractButton>
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

    // The section notification only selects: opening the window is its poster's business.
    settings->window()->close();
    NotificationCenter::defaultCenter().post(setSettingsSectionNotification, nullptr,
                                             {{"section", "Keyboard"}});
    EXPECT_FALSE(settings->window()->isVisible());
    EXPECT_EQ(settings->view()->selectedSection(), SettingsSection::keyboard);
}

TEST_F(SettingsWiring, TheSchedulingPageSharesTheWindowsMirrorAndEachEditActsOnce) {
    using T = SettingsViewModel::Toggle;
    delegate->showSettings(QStringLiteral("Scheduling"));
    SettingsView* view = delegate->settingsWindowController()->view();
    auto* tab = view->page(SettingsSection::scheduling)->findChild<SchedulingTabView*>();
    ASSERT_TRUE(tab);
    int useToggles = 0;
    QObject::connect(&vm(), &SettingsViewModel::toggleChanged, [&](T t, bool) {
        if (t == T::useSchedule) ++useToggles;
    });

    // Another writer: the page and the window's model follow, nothing is written back.
    announcements = 0;
    store.defaults().setBool(PrefKey::useSchedule, true);
    const int storeOn = announcements;
    ASSERT_GT(storeOn, 0);
    EXPECT_TRUE(tab->customSwitch()->isChecked());
    EXPECT_EQ(useToggles, 1);
    store.defaults().setBool(PrefKey::useSchedule, false);
    EXPECT_FALSE(vm().value(T::useSchedule));

    // The page's switch: stored, shown once, and the schedule re-evaluated once.
    useToggles = 0;
    announcements = 0;
    tab->customSwitch()->click();
    EXPECT_TRUE(store.defaults().boolValue(PrefKey::useSchedule));
    EXPECT_TRUE(vm().value(T::useSchedule));
    EXPECT_EQ(useToggles, 1);
    EXPECT_EQ(announcements, storeOn);

    // A point edit in the list acts as often as an edit by another writer (both leave
    // noon's state as it was, so each road announces once per re-evaluation).
    QList<SchedulePoint> points = vm().schedulePoints();
    const SchedulePoint early{QUuid::createUuid(), 3.0, 5000.0};
    points.append(early);
    announcements = 0;
    SchedulePoint::store(points, Preferences::shared());
    const int storePoints = announcements;
    ASSERT_GT(storePoints, 0);
    EXPECT_EQ(vm().schedulePoints(), points);
    announcements = 0;
    tab->pointList()->removePoint(early.id);
    EXPECT_EQ(announcements, storePoints);
    EXPECT_EQ(SchedulePoint::stored(Preferences::shared()).size(), points.size() - 1);
}

// A lock the old copy lets go of after a few tries.
class ReleasedLaterLock : public InstanceLock {
public:
    int refusals = 3;
    int tries = 0;
    bool tryAcquire() override { return ++tries > refusals; }
    bool isHeld() const override { return tries > refusals; }
    qint64 holderPid() const override { return 1; }
    bool requestActivation() override { return true; }
};

TEST(SafeModeRelaunch, TheNewCopyWaitsForTheOldOnesLockOnlyWhenStartedByTheReset) {
    ReleasedLaterLock plain;
    EXPECT_FALSE(AppDelegate::claimSingleInstanceAfterRelaunch(plain, 2000));
    EXPECT_EQ(plain.tries, 1); // an ordinary second copy leaves at once

    qputenv("HALCYRA_AWAIT_INSTANCE_LOCK", "1");
    ReleasedLaterLock relaunched;
    EXPECT_TRUE(AppDelegate::claimSingleInstanceAfterRelaunch(relaunched, 2000));
    EXPECT_FALSE(qEnvironmentVariableIsSet("HALCYRA_AWAIT_INSTANCE_LOCK"));

    // A lock never let go of ends the wait at its limit, as a duplicate.
    qputenv("HALCYRA_AWAIT_INSTANCE_LOCK", "1");
    ReleasedLaterLock stuck;
    stuck.refusals = 1'000'000;
    EXPECT_FALSE(AppDelegate::claimSingleInstanceAfterRelaunch(stuck, 200));
}
