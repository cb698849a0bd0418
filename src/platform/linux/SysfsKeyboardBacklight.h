#pragma once

#include "platform/KeyboardBacklight.h"

// The kernel's keyboard LED, <root>/*::kbd_backlight/{brightness,max_brightness}. Its
// level can always be read; writing needs permission a desktop user seldom has.
class SysfsKeyboardBacklight final : public KeyboardBacklight {
public:
    explicit SysfsKeyboardBacklight(QString root = QStringLiteral("/sys/class/leds"));

    QString name() const override { return QStringLiteral("sysfs leds"); }
    bool open() override;
    std::optional<float> level() override;
    bool setLevel(float level) override;

private:
    QString m_root;
    QString m_device;
    int m_max = 0;
};
