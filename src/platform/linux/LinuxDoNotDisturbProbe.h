#pragma once

#include "platform/DoNotDisturbProbe.h"

#include <QDBusConnection>
#include <memory>

class DBusBoolProperty;

// Do not disturb from the desktop's notification service ("Inhibited" on
// org.freedesktop.Notifications); unknown while no such service answers.
class LinuxDoNotDisturbProbe final : public DoNotDisturbProbe {
public:
    explicit LinuxDoNotDisturbProbe(const QDBusConnection& bus = QDBusConnection::sessionBus());
    ~LinuxDoNotDisturbProbe() override;

    DoNotDisturbState state() const override;

private:
    std::unique_ptr<DBusBoolProperty> m_inhibited;
};
