#pragma once

#include "platform/DoNotDisturbProbe.h"

#include <QDBusConnection>
#include <memory>

class DBusBoolProperty;

// Do not disturb from the desktop's notification service ("Inhibited" on
// org.freedesktop.Notifications); while the service does not say, the assertions
// file decides.
class LinuxDoNotDisturbProbe final : public DoNotDisturbProbe {
public:
    explicit LinuxDoNotDisturbProbe(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                                    const QString& assertionsFile = assertionsFilePath());
    ~LinuxDoNotDisturbProbe() override;

    DoNotDisturbState state() const override;

private:
    std::unique_ptr<DBusBoolProperty> m_inhibited;
    QString m_assertionsFile;
};
