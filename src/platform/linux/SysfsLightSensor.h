#pragma once

#include "platform/LightSensor.h"

// The kernel's IIO light sensor: <root>/iio:device*/in_illuminance_input, or
// in_illuminance_raw × in_illuminance_scale + in_illuminance_offset.
class SysfsLightSensor final : public LightSensor {
public:
    explicit SysfsLightSensor(QString root = QStringLiteral("/sys/bus/iio/devices"));

    QString name() const override { return QStringLiteral("iio sysfs"); }
    bool open() override;
    std::optional<double> readLux() override;

private:
    QString m_root;
    QString m_device; // the chosen device folder, empty until open() found one
};
