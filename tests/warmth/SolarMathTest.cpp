#include "warmth/SolarMath.h"
#include "warmth/LocalCalendar.h"

#include <QTimeZone>
#include <gtest/gtest.h>

// Reference values come from tests/warmth/solar_reference.py, an independent
// implementation of NOAA's general solar position equations.

namespace {

QTimeZone zone(const char* id) {
    const QTimeZone z{QByteArray(id)};
    EXPECT_TRUE(z.isValid()) << id;
    return z;
}

// Noon of a local calendar day, as seconds since 1970.
double localNoon(const char* id, int y, int m, int d) {
    return *LocalCalendar::instantOf(QDate(y, m, d), QTime(12, 0), zone(id));
}

struct Day {
    const char* name;
    double latitude;
    double longitude;
    const char* zone;
    QDate date;
    double sunrise; // seconds since 1970; 0 = no sunrise or sunset that day
    double sunset;
};

} // namespace

TEST(SolarMath, SunriseAndSunsetOfLocalDays) {
    const Day days[] = {
        {"London midsummer",
         51.5074,
         -0.1278,
         "Europe/London",
         {2024, 6, 21},
         1718941365.358,
         1719001281.678},
        {"London midwinter",
         51.5074,
         -0.1278,
         "Europe/London",
         {2024, 12, 21},
         1734768238.353,
         1734796418.376},
        {"New York, DST starts",
         40.7128,
         -74.0060,
         "America/New_York",
         {2024, 3, 10},
         1710069370.163,
         1710111438.883},
        {"Sydney summer",
         -33.8688,
         151.2093,
         "Australia/Sydney",
         {2024, 12, 21},
         1734720074.829,
         1734771940.093},
        {"Sydney winter",
         -33.8688,
         151.2093,
         "Australia/Sydney",
         {2024, 6, 21},
         1718917192.514,
         1718952812.713},
        // Sunrise falls before 00:00 UTC of the local date: a negative minute, kept as it comes.
        {"Tokyo midsummer",
         35.6762,
         139.6503,
         "Asia/Tokyo",
         {2024, 6, 21},
         1718911537.440,
         1718964016.108},
        {"Quito equinox",
         -0.1807,
         -78.4678,
         "America/Guayaquil",
         {2024, 3, 20},
         1710933503.787,
         1710977103.729},
        {"Longyearbyen polar night", 78.2232, 15.6267, "Arctic/Longyearbyen", {2024, 12, 21}, 0, 0},
        {"Longyearbyen polar day", 78.2232, 15.6267, "Arctic/Longyearbyen", {2024, 6, 21}, 0, 0},
        // The local date runs a day ahead of the longitude's solar day.
        {"Kiritimati UTC+14",
         1.8721,
         -157.4278,
         "Pacific/Kiritimati",
         {2024, 6, 21},
         1718900649.288,
         1718944675.444},
        {"Apia UTC+13",
         -13.8333,
         -171.7667,
         "Pacific/Apia",
         {2024, 1, 15},
         1705252165.388,
         1705298474.777},
    };
    for (const Day& d : days) {
        const QTimeZone z = zone(d.zone);
        // Any instant of the local day gives that day's pair.
        for (const QTime& at : {QTime(0, 30), QTime(12, 0), QTime(23, 30)}) {
            const double instant = *LocalCalendar::instantOf(d.date, at, z);
            const auto times = SolarMath::sunTimes(instant, z, d.latitude, d.longitude);
            if (d.sunrise == 0) {
                EXPECT_FALSE(times.has_value()) << d.name;
                continue;
            }
            ASSERT_TRUE(times.has_value()) << d.name;
            EXPECT_NEAR(times->sunrise, d.sunrise, 1.0) << d.name;
            EXPECT_NEAR(times->sunset, d.sunset, 1.0) << d.name;
            // Both belong to the local day.
            EXPECT_EQ(LocalCalendar::localDate(z, times->sunrise), d.date) << d.name;
            EXPECT_EQ(LocalCalendar::localDate(z, times->sunset), d.date) << d.name;
        }
    }

    // On the equator at the equinox the day lasts about twelve hours.
    const auto quito = SolarMath::sunTimes(localNoon("America/Guayaquil", 2024, 3, 20),
                                           zone("America/Guayaquil"), -0.1807, -78.4678);
    ASSERT_TRUE(quito);
    EXPECT_NEAR(quito->sunset - quito->sunrise, 12 * 3600.0, 15 * 60.0);
}

TEST(SolarMath, ElevationAtInstantsIgnoresTheLocalZone) {
    struct Row {
        double latitude, longitude, secs, elevation;
    };
    const Row rows[] = {
        {51.5074, -0.1278, 1718971200, 61.945362},   // London, midsummer noon UTC
        {51.5074, -0.1278, 1719001815, -1.852064},   // just after London's sunset
        {-33.8688, 151.2093, 1734728400, 26.140769}, // Sydney morning
        {78.2232, 15.6267, 1734778800, -11.651006},  // polar night at noon
        {78.2232, 15.6267, 1719010800, 11.678150},   // midnight sun
        {1.8721, -157.4278, 1718922600, 68.415910},  // Kiritimati near local noon
    };
    for (const Row& r : rows) {
        EXPECT_NEAR(SolarMath::solarElevation(r.secs, r.latitude, r.longitude), r.elevation, 1e-4);
        // The same instant written in different zones is the same sun.
        for (const char* id : {"UTC", "Asia/Tokyo", "America/Los_Angeles"}) {
            const QDateTime at = QDateTime::fromSecsSinceEpoch(qint64(r.secs), zone(id));
            EXPECT_NEAR(SolarMath::solarElevation(at, r.latitude, r.longitude), r.elevation, 1e-4)
                << id;
        }
    }
}

TEST(SolarMath, UtcMidnightOfTheLocalDate) {
    // 2024-06-21 23:30 in New York is already the 22nd in UTC; the local date counts.
    const QDateTime lateEvening(QDate(2024, 6, 21), QTime(23, 30), zone("America/New_York"));
    EXPECT_EQ(*SolarMath::utcMidnight(lateEvening, zone("America/New_York")),
              QDateTime(QDate(2024, 6, 21), QTime(0, 0), Qt::UTC));
    EXPECT_EQ(*SolarMath::utcMidnight(lateEvening, QTimeZone::utc()),
              QDateTime(QDate(2024, 6, 22), QTime(0, 0), Qt::UTC));
}

TEST(LocalCalendar, SkippedAndRepeatedClockTimes) {
    const QTimeZone berlin = zone("Europe/Berlin");
    // 02:30 does not exist on 31 March 2024: the next existing time is 03:00 CEST.
    EXPECT_EQ(*LocalCalendar::instantOf(QDate(2024, 3, 31), QTime(2, 30), berlin), 1711846800.0);
    // 02:30 happens twice on 27 October 2024: the first is 02:30 CEST.
    EXPECT_EQ(*LocalCalendar::instantOf(QDate(2024, 10, 27), QTime(2, 30), berlin), 1729989000.0);
    // Ordinary times round-trip.
    const double t = *LocalCalendar::instantOf(QDate(2024, 7, 1), QTime(19, 0), berlin);
    EXPECT_EQ(LocalCalendar::toDateTime(t, berlin).time(), QTime(19, 0));
    EXPECT_DOUBLE_EQ(LocalCalendar::hourOfDay(berlin, t + 1800.5), 19.5);
    EXPECT_EQ(LocalCalendar::localDate(berlin, t), QDate(2024, 7, 1));
    EXPECT_FALSE(LocalCalendar::instantOf(QDate(), QTime(1, 0), berlin).has_value());
    // Before 1970 the day still starts at local midnight.
    EXPECT_DOUBLE_EQ(LocalCalendar::hourOfDay(QTimeZone::utc(), -3600.0), 23.0);
}
