#pragma once

#include "platform/LightSensor.h"

#include <QDBusConnection>

// The light sensor that iio-sensor-proxy (net.hadess.SensorProxy) shares on the
// system bus. The sensor is claimed while this object lives. A level in the
// device's own units ("vendor") is not lux and gives no reading.
class SensorProxyLightSensor final : public LightSensor {
public:
    // `bus`: the system bus normally; tests pass a private one.
    explicit SensorProxyLightSensor(QDBusConnection bus = QDBusConnection::systemBus());
    ~SensorProxyLightSensor() override;

    QString name() const override { return QStringLiteral("iio-sensor-proxy"); }
    bool open() override;
    std::optional<double> readLux() override;

private:
    QVariant property(const QString& name) const;

    QDBusConnection m_bus;
    bool m_claimed = false;
};
