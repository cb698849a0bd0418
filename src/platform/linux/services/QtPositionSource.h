#pragma once

#include "platform/linux/services/PositionSource.h"

#include <memory>

class QGeoPositionInfoSource;
class QGeoPositionInfo;

// The desktop's positioning service through Qt Positioning (GeoClue on Linux).
class QtPositionSource final : public PositionSource {
public:
    // Absent when the machine offers no positioning source.
    static std::unique_ptr<QtPositionSource> create();
    ~QtPositionSource() override;

    QString name() const override;
    void setHandlers(Handlers handlers) override { m_handlers = std::move(handlers); }
    void setDesiredAccuracy(double metres) override;
    void startUpdates() override;
    void stopUpdates() override;
    void requestUpdate() override;

private:
    explicit QtPositionSource(QGeoPositionInfoSource* source);
    void onPosition(const QGeoPositionInfo& info);
    void onError(int error);

    std::unique_ptr<QGeoPositionInfoSource> m_source;
    Handlers m_handlers;
};
