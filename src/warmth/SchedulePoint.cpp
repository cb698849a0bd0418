#include "SchedulePoint.h"

#include "core/Preferences.h"
#include "core/UserDefaults.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <algorithm>
#include <cmath>

Q_LOGGING_CATEGORY(lcSchedulePoints, "com.halcyra.app.schedule")

const QList<SchedulePoint>& SchedulePoint::defaults() {
    static const QList<SchedulePoint> points{
        {QUuid::createUuid(), 7.0, 6500.0},
        {QUuid::createUuid(), 19.0, 3400.0},
        {QUuid::createUuid(), 22.0, 1800.0},
    };
    return points;
}

double SchedulePoint::interpolatedKelvin(double t, const std::vector<Sample>& input) {
    if (input.empty()) return 6500.0;
    std::vector<Sample> samples = input;
    std::stable_sort(samples.begin(), samples.end(),
                     [](const Sample& a, const Sample& b) { return a.hour < b.hour; });
    if (samples.size() == 1) return samples.front().kelvin;

    size_t upper = 0;
    bool found = false;
    for (size_t i = 0; i < samples.size(); ++i) {
        if (samples[i].hour > t) {
            upper = i;
            found = true;
            break;
        }
    }
    if (!found) upper = 0;
    const size_t lower = upper == 0 ? samples.size() - 1 : upper - 1;
    const auto [h0, k0] = samples[lower];
    const auto [h1, k1] = samples[upper];

    const double span = h0 < h1 ? h1 - h0 : 24.0 - h0 + h1;
    if (!(span > 0.0)) return k0;
    const double elapsed = (h0 < h1 || h0 <= t) ? t - h0 : t + 24.0 - h0;
    double f = elapsed / span;
    if (std::isnan(f)) f = 1.0;
    f = std::clamp(f, 0.0, 1.0);
    return k0 + (k1 - k0) * ScheduleCurve::smoothstep(f);
}

double SchedulePoint::interpolatedKelvin(double hour, const QList<SchedulePoint>& points) {
    std::vector<Sample> samples;
    samples.reserve(size_t(points.size()));
    for (const auto& p : points)
        samples.push_back({p.hour, p.kelvin});
    return interpolatedKelvin(hour, samples);
}

std::optional<QByteArray> SchedulePoint::encode(const QList<SchedulePoint>& points) {
    QJsonArray array;
    for (const auto& p : points) {
        // QJson would write these as null, which no reader takes back.
        if (!std::isfinite(p.hour) || !std::isfinite(p.kelvin)) return std::nullopt;
        array.append(QJsonObject{
            {QStringLiteral("id"), p.id.toString(QUuid::WithoutBraces).toUpper()},
            {QStringLiteral("hour"), p.hour},
            {QStringLiteral("kelvin"), p.kelvin},
        });
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

std::optional<QList<SchedulePoint>> SchedulePoint::decode(const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray()) return std::nullopt;
    QList<SchedulePoint> points;
    for (const QJsonValue& v : doc.array()) {
        if (!v.isObject()) return std::nullopt;
        const QJsonObject o = v.toObject();
        const QJsonValue id = o.value(QStringLiteral("id"));
        const QJsonValue hour = o.value(QStringLiteral("hour"));
        const QJsonValue kelvin = o.value(QStringLiteral("kelvin"));
        if (!id.isString() || !hour.isDouble() || !kelvin.isDouble()) return std::nullopt;
        const QString idText = id.toString();
        const QUuid uuid = QUuid::fromString(idText);
        if (idText.size() != 36 || uuid.isNull()) return std::nullopt;
        if (!std::isfinite(hour.toDouble()) || !std::isfinite(kelvin.toDouble()))
            return std::nullopt;
        points.append({uuid, hour.toDouble(), kelvin.toDouble()});
    }
    return points;
}

QList<SchedulePoint> SchedulePoint::stored(const Preferences& prefs) {
    const auto data = prefs.defaults().dataValue(PrefKey::schedulePoints);
    if (!data) return defaults();
    // A drag reads the schedule hundreds of times a step (every previewed minute, every
    // open view): the points of the bytes last read are kept, so the same bytes are
    // parsed once.
    struct LastRead {
        QByteArray bytes;
        QList<SchedulePoint> points;
    };
    thread_local std::optional<LastRead> last;
    if (!last || last->bytes != *data) last = LastRead{*data, decode(*data).value_or(defaults())};
    return last->points;
}

void SchedulePoint::store(const QList<SchedulePoint>& points, const Preferences& prefs) {
    const auto json = encode(points);
    if (!json) {
        qCWarning(lcSchedulePoints,
                  "Schedule not saved: a point's hour or kelvin is not a finite number");
        return;
    }
    prefs.defaults().setData(PrefKey::schedulePoints, *json);
}

namespace ScheduleCurve {

std::vector<Anchor> anchors(const QList<SchedulePoint>& points) {
    std::vector<Anchor> out;
    out.reserve(size_t(points.size()));
    for (const auto& p : points)
        out.push_back({AnchorTime::clock(p.hour), p.kelvin});
    return out;
}

std::vector<SchedulePoint::Sample> resolvedSamples(const QList<SchedulePoint>& points) {
    std::vector<SchedulePoint::Sample> out;
    out.reserve(size_t(points.size()));
    for (const Anchor& a : anchors(points))
        out.push_back({a.time.hour, std::max(std::min(a.kelvin, 6500.0), 1800.0)});
    return out;
}

double scheduleIntensity(double kelvin) {
    if (kelvin >= 6500.0) return 0.0;
    return (6500.0 - std::max(kelvin, 1800.0)) / 4700.0;
}

double kelvinForIntensity(double intensity) {
    return 6500.0 - 4700.0 * std::clamp(intensity, 0.0, 1.0);
}

QString bandLabel(double kelvin) {
    if (kelvin < 2000.0) return QStringLiteral("Ember warmth");
    if (kelvin < 2700.0) return QStringLiteral("Deep warmth");
    if (kelvin < 3400.0) return QStringLiteral("Evening warm");
    if (kelvin < 4600.0) return QStringLiteral("Natural light");
    return QStringLiteral("Daylight cool");
}

} // namespace ScheduleCurve
