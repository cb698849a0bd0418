#pragma once

#include "platform/LocationService.h"

#include <QDateTime>
#include <QString>
#include <QTimeZone>
#include <optional>

namespace ScheduleTiming {
inline constexpr double fadeDuration = 1500.0;     // seconds; every fade in and out
inline constexpr double solarWarmCeiling = 2500.0; // kelvin, when following the sun
} // namespace ScheduleTiming

// What the schedule asks of the displays: warm to a kelvin at a share (0..1] of full
// strength, or no scheduled warming.
struct WarmthState {
    enum class Kind { cool, warm };
    Kind kind = Kind::cool;
    double kelvin = 6500.0;
    double intensity = 0.0;

    static WarmthState cool() { return {}; }
    static WarmthState warm(double kelvin, double intensity) {
        return {Kind::warm, kelvin, intensity};
    }
    bool isWarm() const { return kind == Kind::warm; }
    bool operator==(const WarmthState& o) const {
        if (kind != o.kind) return false;
        return kind == Kind::cool || (kelvin == o.kelvin && intensity == o.intensity);
    }
    // "cool", or "warm(kelvin: 2500.0, intensity: 1.0)".
    QString description() const;
};

// The schedule engine's knowledge of the sun at one moment: today's times (absent
// until computed), the last known place and the user's zone.
struct SolarState {
    std::optional<QDateTime> sunset;
    std::optional<QDateTime> sunrise;
    std::optional<LocationFix> location;
    QTimeZone zone;
};
