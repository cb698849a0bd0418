#include "core/Preferences.h"
#include "insights/InsightsLogic.h"
#include "insights/InsightsStore.h"
#include "support/TestStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

DailyInsight day(const QString& key, double protectedHours, double scheduledHours = 0) {
    DailyInsight d = DailyInsight::zero(key);
    d.protectedSeconds = protectedHours * 3600;
    d.scheduledSeconds = scheduledHours * 3600;
    return d;
}

DailyInsight warmth(const QString& key, double kelvinAverage, qint64 samples = 10) {
    DailyInsight d = DailyInsight::zero(key);
    d.kelvinSum = kelvinAverage * samples;
    d.kelvinSamples = samples;
    return d;
}

QDateTime utc(int y, int m, int d, int h = 12) {
    return QDateTime(QDate(y, m, d), QTime(h, 0), QTimeZone::utc());
}

} // namespace

TEST(InsightsLogic, ScoreAveragesPresetAndRange) {
    using namespace InsightsLogic;
    EXPECT_FALSE(screenHealthScore({}));
    EXPECT_FALSE(screenHealthScore({day("2026-03-01", 0)}));
    EXPECT_EQ(screenHealthScore({day("2026-03-01", 6, 6)}), 31);
    EXPECT_EQ(screenHealthScore({day("2026-03-01", 0.5)}), 1); // round(0.595)
    QList<DailyInsight> week;
    for (int i = 1; i <= 7; ++i)
        week.append(day(QString("2026-03-0%1").arg(i), 6, 6));
    EXPECT_EQ(screenHealthScore(week), 100);
    // Scheduled share is capped at the protected time.
    EXPECT_EQ(screenHealthScore({day("2026-03-01", 6, 12)}), 31);

    EXPECT_FALSE(averageKelvin({day("2026-03-01", 1)}));
    EXPECT_DOUBLE_EQ(*averageKelvin({warmth("a", 3000, 1), warmth("b", 2000, 3)}), 2250);
    DailyInsight lit = DailyInsight::zero("x");
    lit.brightnessSum = 1.5;
    lit.brightnessSamples = 2;
    EXPECT_DOUBLE_EQ(*averageBrightness({lit, day("y", 1)}), 0.75);
    EXPECT_FALSE(averageBrightness({day("y", 1)}));

    DailyInsight a = DailyInsight::zero("a"), b = DailyInsight::zero("b");
    a.presetCounts = {{"Reading", 2}, {"Flow", 3}};
    b.presetCounts = {{"Reading", 1}, {"Deep Sleep", 1}};
    EXPECT_EQ(mostUsedPreset({a, b}), QString("Flow")); // 3 each: "Flow" sorts first
    EXPECT_FALSE(mostUsedPreset({day("c", 1)}));

    const QList<DailyInsight> unordered{day("2026-03-05", 1), day("2026-02-27", 1),
                                        day("2026-03-06", 1), day("2026-02-26", 1)};
    const auto picked = days(unordered, "2026-02-27", "2026-03-05");
    ASSERT_EQ(picked.size(), 2);
    EXPECT_EQ(picked[0].day, "2026-03-05");
    EXPECT_EQ(picked[1].day, "2026-02-27");
}

TEST(InsightsLogic, DayKeysAreGregorianDatesInTheGivenZone) {
    using namespace InsightsLogic;
    const QDateTime instant = utc(2026, 3, 7, 23);
    EXPECT_EQ(dayKey(instant, QTimeZone::utc()), "2026-03-07");
    EXPECT_EQ(dayKey(instant, QTimeZone(9 * 3600)), "2026-03-08");
    EXPECT_EQ(dayKey(QDate(987, 1, 2)), "0987-01-02");
}

TEST(InsightsLogic, DecodesRecordByRecord) {
    DailyInsight full = DailyInsight::zero("2026-03-01");
    full.protectedSeconds = 120;
    full.kelvinSum = 6800.5;
    full.kelvinSamples = 2;
    full.scheduledSeconds = 60;
    full.presetCounts = {{"Reading", 4}};
    full.brightnessSum = 1.25;
    full.brightnessSamples = 2;
    auto roundTrip = InsightsLogic::decode(InsightsLogic::encode({full}));
    EXPECT_EQ(roundTrip.records, QList<DailyInsight>{full});
    EXPECT_EQ(roundTrip.dropped, 0);

    QJsonObject old = full.toJson();
    old.remove("brightnessSum");
    old.remove("brightnessSamples");
    QJsonObject noDay = full.toJson();
    noDay.remove("day");
    QJsonObject badCount = full.toJson();
    badCount["day"] = "2026-03-03";
    badCount["kelvinSamples"] = 1.5;
    QJsonObject badPreset = full.toJson();
    badPreset["day"] = "2026-03-04";
    badPreset["presetCounts"] = QJsonObject{{"Flow", "many"}};
    QJsonObject later = full.toJson();
    later["day"] = "2026-03-05";
    const QByteArray stored = QJsonDocument(QJsonArray{old, noDay, badCount, badPreset, 7, later,
                                                       old}) // a repeated day is dropped too
                                  .toJson();
    const auto decoded = InsightsLogic::decode(stored);
    EXPECT_TRUE(decoded.readable);
    EXPECT_EQ(decoded.dropped, 5);
    ASSERT_EQ(decoded.records.size(), 2);
    EXPECT_EQ(decoded.records[0].day, "2026-03-01");
    EXPECT_EQ(decoded.records[0].brightnessSamples, 0);
    EXPECT_EQ(decoded.records[0].brightnessSum, 0);
    EXPECT_FALSE(InsightsLogic::averageBrightness(decoded.records.mid(0, 1)));
    EXPECT_EQ(decoded.records[1].day, "2026-03-05");

    EXPECT_FALSE(InsightsLogic::decode("{\"day\":1}").readable);
    EXPECT_FALSE(InsightsLogic::decode("not json").readable);
}

TEST(InsightsStore, SamplesOnlyWhileTintedAndCountsPresets) {
    TestStore settings;
    UserDefaults& d = settings.defaults();
    ManualClock clock(utc(2026, 3, 7));
    InsightsStore store(clock);
    const QDateTime now = clock.now();

    store.sample(now); // tint off
    d.setBool(PrefKey::enabled, true);
    d.setDouble(PrefKey::intensity, 0);
    store.sample(now); // on, but no intensity
    EXPECT_TRUE(store.records().isEmpty());
    EXPECT_FALSE(d.contains(PrefKey::insightsDailyRecords));

    d.setDouble(PrefKey::intensity, 4);
    d.setDouble(PrefKey::temperature, 2700);
    d.setDouble(PrefKey::brightness, 0.8);
    store.sample(now);
    ASSERT_EQ(store.records().size(), 1);
    DailyInsight r = store.records()[0];
    EXPECT_EQ(r.day, "2026-03-07");
    EXPECT_EQ(r.protectedSeconds, 60);
    EXPECT_EQ(r.kelvinSum, 2700);
    EXPECT_EQ(r.kelvinSamples, 1);
    EXPECT_EQ(r.brightnessSamples, 1);
    EXPECT_DOUBLE_EQ(r.brightnessSum, 0.8);
    EXPECT_EQ(r.scheduledSeconds, 0);
    d.setBool(PrefKey::autoSunset, true);
    store.sample(now);
    EXPECT_EQ(store.record(now).scheduledSeconds, 60);
    EXPECT_EQ(store.record(now).protectedSeconds, 120);

    // A preset use counts with the tint off and adds no time.
    d.setBool(PrefKey::enabled, false);
    const QDateTime tomorrow = now.addDays(1);
    store.recordPresetUse("Reading", tomorrow);
    store.recordPresetUse("Reading", tomorrow);
    const DailyInsight next = store.record(tomorrow);
    EXPECT_EQ(next.presetCounts.value("Reading"), 2);
    EXPECT_EQ(next.protectedSeconds, 0);
    EXPECT_EQ(store.records().size(), 2);

    // Saved at once, in the stored form a new store reads back.
    InsightsStore reread(clock);
    EXPECT_EQ(reread.records(), store.records());
    EXPECT_EQ(store.record(now.addDays(5)), DailyInsight::zero("2026-03-12"));

    store.startSampling();
    store.startSampling();
    const auto timers = store.findChildren<QTimer*>();
    ASSERT_EQ(timers.size(), 1);
    EXPECT_EQ(timers[0]->interval(), 60'000);
    EXPECT_TRUE(timers[0]->isActive());
}

TEST(InsightsStore, KeepsNinetyNewestDaysAndSurvivesABadRecord) {
    TestStore settings;
    UserDefaults& d = settings.defaults();
    // 90 days stored out of order, plus one unreadable record.
    QList<DailyInsight> stored;
    const QDate first(2026, 1, 1);
    for (int i = 89; i >= 0; --i)
        stored.append(day(InsightsLogic::dayKey(first.addDays(i)), 1));
    QJsonArray array = QJsonDocument::fromJson(InsightsLogic::encode(stored)).array();
    array.insert(10, QJsonObject{{"protectedSeconds", 60}});
    d.setData(PrefKey::insightsDailyRecords, QJsonDocument(array).toJson());

    ManualClock clock(QDateTime(first.addDays(90), QTime(8, 0), QTimeZone::utc()));
    InsightsStore store(clock);
    ASSERT_EQ(store.records().size(), 90); // the bad one dropped, the history kept
    d.setBool(PrefKey::enabled, true);
    store.sample(clock.now());
    const auto& records = store.records();
    ASSERT_EQ(records.size(), 90);
    EXPECT_EQ(records.front().day, "2026-01-02");
    EXPECT_EQ(records.back().day, InsightsLogic::dayKey(first.addDays(90)));
    for (int i = 1; i < records.size(); ++i)
        EXPECT_LT(records[i - 1].day, records[i].day);
    EXPECT_EQ(InsightsStore(clock).records(), records);

    // Unreadable bytes give an empty store.
    d.setData(PrefKey::insightsDailyRecords, "garbage");
    EXPECT_TRUE(InsightsStore(clock).records().isEmpty());
}

TEST(InsightsStore, RangesHoursAndTrend) {
    TestStore settings;
    ManualClock clock(utc(2026, 3, 5));
    InsightsStore store(clock);
    UserDefaults& d = settings.defaults();
    // Days are written through the store: one sample each with the tint on.
    d.setBool(PrefKey::enabled, true);
    for (const QDate& date :
         {QDate(2026, 2, 26), QDate(2026, 2, 27), QDate(2026, 3, 1), QDate(2026, 3, 5)})
        store.sample(QDateTime(date, QTime(10, 0), QTimeZone::utc()));
    for (int i = 0; i < 89; ++i)
        store.sample(utc(2026, 3, 5)); // 90 minutes that day

    const auto week = store.lastDays(7, clock.now());
    ASSERT_EQ(week.size(), 3);
    EXPECT_EQ(week[0].day, "2026-02-27");
    EXPECT_EQ(week[2].day, "2026-03-05");
    EXPECT_EQ(store.lastDays(1, clock.now()).size(), 1);
    EXPECT_TRUE(store.lastDays(0, clock.now()).isEmpty());
    EXPECT_EQ(store.monthDays(clock.now()).size(), 2);

    const auto hours = store.dailyHoursLast7(clock.now());
    ASSERT_EQ(hours.size(), 7);
    EXPECT_EQ(hours[0].first, "2026-02-27");
    EXPECT_DOUBLE_EQ(hours[0].second, 1.0 / 60);
    EXPECT_EQ(hours[1].second, 0);
    EXPECT_EQ(hours[6].first, "2026-03-05");
    EXPECT_DOUBLE_EQ(hours[6].second, 1.5);

    // Trend: this month against last, by average kelvin.
    auto trend = [&](double thisMonth, double lastMonth) {
        d.setData(PrefKey::insightsDailyRecords,
                  InsightsLogic::encode(
                      {warmth("2026-03-02", thisMonth), warmth("2026-02-10", lastMonth)}));
        return InsightsStore(clock).kelvinTrendThisMonth(clock.now());
    };
    EXPECT_EQ(trend(2750, 2849), QString("steady"));
    EXPECT_EQ(trend(2700, 2800), QString("warmer"));
    EXPECT_EQ(trend(2900, 2800), QString("cooler"));
    d.setData(PrefKey::insightsDailyRecords, InsightsLogic::encode({warmth("2026-03-02", 2700)}));
    EXPECT_FALSE(InsightsStore(clock).kelvinTrendThisMonth(clock.now()));
}
