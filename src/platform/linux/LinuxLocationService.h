#pragma once

#include "platform/LocationService.h"

#include <QTimer>
#include <memory>

class QGeoPositionInfoSource;
class QGeoPositionInfo;

// The desktop's positioning service through Qt Positioning (GeoClue on Linux).
// Linux has no significant-change monitoring; while it is on, a position is asked for
// every quarter of an hour instead.
class LinuxLocationService final : public LocationService {
    Q_OBJECT
public:
    // Absent when the machine offers no positioning source.
    static std::unique_ptr<LinuxLocationService> create(QObject* parent = nullptr);
    ~LinuxLocationService() override;

    QString backendName() const override;
    void requestWhenInUseAuthorization() override;
    void setDesiredAccuracy(double metres) override;
    void startUpdatingLocation() override;
    void stopUpdatingLocation() override;
    void startMonitoringSignificantLocationChanges() override;
    void stopMonitoringSignificantLocationChanges() override;

private:
    explicit LinuxLocationService(QGeoPositionInfoSource* source, QObject* parent);
    void onPosition(const QGeoPositionInfo& info);
    void onError(int error);

    QGeoPositionInfoSource* m_source; // owned as a child
    QTimer m_significantChangeTimer;
};
