#include "insights/ScheduleViewLogic.h"

#include "warmth/LocalCalendar.h"
#include "warmth/ScheduleQueries.h"
#include "warmth/SunsetScheduler.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

namespace ScheduleViewLogic {

namespace {

// Beyond this a value is no time of day or temperature anyone set on purpose, and an
// integer conversion of it would be undefined.
constexpr double kLargestReadable = 1e9;

bool readable(double v) {
    return std::isfinite(v) && std::abs(v) < kLargestReadable;
}

RampColour ramp(double i, double coolOpacity) {
    if (!(i > 0)) return {coolColor.r, coolColor.g, coolColor.b, coolOpacity};
    if (i < 0.5) {
        const double t = 2 * i;
        return {0.55 + 0.45 * t, 0.70 - 0.15 * t, 0.90 - 0.75 * t, 1};
    }
    const double t = 2 * (std::min(i, 1.0) - 0.5);
    return {1 - 0.15 * t, 0.55 - 0.30 * t, 0.15 - 0.10 * t, 1};
}

double kelvinIntensity(double kelvin) {
    if (std::isnan(kelvin) || kelvin >= 6500) return 0;
    return (6500 - std::max(kelvin, 1800.0)) / 4700;
}

QString twelveHour(int hour24, int minute, bool withMinutes) {
    const int m = ((hour24 % 24) + 24) % 24;
    const int shown = m == 0 ? 12 : (m <= 12 ? m : m - 12);
    const QString suffix = m < 12 ? QStringLiteral("AM") : QStringLiteral("PM");
    if (!withMinutes) return QStringLiteral("%1 %2").arg(shown).arg(suffix);
    return QStringLiteral("%1:%2 %3").arg(shown).arg(minute, 2, 10, QLatin1Char('0')).arg(suffix);
}

} // namespace

RampColour colorForIntensity(double intensity) {
    return ramp(intensity, 0.3);
}

RampColour colorForKelvin(double kelvin) {
    return ramp(kelvinIntensity(kelvin), 0.3);
}

RampColour zoneColorForKelvin(double kelvin) {
    return ramp(kelvinIntensity(kelvin), 1.0);
}

QString kelvinString(double kelvin) {
    if (!readable(kelvin)) return missingValue;
    const qint64 r = std::llround(kelvin);
    if (r < 1000) return QStringLiteral("%1K").arg(r);
    return QStringLiteral("%1,%2K").arg(r / 1000).arg(r % 1000, 3, 10, QLatin1Char('0'));
}

QString hourString(double hour) {
    if (!readable(hour)) return missingValue;
    return twelveHour(int(std::trunc(hour)) % 24, 0, false);
}

QString clockString(double hourOfDay) {
    if (!readable(hourOfDay)) return missingValue;
    // A fraction like 7/12 is stored a hair under its minute: counting whole minutes
    // with a small allowance reads it as the minute it stands for.
    const qint64 minutes = qint64(std::floor(hourOfDay * 60 + 1e-6));
    const qint64 dayMinutes = ((minutes % 1440) + 1440) % 1440;
    return twelveHour(int(dayMinutes / 60), int(dayMinutes % 60), true);
}

QString clockString(const QTime& time) {
    if (!time.isValid()) return missingValue;
    return twelveHour(time.hour(), time.minute(), true);
}

double fractionalHour(const QDateTime& at) {
    const QTime t = at.time();
    return t.hour() + t.minute() / 60.0 + t.second() / 3600.0;
}

QDateTime dayStartPlusHours(const QDateTime& now, double hours) {
    const QTimeZone zone = LocalCalendar::zoneOf(now);
    const double midnight = LocalCalendar::instantOf(now.date(), QTime(0, 0), zone)
                                .value_or(LocalCalendar::toSecs(now));
    return LocalCalendar::toDateTime(midnight + hours * 3600.0, zone);
}

std::function<double(double hours)> dayIntensity(const SunsetScheduler& scheduler,
                                                 const QDateTime& now) {
    const qint64 midnightMs = dayStartPlusHours(now, 0).toMSecsSinceEpoch();
    return [midnightMs, preview = SchedulePreview::capture(scheduler.solarState())](double hours) {
        const WarmthState s =
            preview.stateAt((midnightMs + std::llround(hours * 3'600'000)) / 1000.0);
        return s.isWarm() ? s.intensity : 0.0;
    };
}

int segmentIndex(double hour, int count) {
    if (count <= 0 || !(hour > 0)) return 0;
    const double raw = std::trunc(std::min(hour, 24.0) / 24.0 * count);
    return std::clamp(int(raw), 0, count - 1);
}

double ringAngle(double hour) {
    return hour / 24.0 * 2 * M_PI - M_PI / 2;
}

double ringCentreKelvin(double intensity, double userTemperature) {
    return 6500 - intensity * (6500 - userTemperature);
}

const std::array<DayPart, 4>& dayParts() {
    static const std::array<DayPart, 4> parts{{
        {QStringLiteral("daytime"), QStringLiteral("Daytime"), QStringLiteral("sun.max.fill"), 6,
         12},
        {QStringLiteral("afternoon"), QStringLiteral("Afternoon"), QStringLiteral("sun.min.fill"),
         12, 17},
        {QStringLiteral("evening"), QStringLiteral("Evening"), QStringLiteral("sunset.fill"), 17,
         21},
        {QStringLiteral("night"), QStringLiteral("Night"), QStringLiteral("moon.stars.fill"), 21,
         30},
    }};
    return parts;
}

ZoneWarmth zoneWarmth(const DayPart& part, const std::function<double(double)>& intensityAt) {
    double sum = 0;
    int count = 0;
    for (int k = 0;; ++k) {
        const double t = part.startHour + 0.25 * k;
        if (!(t < part.endHour)) break;
        sum += intensityAt(t);
        ++count;
    }
    auto kelvin = [](double v) {
        return 6500 - 4700 * std::clamp(std::isnan(v) ? 0.0 : v, 0.0, 1.0);
    };
    return {kelvin(count ? sum / count : 0), kelvin(intensityAt(part.startHour)),
            kelvin(intensityAt(part.endHour - 0.25))};
}

bool isCurrentZone(const DayPart& part, double currentHour) {
    const double h = currentHour < 6 ? currentHour + 24 : currentHour;
    return part.startHour <= h && h < part.endHour;
}

double VisualiserGeometry::sunY(double elevation) const {
    const double offset =
        elevation >= 0 ? (horizonY() - 6) * elevation : (height - horizonY() - 4) * elevation / 0.4;
    return horizonY() - offset;
}

QPointF VisualiserGeometry::handle(double hour, double kelvin) const {
    return {x(hour), bandBase() - bandSpan() * kelvinIntensity(kelvin)};
}

VisualiserGeometry::DragTarget VisualiserGeometry::dragTarget(double px, double py) const {
    double fraction = width > 0 ? px / width : 0;
    if (std::isnan(fraction)) fraction = 0;
    const double n = std::round(std::clamp(fraction, -1.0, 2.0) * 24 * 12);
    const double hour = std::max(0.0, std::min(n / 12, 23.99));
    double f = (bandBase() - py) / bandSpan();
    if (std::isnan(f)) f = 0;
    const double kelvin = f >= 1 ? 1800 : 6500 - 4700 * std::max(f, 0.0);
    return {hour, kelvin};
}

double sunElevation(double t, double r, double s) {
    const double length = s - r;
    if (!(length > 0)) return 0;
    if (r <= t && t <= s) return std::sin((t - r) * M_PI / length);
    const double tt = t < r ? t + 24 : t;
    return -0.4 * std::sin((tt - s) * M_PI / (24 - length));
}

SunHours sunHours(const std::optional<QDateTime>& sunrise, const std::optional<QDateTime>& sunset,
                  const QDateTime& now) {
    auto hourIn = [&now](const std::optional<QDateTime>& t, double otherwise) {
        if (!t) return otherwise;
        const QTime local = t->toTimeZone(LocalCalendar::zoneOf(now)).time();
        return local.hour() + local.minute() / 60.0;
    };
    return SunHours{hourIn(sunrise, 6.0), hourIn(sunset, 20.0), sunrise, sunset};
}

QString arcTimeString(const std::optional<QDateTime>& t) {
    return t ? QLocale::c().toString(t->time(), QStringLiteral("HH:mm")) : QStringLiteral("--:--");
}

QString captionTimeString(const std::optional<QDateTime>& t) {
    return t ? clockString(t->time()) : QStringLiteral("--:--");
}

QString visualiserStatusSentence(bool followsSunWithoutLocation,
                                 const std::vector<IntensitySample>& samples, double currentHour,
                                 double currentIntensity) {
    const QString warming = QStringLiteral("The sun is down — Halcyra is warming your screen.");
    const QString cool = QStringLiteral("The sun is up — your screen is cool.");
    if (followsSunWithoutLocation)
        return QStringLiteral("No location — using a fixed 7am/7pm schedule. Allow location for "
                              "real sunset times.");
    if (samples.empty()) return currentIntensity > 0 ? warming : cool;
    const int last = int(samples.size()) - 1;
    const int i = std::min(last, segmentIndex(currentHour, int(samples.size())));
    const int j = std::min(last, i + 3);
    const double a = samples[size_t(i)].intensity, b = samples[size_t(j)].intensity;
    if (a <= 0.02 && b <= 0.02) return cool;
    if (a + 0.01 < b) return QStringLiteral("Warming up as the sun sets.");
    if (b < a - 0.01) return QStringLiteral("Cooling down as the sun rises.");
    return warming;
}

QString visualiserCaption(bool autoSunset, bool useSchedule, int pointCount,
                          const std::optional<QDateTime>& sunset,
                          const std::optional<QDateTime>& sunrise) {
    if (autoSunset)
        return QStringLiteral("Follows your computer's clock + location · Sunset %1 · Sunrise %2")
            .arg(captionTimeString(sunset), captionTimeString(sunrise));
    if (useSchedule)
        return QStringLiteral("Custom schedule · %1 control points · Smoothstep transitions")
            .arg(pointCount);
    return QStringLiteral("Manual mode — no automatic scheduling");
}

int currentStateKelvin(double i) {
    if (std::isnan(i)) i = 0;
    return i < 1 ? int(std::trunc(6500 - 4700 * std::max(i, 0.0))) : 1800;
}

QString currentStateLabel(double i) {
    const QString words = i > 0.8   ? QStringLiteral("Deep warmth")
                          : i > 0.5 ? QStringLiteral("Evening warmth")
                          : i > 0.1 ? QStringLiteral("Transitioning")
                                    : QStringLiteral("Daylight");
    return QStringLiteral("Now: %1K — %2").arg(currentStateKelvin(i)).arg(words);
}

QString scheduleStatusLine(const QList<SchedulePoint>& points, double hour) {
    if (points.isEmpty()) return QStringLiteral("No schedule points set");
    QList<SchedulePoint> sorted = points;
    std::stable_sort(
        sorted.begin(), sorted.end(),
        [](const SchedulePoint& a, const SchedulePoint& b) { return a.hour < b.hour; });
    const double k = SchedulePoint::interpolatedKelvin(hour, sorted);
    const auto next = std::find_if(sorted.begin(), sorted.end(),
                                   [hour](const SchedulePoint& p) { return p.hour > hour; });
    const SchedulePoint& shift = next != sorted.end() ? *next : sorted.front();
    return QStringLiteral("Active — %1 now · next shift at %2")
        .arg(ScheduleCurve::bandLabel(k), clockString(shift.hour));
}

double spectrumPosition(double kelvin) {
    if (std::isnan(kelvin)) return 0;
    return std::clamp((6500 - kelvin) / 5500, 0.0, 1.0);
}

} // namespace ScheduleViewLogic

namespace ScheduleStatusLine {

QString shortTime(const QDateTime& t) {
    return ScheduleViewLogic::clockString(t.time());
}

QString sentence(const Inputs& in, const Formatter& formatter) {
    const QString suffix =
        in.usingWallClockFallback ? QStringLiteral(" — no location, fixed times") : QString();
    if (!in.scheduleIsRunning) return QStringLiteral("No schedule active — warmth is manual");
    if (in.isWarmNow) return QStringLiteral("Warming now") + suffix;
    if (in.nextOnset)
        return QStringLiteral("Warming begins at ") +
               (formatter ? formatter(*in.nextOnset) : shortTime(*in.nextOnset)) + suffix;
    return QStringLiteral("This schedule never warms the display");
}

} // namespace ScheduleStatusLine
