#include "ScheduleTestSupport.h"

#include "warmth/ColorTemperature.h"
#include "warmth/LocalCalendar.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

DisplayTint fullTint(double kelvin) {
    return ColorTemperature::blendedTint(kelvin, 4.0);
}

std::vector<double> sortedSecs(const QList<QDateTime>& times) {
    std::vector<double> out;
    for (const auto& t : times)
        out.push_back(LocalCalendar::toSecs(t));
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

TEST(ScheduleQueries, NothingWithoutASchedule) {
    ScheduleFixture f;
    const QDateTime now = f.at(QTime(22, 0));
    EXPECT_EQ(f.engine.previewState(now), WarmthState::cool());
    EXPECT_FALSE(f.engine.hasBeenAtLeastAsWarm(fullTint(6000), now));
    EXPECT_FALSE(f.engine.nextWarmOnset(now, 86400));
    EXPECT_TRUE(f.engine.scheduleCriticalTimes(now.addDays(-1), now, f.zone).isEmpty());
}

TEST(ScheduleQueries, LookBackOverTheWarmStretch) {
    {
        // Following the sun without a place: warm from 19:00 at 2500 K.
        ScheduleFixture f;
        f.followSun(3400);
        const QDateTime now = f.at(QTime(22, 0));
        EXPECT_EQ(f.engine.previewState(now), WarmthState::warm(2500, 1.0));
        // The screen at 1800 K is warmer than anything since sunset.
        EXPECT_FALSE(f.engine.hasBeenAtLeastAsWarm(fullTint(1800), now));
        EXPECT_TRUE(f.engine.hasBeenAtLeastAsWarm(fullTint(2500), now));
        // Within one gamma step counts as reached.
        DisplayTint nearly = fullTint(2500);
        nearly.g -= 0.9 / 255.0;
        nearly.b -= 0.9 / 255.0;
        EXPECT_TRUE(f.engine.hasBeenAtLeastAsWarm(nearly, now));
        nearly.b -= 0.2 / 255.0;
        EXPECT_FALSE(f.engine.hasBeenAtLeastAsWarm(nearly, now));
    }
    {
        // The default points peak at 1800 K at 22:00; an hour later that counts.
        ScheduleFixture f;
        f.useDefaultSchedule();
        EXPECT_TRUE(f.engine.hasBeenAtLeastAsWarm(fullTint(1800), f.at(QTime(23, 0))));
        // At 20:00 the peak is still ahead (and yesterday's lies beyond the cool day).
        EXPECT_FALSE(f.engine.hasBeenAtLeastAsWarm(fullTint(1800), f.at(QTime(20, 0))));
    }
    {
        // Warm all night to 1800 K, cool from 06:00, warm again from 12:00: the walk
        // from 12:05 stops at the cool noon and never sees last night's 1800 K.
        ScheduleFixture f;
        f.useSchedule(ScheduleFixture::points({{20, 1800}, {6, 6500}, {12, 6500}, {12.1, 3000}}));
        const QDateTime now = f.at(QTime(12, 5));
        ASSERT_TRUE(f.engine.previewState(now).isWarm());
        EXPECT_EQ(f.engine.previewState(f.at(QTime(12, 0))), WarmthState::cool());
        EXPECT_FALSE(f.engine.hasBeenAtLeastAsWarm(fullTint(1800), now));
        // The schedule's own tint now (3259 K at 69 %) is reached at once.
        const WarmthState s = f.engine.previewState(now);
        EXPECT_TRUE(f.engine.hasBeenAtLeastAsWarm(
            ColorTemperature::blendedTint(s.kelvin, s.intensity * 4), now));
        EXPECT_TRUE(
            f.engine.hasBeenAtLeastAsWarm(fullTint(1800), f.at(QDate(2024, 6, 22), QTime(3, 0))));
    }
}

TEST(ScheduleQueries, NextWarmOnset) {
    ScheduleFixture f;
    f.followSun(); // no place: warm from 19:00, cool from 07:00
    const QDateTime six = f.at(QTime(18, 0));
    EXPECT_EQ(f.engine.previewState(f.at(QTime(19, 0))), WarmthState::cool());
    EXPECT_TRUE(f.engine.previewState(f.at(QTime(19, 1))).isWarm());
    // The coarse scan sees warm at 19:05; the refinement finds 19:01.
    EXPECT_EQ(f.engine.nextWarmOnset(six, 7200), f.at(QTime(19, 1)));
    EXPECT_FALSE(f.engine.nextWarmOnset(six, 299));
    EXPECT_FALSE(f.engine.nextWarmOnset(six, 3600)); // ends before 19:00
    // Warm at the start and through the window: no onset; past the morning, the next evening's.
    const QDateTime night = f.at(QTime(23, 0));
    EXPECT_FALSE(f.engine.nextWarmOnset(night, 6 * 3600));
    EXPECT_EQ(f.engine.nextWarmOnset(night, 86400), f.at(QDate(2024, 6, 22), QTime(19, 1)));
}

TEST(ScheduleQueries, CriticalTimesOfPointsAndTheSun) {
    {
        ScheduleFixture f;
        f.useSchedule(
            ScheduleFixture::points({{7.5, 3000}, {19.999999, 2000}, {31, 2000}, {-0.5, 2000}}));
        const QDateTime end = f.at(QTime(12, 0));
        const auto times = sortedSecs(f.engine.scheduleCriticalTimes(end.addDays(-2), end, f.zone));
        // 07:30 on each day that falls inside; 19.999999 h rounds to 20:00:00 → skipped.
        const std::vector<double> expected{
            LocalCalendar::toSecs(f.at(QDate(2024, 6, 20), QTime(7, 30))),
            LocalCalendar::toSecs(f.at(QDate(2024, 6, 21), QTime(7, 30)))};
        EXPECT_EQ(times, expected);
    }
    {
        // The spring-forward night: the point at 02:30 takes the end of the gap, and the
        // zone's transition is there with the second before it.
        ScheduleFixture f;
        f.useSchedule(ScheduleFixture::points({{2.5, 2000}}));
        const QDateTime end(QDate(2024, 3, 31), QTime(12, 0), f.zone);
        const auto times = sortedSecs(f.engine.scheduleCriticalTimes(end.addDays(-1), end, f.zone));
        EXPECT_EQ(times, (std::vector<double>{1711846799, 1711846800, 1711846800}));
        // The repeated hour in autumn: the first 02:30, plus the transition.
        const QDateTime autumn(QDate(2024, 10, 27), QTime(12, 0), f.zone);
        const auto back =
            sortedSecs(f.engine.scheduleCriticalTimes(autumn.addDays(-1), autumn, f.zone));
        EXPECT_EQ(back, (std::vector<double>{1729989000, 1729990799, 1729990800}));
    }
    {
        // Following the sun: both ends of both fades, today's and yesterday's if inside.
        ScheduleFixture f;
        f.followSun();
        const QDateTime end = f.at(QTime(23, 0));
        const auto times = sortedSecs(f.engine.scheduleCriticalTimes(end.addDays(-1), end, f.zone));
        const std::vector<double> expected{
            LocalCalendar::toSecs(f.at(QTime(6, 35))), LocalCalendar::toSecs(f.at(QTime(7, 0))),
            LocalCalendar::toSecs(f.at(QTime(19, 0))), LocalCalendar::toSecs(f.at(QTime(19, 25)))};
        EXPECT_EQ(times, expected);
    }
}

TEST(ScheduleQueries, PreviewUsesTheSolarTimesOfTheLastRefresh) {
    ScheduleFixture f("Europe/London");
    f.followSun();
    f.setNow(f.at(QTime(12, 0)));
    f.locate(51.5074, -0.1278);
    const QDateTime sunset = *f.engine.todaySunset();
    EXPECT_EQ(f.engine.previewState(sunset.addSecs(-60)), WarmthState::cool());
    EXPECT_EQ(f.engine.previewState(sunset.addSecs(1500)), WarmthState::warm(2500, 1.0));
    // The next day's evening is judged by today's sunset (the pair is refreshed daily).
    EXPECT_EQ(f.engine.previewState(sunset.addSecs(86400 - 60)), WarmthState::warm(2500, 1.0));
    // A look-back that starts in the fade: the schedule was as warm as 2500 K only after it.
    EXPECT_TRUE(f.engine.hasBeenAtLeastAsWarm(fullTint(2500), sunset.addSecs(1600)));
    EXPECT_FALSE(f.engine.hasBeenAtLeastAsWarm(fullTint(2500), sunset.addSecs(1200)));
}
