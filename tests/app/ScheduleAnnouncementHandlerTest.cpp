#include "app/ScheduleAnnouncementHandler.h"
#include "core/Logging.h"
#include "warmth/ColorTemperature.h"
#include "warmth/ScheduleTestSupport.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

using Handler = ScheduleAnnouncementHandler;

// The handler over a fixture engine, recording every action it takes.
struct HandlerFixture : ScheduleFixture {
    HandlerFixture() : handler(engine, recordingActions(), clock) {
        DisplayedWarmth::resetForTesting();
    }
    ~HandlerFixture() { DisplayedWarmth::resetForTesting(); }

    Handler::Actions recordingActions() {
        Handler::Actions a;
        a.yieldWarmthToDirectWrite = [this] { calls << "yield"; };
        a.setViewModelEnabled = [this](bool on) {
            calls << QStringLiteral("viewModel %1").arg(on);
            // The view model re-applies at once; it must already see the scheduled warmth.
            reapplicationSeen = handler.scheduledWarmthForReapplication();
        };
        a.applyGamma = [this](double k, double i, double b) {
            calls << QStringLiteral("gamma %1 %2 %3").arg(k).arg(i).arg(b);
        };
        a.harmonyWarmthChanged = [this](double i) { calls << QStringLiteral("harmony %1").arg(i); };
        a.updateOverlays = [this] { calls << "updateOverlays"; };
        a.updateMenuBarIconColor = [this] { calls << "icon"; };
        return a;
    }
    void show(const DisplayTint& tint) { DisplayedWarmth::setRecorded(tint); }
    std::optional<bool> enabled() { return store.defaults().boolValue(PrefKey::enabled); }

    QStringList calls;
    std::optional<Handler::ScheduledWarmth> reapplicationSeen;
    Handler handler;
};

DisplayTint fullTint(double kelvin) {
    return ColorTemperature::blendedTint(kelvin, 4.0);
}

} // namespace

TEST(ScheduleAnnouncementHandler, ManualOverrideHoldsUntilTheOtherPhase) {
    HandlerFixture f;
    f.useDefaultSchedule();
    f.setNow(f.at(QTime(22, 30)));
    LogCapture log;

    // Taken during a warm phase: later warm announcements are ignored.
    f.engine.setManualOverride(ManualScheduleOverride{true});
    EXPECT_EQ(f.handler.handle(WarmthState::warm(1800, 1.0)), Handler::Outcome::ignored);
    EXPECT_TRUE(log.contains(
        "Schedule announcement ignored — manual override stands until the next transition"));
    EXPECT_TRUE(f.calls.isEmpty());
    EXPECT_TRUE(f.engine.manualOverride().has_value());

    // The first cool announcement ends it and turns the tint off.
    EXPECT_EQ(f.handler.handle(WarmthState::cool()), Handler::Outcome::appliedCool);
    EXPECT_FALSE(f.engine.manualOverride());
    EXPECT_EQ(f.calls, (QStringList{"viewModel 0", "updateOverlays", "icon"}));
    EXPECT_EQ(f.enabled(), false);

    // Taken during a cool phase: the first warm announcement clears it even when held.
    f.calls.clear();
    f.engine.setManualOverride(ManualScheduleOverride{false});
    EXPECT_EQ(f.handler.handle(WarmthState::cool()), Handler::Outcome::ignored);
    f.show(fullTint(1200));
    EXPECT_EQ(f.handler.handle(WarmthState::warm(2500, 0.3)), Handler::Outcome::held);
    EXPECT_FALSE(f.engine.manualOverride());
    EXPECT_TRUE(f.calls.isEmpty());
}

TEST(ScheduleAnnouncementHandler, HoldsAWarmerScreenUntilTheScheduleReachesIt) {
    HandlerFixture f;
    f.followSun(3400); // no place: the evening fade starts at 19:00, warm 2500 K
    f.store.defaults().setBool(PrefKey::enabled, true);
    f.show(fullTint(2000));
    LogCapture log;

    // The very start of the evening fade, after a cool afternoon: held.
    f.setNow(f.at(QTime(19, 0, 30)));
    const WarmthState start = f.engine.previewState(f.clock.now());
    ASSERT_TRUE(start.isWarm());
    ASSERT_LT(start.intensity, 0.01);
    EXPECT_EQ(f.handler.handle(start), Handler::Outcome::held);
    const QStringList held =
        log.messages("com.halcyra.app.menubar").filter("Schedule announcement held");
    ASSERT_EQ(held.size(), 1);
    const DisplayTint scheduled = ColorTemperature::blendedTint(start.kelvin, start.intensity * 4);
    const double onScreen = (3 - fullTint(2000).r - fullTint(2000).g - fullTint(2000).b) / 3;
    const double planned = (3 - scheduled.r - scheduled.g - scheduled.b) / 3;
    EXPECT_EQ(held[0], QStringLiteral(
                           "Schedule announcement held — screen is already warmer (on-screen %1 vs "
                           "scheduled %2 attenuation); the ramp has not caught up yet")
                           .arg(onScreen, 0, 'f', 4)
                           .arg(planned, 0, 'f', 4));
    EXPECT_GT(onScreen, planned);
    EXPECT_TRUE(f.calls.isEmpty());
    EXPECT_EQ(f.enabled(), true);

    // Later the same night at 2500 K: never as warm as the screen, still held.
    f.setNow(f.at(QTime(23, 0)));
    EXPECT_EQ(f.handler.handle(WarmthState::warm(2500, 1.0)), Handler::Outcome::held);

    // A point schedule that peaked at 1800 K an hour ago is obeyed at 23:00.
    f.useDefaultSchedule();
    f.show(fullTint(1800));
    EXPECT_EQ(f.handler.handle(f.engine.previewState(f.clock.now())),
              Handler::Outcome::appliedWarm);
}

TEST(ScheduleAnnouncementHandler, OneGammaStepCountsAsCaughtUp) {
    HandlerFixture f; // no schedule on: the look-back would always say no
    const WarmthState state = WarmthState::warm(3000, 1.0);
    const DisplayTint target = fullTint(3000);
    f.show({target.r, target.g - 0.5 / 255, target.b - 0.99 / 255});
    EXPECT_EQ(f.handler.handle(state), Handler::Outcome::appliedWarm);
    f.show({target.r, target.g, target.b - 2.0 / 255});
    EXPECT_EQ(f.handler.handle(state), Handler::Outcome::held);
}

TEST(ScheduleAnnouncementHandler, WarmTurnsTheTintOnWithoutStoringTheWarmth) {
    HandlerFixture f;
    f.useDefaultSchedule();
    f.store.defaults().setBool(PrefKey::enabled, false);
    f.store.defaults().setDouble(PrefKey::temperature, 4000);
    f.store.defaults().setDouble(PrefKey::brightness, 0.7);

    EXPECT_EQ(f.handler.handle(WarmthState::warm(2200, 0.5)), Handler::Outcome::appliedWarm);
    EXPECT_EQ(f.calls, (QStringList{"yield", "viewModel 1", "gamma 2200 2 0.7", "icon"}));
    EXPECT_EQ(f.enabled(), true);
    EXPECT_EQ(f.store.defaults().doubleValue(PrefKey::temperature), 4000);
    EXPECT_FALSE(f.store.defaults().contains(PrefKey::intensity));

    // Re-application keeps the scheduled warmth while the schedule governs, from the
    // moment the tint turns on.
    const Handler::ScheduledWarmth applied{2200, 2.0};
    EXPECT_EQ(f.reapplicationSeen, applied);
    EXPECT_EQ(f.handler.scheduledWarmthForReapplication(), applied);
    // A held announcement leaves the tint, and so what a re-application pushes, alone.
    f.show(fullTint(1000));
    EXPECT_EQ(f.handler.handle(WarmthState::warm(2600, 0.2)), Handler::Outcome::held);
    EXPECT_EQ(f.handler.scheduledWarmthForReapplication(), applied);
    f.show(DisplayTint::identity());
    f.engine.setManualOverride(ManualScheduleOverride{true});
    EXPECT_FALSE(f.handler.scheduledWarmthForReapplication());
    f.engine.clearManualOverride();
    f.store.defaults().setBool(PrefKey::useSchedule, false);
    EXPECT_FALSE(f.handler.scheduledWarmthForReapplication());
    f.followSun();
    EXPECT_EQ(f.handler.scheduledWarmthForReapplication(), applied);
    f.handler.handle(WarmthState::cool());
    EXPECT_FALSE(f.handler.scheduledWarmthForReapplication());

    // Keyboard harmony follows only when it is on.
    f.calls.clear();
    f.store.defaults().setBool(PrefKey::fullHarmonyEnabled, true);
    f.handler.handle(WarmthState::warm(2000, 1.0));
    EXPECT_TRUE(f.calls.contains("harmony 4"));
}

TEST(ScheduleAnnouncementHandler, PinRule) {
    HandlerFixture f;
    // No schedule: nothing pinned, nothing cleared.
    f.handler.pinManualOverride();
    EXPECT_FALSE(f.engine.manualOverride());
    f.engine.setManualOverride(ManualScheduleOverride{false});
    f.handler.pinManualOverride();
    EXPECT_EQ(f.engine.manualOverride(), ManualScheduleOverride{false});

    // Following the sun with a stored 3400 K: evaluated with the 2500 K ceiling.
    f.followSun(3400);
    f.setNow(f.at(QTime(19, 10)));
    f.handler.pinManualOverride();
    EXPECT_EQ(f.engine.manualOverride(), ManualScheduleOverride{true});
    f.setNow(f.at(QTime(12, 0)));
    f.handler.pinManualOverride();
    EXPECT_EQ(f.engine.manualOverride(), ManualScheduleOverride{false});

    // The points decide when both are on.
    f.useDefaultSchedule();
    f.setNow(f.at(QTime(7, 0)));
    f.engine.setManualOverride(ManualScheduleOverride{true});
    f.handler.pinManualOverride();
    EXPECT_EQ(f.engine.manualOverride(), ManualScheduleOverride{false});
}

TEST(ScheduleAnnouncementHandler, LaunchWiringAndScheduleSettingChanges) {
    HandlerFixture f;
    LogCapture log;
    f.handler.install();
    EXPECT_FALSE(f.engine.isRunning()); // no schedule on at launch
    f.engine.onLocationError("Unable to determine location. Auto-sunset will retry shortly.");
    EXPECT_TRUE(log.contains(
        "Location error: Unable to determine location. Auto-sunset will retry shortly."));

    // Turning the sun on clears an override, starts the engine and announces.
    f.followSun();
    f.setNow(f.at(QTime(22, 0)));
    f.engine.setManualOverride(ManualScheduleOverride{false});
    f.handler.autoSunsetChanged(true);
    EXPECT_FALSE(f.engine.manualOverride());
    EXPECT_TRUE(f.engine.isRunning());
    EXPECT_EQ(f.engine.lastAssertedState(), WarmthState::warm(2500, 1.0));
    EXPECT_EQ(f.enabled(), true); // the announcement reached the handler

    // Editing the schedule announces even an unchanged state.
    f.calls.clear();
    f.handler.scheduleChanged();
    EXPECT_TRUE(f.calls.contains("gamma 2500 4 1"));

    // Both off: the engine stops.
    f.store.defaults().setBool(PrefKey::autoSunset, false);
    f.handler.autoSunsetChanged(false);
    EXPECT_FALSE(f.engine.isRunning());

    // A later launch with a schedule on starts the engine.
    HandlerFixture g;
    g.useDefaultSchedule();
    g.handler.install();
    EXPECT_TRUE(g.engine.isRunning());
    g.engine.stop();
}
