#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUuid>
#include <optional>
#include <vector>

class Preferences;

// One point of the user's schedule: a time of day and a colour temperature.
struct SchedulePoint {
    QUuid id;
    double hour = 0.0; // 19.5 = 19:30; not validated on read
    double kelvin = 6500.0;
    bool operator==(const SchedulePoint&) const = default;

    // 07:00 6500 K, 19:00 3400 K, 22:00 1800 K; the same three ids for the whole run.
    static const QList<SchedulePoint>& defaults();

    struct Sample {
        double hour;
        double kelvin;
    };
    // The smoothstep curve through the samples, wrapping past midnight.
    static double interpolatedKelvin(double hour, const std::vector<Sample>& samples);
    static double interpolatedKelvin(double hour, const QList<SchedulePoint>& points);

    // The stored JSON form: an array of {"id", "hour", "kelvin"} objects. Absent when a
    // point's hour or kelvin is not a finite number: JSON has no form for it.
    static std::optional<QByteArray> encode(const QList<SchedulePoint>& points);
    // Absent when the bytes are not such an array (one bad element fails it all).
    static std::optional<QList<SchedulePoint>> decode(const QByteArray& json);

    // The user's stored schedule: the three defaults when absent or undecodable; the
    // stored bytes are left alone.
    static QList<SchedulePoint> stored(const Preferences& prefs);
    // A list that cannot be encoded stores nothing, so the schedule on disk stays.
    static void store(const QList<SchedulePoint>& points, const Preferences& prefs);
};

struct AnchorTime {
    double hour = 0.0; // the clock(hour:) case, the only one in use
    bool operator==(const AnchorTime&) const = default;
    static AnchorTime clock(double hour) { return {hour}; }
};

struct Anchor {
    AnchorTime time;
    double kelvin = 6500.0;
    bool operator==(const Anchor&) const = default;
};

// A manual choice that holds until the schedule's next transition.
struct ManualScheduleOverride {
    bool takenDuringWarm = false;
    bool operator==(const ManualScheduleOverride&) const = default;
};

namespace ScheduleCurve {
std::vector<Anchor> anchors(const QList<SchedulePoint>& points);
// Anchors as samples for the schedule engine: hour unchanged, kelvin held to 1800–6500.
std::vector<SchedulePoint::Sample> resolvedSamples(const QList<SchedulePoint>& points);

// f·f·(3 − 2f) for f in [0, 1].
inline double smoothstep(double f) {
    return f * f * (3.0 - 2.0 * f);
}
// 0 at 6500 K and above, 1 at 1800 K and below.
double scheduleIntensity(double kelvin);
// 6500 − 4700 × intensity, intensity held to [0, 1].
double kelvinForIntensity(double intensity);
// "Ember warmth", "Deep warmth", "Evening warm", "Natural light" or "Daylight cool".
QString bandLabel(double kelvin);
} // namespace ScheduleCurve
