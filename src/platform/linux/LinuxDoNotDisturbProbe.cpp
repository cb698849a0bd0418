#include "platform/linux/LinuxDoNotDisturbProbe.h"

#include "platform/linux/DBusBoolProperty.h"

LinuxDoNotDisturbProbe::LinuxDoNotDisturbProbe(const QDBusConnection& bus,
                                               const QString& assertionsFile)
    : m_inhibited(std::make_unique<DBusBoolProperty>(
          bus, QStringLiteral("org.freedesktop.Notifications"),
          QStringLiteral("/org/freedesktop/Notifications"),
          QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Inhibited"))),
      m_assertionsFile(assertionsFile) {}

LinuxDoNotDisturbProbe::~LinuxDoNotDisturbProbe() = default;

DoNotDisturbState LinuxDoNotDisturbProbe::state() const {
    if (const std::optional<bool> inhibited = m_inhibited->value())
        return *inhibited ? DoNotDisturbState::active : DoNotDisturbState::inactive;
    return stateFromAssertionsFile(m_assertionsFile);
}
