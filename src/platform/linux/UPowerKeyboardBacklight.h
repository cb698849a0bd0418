#pragma once

#include "platform/KeyboardBacklight.h"

#include <QDBusConnection>

// UPower's keyboard backlight (org.freedesktop.UPower.KbdBacklight) on the system bus:
// levels 0..GetMaxBrightness() mapped onto 0..1.
class UPowerKeyboardBacklight final : public KeyboardBacklight {
public:
    explicit UPowerKeyboardBacklight(QDBusConnection bus = QDBusConnection::systemBus());

    QString name() const override { return QStringLiteral("UPower"); }
    bool open() override;
    std::optional<float> level() override;
    bool setLevel(float level) override;

private:
    std::optional<int> callInt(const QString& method);

    QDBusConnection m_bus;
    int m_max = 0;
};
