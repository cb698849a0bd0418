#include "platform/linux/LinuxScreenReaderProbe.h"

#include "platform/linux/DBusBoolProperty.h"

LinuxScreenReaderProbe::LinuxScreenReaderProbe(const QDBusConnection& bus)
    : m_enabled(std::make_unique<DBusBoolProperty>(
          bus, QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
          QStringLiteral("org.a11y.Status"), QStringLiteral("ScreenReaderEnabled"))) {}

LinuxScreenReaderProbe::~LinuxScreenReaderProbe() = default;

bool LinuxScreenReaderProbe::isRunning() const {
    return m_enabled->value().value_or(false);
}
