#pragma once

#include "platform/LocationService.h"

#include <optional>

// In memory. By default every start reports "location unknown", as a machine with no
// positioning source would; tests script a place or an error instead, or deliver
// reports themselves. Scripted reports are delivered from the event loop, never
// from inside the call that starts updates.
class SimulatedLocationService final : public LocationService {
    Q_OBJECT
public:
    explicit SimulatedLocationService(QObject* parent = nullptr);

    QString backendName() const override { return QStringLiteral("simulated"); }
    void requestWhenInUseAuthorization() override;
    void setDesiredAccuracy(double metres) override { m_desiredAccuracy = metres; }
    void startUpdatingLocation() override;
    void stopUpdatingLocation() override { m_updating = false; }
    void startMonitoringSignificantLocationChanges() override { m_monitoring = true; }
    void stopMonitoringSignificantLocationChanges() override { m_monitoring = false; }

    // Script: what the next starts report.
    void setScriptedFix(const LocationFix& fix);
    void setScriptedError(const LocationError& error);

    // Deliver at once, as the service would.
    void deliver(const QList<LocationFix>& fixes) { emit locationsUpdated(fixes); }
    void deliverError(const LocationError& error) { emit failed(error); }

    bool isUpdating() const { return m_updating; }
    bool isMonitoringSignificantChanges() const { return m_monitoring; }
    int authorizationRequests() const { return m_authorizationRequests; }
    int startCount() const { return m_startCount; }
    double desiredAccuracy() const { return m_desiredAccuracy; }

private:
    std::optional<LocationFix> m_fix;
    LocationError m_error;
    bool m_updating = false;
    bool m_monitoring = false;
    int m_authorizationRequests = 0;
    int m_startCount = 0;
    double m_desiredAccuracy = 0.0;
};
