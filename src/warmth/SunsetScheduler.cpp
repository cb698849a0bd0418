#include "SunsetScheduler.h"

#include "core/Preferences.h"
#include "platform/Platform.h"
#include "warmth/LocalCalendar.h"
#include "warmth/ScheduleQueries.h"
#include "warmth/SolarMath.h"

#include <QLocale>
#include <QLoggingCategory>
#include <cmath>

Q_LOGGING_CATEGORY(lcScheduler, "com.halcyra.Scheduler")

namespace {

// The shortest decimal that reads back exactly, always with a fraction ("1.0").
QString shortestDecimal(double v) {
    QString s = QString::number(v, 'g', QLocale::FloatingPointShortest);
    if (!s.contains(QLatin1Char('.')) && !s.contains(QLatin1Char('e')) &&
        !s.contains(QLatin1String("inf")) && !s.contains(QLatin1String("nan")))
        s += QStringLiteral(".0");
    return s;
}

QString describeInstant(const std::optional<double>& secs) {
    if (!secs) return QStringLiteral("nil");
    return LocalCalendar::toDateTime(*secs, QTimeZone::utc())
               .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
           QStringLiteral(" +0000");
}

std::optional<double> toSecs(const std::optional<QDateTime>& t) {
    if (!t || !t->isValid()) return std::nullopt;
    return LocalCalendar::toSecs(*t);
}

} // namespace

QString WarmthState::description() const {
    if (!isWarm()) return QStringLiteral("cool");
    return QStringLiteral("warm(kelvin: %1, intensity: %2)")
        .arg(shortestDecimal(kelvin), shortestDecimal(intensity));
}

SunsetScheduler& SunsetScheduler::shared() {
    static SunsetScheduler* engine =
        new SunsetScheduler(Platform::instance().location(), Clock::system());
    return *engine;
}

SunsetScheduler::SunsetScheduler(LocationService& location, Clock& clock, QObject* parent)
    : QObject(parent), m_location(location), m_clock(clock) {
    m_location.setDesiredAccuracy(LocationService::kilometreAccuracy);
    connect(&m_location, &LocationService::locationsUpdated, this,
            &SunsetScheduler::onLocationsUpdated);
    connect(&m_location, &LocationService::failed, this, &SunsetScheduler::onLocationFailed);
    m_timer.setInterval(assertionIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { assertDesiredState(m_clock.now()); });
}

SunsetScheduler::~SunsetScheduler() = default;

void SunsetScheduler::start() {
    m_location.requestWhenInUseAuthorization();
    m_location.startUpdatingLocation();
    m_location.startMonitoringSignificantLocationChanges();
    m_timer.start(); // restarts a running timer
    assertDesiredState(m_clock.now());
}

void SunsetScheduler::stop() {
    m_location.stopUpdatingLocation();
    m_location.stopMonitoringSignificantLocationChanges();
    m_timer.stop();
    m_lastAssertedState.reset();
}

void SunsetScheduler::assertDesiredState(const QDateTime& now) {
    refreshSolarTimesIfNeeded(now);

    if (m_pauseHolder) {
        if (m_pauseHolder()) return;
        m_pauseHolder = nullptr;
    }

    const Preferences& prefs = Preferences::shared();
    const double temperature = prefs.temperature();
    WarmthState state;
    if (prefs.useSchedule())
        state = computePointScheduleState(now.toTimeZone(calendar()), SchedulePoint::stored(prefs));
    else if (prefs.autoSunset())
        state = solarScheduleState(now, std::min(temperature, solarWarmCeiling));

    if (m_lastAssertedState) {
        const WarmthState& last = *m_lastAssertedState;
        if (!last.isWarm() && !state.isWarm()) return;
        if (last.isWarm() && state.isWarm() && std::fabs(state.kelvin - last.kelvin) < 1.0 &&
            std::fabs(state.intensity - last.intensity) < 0.005)
            // Steps this small are not worth a re-application, the last minute of a
            // fade included: a fade-in may rest a hair short of full all night.
            return;
    }

    qCInfo(lcScheduler).noquote()
        << QStringLiteral("Schedule state change: %1").arg(state.description());
    m_lastAssertedState = state;
    if (onStateChange) onStateChange(state);
}

void SunsetScheduler::resumeApplies() {
    m_pauseHolder = nullptr;
    const Preferences& prefs = Preferences::shared();
    if (prefs.autoSunset() || prefs.useSchedule()) {
        m_lastAssertedState.reset();
        assertDesiredState(m_clock.now());
    }
}

WarmthState SunsetScheduler::solarScheduleState(const QDateTime& now, double warmKelvin) {
    refreshSolarTimesIfNeeded(now);
    SchedulePreview::Elevation elevation;
    if (m_lastLocation) {
        const double lat = m_lastLocation->latitude;
        const double lon = m_lastLocation->longitude;
        elevation = [lat, lon](double secs) { return SolarMath::solarElevation(secs, lat, lon); };
    }
    return SchedulePreview::solarState(LocalCalendar::toSecs(now), m_todaySunset, m_todaySunrise,
                                       fadeDuration, warmKelvin,
                                       m_lastLocation ? &elevation : nullptr, calendar());
}

WarmthState SunsetScheduler::computePointScheduleState(const QDateTime& at,
                                                       const QList<SchedulePoint>& points) {
    return SchedulePreview::pointState(LocalCalendar::toSecs(at), LocalCalendar::zoneOf(at),
                                       ScheduleCurve::resolvedSamples(points));
}

WarmthState SunsetScheduler::computeSolarState(const QDateTime& at,
                                               const std::optional<QDateTime>& sunset,
                                               const std::optional<QDateTime>& sunrise, double fade,
                                               double warmKelvin,
                                               const ElevationSource& elevation) {
    const QTimeZone zone = LocalCalendar::zoneOf(at);
    SchedulePreview::Elevation bound;
    if (elevation)
        bound = [&elevation, &zone](double secs) {
            return elevation(LocalCalendar::toDateTime(secs, zone));
        };
    return SchedulePreview::solarState(LocalCalendar::toSecs(at), toSecs(sunset), toSecs(sunrise),
                                       fade, warmKelvin, elevation ? &bound : nullptr, zone);
}

std::optional<SunsetScheduler::SunsetSunrise>
SunsetScheduler::wallClockFallbackTimes(const QDateTime& date, const QTimeZone& calendar) {
    const auto times = SchedulePreview::wallClockFallback(LocalCalendar::toSecs(date), calendar);
    if (!times) return std::nullopt;
    return SunsetSunrise{LocalCalendar::toDateTime(times->sunset, calendar),
                         LocalCalendar::toDateTime(times->sunrise, calendar)};
}

std::optional<QDateTime> SunsetScheduler::todaySunset() const {
    if (!m_todaySunset) return std::nullopt;
    return LocalCalendar::toDateTime(*m_todaySunset, calendar());
}

std::optional<QDateTime> SunsetScheduler::todaySunrise() const {
    if (!m_todaySunrise) return std::nullopt;
    return LocalCalendar::toDateTime(*m_todaySunrise, calendar());
}

void SunsetScheduler::refreshSolarTimesIfNeeded(const QDateTime& date) {
    const QTimeZone zone = calendar();
    const double secs = LocalCalendar::toSecs(date);
    if (m_lastSolarCalcDate &&
        LocalCalendar::localDate(zone, LocalCalendar::toSecs(*m_lastSolarCalcDate)) ==
            LocalCalendar::localDate(zone, secs))
        return;
    if (!m_lastLocation) return;

    const auto times =
        SolarMath::sunTimes(secs, zone, m_lastLocation->latitude, m_lastLocation->longitude);
    if (times) {
        m_todaySunrise = times->sunrise;
        m_todaySunset = times->sunset;
    } else {
        m_todaySunrise.reset();
        m_todaySunset.reset();
    }
    m_lastSolarCalcDate = date;
    qCInfo(lcScheduler).noquote() << QStringLiteral(
                                         "Solar times refreshed — sunset: %1, sunrise: %2")
                                         .arg(describeInstant(m_todaySunset),
                                              describeInstant(m_todaySunrise));
}

void SunsetScheduler::onLocationsUpdated(const QList<LocationFix>& fixes) {
    if (fixes.isEmpty()) return;
    m_lastLocation = fixes.last();
    // One fix is enough for the day; significant-change monitoring stays on to follow moves.
    m_location.stopUpdatingLocation();
    m_lastSolarCalcDate.reset();
    assertDesiredState(m_clock.now());
}

void SunsetScheduler::onLocationFailed(const LocationError& error) {
    QString message;
    if (error.code == LocationError::denied)
        message = QStringLiteral(
            "Location access denied. Enable Location Services for Halcyra in your desktop's "
            "privacy settings (GeoClue).");
    else if (error.code == LocationError::locationUnknown)
        message = QStringLiteral("Unable to determine location. Auto-sunset will retry shortly.");
    else
        message = QStringLiteral("Location unavailable. Using last known location.");
    if (onLocationError) onLocationError(message);
    assertDesiredState(m_clock.now());
}

// ---- Questions about the schedule.

SolarState SunsetScheduler::solarState() const {
    return {todaySunset(), todaySunrise(), m_lastLocation, m_clock.timeZone()};
}

WarmthState SunsetScheduler::previewState(const QDateTime& at) const {
    return SchedulePreview::capture(solarState()).stateAt(LocalCalendar::toSecs(at));
}

bool SunsetScheduler::hasBeenAtLeastAsWarm(const DisplayTint& screen, const QDateTime& now) const {
    return SchedulePreview::capture(solarState())
        .hasBeenAtLeastAsWarm(screen, LocalCalendar::toSecs(now));
}

std::optional<QDateTime> SunsetScheduler::nextWarmOnset(const QDateTime& after,
                                                        double window) const {
    const auto t =
        SchedulePreview::capture(solarState()).nextWarmOnset(LocalCalendar::toSecs(after), window);
    if (!t) return std::nullopt;
    return LocalCalendar::toDateTime(*t, LocalCalendar::zoneOf(after));
}

QList<QDateTime> SunsetScheduler::scheduleCriticalTimes(const QDateTime& from, const QDateTime& to,
                                                        const QTimeZone& calendar) const {
    const std::vector<double> times =
        SchedulePreview::capture(solarState())
            .criticalTimes(LocalCalendar::toSecs(from), LocalCalendar::toSecs(to), calendar);
    QList<QDateTime> out;
    out.reserve(qsizetype(times.size()));
    for (double t : times)
        out.append(LocalCalendar::toDateTime(t, calendar));
    return out;
}
