#include "platform/linux/LinuxDoNotDisturbProbe.h"

#include "platform/linux/DBusBoolProperty.h"

LinuxDoNotDisturbProbe::LinuxDoNotDisturbProbe(const QDBusConnection& bus)
    : m_inhibited(std::make_unique<DBusBoolProperty>(
          bus, QStringLiteral("org.freedesktop.Notifications"),
          QStringLiteral("/org/freedesktop/Notifications"),
          QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Inhibited"))) {}

LinuxDoNotDisturbProbe::~LinuxDoNotDisturbProbe() = default;

DoNotDisturbState LinuxDoNotDisturbProbe::state() const {
    if (const std::optional<bool> inhibited = m_inhibited->value())
        return *inhibited ? DoNotDisturbState::active : DoNotDisturbState::inactive;
    return DoNotDisturbState::unknown;
}
