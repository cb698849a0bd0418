#pragma once

#include "NativeBacklight.h"

#include <memory>

// The panel backlight under /sys/class/backlight.
class SysfsNativeBacklight final : public NativeBacklight {
public:
    // Null when the machine has no backlight device.
    static std::unique_ptr<SysfsNativeBacklight> probe(const QString& root = QString());

    bool isAvailable() const override { return false; }
    QString deviceName() const override { return QString(); }
    int brightness(float&) override { return unavailable; }
    int setBrightness(float) override { return unavailable; }
};
