#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QTimeZone>
#include <optional>

// One calendar day of use: how long the tint protected the screen, how much of it a
// schedule was in charge, the warmth and brightness on screen, and preset uses.
struct DailyInsight {
    QString day; // "yyyy-MM-dd", Gregorian
    double protectedSeconds = 0;
    double kelvinSum = 0;
    qint64 kelvinSamples = 0;
    double scheduledSeconds = 0;
    QMap<QString, qint64> presetCounts;
    double brightnessSum = 0;
    qint64 brightnessSamples = 0;

    bool operator==(const DailyInsight&) const = default;

    static DailyInsight zero(const QString& day);
    QJsonObject toJson() const;
    // Absent when a required field is missing or of the wrong kind. The brightness
    // fields came later and read as 0 when absent.
    static std::optional<DailyInsight> fromJson(const QJsonValue& value);
};

// Pure functions over insight records: the figures the settings window shows.
namespace InsightsLogic {

// "%04d-%02d-%02d" of the Gregorian date of `date` in `zone`, whatever calendar the
// user's locale prefers, so stored keys stay comparable as plain strings.
QString dayKey(const QDate& date);
QString dayKey(const QDateTime& date, const QTimeZone& zone);

// 0 to 100: coverage of six protected hours a day (50), days with at least an hour
// (30, over seven days whatever the count) and the scheduled share (20). Absent for
// no records or no protected time.
std::optional<int> screenHealthScore(const QList<DailyInsight>& last7Days);
std::optional<double> averageKelvin(const QList<DailyInsight>& days);
std::optional<double> averageBrightness(const QList<DailyInsight>& days);
// Largest merged count; equal counts go to the name that sorts first.
std::optional<QString> mostUsedPreset(const QList<DailyInsight>& days);
// Records with from ≤ day ≤ to in string order, in their given order.
QList<DailyInsight> days(const QList<DailyInsight>& records, const QString& from,
                         const QString& to);

// The stored form: one compact JSON array.
QByteArray encode(const QList<DailyInsight>& records);
struct Decoded {
    QList<DailyInsight> records;
    int dropped = 0;      // unreadable records and repeated days left out
    bool readable = true; // false when the bytes are not a JSON array at all
};
// Reads record by record: an unreadable record is left out and the rest kept.
Decoded decode(const QByteArray& json);

} // namespace InsightsLogic
