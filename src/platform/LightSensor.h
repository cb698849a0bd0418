#pragma once

#include <QString>
#include <optional>

// One source of the room's light level in lux. Several may exist on a machine; the
// ambient light controller asks them in a fixed order and takes the first reading.
class LightSensor {
public:
    virtual ~LightSensor() = default;
    // A short name for logs.
    virtual QString name() const = 0;
    // Finds the device and prepares it for reading; false when there is none. May be
    // called again after a failure.
    virtual bool open() = 0;
    // One reading in lux; none when the device gave no usable value (a failed read is
    // never a reading of 0 lux).
    virtual std::optional<double> readLux() = 0;
};
