#include "warmth/SchedulePoint.h"
#include "core/Logging.h"
#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "support/TestStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <gtest/gtest.h>

TEST(ScheduleCurve, DefaultPointsAtSeveralHours) {
    const auto& pts = SchedulePoint::defaults();
    const std::pair<double, double> rows[] = {
        {0, 2393.1}, {2, 3759.9},  {6.5, 6458.1}, {7, 6500},    {13, 4950},
        {19, 3400},  {20.5, 2600}, {22, 1800},    {23, 1961.2},
    };
    for (const auto& [hour, kelvin] : rows)
        EXPECT_NEAR(SchedulePoint::interpolatedKelvin(hour, pts), kelvin, 0.05) << hour;
    // The same three ids for the whole run.
    EXPECT_EQ(SchedulePoint::defaults().front().id, pts.front().id);
}

TEST(ScheduleCurve, OrderSinglesDuplicatesAndEmpty) {
    EXPECT_EQ(SchedulePoint::interpolatedKelvin(3, std::vector<SchedulePoint::Sample>{}), 6500);
    EXPECT_EQ(SchedulePoint::interpolatedKelvin(3, {{12, 2000}}), 2000);

    const std::vector<SchedulePoint::Sample> shuffled{{22, 1800}, {7, 6500}, {19, 3400}};
    const std::vector<SchedulePoint::Sample> sorted{{7, 6500}, {19, 3400}, {22, 1800}};
    for (double h = 0; h < 24; h += 0.25)
        EXPECT_DOUBLE_EQ(SchedulePoint::interpolatedKelvin(h, shuffled),
                         SchedulePoint::interpolatedKelvin(h, sorted));

    // Two points at one hour: the later in stored order supplies the value there.
    const std::vector<SchedulePoint::Sample> twins{{10, 3000}, {10, 5000}};
    EXPECT_EQ(SchedulePoint::interpolatedKelvin(10, twins), 5000);
}

TEST(ScheduleCurve, ResolvedSamplesAndRules) {
    const QList<SchedulePoint> pts{{QUuid::createUuid(), 25, 6800}, {QUuid::createUuid(), 3, 1500}};
    const auto samples = ScheduleCurve::resolvedSamples(pts);
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[0].hour, 25);
    EXPECT_EQ(samples[0].kelvin, 6500);
    EXPECT_EQ(samples[1].kelvin, 1800);
    EXPECT_EQ(ScheduleCurve::anchors(pts)[1], (Anchor{AnchorTime::clock(3), 1500}));

    EXPECT_EQ(ScheduleCurve::scheduleIntensity(7000), 0);
    EXPECT_EQ(ScheduleCurve::scheduleIntensity(1000), 1);
    EXPECT_NEAR(ScheduleCurve::scheduleIntensity(4150), 0.5, 1e-12);
    EXPECT_EQ(ScheduleCurve::kelvinForIntensity(2), 1800);
    EXPECT_EQ(ScheduleCurve::kelvinForIntensity(-1), 6500);
    EXPECT_EQ(ScheduleCurve::bandLabel(1999), "Ember warmth");
    EXPECT_EQ(ScheduleCurve::bandLabel(2000), "Deep warmth");
    EXPECT_EQ(ScheduleCurve::bandLabel(3399), "Evening warm");
    EXPECT_EQ(ScheduleCurve::bandLabel(4599), "Natural light");
    EXPECT_EQ(ScheduleCurve::bandLabel(4600), "Daylight cool");
}

TEST(SchedulePointJson, RoundTripAndRejection) {
    const QList<SchedulePoint> pts{{QUuid::createUuid(), 19.5, 2700}};
    const QByteArray json = *SchedulePoint::encode(pts);
    const QJsonObject o = QJsonDocument::fromJson(json).array().first().toObject();
    EXPECT_EQ(o.keys(), (QStringList{"hour", "id", "kelvin"}));
    EXPECT_EQ(o.value("id").toString().size(), 36);
    EXPECT_EQ(SchedulePoint::decode(json), pts);
    EXPECT_EQ(SchedulePoint::decode("[]"), QList<SchedulePoint>{});
    EXPECT_FALSE(SchedulePoint::decode(
        R"([{"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","hour":"7","kelvin":1}])"));
    EXPECT_FALSE(
        SchedulePoint::decode(R"([{"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","hour":7}])"));
    EXPECT_FALSE(SchedulePoint::decode(R"({"id":1})"));
    EXPECT_FALSE(SchedulePoint::decode("\xff\xfe"));
    EXPECT_TRUE(SchedulePoint::decode(
        R"([{"id":"6f9619ff-8b86-d011-b42d-00c04fc964ff","hour":7,"kelvin":1}])"));
}

TEST(SchedulePoint, ScheduleThatDoesNotDecodeReadsAsDefaultsAndIsKept) {
    TestStore store;
    Preferences& p = Preferences::shared();
    EXPECT_EQ(SchedulePoint::stored(p), SchedulePoint::defaults());

    const QByteArray bad = R"([{"id":"not-a-uuid","hour":7,"kelvin":6500}])";
    store.defaults().setData(PrefKey::schedulePoints, bad);
    EXPECT_EQ(SchedulePoint::stored(p), SchedulePoint::defaults());
    EXPECT_EQ(store.defaults().dataValue(PrefKey::schedulePoints), bad);

    store.defaults().setString(PrefKey::schedulePoints, "[]");
    EXPECT_EQ(SchedulePoint::stored(p), SchedulePoint::defaults());

    SchedulePoint::store({}, p);
    EXPECT_TRUE(SchedulePoint::stored(p).isEmpty());

    const QList<SchedulePoint> mine{{QUuid::createUuid(), 20.5, 2700},
                                    {QUuid::createUuid(), 6, 6500}};
    SchedulePoint::store(mine, p);
    EXPECT_EQ(UserDefaults(store.path()).dataValue(PrefKey::schedulePoints).has_value(), true);
    EXPECT_EQ(SchedulePoint::stored(Preferences(&store.defaults())), mine);

    // A list JSON cannot carry leaves the user's schedule as it was, and says why.
    LogCapture log;
    for (double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
        SchedulePoint::store({mine[0], {QUuid::createUuid(), bad, 3000}}, p);
        SchedulePoint::store({{QUuid::createUuid(), 8, bad}}, p);
    }
    EXPECT_EQ(SchedulePoint::stored(Preferences(&store.defaults())), mine);
    EXPECT_TRUE(log.contains("Schedule not saved"));
}

TEST(SchedulePoint, StoredBytesAreParsedOnceAndAChangeIsReadAtOnce) {
    TestStore store;
    Preferences& p = Preferences::shared();
    const QList<SchedulePoint> first{{QUuid::createUuid(), 20.5, 2700},
                                     {QUuid::createUuid(), 6, 6500}};
    SchedulePoint::store(first, p);
    const QList<SchedulePoint> a = SchedulePoint::stored(p);
    const QList<SchedulePoint> b = SchedulePoint::stored(p);
    EXPECT_EQ(a, first);
    // The same bytes give the list already made, not a second parse of them.
    EXPECT_TRUE(a.isSharedWith(b));

    // A drag step, a hand edit or a reset is seen by the very next read.
    QList<SchedulePoint> moved = first;
    moved[0].hour = 21.0;
    SchedulePoint::store(moved, p);
    EXPECT_EQ(SchedulePoint::stored(p), moved);
    store.defaults().setData(PrefKey::schedulePoints, "not json");
    EXPECT_EQ(SchedulePoint::stored(p), SchedulePoint::defaults());
    SchedulePoint::store(first, p);
    EXPECT_EQ(SchedulePoint::stored(p), first);
}
