#pragma once

#include "platform/NativeBacklight.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

// The panel backlight under /sys/class/backlight/<device>/. Levels are the device's
// integer steps over max_brightness. Writes go through systemd-logind's
// Session.SetBrightness on the system bus (no root needed), falling back to writing
// the brightness file directly where it is writable. A firmware device is preferred
// over a platform one, and both over a raw one, as the desktop does.
class SysfsNativeBacklight final : public NativeBacklight {
public:
    // Sets `name` of `subsystem` to the raw level; true on success.
    using LevelWriter =
        std::function<bool(const QString& subsystem, const QString& name, quint32 raw)>;

    // Null when `root` (default /sys/class/backlight) holds no usable device.
    // `busWriter` empty: logind on the system bus.
    static std::unique_ptr<SysfsNativeBacklight> probe(const QString& root = QString(),
                                                       LevelWriter busWriter = {});
    // logind's Session.SetBrightness for the caller's session.
    static bool setThroughLogind(const QString& subsystem, const QString& name, quint32 raw);

    bool isAvailable() const override { return true; }
    QString deviceName() const override { return m_name; }
    int maxLevel() const { return m_max; }
    int brightness(float& level) override;
    int setBrightness(float level) override;

private:
    SysfsNativeBacklight(QString dir, QString name, int max, LevelWriter bus);
    std::optional<int> readRaw() const;

    QString m_dir;
    QString m_name;
    int m_max;
    LevelWriter m_bus;
    bool m_busFailed = false;
};
