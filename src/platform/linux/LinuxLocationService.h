#pragma once

#include "platform/LocationService.h"

#include <QTimer>
#include <memory>
#include <optional>

#include "platform/linux/services/PositionSource.h"

// The desktop's positioning service (GeoClue through Qt Positioning, in the service
// module). Nothing of it is loaded before the first start, and that start opens it on
// the next turn of the event loop, so a launch that follows the sun pushes its first
// tint without waiting for the positioning plugins. Where the machine has no source,
// every start reports "location unknown", as the simulated service does. Linux has no
// significant-change monitoring; while it is on, a position is asked for every quarter
// of an hour instead.
class LinuxLocationService final : public LocationService {
    Q_OBJECT
public:
    using SourceFactory = std::function<std::unique_ptr<PositionSource>()>;
    explicit LinuxLocationService(SourceFactory factory = &moduleSource, QObject* parent = nullptr);
    ~LinuxLocationService() override;

    // The source's name; empty before it is opened or where there is none.
    QString backendName() const override;
    void requestWhenInUseAuthorization() override;
    void setDesiredAccuracy(double metres) override;
    void startUpdatingLocation() override;
    void stopUpdatingLocation() override;
    void startMonitoringSignificantLocationChanges() override;
    void stopMonitoringSignificantLocationChanges() override;

    static std::unique_ptr<PositionSource> moduleSource();

private:
    void openSoon();
    void open();
    void reportNoSource();

    SourceFactory m_factory;
    std::unique_ptr<PositionSource> m_source;
    bool m_openQueued = false;
    bool m_opened = false;
    bool m_updating = false;
    std::optional<double> m_accuracy;
    QTimer m_significantChangeTimer;
};
