#include "InsightsLogic.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <cmath>

namespace {

std::optional<double> number(const QJsonObject& o, const QString& key) {
    const QJsonValue v = o.value(key);
    if (!v.isDouble()) return std::nullopt;
    return v.toDouble();
}

// JSON numbers are doubles; a count must be a whole number within 64 bits.
std::optional<qint64> integer(const QJsonValue& v) {
    if (!v.isDouble()) return std::nullopt;
    const double d = v.toDouble();
    if (!std::isfinite(d) || d != std::trunc(d) || std::abs(d) > 9.2e18) return std::nullopt;
    return qint64(d);
}

// The mean of a sampled value over several days; none before the first sample.
std::optional<double> sampledAverage(const QList<DailyInsight>& days, double DailyInsight::*sum,
                                     qint64 DailyInsight::*samples) {
    double total = 0;
    qint64 n = 0;
    for (const DailyInsight& d : days) {
        total += d.*sum;
        n += d.*samples;
    }
    if (n < 1) return std::nullopt;
    return total / double(n);
}

} // namespace

DailyInsight DailyInsight::zero(const QString& day) {
    DailyInsight d;
    d.day = day;
    return d;
}

QJsonObject DailyInsight::toJson() const {
    QJsonObject counts;
    for (auto it = presetCounts.cbegin(); it != presetCounts.cend(); ++it)
        counts.insert(it.key(), it.value());
    return QJsonObject{{"day", day},
                       {"protectedSeconds", protectedSeconds},
                       {"kelvinSum", kelvinSum},
                       {"kelvinSamples", kelvinSamples},
                       {"scheduledSeconds", scheduledSeconds},
                       {"presetCounts", counts},
                       {"brightnessSum", brightnessSum},
                       {"brightnessSamples", brightnessSamples}};
}

std::optional<DailyInsight> DailyInsight::fromJson(const QJsonValue& value) {
    if (!value.isObject()) return std::nullopt;
    const QJsonObject o = value.toObject();
    DailyInsight d;
    if (!o.value("day").isString()) return std::nullopt;
    d.day = o.value("day").toString();
    const auto prot = number(o, "protectedSeconds");
    const auto ksum = number(o, "kelvinSum");
    const auto kn = integer(o.value("kelvinSamples"));
    const auto sched = number(o, "scheduledSeconds");
    if (!prot || !ksum || !kn || !sched || !o.value("presetCounts").isObject()) return std::nullopt;
    d.protectedSeconds = *prot;
    d.kelvinSum = *ksum;
    d.kelvinSamples = *kn;
    d.scheduledSeconds = *sched;
    const QJsonObject counts = o.value("presetCounts").toObject();
    for (auto it = counts.begin(); it != counts.end(); ++it) {
        const auto n = integer(it.value());
        if (!n) return std::nullopt;
        d.presetCounts.insert(it.key(), *n);
    }
    if (o.contains("brightnessSum")) {
        const auto b = number(o, "brightnessSum");
        if (!b) return std::nullopt;
        d.brightnessSum = *b;
    }
    if (o.contains("brightnessSamples")) {
        const auto b = integer(o.value("brightnessSamples"));
        if (!b) return std::nullopt;
        d.brightnessSamples = *b;
    }
    return d;
}

namespace InsightsLogic {

QString dayKey(const QDate& date) {
    if (!date.isValid()) return QStringLiteral("0000-00-00");
    // QDate's own fields are proleptic Gregorian.
    return QString::asprintf("%04d-%02d-%02d", date.year(), date.month(), date.day());
}

QString dayKey(const QDateTime& date, const QTimeZone& zone) {
    return dayKey(date.toTimeZone(zone).date());
}

std::optional<int> screenHealthScore(const QList<DailyInsight>& last7Days) {
    if (last7Days.isEmpty()) return std::nullopt;
    double protectedTotal = 0, scheduledTotal = 0;
    int habitDays = 0;
    for (const DailyInsight& d : last7Days) {
        protectedTotal += d.protectedSeconds;
        scheduledTotal += d.scheduledSeconds;
        if (d.protectedSeconds >= 3600) ++habitDays;
    }
    if (!(protectedTotal > 0)) return std::nullopt;
    const double coverage = std::min(protectedTotal / 3600.0 / 7.0 / 6.0, 1.0);
    const double habit = habitDays / 7.0 * 30.0;
    const double scheduled = std::min(scheduledTotal / protectedTotal, 1.0) * 20.0;
    return int(std::round(coverage * 50.0 + habit + scheduled));
}

std::optional<double> averageKelvin(const QList<DailyInsight>& days) {
    return sampledAverage(days, &DailyInsight::kelvinSum, &DailyInsight::kelvinSamples);
}

std::optional<double> averageBrightness(const QList<DailyInsight>& days) {
    return sampledAverage(days, &DailyInsight::brightnessSum, &DailyInsight::brightnessSamples);
}

std::optional<QString> mostUsedPreset(const QList<DailyInsight>& days) {
    QMap<QString, qint64> merged; // ordered by name, so the first of equal counts wins
    for (const DailyInsight& d : days)
        for (auto it = d.presetCounts.cbegin(); it != d.presetCounts.cend(); ++it)
            merged[it.key()] += it.value();
    if (merged.isEmpty()) return std::nullopt;
    auto best = merged.cbegin();
    for (auto it = merged.cbegin(); it != merged.cend(); ++it)
        if (it.value() > best.value()) best = it;
    return best.key();
}

QList<DailyInsight> days(const QList<DailyInsight>& records, const QString& from,
                         const QString& to) {
    QList<DailyInsight> out;
    for (const DailyInsight& d : records)
        if (from <= d.day && d.day <= to) out.append(d);
    return out;
}

QByteArray encode(const QList<DailyInsight>& records) {
    QJsonArray array;
    for (const DailyInsight& d : records)
        array.append(d.toJson());
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

Decoded decode(const QByteArray& json) {
    Decoded out;
    const QJsonDocument doc = QJsonDocument::fromJson(json);
    if (!doc.isArray()) {
        out.readable = false;
        return out;
    }
    QSet<QString> seen;
    for (const QJsonValue& v : doc.array()) {
        auto record = DailyInsight::fromJson(v);
        if (!record || seen.contains(record->day)) {
            ++out.dropped;
            continue;
        }
        seen.insert(record->day);
        out.records.append(*record);
    }
    return out;
}

} // namespace InsightsLogic
