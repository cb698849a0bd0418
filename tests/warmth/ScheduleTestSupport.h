#pragma once

#include "core/Clock.h"
#include "core/Preferences.h"
#include "platform/simulated/SimulatedLocationService.h"
#include "support/TestStore.h"
#include "warmth/SunsetScheduler.h"

#include <QTimeZone>
#include <memory>
#include <vector>

// A schedule engine on a manual clock and a simulated location service, over a fresh
// settings store, recording what it announces.
struct ScheduleFixture {
    explicit ScheduleFixture(const char* zoneId = "Europe/Berlin")
        : zone(QByteArray(zoneId)), clock(QDateTime(QDate(2024, 6, 21), QTime(12, 0), zone)),
          engine(location, clock) {
        engine.onStateChange = [this](const WarmthState& s) { announced.push_back(s); };
        engine.onLocationError = [this](const QString& m) { locationErrors.push_back(m); };
    }

    // Wall-clock time of the clock's zone on a date.
    QDateTime at(QDate date, QTime time) const { return QDateTime(date, time, zone); }
    QDateTime at(QTime time) const { return at(QDate(2024, 6, 21), time); }
    void setNow(const QDateTime& t) { clock.setNow(t.toTimeZone(zone)); }

    void useSchedule(const QList<SchedulePoint>& points) {
        store.defaults().setBool(PrefKey::useSchedule, true);
        SchedulePoint::store(points, Preferences::shared());
    }
    void useDefaultSchedule() { store.defaults().setBool(PrefKey::useSchedule, true); }
    void followSun(double temperature = 3400) {
        store.defaults().setBool(PrefKey::autoSunset, true);
        store.defaults().setDouble(PrefKey::temperature, temperature);
    }
    // The engine learns a place (and asserts, as the location callback does).
    void locate(double latitude, double longitude) {
        location.deliver({LocationFix{latitude, longitude, 1000, {}}});
    }

    static QList<SchedulePoint>
    points(std::initializer_list<std::pair<double, double>> hourKelvin) {
        QList<SchedulePoint> out;
        for (const auto& [h, k] : hourKelvin)
            out.append({QUuid::createUuid(), h, k});
        return out;
    }

    TestStore store;
    QTimeZone zone;
    ManualClock clock;
    SimulatedLocationService location;
    SunsetScheduler engine;
    std::vector<WarmthState> announced;
    std::vector<QString> locationErrors;
};
