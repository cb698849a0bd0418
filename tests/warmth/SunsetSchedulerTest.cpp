#include "ScheduleTestSupport.h"

#include "core/Logging.h"
#include "platform/Platform.h"
#include "warmth/LocalCalendar.h"
#include "warmth/SolarMath.h"

#include <gtest/gtest.h>

namespace {

const QDate day(2024, 6, 21);

void expectWarm(const WarmthState& s, double kelvin, double intensity, const char* what) {
    EXPECT_TRUE(s.isWarm()) << what << ": " << s.description().toStdString();
    EXPECT_NEAR(s.kelvin, kelvin, 1e-9) << what;
    EXPECT_NEAR(s.intensity, intensity, 1e-9) << what;
}

} // namespace

TEST(WarmthState, EqualityAndDescription) {
    EXPECT_EQ(WarmthState::cool(), WarmthState::cool());
    EXPECT_NE(WarmthState::warm(2500, 1), WarmthState::cool());
    EXPECT_NE(WarmthState::warm(2500, 1), WarmthState::warm(2500, 0.999));
    EXPECT_EQ(WarmthState::cool().description(), "cool");
    EXPECT_EQ(WarmthState::warm(2500, 1).description(), "warm(kelvin: 2500.0, intensity: 1.0)");
    EXPECT_EQ(WarmthState::warm(2393.125, 0.1).description(),
              "warm(kelvin: 2393.125, intensity: 0.1)");
}

TEST(SunsetSchedulerSolar, FadesAroundSunsetAndSunrise) {
    const QTimeZone utc = QTimeZone::utc();
    auto t = [&](int h, int m, int s = 0) { return QDateTime(day, QTime(h, m, s), utc); };
    const auto sunset = t(16, 10);
    const auto sunrise = t(8, 5);
    auto state = [&](const QDateTime& at) {
        return SunsetScheduler::computeSolarState(at, sunset, sunrise, 1500, 2500, nullptr);
    };
    EXPECT_EQ(state(t(12, 0)), WarmthState::cool());
    EXPECT_EQ(state(t(16, 10)), WarmthState::cool()); // the fade starts at zero
    expectWarm(state(t(16, 22, 30)), 2500, 0.5, "mid fade-in");
    expectWarm(state(t(16, 35)), 2500, 1.0, "fade-in done");
    expectWarm(state(t(23, 0)), 2500, 1.0, "evening");
    expectWarm(state(t(2, 0)), 2500, 1.0, "night");
    expectWarm(state(t(7, 52, 30)), 2500, 0.5, "mid fade-out");
    EXPECT_EQ(state(t(8, 5)), WarmthState::cool());

    // No location and no times: the wall clock stands in (19:00 and 07:00 local).
    const QTimeZone berlin("Europe/Berlin");
    auto local = [&](int h, int m, int s = 0) { return QDateTime(day, QTime(h, m, s), berlin); };
    auto fallback = [&](const QDateTime& at) {
        return SunsetScheduler::computeSolarState(at, std::nullopt, std::nullopt, 1500, 2500,
                                                  nullptr);
    };
    expectWarm(fallback(local(6, 47, 30)), 2500, 0.5, "fallback morning");
    EXPECT_EQ(fallback(local(12, 0)), WarmthState::cool());
    expectWarm(fallback(local(19, 12, 30)), 2500, 0.5, "fallback evening");
    const auto times = SunsetScheduler::wallClockFallbackTimes(local(12, 0), berlin);
    ASSERT_TRUE(times);
    EXPECT_EQ(times->sunset, local(19, 0));
    EXPECT_EQ(times->sunrise, local(7, 0));

    // A day without sunrise or sunset: the sun's elevation decides (−6° full, −0.833° none).
    auto byElevation = [&](double degrees) {
        return SunsetScheduler::computeSolarState(t(12, 0), std::nullopt, sunrise, 1500, 1900,
                                                  [degrees](const QDateTime&) { return degrees; });
    };
    expectWarm(byElevation(-6), 1900, 1.0, "civil twilight");
    expectWarm(byElevation(-20), 1900, 1.0, "polar night");
    EXPECT_EQ(byElevation(-0.833), WarmthState::cool());
    EXPECT_EQ(byElevation(30), WarmthState::cool());
    const double mid = 1.0 - ScheduleCurve::smoothstep(2.5 / 5.167000000000002);
    expectWarm(byElevation(-3.5), 1900, mid, "twilight");
}

TEST(SunsetSchedulerSolar, EngineFollowsTheSunAtALocation) {
    ScheduleFixture f("Europe/London");
    f.followSun(1900); // below the 2500 K ceiling: used as it is
    f.setNow(f.at(QTime(12, 0)));
    f.engine.assertDesiredState(f.clock.now());
    // Without a place yet: the wall-clock fallback, cool at noon.
    ASSERT_EQ(f.announced.size(), 1u);
    EXPECT_EQ(f.announced.back(), WarmthState::cool());
    EXPECT_FALSE(f.engine.todaySunset());

    LogCapture log;
    f.locate(51.5074, -0.1278);
    ASSERT_TRUE(f.engine.todaySunset() && f.engine.todaySunrise());
    EXPECT_NEAR(LocalCalendar::toSecs(*f.engine.todaySunset()), 1719001281.678, 1.0);
    EXPECT_NEAR(LocalCalendar::toSecs(*f.engine.todaySunrise()), 1718941365.358, 1.0);
    EXPECT_TRUE(log.contains("Solar times refreshed — sunset: 2024-06-21 20:21:21 +0000, sunrise: "
                             "2024-06-21 03:42:45 +0000"));
    // One fix is enough: continuous updates stop, change monitoring stays.
    EXPECT_FALSE(f.location.isUpdating());

    const QDateTime sunset = *f.engine.todaySunset();
    f.setNow(sunset.addSecs(750));
    f.engine.assertDesiredState(f.clock.now());
    ASSERT_TRUE(f.announced.back().isWarm());
    EXPECT_EQ(f.announced.back().kelvin, 1900);
    EXPECT_NEAR(f.announced.back().intensity, 0.5, 0.002);

    // The stored temperature is capped at 2500 K when following the sun.
    f.store.defaults().setDouble(PrefKey::temperature, 3400);
    f.setNow(sunset.addSecs(3600));
    f.engine.assertDesiredState(f.clock.now());
    EXPECT_EQ(f.announced.back(), WarmthState::warm(2500, 1.0));

    // A new day recomputes the times once.
    log.clear();
    f.setNow(f.at(QDate(2024, 6, 22), QTime(12, 0)));
    f.engine.assertDesiredState(f.clock.now());
    f.engine.assertDesiredState(f.clock.now().addSecs(60));
    EXPECT_EQ(log.messages("com.halcyra.Scheduler").filter("Solar times refreshed").size(), 1);
    EXPECT_EQ(LocalCalendar::localDate(f.zone, LocalCalendar::toSecs(*f.engine.todaySunset())),
              QDate(2024, 6, 22));
}

TEST(SunsetSchedulerSolar, PolarDayAndFarOffsetZones) {
    {
        // Midnight sun: no times stored, the elevation keeps the screen cool all night.
        ScheduleFixture f("Arctic/Longyearbyen");
        f.followSun();
        f.setNow(f.at(QTime(23, 59)));
        f.locate(78.2232, 15.6267);
        EXPECT_FALSE(f.engine.todaySunset());
        EXPECT_EQ(f.announced.back(), WarmthState::cool());
        // Polar night: warm at noon.
        f.setNow(f.at(QDate(2024, 12, 21), QTime(12, 0)));
        f.engine.assertDesiredState(f.clock.now());
        EXPECT_EQ(f.announced.back(), WarmthState::warm(2500, 1.0));
    }
    {
        // UTC+14 west of the date line: the day's own sunrise and sunset, so the
        // afternoon is cool and the night warm.
        ScheduleFixture f("Pacific/Kiritimati");
        f.followSun();
        f.setNow(f.at(QTime(12, 0)));
        f.locate(1.8721, -157.4278);
        EXPECT_NEAR(LocalCalendar::toSecs(*f.engine.todaySunrise()), 1718900649.288, 1.0);
        EXPECT_NEAR(LocalCalendar::toSecs(*f.engine.todaySunset()), 1718944675.444, 1.0);
        EXPECT_EQ(f.announced.back(), WarmthState::cool());
        f.setNow(f.at(QTime(21, 0)));
        f.engine.assertDesiredState(f.clock.now());
        EXPECT_EQ(f.announced.back(), WarmthState::warm(2500, 1.0));
    }
}

TEST(SunsetSchedulerPoints, CurveAcrossMidnightAndDaylightSaving) {
    const auto& defaults = SchedulePoint::defaults();
    const QTimeZone berlin("Europe/Berlin");
    auto state = [&](QDate d, QTime t) {
        return SunsetScheduler::computePointScheduleState(QDateTime(d, t, berlin), defaults);
    };
    EXPECT_NEAR(state(day, QTime(0, 0)).kelvin, 2393.1, 0.05);
    EXPECT_NEAR(state(day, QTime(2, 0)).kelvin, 3759.9, 0.05);
    EXPECT_NEAR(state(day, QTime(2, 0)).intensity, (6500 - 3759.9) / 4700, 1e-4);
    EXPECT_TRUE(state(day, QTime(6, 30)).isWarm()); // 6458 K is still warm
    EXPECT_EQ(state(day, QTime(7, 0)), WarmthState::cool());
    EXPECT_EQ(state(day, QTime(22, 0)), WarmthState::warm(1800, 1.0));

    // The curve reads the wall clock: after the spring-forward gap 03:00 CEST reads 3.0 h.
    EXPECT_NEAR(state(QDate(2024, 3, 31), QTime(3, 0)).kelvin,
                SchedulePoint::interpolatedKelvin(3.0, defaults), 1e-9);
    // Both passes of the repeated hour read the same clock time.
    const QDateTime firstPass = QDateTime::fromSecsSinceEpoch(1729989000, berlin);
    const QDateTime secondPass = firstPass.addSecs(3600);
    EXPECT_EQ(SunsetScheduler::computePointScheduleState(firstPass, defaults),
              SunsetScheduler::computePointScheduleState(secondPass, defaults));

    // Points are held to 1800..6500 K; an empty schedule is cool all day.
    const auto extreme = ScheduleFixture::points({{0, 1500}, {12, 6800}});
    EXPECT_EQ(
        SunsetScheduler::computePointScheduleState(QDateTime(day, QTime(0, 0), berlin), extreme),
        WarmthState::warm(1800, 1.0));
    EXPECT_EQ(
        SunsetScheduler::computePointScheduleState(QDateTime(day, QTime(12, 0), berlin), extreme),
        WarmthState::cool());
    EXPECT_EQ(SunsetScheduler::computePointScheduleState(QDateTime(day, QTime(23, 0), berlin), {}),
              WarmthState::cool());
}

TEST(SunsetSchedulerEngine, PointsWinAndDeduplicationLetsFadesFinish) {
    ScheduleFixture f;
    // Neither schedule: cool, announced once.
    f.engine.assertDesiredState(f.clock.now());
    f.engine.assertDesiredState(f.clock.now());
    ASSERT_EQ(f.announced.size(), 1u);
    EXPECT_EQ(f.announced[0], WarmthState::cool());

    // Both on: the points decide.
    f.followSun();
    f.useDefaultSchedule();
    f.setNow(f.at(QTime(22, 0)));
    f.engine.assertDesiredState(f.clock.now());
    EXPECT_EQ(f.announced.back(), WarmthState::warm(1800, 1.0));

    // Following the sun alone, through the end of the evening fade (fallback 19:00).
    f.store.defaults().setBool(PrefKey::useSchedule, false);
    f.announced.clear();
    LogCapture log;
    const QDateTime sunset = f.at(QTime(19, 0));
    for (int s : {1380, 1440, 1470, 1500, 1560, 1620}) {
        f.setNow(sunset.addSecs(s));
        f.engine.assertDesiredState(f.clock.now());
    }
    // 1380 s → 0.98, 1440 s → 0.9953; the rest is within the tolerance, so the fade
    // rests just short of full.
    ASSERT_EQ(f.announced.size(), 2u);
    EXPECT_NEAR(f.announced[1].intensity, 0.995328, 1e-6);
    EXPECT_EQ(f.announced[1].kelvin, 2500);
    EXPECT_TRUE(log.contains("Schedule state change: warm(kelvin: 2500.0, intensity: 0.995"));

    // The fade out ends with a cool announcement.
    f.setNow(f.at(QDate(2024, 6, 22), QTime(6, 59, 30)));
    f.engine.assertDesiredState(f.clock.now());
    f.setNow(f.at(QDate(2024, 6, 22), QTime(7, 0)));
    f.engine.assertDesiredState(f.clock.now());
    EXPECT_EQ(f.announced.back(), WarmthState::cool());
}

TEST(SunsetSchedulerEngine, StartStopPauseAndResume) {
    ScheduleFixture f;
    f.useDefaultSchedule();
    f.setNow(f.at(QTime(22, 0)));
    f.engine.start();
    EXPECT_TRUE(f.engine.isRunning());
    EXPECT_EQ(f.location.authorizationRequests(), 1);
    EXPECT_TRUE(f.location.isUpdating());
    EXPECT_TRUE(f.location.isMonitoringSignificantChanges());
    EXPECT_EQ(f.location.desiredAccuracy(), LocationService::kilometreAccuracy);
    ASSERT_EQ(f.announced.size(), 1u);

    // A restart keeps the last state: nothing new to say.
    f.engine.start();
    EXPECT_EQ(f.announced.size(), 1u);
    // Stopping forgets it: the next start announces again.
    f.engine.stop();
    EXPECT_FALSE(f.engine.isRunning());
    EXPECT_FALSE(f.location.isUpdating());
    EXPECT_FALSE(f.location.isMonitoringSignificantChanges());
    f.engine.start();
    EXPECT_EQ(f.announced.size(), 2u);

    // Paused: nothing announced, the last state unchanged; a holder that lets go is dropped.
    int calls = 0;
    bool paused = true;
    f.engine.setPauseHolder([&] {
        ++calls;
        return paused;
    });
    f.setNow(f.at(QTime(7, 0)));
    f.engine.assertDesiredState(f.clock.now());
    EXPECT_EQ(f.announced.size(), 2u);
    paused = false;
    f.engine.assertDesiredState(f.clock.now());
    EXPECT_EQ(f.announced.back(), WarmthState::cool());
    f.engine.assertDesiredState(f.clock.now());
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(f.engine.hasPauseHolder());

    // Resuming announces the current state even when it repeats the last one.
    const size_t before = f.announced.size();
    f.engine.resumeApplies();
    EXPECT_EQ(f.announced.size(), before + 1);
    f.engine.stop();
}

TEST(SunsetSchedulerEngine, LocationFailuresTellTheUserAndKeepGoing) {
    ScheduleFixture f;
    f.followSun();
    f.setNow(f.at(QTime(19, 12, 30)));

    // The simulated service has no source: "unknown", then the wall-clock fallback.
    f.engine.start();
    ASSERT_TRUE(waitUntil([&] { return !f.locationErrors.empty(); }));
    EXPECT_EQ(f.locationErrors.back(),
              "Unable to determine location. Auto-sunset will retry shortly.");
    ASSERT_FALSE(f.announced.empty());
    EXPECT_TRUE(f.announced.back().isWarm());
    EXPECT_NEAR(f.announced.back().intensity, 0.5, 1e-9);

    f.location.deliverError({LocationError::denied, "refused"});
    EXPECT_EQ(f.locationErrors.back(),
              "Location access denied. Enable Location Services for Halcyra in your desktop's "
              "privacy settings (GeoClue).");
    f.location.deliverError({LocationError::network, "gone"});
    EXPECT_EQ(f.locationErrors.back(), "Location unavailable. Using last known location.");
    f.location.deliverError({std::nullopt, "transport"});
    EXPECT_EQ(f.locationErrors.back(), "Location unavailable. Using last known location.");

    // A scripted place arrives on the next start; an empty report changes nothing.
    f.location.deliver({});
    EXPECT_FALSE(f.engine.lastLocation());
    f.location.setScriptedFix({48.1374, 11.5755, 1000, {}});
    f.engine.start();
    ASSERT_TRUE(waitUntil([&] { return f.engine.lastLocation().has_value(); }));
    EXPECT_EQ(f.engine.lastLocation()->latitude, 48.1374);
    EXPECT_TRUE(f.engine.todaySunset().has_value());
    // A failure after a fix keeps the place and its times.
    f.location.deliverError({LocationError::locationUnknown, "later"});
    EXPECT_TRUE(f.engine.lastLocation().has_value());
    EXPECT_TRUE(f.engine.todaySunset().has_value());
    f.engine.stop();

    // Without a positioning source the platform offers the simulated service.
    EXPECT_NE(Platform::makeSimulated()->simulatedLocation(), nullptr);
}
