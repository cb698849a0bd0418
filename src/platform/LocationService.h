#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <optional>

// One position report.
struct LocationFix {
    double latitude = 0.0;            // degrees, north positive
    double longitude = 0.0;           // degrees, east positive
    double horizontalAccuracy = -1.0; // metres; negative when unknown
    QDateTime timestamp;
    bool operator==(const LocationFix&) const = default;
};

// Why no position came. `code` is set for the location service's own errors and
// absent for anything else (a failure of the transport, for example).
struct LocationError {
    static constexpr int locationUnknown = 0; // no fix yet; may come later
    static constexpr int denied = 1;          // the user or the system refused access
    static constexpr int network = 2;         // the positioning service went away

    std::optional<int> code;
    QString description;
};

// The device's location, at the accuracy the warmth schedule needs (a kilometre is
// plenty to place sunrise and sunset). Reports arrive on the main thread as signals.
class LocationService : public QObject {
    Q_OBJECT
public:
    static constexpr double kilometreAccuracy = 1000.0;
    // How often a backend without change monitoring asks for a fresh position while
    // monitoring is on.
    static constexpr int significantChangeIntervalMs = 15 * 60 * 1000;

    using QObject::QObject;
    ~LocationService() override = default;

    virtual QString backendName() const = 0;
    // Asks for permission to locate while the application runs.
    virtual void requestWhenInUseAuthorization() = 0;
    virtual void setDesiredAccuracy(double metres) = 0;
    virtual void startUpdatingLocation() = 0;
    virtual void stopUpdatingLocation() = 0;
    virtual void startMonitoringSignificantLocationChanges() = 0;
    virtual void stopMonitoringSignificantLocationChanges() = 0;

signals:
    void locationsUpdated(const QList<LocationFix>& fixes);
    void failed(const LocationError& error);
};
