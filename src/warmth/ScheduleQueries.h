#pragma once

#include "platform/LocationService.h"
#include "warmth/ColorTemperature.h"
#include "warmth/SchedulePoint.h"
#include "warmth/ScheduleState.h"

#include <QTimeZone>
#include <functional>
#include <optional>
#include <vector>

// Everything that decides the schedule at an instant, read once: the stored settings
// (points decoded once), the engine's solar times and place, and the user's zone. The
// look-back probes some 1500 instants per question; each probe is then arithmetic.
class SchedulePreview {
public:
    enum class Mode { off, points, sun };
    using Elevation = std::function<double(double secs)>;

    // From the standard settings store and the engine's current solar state.
    static SchedulePreview capture(const SolarState& solar);

    WarmthState stateAt(double secs) const;

    // Whether, looking back from `now` over the current warm stretch (24 h at most),
    // the schedule was ever at least as warm as `screen`, within one gamma step.
    bool hasBeenAtLeastAsWarm(const DisplayTint& screen, double now) const;
    // When the schedule next turns from cool to warm within `window` seconds of `after`.
    std::optional<double> nextWarmOnset(double after, double window) const;
    // Instants of [from, to] at which the schedule can change abruptly.
    std::vector<double> criticalTimes(double from, double to, const QTimeZone& calendar) const;

    // The rules, on instants in seconds since 1970.
    static WarmthState pointState(double secs, const QTimeZone& zone,
                                  const std::vector<SchedulePoint::Sample>& resolved);
    static WarmthState solarState(double secs, std::optional<double> sunset,
                                  std::optional<double> sunrise, double fade, double warmKelvin,
                                  const Elevation* elevation, const QTimeZone& zone);
    struct Times {
        double sunset;
        double sunrise;
    };
    static std::optional<Times> wallClockFallback(double secs, const QTimeZone& zone);

    Mode mode = Mode::off;
    QList<SchedulePoint> points; // as stored, for the critical times
    std::vector<SchedulePoint::Sample> samples;
    double warmKelvin = ScheduleTiming::solarWarmCeiling;
    std::optional<double> sunset;
    std::optional<double> sunrise;
    std::optional<Elevation> elevation; // bound to the last known place
    QTimeZone zone;
};
