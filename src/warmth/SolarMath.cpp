#include "SolarMath.h"

#include "warmth/LocalCalendar.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double solarNoonMinutes = 720.0;
constexpr double minutesPerDegree = 4.0;
constexpr qint64 julianDayOf1970 = 2440588;

double utcMidnightSecs(const QDate& date) {
    return double((date.toJulianDay() - julianDayOf1970) * 86400);
}

double gammaOfDay(const QDate& date) {
    const int n = date.dayOfYear();
    return n > 0 ? double(n - 1) * SolarMath::yearAnglePerDay : 0.0;
}

} // namespace

namespace SolarMath {

double equationOfTime(double g) {
    return 229.18 * (0.000075 + 0.001868 * std::cos(g) - 0.032077 * std::sin(g) -
                     0.014615 * std::cos(2 * g) - 0.040849 * std::sin(2 * g));
}

double declination(double g) {
    return 0.006918 - 0.399912 * std::cos(g) + 0.070257 * std::sin(g) - 0.006758 * std::cos(2 * g) +
           0.000907 * std::sin(2 * g) - 0.002697 * std::cos(3 * g) + 0.00148 * std::sin(3 * g);
}

double solarElevation(double secs, double latitude, double longitude) {
    const qint64 whole = qint64(std::floor(secs));
    qint64 days = whole / 86400;
    if (whole % 86400 < 0) --days;
    const qint64 intoDay = whole - days * 86400;
    const QDate date = QDate::fromJulianDay(julianDayOf1970 + days);
    const int n = date.dayOfYear();
    const double dayTerm = n > 0 ? double(n - 1) : 0.0;
    const double minutes =
        double(intoDay / 3600) * 60.0 + double((intoDay % 3600) / 60) + double(intoDay % 60) / 60.0;

    const double g = (dayTerm + (minutes / 60.0 - 12.0) / 24.0) * yearAnglePerDay;
    const double decl = declination(g);
    const double trueSolarTime = minutes + equationOfTime(g) + minutesPerDegree * longitude;
    double hourAngle = trueSolarTime / 4.0 - 180.0;
    while (hourAngle < -180.0)
        hourAngle += 360.0;
    while (hourAngle >= 180.0)
        hourAngle -= 360.0;

    const double phi = latitude * degreesToRadians;
    double cosZenith = std::sin(phi) * std::sin(decl) +
                       std::cos(phi) * std::cos(decl) * std::cos(hourAngle * degreesToRadians);
    cosZenith = std::clamp(cosZenith, -1.0, 1.0);
    return std::asin(cosZenith) * radiansToDegrees;
}

double solarElevation(const QDateTime& at, double latitude, double longitude) {
    return solarElevation(LocalCalendar::toSecs(at), latitude, longitude);
}

std::optional<QDateTime> utcMidnight(const QDateTime& instant, const QTimeZone& calendar) {
    const QDate date = LocalCalendar::localDate(calendar, LocalCalendar::toSecs(instant));
    if (!date.isValid()) return std::nullopt;
    return QDateTime(date, QTime(0, 0), Qt::UTC);
}

std::optional<SunTimes> sunTimes(double secs, const QTimeZone& calendar, double latitude,
                                 double longitude) {
    const QDate localDay = LocalCalendar::localDate(calendar, secs);
    if (!localDay.isValid()) return std::nullopt;

    // The formula places the day's events around solar noon of a UTC date. Normally
    // that is the local date itself; where the zone's date runs a day ahead of (or
    // behind) the sun, the local day's noon falls on the neighbouring UTC date.
    QDate day = localDay;
    if (const auto localNoon = LocalCalendar::instantOf(localDay, QTime(12, 0), calendar)) {
        const double solarNoon =
            utcMidnightSecs(localDay) + (solarNoonMinutes - minutesPerDegree * longitude -
                                         equationOfTime(gammaOfDay(localDay))) *
                                            60.0;
        if (solarNoon - *localNoon > 43200.0)
            day = localDay.addDays(-1);
        else if (*localNoon - solarNoon > 43200.0)
            day = localDay.addDays(1);
    }

    const double g = gammaOfDay(day);
    const double decl = declination(g);
    const double eqtime = equationOfTime(g);
    const double phi = latitude * degreesToRadians;
    const double x =
        cosSunriseZenith / (std::cos(phi) * std::cos(decl)) - std::tan(phi) * std::tan(decl);
    if (std::isnan(x) || std::fabs(x) > 1.0) return std::nullopt;

    const double midnight = utcMidnightSecs(day);
    const double hourAngle = std::acos(x) * radiansToDegrees;
    SunTimes times;
    times.sunrise =
        midnight + (solarNoonMinutes - minutesPerDegree * (longitude + hourAngle) - eqtime) * 60.0;
    times.sunset =
        midnight + (solarNoonMinutes - minutesPerDegree * (longitude - hourAngle) - eqtime) * 60.0;
    return times;
}

} // namespace SolarMath
