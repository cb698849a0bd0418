#pragma once

#include "core/Clock.h"
#include "platform/LocationService.h"
#include "warmth/ColorTemperature.h"
#include "warmth/SchedulePoint.h"
#include "warmth/ScheduleState.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QTimeZone>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

// Decides once a minute, and whenever asked, whether the displays should be warm and
// how warm: from the user's schedule points or from the sun at the user's location,
// and announces each change through onStateChange. It never touches the displays.
//
// "The user's calendar" is the Gregorian calendar in the injected clock's time zone.
// The static state functions use the zone of the date-time they are given.
class SunsetScheduler : public QObject {
    Q_OBJECT
public:
    static constexpr double fadeDuration = ScheduleTiming::fadeDuration;
    static constexpr int assertionIntervalMs = 60'000;
    static constexpr double solarWarmCeiling = ScheduleTiming::solarWarmCeiling;

    using ElevationSource = std::function<double(const QDateTime&)>;
    struct SunsetSunrise {
        QDateTime sunset;
        QDateTime sunrise;
    };

    // The process's engine, on the system clock and the platform's location service.
    static SunsetScheduler& shared();

    explicit SunsetScheduler(LocationService& location, Clock& clock = Clock::system(),
                             QObject* parent = nullptr);
    ~SunsetScheduler() override;

    // Installed by the application before start().
    std::function<void(const WarmthState&)> onStateChange;
    std::function<void(const QString&)> onLocationError;

    // Location updates on and a 60 s assertion timer (replacing a running one), then
    // one assertion at once. Keeps the last announced state.
    void start();
    // Location updates and timer off; forgets the last announced state so the next
    // start announces whatever it finds.
    void stop();
    bool isRunning() const { return m_timer.isActive(); }

    // Works out the state at `now` and announces it unless it repeats the last one.
    void assertDesiredState(const QDateTime& now);
    // Ends a pause: forgets the last announced state and announces the current one.
    void resumeApplies();

    // Today's sun-following state at `now`, refreshing the solar times first.
    WarmthState solarScheduleState(const QDateTime& now, double warmKelvin);

    static WarmthState computePointScheduleState(const QDateTime& at,
                                                 const QList<SchedulePoint>& points);
    static WarmthState computeSolarState(const QDateTime& at,
                                         const std::optional<QDateTime>& sunset,
                                         const std::optional<QDateTime>& sunrise, double fade,
                                         double warmKelvin, const ElevationSource& elevation);
    // 19:00:00 and 07:00:00 of the day containing `date` in `calendar`.
    static std::optional<SunsetSunrise> wallClockFallbackTimes(const QDateTime& date,
                                                               const QTimeZone& calendar);

    // ---- Questions about the schedule; none of them announces or changes anything.
    // What the schedule asks for at an instant (the views draw with it).
    WarmthState previewState(const QDateTime& at) const;
    // Whether, looking back from `now` over the current warm stretch (24 h at most),
    // the schedule was ever at least as warm as `screen`, within one gamma step.
    bool hasBeenAtLeastAsWarm(const DisplayTint& screen, const QDateTime& now) const;
    // When the schedule next turns from cool to warm within `windowSeconds` of `after`.
    std::optional<QDateTime> nextWarmOnset(const QDateTime& after, double windowSeconds) const;
    // Instants of [from, to] at which the schedule can change abruptly: the points'
    // times, the zone's clock changes, and the ends of the sun's fades.
    QList<QDateTime> scheduleCriticalTimes(const QDateTime& from, const QDateTime& to,
                                           const QTimeZone& calendar) const;

    // ---- Held state.
    std::optional<ManualScheduleOverride> manualOverride() const { return m_manualOverride; }
    void setManualOverride(std::optional<ManualScheduleOverride> o) { m_manualOverride = o; }
    void clearManualOverride() { m_manualOverride.reset(); }

    // While the holder returns true nothing is announced; once it returns false it is dropped.
    void setPauseHolder(std::function<bool()> holder) { m_pauseHolder = std::move(holder); }
    bool hasPauseHolder() const { return bool(m_pauseHolder); }

    std::optional<WarmthState> lastAssertedState() const { return m_lastAssertedState; }
    void clearLastAssertedState() { m_lastAssertedState.reset(); }

    // Cleared on clock and time-zone changes so the next assertion recomputes the sun.
    std::optional<QDateTime> lastSolarCalcDate() const { return m_lastSolarCalcDate; }
    void clearLastSolarCalcDate() { m_lastSolarCalcDate.reset(); }

    std::optional<QDateTime> todaySunset() const;
    std::optional<QDateTime> todaySunrise() const;
    std::optional<LocationFix> lastLocation() const { return m_lastLocation; }

    // What the schedule's questions need of the sun: today's times, the place, the zone.
    SolarState solarState() const;

    LocationService& locationService() const { return m_location; }
    Clock& clock() const { return m_clock; }

private:
    QTimeZone calendar() const { return m_clock.timeZone(); }
    void refreshSolarTimesIfNeeded(const QDateTime& date);
    void onLocationsUpdated(const QList<LocationFix>& fixes);
    void onLocationFailed(const LocationError& error);

    LocationService& m_location;
    Clock& m_clock;
    QTimer m_timer;
    std::optional<LocationFix> m_lastLocation;
    std::optional<double> m_todaySunset; // seconds since 1970
    std::optional<double> m_todaySunrise;
    std::optional<QDateTime> m_lastSolarCalcDate;
    std::optional<WarmthState> m_lastAssertedState;
    std::optional<ManualScheduleOverride> m_manualOverride;
    std::function<bool()> m_pauseHolder;
};
