#pragma once

#include "platform/KeyboardBacklight.h"
#include "platform/linux/SysfsNativeBacklight.h"

// The kernel's keyboard LED, <root>/*::kbd_backlight/{brightness,max_brightness}. Its
// level can always be read. Writing the file needs permission a desktop user seldom
// has, so a refused write goes through logind's Session.SetBrightness, which lets the
// session's own user set its LEDs.
class SysfsKeyboardBacklight final : public KeyboardBacklight {
public:
    // `busWriter` empty: logind on the system bus.
    explicit SysfsKeyboardBacklight(QString root = QStringLiteral("/sys/class/leds"),
                                    SysfsNativeBacklight::LevelWriter busWriter = {});

    QString name() const override { return QStringLiteral("sysfs leds"); }
    bool open() override;
    std::optional<float> level() override;
    bool setLevel(float level) override;

private:
    QString m_root;
    SysfsNativeBacklight::LevelWriter m_bus;
    QString m_device;
    int m_max = 0;
};
