// The delegate wired to the real popover model, schedule handler and overlay
// controller, on the simulated platform with a manual clock.
#include "app/AppDelegate.h"
#include "app/PopoverWindow.h"
#include "app/ScheduleAnnouncementHandler.h"
#include "app/StatusItem.h"
#include "brightness/AmbientLightController.h"
#include "brightness/BrightnessKeyInterceptor.h"
#include "brightness/KeyboardBrightnessController.h"
#include "brightness/NativeBrightnessController.h"
#include "core/Logging.h"
#include "core/NotificationCenter.h"
#include "core/NotificationNames.h"
#include "insights/InsightsStore.h"
#include "platform/Platform.h"
#include "platform/simulated/SimulatedDisplayGamma.h"
#include "platform/simulated/SimulatedDithering.h"
#include "platform/simulated/SimulatedKeyboardBacklight.h"
#include "platform/simulated/SimulatedLightSensor.h"
#include "platform/simulated/SimulatedMediaKeyTap.h"
#include "platform/simulated/SimulatedNightLight.h"
#include "platform/simulated/SimulatedSystemEvents.h"
#include "popover/PopoverView.h"
#include "popover/PopoverViewModel.h"
#include "settings/SettingsViewModel.h"
#include "settings/SettingsWindowController.h"
#include "warmth/OverlayWindowController.h"
#include "warmth/PresetManager.h"
#include "warmth/ScheduleTestSupport.h"

#include <QDir>
#include <QMenu>
#include <gtest/gtest.h>

namespace {

// 12:00 on the fixture's day lies on a flat warm stretch of 2700 K; 17:00 to 07:00 is cool.
constexpr double kScheduledKelvin = 2700;
const double kScheduledIntensity = 4.0 * (6500 - kScheduledKelvin) / 4700;

struct WiringTest : ::testing::Test, ScheduleFixture {
    WiringTest() {
        Platform::setInstance(Platform::makeSimulated());
        DisplayedWarmth::resetForTesting();
        NativeBrightnessController::resetForTesting();
    }
    ~WiringTest() override {
        delegate.reset();
        DisplayedWarmth::resetForTesting();
    }

    SimulatedDisplayGamma& gamma() { return *Platform::instance().simulatedDisplayGamma(); }
    UserDefaults& defaults() { return store.defaults(); }

    void seedTint(bool enabled, double kelvin = 5000) {
        defaults().setBool(PrefKey::enabled, enabled);
        defaults().setDouble(PrefKey::temperature, kelvin);
        defaults().setDouble(PrefKey::intensity, 4);
        defaults().setDouble(PrefKey::brightness, 1);
        defaults().setBool(PrefKey::welcomeShown, true);
    }
    void seedWarmSchedule() {
        useSchedule(points({{7, 6500}, {9, kScheduledKelvin}, {15, kScheduledKelvin}, {17, 6500}}));
    }

    AppDelegate& launch() {
        delegate = std::make_unique<AppDelegate>(clock);
        delegate->wireSubsystems(engine);
        delegate->popUpMenu = [](QMenu&) {};
        delegate->trayHost.present = [] { return true; };
        delegate->applicationDidFinishLaunching();
        return *delegate;
    }

    // The main display's table tops are `kelvin` at `intensity` and `brightness`.
    ::testing::AssertionResult shows(double kelvin, double intensity, double brightness = 1) {
        const SimulatedDisplayGamma::Display* d = gamma().display(1);
        const DisplayTint t = ColorTemperature::blendedTint(kelvin, intensity);
        const double want[3] = {t.r * brightness, t.g * brightness, t.b * brightness};
        const double got[3] = {d->red.back(), d->green.back(), d->blue.back()};
        for (int c = 0; c < 3; ++c)
            if (std::abs(want[c] - got[c]) > 0.002)
                return ::testing::AssertionFailure()
                       << "channel " << c << " is " << got[c] << ", expected " << want[c];
        return ::testing::AssertionSuccess();
    }
    bool identity() {
        const SimulatedDisplayGamma::Display* d = gamma().display(1);
        return d->red == d->originalRed && d->blue == d->originalBlue;
    }
    void brightnessKeyChanged() {
        NotificationCenter::defaultCenter().post(NotificationName::brightnessKeyChanged);
    }

    std::unique_ptr<AppDelegate> delegate;
};

} // namespace

TEST(OverlayReapplicationWarmth, ReplacesTheStoredWarmthOnlyWhileItAnswers) {
    Platform::setInstance(Platform::makeSimulated());
    TestStore store;
    store.defaults().setBool(PrefKey::enabled, true);
    store.defaults().setDouble(PrefKey::temperature, 5000);
    store.defaults().setDouble(PrefKey::intensity, 4);
    store.defaults().setDouble(PrefKey::brightness, 0.5);
    OverlayWindowController overlay;
    std::optional<OverlayWindowController::ReapplicationWarmth> answer{{2000, 2.0}};
    overlay.setReapplicationWarmthProvider([&] { return answer; });
    auto top = [] { return Platform::instance().simulatedDisplayGamma()->display(1)->blue.back(); };

    overlay.updateOverlays();
    EXPECT_NEAR(top(), ColorTemperature::blendedTint(2000, 2.0).b * 0.5, 0.002);
    answer.reset();
    overlay.updateOverlays();
    EXPECT_NEAR(top(), ColorTemperature::blendedTint(5000, 4.0).b * 0.5, 0.002);
    DisplayedWarmth::resetForTesting();
}

TEST_F(WiringTest, AnInterruptedPreviewIsRestoredIntoThePopover) {
    seedTint(true, 1900);
    defaults().setDouble(PrefKey::brightness, 0.3);
    defaults().setBool(PrefKey::previewInProgress, true);
    defaults().setDouble(PrefKey::savedUserTemperature, 2700);
    defaults().setDouble(PrefKey::savedUserIntensity, 2.0);
    defaults().setBool(PrefKey::savedUserEnabled, true);
    defaults().setDouble(PrefKey::savedUserBrightness, 0.6);
    LogCapture capture;
    AppDelegate& d = launch();

    EXPECT_EQ(d.viewModel().temperature(), 2700);
    EXPECT_DOUBLE_EQ(d.viewModel().brightness(), 0.6);
    EXPECT_TRUE(d.viewModel().enabled());
    EXPECT_EQ(Preferences::shared().temperature(), 2700);
    EXPECT_DOUBLE_EQ(Preferences::shared().intensity(), 2.0);
    EXPECT_FALSE(defaults().boolean(PrefKey::previewInProgress));
    EXPECT_TRUE(shows(2700, 2.0, 0.6));
    EXPECT_TRUE(capture.contains(QStringLiteral(
        "Recovered interrupted warmth flow — restored 2700K (intensity 2.0, brightness 0.60, "
        "enabled true)")));
}

TEST_F(WiringTest, ScheduledWarmthSurvivesReapplicationUntilTheUserTakesOver) {
    seedTint(true);
    seedWarmSchedule();
    AppDelegate& d = launch();
    ASSERT_TRUE(shows(kScheduledKelvin, kScheduledIntensity));
    EXPECT_EQ(defaults().doubleNumber(PrefKey::temperature), 5000); // stored warmth untouched

    // A brightness key (or sensor) change re-applies everything: the schedule's warmth stays.
    defaults().setDouble(PrefKey::brightness, 0.6);
    brightnessKeyChanged();
    EXPECT_TRUE(shows(kScheduledKelvin, kScheduledIntensity, 0.6));

    // A reload that only changes the brightness leaves the schedule in charge.
    defaults().setDouble(PrefKey::brightness, 0.8);
    d.reloadPreferences();
    EXPECT_FALSE(engine.manualOverride());
    EXPECT_TRUE(shows(kScheduledKelvin, kScheduledIntensity, 0.8));
    EXPECT_EQ(d.viewModel().brightness(), 0.8);

    // The user drags the warmth slider: the override is pinned and the screen shows the
    // user's warmth, not the schedule's.
    d.viewModel().setInvertedTemp(1.0 - (4000.0 - 500.0) / 6000.0);
    EXPECT_EQ(defaults().doubleNumber(PrefKey::temperature), 4000);
    ASSERT_TRUE(engine.manualOverride());
    EXPECT_TRUE(engine.manualOverride()->takenDuringWarm);
    EXPECT_TRUE(shows(4000, 4.0, 0.8));
    // The next re-application keeps the user's warmth too.
    brightnessKeyChanged();
    EXPECT_TRUE(shows(4000, 4.0, 0.8));
}

TEST_F(WiringTest, AReloadWithANewWarmthPinsTheOverrideAndShowsIt) {
    seedTint(true);
    seedWarmSchedule();
    AppDelegate& d = launch();
    ASSERT_TRUE(shows(kScheduledKelvin, kScheduledIntensity));
    // Each reload pushes its table once, not once for the model's echo and again.
    const int atStart = gamma().display(1)->loads;
    defaults().setDouble(PrefKey::temperature, 2000);
    d.reloadPreferences();
    EXPECT_EQ(gamma().display(1)->loads, atStart + 1);
    ASSERT_TRUE(engine.manualOverride());
    EXPECT_TRUE(engine.manualOverride()->takenDuringWarm);
    EXPECT_TRUE(shows(2000, 4.0));
    EXPECT_EQ(d.viewModel().temperature(), 2000);

    // Without a schedule a reload pins nothing.
    engine.clearManualOverride();
    defaults().setBool(PrefKey::useSchedule, false);
    defaults().setDouble(PrefKey::temperature, 3000);
    seedTint(true, 3000);
    const int before = gamma().display(1)->loads;
    d.reloadPreferences();
    EXPECT_EQ(gamma().display(1)->loads, before + 1);
    EXPECT_FALSE(engine.manualOverride());
    EXPECT_TRUE(shows(3000, 4.0));
}

TEST_F(WiringTest, ScheduleSettingChangesClearTheOverrideAndAnnounceAgain) {
    seedTint(true);
    seedWarmSchedule();
    AppDelegate& d = launch();
    d.toggleEnabled(); // off during a warm phase: pinned
    ASSERT_TRUE(engine.manualOverride());
    EXPECT_FALSE(defaults().boolean(PrefKey::enabled));
    EXPECT_FALSE(d.viewModel().enabled());
    EXPECT_TRUE(identity());

    // New points: the override goes and the new schedule shows at once.
    SchedulePoint::store(points({{9, 3400}, {15, 3400}, {20, 6500}}), Preferences::shared());
    EXPECT_FALSE(engine.manualOverride());
    EXPECT_TRUE(defaults().boolean(PrefKey::enabled));
    EXPECT_TRUE(shows(3400, 4.0 * (6500 - 3400) / 4700.0));

    // Both schedules off: the engine stops and its cool answer turns the tint off.
    defaults().setBool(PrefKey::useSchedule, false);
    EXPECT_FALSE(engine.isRunning());
    EXPECT_FALSE(defaults().boolean(PrefKey::enabled));
    EXPECT_TRUE(identity());

    // Following the sun from here (no location: 19:00 to 07:00) starts it again; noon is cool.
    engine.setManualOverride(ManualScheduleOverride{true});
    defaults().setBool(PrefKey::autoSunset, true);
    EXPECT_TRUE(engine.isRunning());
    EXPECT_FALSE(engine.manualOverride());
}

TEST_F(WiringTest, SwitchAndPresetsGoThroughTheModelAndTheOverrideRule) {
    seedTint(false);
    AppDelegate& d = launch();
    EXPECT_TRUE(identity());

    // No schedule: the switch pins nothing.
    d.toggleEnabled();
    EXPECT_TRUE(defaults().boolean(PrefKey::enabled));
    EXPECT_TRUE(d.viewModel().enabled());
    EXPECT_FALSE(engine.manualOverride());
    EXPECT_TRUE(shows(5000, 4.0));
    EXPECT_EQ(d.statusItem()->color(), StatusItem::enabledColor());

    // The custom preset by index glides to the saved custom warmth, switching on first.
    d.toggleEnabled();
    EXPECT_EQ(d.statusItem()->color(), StatusItem::disabledColor());
    defaults().setDouble(PrefKey::customPresetTemperature, 2900);
    defaults().setDouble(PrefKey::intensity, 1.0);
    const qint64 usesBefore =
        InsightsStore::shared().record(clock.now()).presetCounts.value(QStringLiteral("Custom"));
    d.applyPresetAtIndex(7);
    EXPECT_TRUE(d.viewModel().enabled());
    EXPECT_EQ(d.viewModel().temperature(), 2900);
    EXPECT_EQ(defaults().doubleNumber(PrefKey::intensity), 4.0);
    EXPECT_EQ(
        InsightsStore::shared().record(clock.now()).presetCounts.value(QStringLiteral("Custom")),
        usesBefore + 1);
    EXPECT_TRUE(waitUntil([&] { return defaults().doubleNumber(PrefKey::temperature) == 2900; }));
    EXPECT_TRUE(waitUntil([&] { return shows(2900, 4.0); }));

    // Outside the library nothing happens.
    d.applyPresetAtIndex(8);
    d.applyPresetAtIndex(-1);
    EXPECT_EQ(d.viewModel().temperature(), 2900);
}

TEST_F(WiringTest, PopoverHostsTheModelAndFollowsTheSharedNotifications) {
    seedTint(true);
    AppDelegate& d = launch();
    auto* view = qobject_cast<PopoverView*>(d.popover()->content());
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(&view->viewModel(), &d.viewModel());

    d.showPopoverIfNeeded();
    EXPECT_TRUE(d.viewModel().popoverVisible());
    d.closePopover();
    EXPECT_FALSE(d.viewModel().popoverVisible());

    // The model's switch reaches the screen and the icon.
    d.viewModel().setEnabledByUser(false);
    EXPECT_TRUE(identity());
    EXPECT_EQ(d.statusItem()->color(), StatusItem::disabledColor());

    // The feedback box follows its setting, assigned only when it changed.
    int assignments = 0;
    QObject::connect(&d.viewModel(), &PopoverViewModel::showFeedbackBoxChanged,
                     [&](bool) { ++assignments; });
    defaults().setBool(PrefKey::showFeedbackBox, false);
    NotificationCenter::defaultCenter().post(QStringLiteral("HalcyraPreferencesChanged"));
    NotificationCenter::defaultCenter().post(QStringLiteral("HalcyraPreferencesChanged"));
    EXPECT_FALSE(d.viewModel().showFeedbackBox());
    EXPECT_EQ(assignments, 1);
}

TEST_F(WiringTest, ClockWakeAndScreensaverEventsReassertTheSchedule) {
    seedTint(true);
    seedWarmSchedule();
    launch();
    SimulatedSystemEvents& events = *Platform::instance().simulatedSystemEvents();
    LogCapture log;

    // The clock jumps into the cool part of the schedule, and back.
    setNow(at(QTime(23, 0)));
    events.simulateClockChange();
    EXPECT_TRUE(log.contains("System clock changed — re-evaluating schedule"));
    EXPECT_FALSE(defaults().boolean(PrefKey::enabled));
    EXPECT_TRUE(identity());
    setNow(at(QTime(12, 0)));
    events.simulateClockChange();
    EXPECT_TRUE(shows(kScheduledKelvin, kScheduledIntensity));

    // Something else rewrote the tables meanwhile: wake puts the schedule's warmth back.
    gamma().overwriteTables(1, {0.0f, 1.0f}, {0.0f, 1.0f}, {0.0f, 1.0f});
    events.simulateWake();
    EXPECT_TRUE(log.contains("System wake detected — scheduling gamma reassert + schedule eval"));
    EXPECT_TRUE(shows(kScheduledKelvin, kScheduledIntensity));
    gamma().overwriteTables(1, {0.0f, 1.0f}, {0.0f, 1.0f}, {0.0f, 1.0f});
    events.simulateScreensaverStop();
    EXPECT_TRUE(log.contains("Screensaver stopped — re-applying gamma + schedule eval"));
    EXPECT_TRUE(shows(kScheduledKelvin, kScheduledIntensity));
}

TEST_F(WiringTest, AJumpFromTheWarmEveningIntoTheMorningDropsTheNightTint) {
    // Warmest at 22:00, cool from 07:00 to 07:30, then warming slowly all day: at 08:00
    // the schedule is barely warm, and its look-back stops at the morning's cool stretch.
    seedTint(true);
    useSchedule(points({{7, 6500}, {7.5, 6500}, {22, kScheduledKelvin}}));
    setNow(at(QTime(22, 0)));
    AppDelegate& d = launch();
    SimulatedSystemEvents& events = *Platform::instance().simulatedSystemEvents();
    const QDateTime evening = at(QTime(22, 0));
    const QDateTime morning = at(QDate(2024, 6, 22), QTime(8, 0));
    auto showsScheduleNow = [&] {
        const WarmthState s = engine.previewState(clock.now());
        return s.isWarm() ? shows(s.kelvin, s.intensity * 4) : ::testing::AssertionFailure();
    };
    auto backToTheEvening = [&] {
        clock.setTimeZone(zone);
        setNow(evening);
        events.simulateClockChange();
        ASSERT_TRUE(shows(kScheduledKelvin, kScheduledIntensity));
    };
    ASSERT_TRUE(shows(kScheduledKelvin, kScheduledIntensity));
    ASSERT_TRUE(engine.previewState(morning).isWarm());
    ASSERT_GT(engine.previewState(morning).kelvin, 6000);

    setNow(morning);
    events.simulateClockChange();
    EXPECT_TRUE(showsScheduleNow()) << "after a clock change";

    // A zone twelve hours east of UTC turns 22:00 in Berlin into 08:00.
    backToTheEvening();
    clock.setTimeZone(QTimeZone(QByteArray("Pacific/Auckland")));
    ASSERT_EQ(clock.now().time(), QTime(8, 0));
    events.simulateTimeZoneChange();
    EXPECT_TRUE(showsScheduleNow()) << "after a time-zone change";

    // The lid closed at night and opened in the morning.
    backToTheEvening();
    setNow(morning);
    events.simulateWake();
    EXPECT_TRUE(showsScheduleNow()) << "after a wake";

    // A jump nobody reported reaches the engine on its next tick: the tint on screen is
    // the schedule's own, so there is nothing to hold for.
    backToTheEvening();
    setNow(morning);
    engine.assertDesiredState(clock.now());
    EXPECT_TRUE(showsScheduleNow()) << "after an unreported jump";

    // Warmth the user chose beyond the schedule is still held once its override is over.
    d.viewModel().setInvertedTemp(1.0 - (2000.0 - 500.0) / 6000.0);
    engine.clearManualOverride();
    setNow(morning.addSecs(3600));
    engine.assertDesiredState(clock.now());
    EXPECT_TRUE(shows(2000, 4.0));
}

TEST_F(WiringTest, ATimeZoneChangeRecomputesTheSunsTimes) {
    seedTint(true);
    followSun();
    launch();
    locate(52.52, 13.40);
    ASSERT_TRUE(engine.lastSolarCalcDate());
    LogCapture log;
    Platform::instance().simulatedSystemEvents()->simulateTimeZoneChange();
    EXPECT_TRUE(
        log.contains("Timezone changed — invalidating solar times + re-evaluating schedule"));
    EXPECT_TRUE(log.contains("Solar times refreshed"));
}

TEST_F(WiringTest, WithoutAScheduleWakeKeepsTheUsersTintOn) {
    seedTint(true, 3000);
    launch();
    SimulatedSystemEvents& events = *Platform::instance().simulatedSystemEvents();
    gamma().overwriteTables(1, {0.0f, 1.0f}, {0.0f, 1.0f}, {0.0f, 1.0f});
    events.simulateScreensWake();
    events.simulateClockChange();
    EXPECT_TRUE(defaults().boolean(PrefKey::enabled));
    EXPECT_TRUE(shows(3000, 4.0));
}

TEST_F(WiringTest, BrightnessKeysFollowTheirSwitchAndAnEditOfTheSettingsFile) {
    seedTint(true);
    defaults().setBool(PrefKey::brightnessKeyInterception, true);
    AppDelegate& d = launch();
    BrightnessKeyInterceptor& keys = BrightnessKeyInterceptor::shared();
    SimulatedKeyboard& keyboard = *Platform::instance().simulatedKeyboard();
    ASSERT_TRUE(keys.isActive());
    SettingsViewModel& vm = d.settingsWindowController()->settingsVM();
    using Toggle = SettingsViewModel::Toggle;
    ASSERT_TRUE(vm.value(Toggle::brightnessKeyInterception));

    EXPECT_TRUE(keyboard.press(MediaKey::brightnessDown));
    EXPECT_TRUE(waitUntil([&] { return shows(5000, 4, 0.9375); }));

    // An outside write of the key (an edit of the settings file) shows in the switch
    // and gives the keys back, or takes them, as the switch does.
    LogCapture log;
    defaults().setBool(PrefKey::brightnessKeyInterception, false);
    EXPECT_TRUE(waitUntil([&] { return !vm.value(Toggle::brightnessKeyInterception); }));
    EXPECT_TRUE(waitUntil([&] { return !keys.isActive(); }));
    EXPECT_FALSE(keyboard.press(MediaKey::brightnessDown));
    defaults().setBool(PrefKey::brightnessKeyInterception, true);
    EXPECT_TRUE(waitUntil([&] { return vm.value(Toggle::brightnessKeyInterception); }));
    EXPECT_TRUE(waitUntil([&] { return keys.isActive(); }));
    // Read again unchanged (a reload), or with the tint off, the keys stay as they are.
    d.reloadPreferences();
    waitUntil([] { return false; }, 50);
    EXPECT_EQ(log.messages().count("Brightness key interception stopped"), 1);
    EXPECT_EQ(log.messages().filter("Brightness key interception started").size(), 1);
    log.clear();

    // The settings window's switch writes the key and acts, once per flip.
    vm.set(Toggle::brightnessKeyInterception, false);
    EXPECT_FALSE(defaults().boolean(PrefKey::brightnessKeyInterception));
    EXPECT_TRUE(waitUntil([&] { return !keys.isActive(); }));
    EXPECT_FALSE(keyboard.press(MediaKey::brightnessDown));
    vm.set(Toggle::brightnessKeyInterception, true);
    EXPECT_TRUE(defaults().boolean(PrefKey::brightnessKeyInterception));
    EXPECT_TRUE(waitUntil([&] { return keys.isActive(); }));
    waitUntil([] { return false; }, 50);
    EXPECT_EQ(log.messages().count("Brightness key interception stopped"), 1);
    EXPECT_EQ(log.messages().filter("Brightness key interception started").size(), 1);

    d.toggleEnabled(); // tint off: the interceptor stops once the switch has returned
    EXPECT_TRUE(waitUntil([&] { return !keys.isActive(); }));
    defaults().setBool(PrefKey::brightnessKeyInterception, false);
    defaults().setBool(PrefKey::brightnessKeyInterception, true);
    waitUntil([] { return false; }, 50);
    EXPECT_FALSE(keys.isActive());
    keys.stop(); // the keyboard goes with this test's platform
}

TEST_F(WiringTest, ScheduleAnnouncementsMoveTheKeyboardWhileHarmonyIsEngaged) {
    seedTint(true);
    seedWarmSchedule();
    defaults().setBool(PrefKey::fullHarmonyEnabled, true);
    Platform::instance().simulatedKeyboardBacklight()->setLevelExternally(0.8f);
    AppDelegate& d = launch();
    KeyboardBrightnessController& keyboard = KeyboardBrightnessController::shared();
    // Engaged at launch from the stored full intensity; the launch's own announcement
    // (2700 K, engine intensity about 3.2) then takes it to the band of 0.2 × 0.8.
    ASSERT_TRUE(waitUntil([&] { return keyboard.isHarmonyEngaged(); }));
    EXPECT_TRUE(waitUntil([&] { return std::abs(keyboard.brightness() - 0.16f) < 0.005f; }, 3000))
        << "keyboard at " << keyboard.brightness();

    // 16:00 is halfway back to daylight (4600 K, engine intensity about 1.6): the
    // announcement lifts the keyboard to the middle band, half its baseline.
    setNow(at(QTime(16, 0)));
    Platform::instance().simulatedSystemEvents()->simulateClockChange();
    ASSERT_TRUE(shows(4600, 4.0 * (6500 - 4600) / 4700.0));
    EXPECT_TRUE(waitUntil([&] { return std::abs(keyboard.brightness() - 0.4f) < 0.005f; }, 3000))
        << "keyboard at " << keyboard.brightness();
    d.toggleEnabled(); // the tint's off edge hands the peripherals back
    waitUntil([&] { return !keyboard.isHarmonyEngaged(); }, 500);
}

TEST_F(WiringTest, AnInterruptedPreviewHandsRoomLightTheRestoredLevels) {
    seedTint(false, 1900);
    defaults().setBool(PrefKey::previewInProgress, true);
    defaults().setDouble(PrefKey::savedUserTemperature, 2700);
    defaults().setDouble(PrefKey::savedUserIntensity, 2.0);
    defaults().setBool(PrefKey::savedUserEnabled, false);
    defaults().setDouble(PrefKey::savedUserBrightness, 0.6);
    using Axis = AmbientLightController::TransitionAxis;
    AmbientLightController& ambient = AmbientLightController::shared();
    ambient.restoreManualBaselines(1111, 0.11);
    const quint64 brightnessLease = ambient.bumpTransitionLease(Axis::brightness);
    launch();
    EXPECT_EQ(ambient.userManualTemperature(), 2700);
    EXPECT_DOUBLE_EQ(ambient.userManualBrightness(), 0.6);
    // A sensor transition the preview left under way can no longer land.
    EXPECT_EQ(ambient.bumpTransitionLease(Axis::brightness), brightnessLease + 2);
}

TEST_F(WiringTest, RoomLightShowsInThePopoverAndTheTintsOffEdgeGivesPeripheralsBack) {
    qputenv("XDG_STATE_HOME", store.dir().toLocal8Bit());
    seedTint(true);
    defaults().setBool(PrefKey::adaptToRoomLighting, true);
    defaults().setBool(PrefKey::disableDithering, true);
    defaults().setBool(PrefKey::keyboardBrightnessSync, true);
    defaults().setDouble(PrefKey::brightness, 0.5);
    Platform& platform = Platform::instance();
    platform.simulatedLightSensor()->setLux(120);
    platform.simulatedNightLight()->setUserState(true, 0.4f);
    platform.simulatedDithering()->addOutput("SIM-1", "static 2x2");
    platform.simulatedKeyboardBacklight()->setLevelExternally(0.9f);

    AppDelegate& d = launch();
    waitUntil([] { return false; }, 50);
    EXPECT_FALSE(platform.simulatedNightLight()->current().enabled);
    EXPECT_EQ(platform.simulatedDithering()->mode("SIM-1"), "off");
    EXPECT_FLOAT_EQ(platform.simulatedKeyboardBacklight()->currentLevel(), 0.5f);

    auto* view = qobject_cast<PopoverView*>(d.popover()->content());
    ASSERT_NE(view, nullptr);
    view->resize(view->sizeHint());
    EXPECT_FALSE(view->roomLightLine()->isHidden());
    const QImage shot = view->grab().toImage();
    QDir().mkpath(QStringLiteral(HALCYRA_TEST_ARTIFACTS));
    EXPECT_TRUE(shot.save(QStringLiteral(HALCYRA_TEST_ARTIFACTS "/popover-room-light.png")));
    defaults().setBool(PrefKey::adaptToRoomLighting, false);
    waitUntil([&] { return view->roomLightLine()->isHidden(); }, 500);
    EXPECT_TRUE(view->roomLightLine()->isHidden());
    defaults().setBool(PrefKey::adaptToRoomLighting, true);
    waitUntil([&] { return !view->roomLightLine()->isHidden(); }, 500);

    d.toggleEnabled();
    waitUntil([] { return false; }, 50);
    EXPECT_TRUE(platform.simulatedNightLight()->current().enabled);
    EXPECT_FLOAT_EQ(platform.simulatedNightLight()->current().strength, 0.4f);
    EXPECT_EQ(platform.simulatedDithering()->mode("SIM-1"), "static 2x2");
    // Plain sync keeps no earlier level: the tint's off edge sets the keyboard to full.
    EXPECT_FLOAT_EQ(platform.simulatedKeyboardBacklight()->currentLevel(), 1.0f);
    // The light controller stopped with the tint: the room line goes with it.
    EXPECT_TRUE(view->roomLightLine()->isHidden());
}
