#pragma once

#include <QString>

// The backlight of the panel built into the machine, as a level in 0..1. There is
// none on a desktop. Operations report failures with a non-zero status.
class NativeBacklight {
public:
    static constexpr int success = 0;
    static constexpr int unavailable = 2000;
    static constexpr int failure = 2001;

    virtual ~NativeBacklight() = default;

    // True when a built-in panel backlight exists.
    virtual bool isAvailable() const = 0;
    // A short name of the device, for logs.
    virtual QString deviceName() const = 0;
    virtual int brightness(float& level) = 0;
    // The level is clamped to 0..1; devices with few steps round to the nearest one.
    virtual int setBrightness(float level) = 0;
};
