#pragma once

#include <QDateTime>
#include <QTimeZone>
#include <optional>

// The sun's position from NOAA's general solar position equations: sunrise and sunset
// of a local calendar day at the refraction-corrected horizon (zenith 90.833°), and the
// elevation at an instant. Pure arithmetic; latitudes and longitudes in degrees, north
// and east positive. Instants are seconds since 1970 unless given as date-times.
namespace SolarMath {

inline constexpr double yearAnglePerDay = 0.01721420632103996; // 2π / 365
inline constexpr double degreesToRadians = 0.017453292519943295;
inline constexpr double radiansToDegrees = 57.29577951308232;
inline constexpr double cosSunriseZenith = -0.014538080502496963; // cos 90.833°

// Minutes, for the fractional-year angle gamma (radians).
double equationOfTime(double gamma);
// Radians, for the fractional-year angle gamma.
double declination(double gamma);

// Degrees above the horizon, −90 to 90. Independent of any local time zone.
double solarElevation(double secs, double latitude, double longitude);
double solarElevation(const QDateTime& at, double latitude, double longitude);

// 00:00 UTC of the calendar date that `calendar` gives the instant.
std::optional<QDateTime> utcMidnight(const QDateTime& ofLocalDayContaining,
                                     const QTimeZone& calendar);

struct SunTimes {
    double sunrise;
    double sunset;
};
// Sunrise and sunset of the local calendar day (in `calendar`) that contains the
// instant; absent when the sun does not cross the horizon that day. Where a zone's
// date runs a whole day ahead of or behind its longitude (UTC+13 and +14 west of the
// date line), the pair is the one around the local day's noon.
std::optional<SunTimes> sunTimes(double secs, const QTimeZone& calendar, double latitude,
                                 double longitude);

} // namespace SolarMath
