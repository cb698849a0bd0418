#include "insights/ScheduleViewLogic.h"
#include "insights/CircadianFact.h"
#include "insights/ScheduleSettingsModel.h"
#include "support/TestStore.h"

#include "core/Preferences.h"

#include <QTimeZone>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace L = ScheduleViewLogic;

namespace {
void expectColour(const RampColour& got, const RampColour& want) {
    EXPECT_NEAR(got.r, want.r, 1e-9);
    EXPECT_NEAR(got.g, want.g, 1e-9);
    EXPECT_NEAR(got.b, want.b, 1e-9);
    EXPECT_NEAR(got.a, want.a, 1e-9);
}
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
} // namespace

TEST(ScheduleViewTexts, KelvinHourClockAndHoursStrings) {
    EXPECT_EQ(L::kelvinString(2700), "2,700K");
    EXPECT_EQ(L::kelvinString(6500), "6,500K");
    EXPECT_EQ(L::kelvinString(999.6), "1,000K");
    EXPECT_EQ(L::kelvinString(950), "950K");
    EXPECT_EQ(L::kelvinString(4150), "4,150K");

    EXPECT_EQ(L::hourString(6), "6 AM");
    EXPECT_EQ(L::hourString(12), "12 PM");
    EXPECT_EQ(L::hourString(21), "9 PM");
    EXPECT_EQ(L::hourString(30), "6 AM");
    EXPECT_EQ(L::hourString(0), "12 AM");

    EXPECT_EQ(L::clockString(6.5), "6:30 AM");
    EXPECT_EQ(L::clockString(12.0), "12:00 PM");
    EXPECT_EQ(L::clockString(23.9167), "11:55 PM");
    EXPECT_EQ(L::clockString(6.999), "6:59 AM");
    EXPECT_EQ(L::clockString(13.25), "1:15 PM");
    EXPECT_EQ(L::clockString(23.99), "11:59 PM");
    // The end of the day reads like its start.
    EXPECT_EQ(L::clockString(24.0), L::clockString(0.0));
    EXPECT_EQ(L::clockString(0.0), "12:00 AM");
    // Every five-minute position a drag can store reads as its own minute.
    for (int n = 0; n < 288; ++n) {
        const int minutes = n * 5, h = minutes / 60 % 24;
        const QString expected = QStringLiteral("%1:%2 %3")
                                     .arg(h % 12 == 0 ? 12 : h % 12)
                                     .arg(minutes % 60, 2, 10, QLatin1Char('0'))
                                     .arg(h < 12 ? "AM" : "PM");
        EXPECT_EQ(L::clockString(n / 12.0), expected) << n;
    }

    // Values nobody can read show a dash instead of an undefined conversion.
    for (double bad : {kNaN, kInf, -kInf, 1e300}) {
        EXPECT_EQ(L::kelvinString(bad), L::missingValue);
        EXPECT_EQ(L::hourString(bad), L::missingValue);
        EXPECT_EQ(L::clockString(bad), L::missingValue);
    }
}

TEST(ScheduleViewColours, RampEndsAndKelvinForms) {
    expectColour(L::colorForIntensity(0), (RampColour{0.55, 0.70, 0.90, 0.3}));
    expectColour(L::colorForIntensity(kNaN), L::colorForIntensity(0));
    expectColour(L::colorForIntensity(0.5), L::warmColor);
    expectColour(L::colorForIntensity(1), L::deepColor);
    // Out-of-band kelvins colour as the band's ends.
    expectColour(L::colorForKelvin(7000), L::colorForIntensity(0));
    expectColour(L::colorForKelvin(1500), L::deepColor);
    expectColour(L::zoneColorForKelvin(6500), L::coolColor);
    expectColour(L::zoneColorForKelvin(4150), L::warmColor);
}

TEST(ScheduleViewGeometry, RingIndexCentreAndZones) {
    EXPECT_EQ(L::segmentIndex(23 + 59 / 60.0 + 59 / 3600.0, 288), 287);
    EXPECT_EQ(L::segmentIndex(24.0, 288), 287);
    EXPECT_EQ(L::segmentIndex(0.0, 288), 0);
    EXPECT_EQ(L::segmentIndex(kNaN, 288), 0);
    EXPECT_DOUBLE_EQ(L::ringCentreKelvin(1.0, 2700), 2700);
    EXPECT_EQ(ScheduleCurve::bandLabel(L::ringCentreKelvin(1.0, 2700)), "Evening warm");
    EXPECT_EQ(ScheduleCurve::bandLabel(L::ringCentreKelvin(0.5, 2700)), "Daylight cool");

    const auto& parts = L::dayParts();
    auto current = [&](double hour) {
        for (const auto& part : parts)
            if (L::isCurrentZone(part, hour)) return part.id;
        return QString();
    };
    EXPECT_EQ(current(3), "night");
    EXPECT_EQ(current(6), "daytime");
    EXPECT_EQ(current(21), "night");
    EXPECT_EQ(current(16.99), "afternoon");

    std::vector<double> asked;
    const L::ZoneWarmth night = L::zoneWarmth(parts[3], [&](double h) {
        asked.push_back(h);
        return 0.5;
    });
    EXPECT_DOUBLE_EQ(night.avg, 4150);
    EXPECT_EQ(ScheduleCurve::bandLabel(night.avg), "Natural light");
    // 36 quarter hours into tomorrow morning, then the two edges.
    ASSERT_EQ(asked.size(), 38u);
    EXPECT_DOUBLE_EQ(asked[35], 29.75);
    EXPECT_DOUBLE_EQ(asked[37], 29.75);
}

TEST(ScheduleViewGeometry, SunArcAndHandlesWithTheirInverse) {
    const L::VisualiserGeometry g{480};
    // Defaults of a day from 06:00 to 20:00: noon of the arc at 13:00, deepest night at 01:00.
    EXPECT_DOUBLE_EQ(g.sunY(L::sunElevation(13, 6, 20)), 6);
    EXPECT_NEAR(g.sunY(L::sunElevation(1, 6, 20)), 170 - 4, 1e-9);
    EXPECT_DOUBLE_EQ(L::sunElevation(6, 6, 20), 0);
    EXPECT_DOUBLE_EQ(L::sunElevation(10, 20, 6), 0); // a day with no length lies flat

    const QPointF h = g.handle(19.5, 3400);
    EXPECT_DOUBLE_EQ(h.x(), 480 * 19.5 / 24);
    const auto back = g.dragTarget(h.x(), h.y());
    EXPECT_DOUBLE_EQ(back.hour, 19.5);
    EXPECT_NEAR(back.kelvin, 3400, 1e-9);
    EXPECT_DOUBLE_EQ(g.handle(1, 7000).y(), g.bandBase());
    EXPECT_DOUBLE_EQ(g.handle(1, 1500).y(), g.bandTop());

    EXPECT_DOUBLE_EQ(g.dragTarget(480, 0).hour, 23.99);
    EXPECT_DOUBLE_EQ(g.dragTarget(9000, 0).hour, 23.99);
    EXPECT_DOUBLE_EQ(g.dragTarget(-50, 0).hour, 0);
    EXPECT_DOUBLE_EQ(g.dragTarget(100, -40).kelvin, 1800);
    EXPECT_DOUBLE_EQ(g.dragTarget(100, 400).kelvin, 6500);
    // A zero-width area or a pointer that is no number clamps instead of storing NaN.
    for (const auto& t : {L::VisualiserGeometry{0}.dragTarget(10, 120), g.dragTarget(kNaN, kNaN),
                          g.dragTarget(kInf, -kInf)}) {
        EXPECT_TRUE(std::isfinite(t.hour) && t.hour >= 0 && t.hour <= 23.99);
        EXPECT_TRUE(std::isfinite(t.kelvin) && t.kelvin >= 1800 && t.kelvin <= 6500);
    }
}

TEST(ScheduleViewTexts, SentencesCaptionsAndStatusLines) {
    std::vector<L::IntensitySample> samples(288);
    for (int i = 0; i < 288; ++i)
        samples[size_t(i)] = {i / 12.0, i >= 240 ? std::min(1.0, (i - 240) / 12.0) : 0.0};
    EXPECT_EQ(L::visualiserStatusSentence(false, samples, 12, 0),
              "The sun is up — your screen is cool.");
    EXPECT_EQ(L::visualiserStatusSentence(false, samples, 20.1, 0.1),
              "Warming up as the sun sets.");
    EXPECT_EQ(L::visualiserStatusSentence(false, samples, 23, 1),
              "The sun is down — Halcyra is warming your screen.");
    EXPECT_TRUE(L::visualiserStatusSentence(true, samples, 23, 1).startsWith("No location"));
    EXPECT_EQ(L::visualiserStatusSentence(false, {}, 23, 0.4),
              "The sun is down — Halcyra is warming your screen.");
    EXPECT_EQ(L::currentStateLabel(0.5), "Now: 4150K — Transitioning");
    EXPECT_EQ(L::currentStateLabel(1.0), "Now: 1800K — Deep warmth");
    EXPECT_EQ(L::visualiserCaption(false, true, 3, {}, {}),
              "Custom schedule · 3 control points · Smoothstep transitions");

    // Without the engine's own times the arc is drawn for 06:00 to 20:00 and the times
    // read as missing; a time that exists is read in the local zone.
    const QDateTime now(QDate(2024, 6, 21), QTime(12, 0), QTimeZone("Europe/Berlin"));
    const L::SunHours sun = L::sunHours(std::nullopt, std::nullopt, now);
    EXPECT_DOUBLE_EQ(sun.sunrise, 6);
    EXPECT_DOUBLE_EQ(sun.sunset, 20);
    EXPECT_EQ(L::arcTimeString(sun.sunsetTime), "--:--");
    EXPECT_EQ(L::captionTimeString(sun.sunriseTime), "--:--");
    const QDateTime rise(QDate(2024, 6, 21), QTime(3, 15), QTimeZone("UTC"));
    const L::SunHours half = L::sunHours(rise, std::nullopt, now);
    EXPECT_DOUBLE_EQ(half.sunrise, 5.25);
    EXPECT_DOUBLE_EQ(half.sunset, 20);

    const QList<SchedulePoint> points{{QUuid::createUuid(), 20, 2700},
                                      {QUuid::createUuid(), 7, 6500}};
    EXPECT_EQ(L::scheduleStatusLine(points, 21),
              "Active — Evening warm now · next shift at 7:00 AM");
    EXPECT_EQ(L::scheduleStatusLine(points, 8),
              "Active — Daylight cool now · next shift at 8:00 PM");
    EXPECT_EQ(L::scheduleStatusLine({}, 8), "No schedule points set");
    EXPECT_EQ(L::scheduleStatusLine({{QUuid::createUuid(), 24.0, 2700}}, 8),
              "Active — Evening warm now · next shift at 12:00 AM");

    using ScheduleStatusLine::Inputs;
    const QDateTime onset(QDate(2024, 6, 21), QTime(19, 45));
    EXPECT_EQ(ScheduleStatusLine::sentence(Inputs{false, true, onset, true}),
              "No schedule active — warmth is manual");
    EXPECT_EQ(ScheduleStatusLine::sentence(Inputs{true, true, onset, true}),
              "Warming now — no location, fixed times");
    EXPECT_EQ(ScheduleStatusLine::sentence(Inputs{true, false, onset, false}),
              "Warming begins at 7:45 PM");
    EXPECT_EQ(ScheduleStatusLine::sentence(Inputs{true, false, std::nullopt, true}),
              "This schedule never warms the display");

    EXPECT_EQ(CircadianFact::allFacts().size(), 28);
    EXPECT_DOUBLE_EQ(L::spectrumPosition(7000), 0);
    EXPECT_DOUBLE_EQ(L::spectrumPosition(500), 1);
    EXPECT_DOUBLE_EQ(L::spectrumPosition(3750), 0.5);
}

TEST(ScheduleSettingsModel, StoresThroughHandlersAndCopiesOutsideChangesQuietly) {
    TestStore store;
    ScheduleSettingsModel model(&store.defaults());
    int scheduleCalls = 0;
    QList<bool> sunCalls;
    model.onScheduleChanged = [&] { ++scheduleCalls; };
    model.onAutoSunsetChanged = [&](bool on) { sunCalls << on; };

    model.setUseSchedule(true);
    model.setAutoSunset(false);
    const QList<SchedulePoint> points{{QUuid::createUuid(), 6.5, 5000}};
    model.setSchedulePoints(points);
    const Preferences prefs(&store.defaults());
    EXPECT_TRUE(prefs.useSchedule());
    EXPECT_EQ(SchedulePoint::stored(prefs), points);
    EXPECT_EQ(scheduleCalls, 1);
    EXPECT_EQ(sunCalls, QList<bool>{false});

    // Another writer of the store: the model follows without storing or calling out.
    store.defaults().setBool(PrefKey::autoSunset, true);
    EXPECT_TRUE(model.autoSunset());
    EXPECT_EQ(sunCalls, QList<bool>{false});
    EXPECT_FALSE(model.isUpdatingFromDefaults);
}
