#include "ScheduleQueries.h"

#include "core/Preferences.h"
#include "warmth/LocalCalendar.h"
#include "warmth/SolarMath.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double gammaStep = 1.0 / 255.0;
// Whole minutes are counted from the reference date 2001-01-01 00:00 UTC, itself a
// whole minute since 1970, so the grid is the same either way.
constexpr double referenceDate2001 = 978307200.0;

double clamp01(double f) {
    if (std::isnan(f)) return 1.0;
    return std::clamp(f, 0.0, 1.0);
}

std::vector<double> criticalInstants(const SchedulePreview& preview, double start, double end,
                                     const QTimeZone& calendar) {
    std::vector<double> out;
    auto add = [&](double t) {
        if (start <= t && t <= end) out.push_back(t);
    };

    if (preview.mode == SchedulePreview::Mode::points) {
        const QDate endDay = LocalCalendar::localDate(calendar, end);
        for (int offset : {-1, 0, 1}) {
            const QDate day = endDay.addDays(offset);
            if (!day.isValid()) continue;
            for (const SchedulePoint& p : preview.points) {
                // Hours that are not finite or not representable as a clock time name no instant.
                if (!std::isfinite(p.hour) || p.hour < 0.0 || p.hour >= 24.0) continue;
                const int hour = int(std::trunc(p.hour));
                const double m = (p.hour - hour) * 60.0;
                int minute = int(std::trunc(m));
                int second = int(std::round((m - minute) * 60.0));
                if (second == 60) {
                    ++minute;
                    second = 0;
                    if (minute == 60) continue;
                }
                if (minute > 59 || minute < 0 || second < 0) continue;
                if (const auto t =
                        LocalCalendar::instantOf(day, QTime(hour, minute, second), calendar))
                    add(*t);
            }
        }
        // The zone's clock changes: a point schedule jumps when the wall clock does.
        if (calendar.isValid() && calendar.hasTransitions()) {
            double cursor = start - 1.0;
            for (;;) {
                const QTimeZone::OffsetData next = calendar.nextTransition(
                    QDateTime::fromMSecsSinceEpoch(qint64(std::floor(cursor * 1000.0)), Qt::UTC));
                if (!next.atUtc.isValid()) break;
                const double transition = next.atUtc.toMSecsSinceEpoch() / 1000.0;
                if (transition > end) break;
                if (transition >= start) out.push_back(transition);
                add(transition - 1.0);
                cursor = transition + 1.0;
            }
        }
        return out;
    }

    if (preview.mode == SchedulePreview::Mode::sun) {
        std::optional<SchedulePreview::Times> times;
        if (preview.sunset && preview.sunrise)
            times = SchedulePreview::Times{*preview.sunset, *preview.sunrise};
        else
            times = SchedulePreview::wallClockFallback(end, preview.zone);
        if (!times) return out;
        const double fade = ScheduleTiming::fadeDuration;
        for (double base :
             {times->sunset, times->sunset + fade, times->sunrise - fade, times->sunrise}) {
            add(base);
            add(base - 86400.0);
        }
    }
    return out;
}

} // namespace

SchedulePreview SchedulePreview::capture(const SolarState& solar) {
    SchedulePreview p;
    p.zone = solar.zone;
    const Preferences& prefs = Preferences::shared();
    if (prefs.useSchedule()) {
        p.mode = Mode::points;
        p.points = SchedulePoint::stored(prefs);
        p.samples = ScheduleCurve::resolvedSamples(p.points);
    } else if (prefs.autoSunset()) {
        p.mode = Mode::sun;
        p.warmKelvin = std::min(prefs.temperature(), ScheduleTiming::solarWarmCeiling);
        if (const auto s = solar.sunset) p.sunset = LocalCalendar::toSecs(*s);
        if (const auto r = solar.sunrise) p.sunrise = LocalCalendar::toSecs(*r);
        if (const auto place = solar.location) {
            const double lat = place->latitude;
            const double lon = place->longitude;
            p.elevation = [lat, lon](double secs) {
                return SolarMath::solarElevation(secs, lat, lon);
            };
        }
    }
    return p;
}

WarmthState SchedulePreview::stateAt(double secs) const {
    switch (mode) {
    case Mode::points:
        return pointState(secs, zone, samples);
    case Mode::sun:
        return solarState(secs, sunset, sunrise, ScheduleTiming::fadeDuration, warmKelvin,
                          elevation ? &*elevation : nullptr, zone);
    case Mode::off:
        break;
    }
    return WarmthState::cool();
}

WarmthState SchedulePreview::pointState(double secs, const QTimeZone& zone,
                                        const std::vector<SchedulePoint::Sample>& resolved) {
    const double hour = LocalCalendar::hourOfDay(zone, secs);
    const double kelvin = SchedulePoint::interpolatedKelvin(hour, resolved);
    const double intensity = ScheduleCurve::scheduleIntensity(kelvin);
    return intensity > 0.001 ? WarmthState::warm(kelvin, intensity) : WarmthState::cool();
}

WarmthState SchedulePreview::solarState(double t, std::optional<double> sunset,
                                        std::optional<double> sunrise, double fade,
                                        double warmKelvin, const Elevation* elevation,
                                        const QTimeZone& zone) {
    auto warmOrCool = [warmKelvin](double v) {
        return v > 0.0 ? WarmthState::warm(warmKelvin, v) : WarmthState::cool();
    };
    if (sunset && sunrise) {
        const double s = *sunset;
        const double r = *sunrise;
        if (r <= t && t < s) return WarmthState::cool();
        if (s <= t && t < s + fade)
            return warmOrCool(ScheduleCurve::smoothstep(clamp01((t - s) / fade)));
        if (r - fade <= t && t < r)
            return warmOrCool(1.0 - ScheduleCurve::smoothstep(clamp01((t - (r - fade)) / fade)));
        return WarmthState::warm(warmKelvin, 1.0);
    }
    if (elevation) {
        // Full warmth with the sun 6° below the horizon, none at the horizon itself.
        const double e = (*elevation)(t);
        return warmOrCool(1.0 - ScheduleCurve::smoothstep(clamp01((e + 6.0) / (96.0 - 90.833))));
    }
    if (const auto times = wallClockFallback(t, zone))
        return solarState(t, times->sunset, times->sunrise, fade, warmKelvin, nullptr, zone);
    return WarmthState::cool();
}

std::optional<SchedulePreview::Times> SchedulePreview::wallClockFallback(double secs,
                                                                         const QTimeZone& zone) {
    const QDate day = LocalCalendar::localDate(zone, secs);
    const auto sunset = LocalCalendar::instantOf(day, QTime(19, 0), zone);
    const auto sunrise = LocalCalendar::instantOf(day, QTime(7, 0), zone);
    if (!sunset || !sunrise) return std::nullopt;
    return Times{*sunset, *sunrise};
}

// ---- Questions over a span of time.

bool SchedulePreview::hasBeenAtLeastAsWarm(const DisplayTint& screen, double nowSecs) const {
    if (mode == Mode::off) return false;

    const double start = nowSecs - 86400.0;
    std::vector<double> candidates;
    candidates.reserve(1500);
    candidates.push_back(nowSecs);
    const double minute =
        referenceDate2001 + std::floor((nowSecs - referenceDate2001) / 60.0) * 60.0;
    for (double t = minute; t >= start; t -= 60.0)
        candidates.push_back(t);
    const std::vector<double> critical = criticalTimes(start, nowSecs, zone);
    candidates.insert(candidates.end(), critical.begin(), critical.end());
    std::stable_sort(candidates.begin(), candidates.end(), std::greater<double>());

    std::optional<double> lastVisited;
    for (double t : candidates) {
        if (lastVisited && *lastVisited - t < 0.001) continue;
        lastVisited = t;
        const WarmthState s = stateAt(t);
        // The look-back never crosses a cool stretch.
        if (!s.isWarm()) return false;
        const DisplayTint scheduled = ColorTemperature::blendedTint(s.kelvin, s.intensity * 4.0);
        if (screen.r + gammaStep >= scheduled.r && screen.g + gammaStep >= scheduled.g &&
            screen.b + gammaStep >= scheduled.b)
            return true;
    }
    return false;
}

std::optional<double> SchedulePreview::nextWarmOnset(double start, double window) const {
    bool wasWarm = stateAt(start).isWarm();
    if (window < 300.0) return std::nullopt;
    for (double offset = 300.0; offset <= window; offset += 300.0) {
        const double t = start + offset;
        const bool warm = stateAt(t).isWarm();
        if (warm && !wasWarm) {
            // The coarse step found the change within the last five minutes; find its minute.
            for (double r = t - 240.0; r < t; r += 60.0)
                if (stateAt(r).isWarm()) return r;
            return t;
        }
        wasWarm = warm;
    }
    return std::nullopt;
}

std::vector<double> SchedulePreview::criticalTimes(double from, double to,
                                                   const QTimeZone& calendar) const {
    return criticalInstants(*this, from, to, calendar);
}
