#pragma once

#include "platform/ScreenReaderProbe.h"

#include <QDBusConnection>
#include <memory>

class DBusBoolProperty;

// The accessibility bus's "ScreenReaderEnabled" (org.a11y.Status on org.a11y.Bus);
// not running while the bus does not say.
class LinuxScreenReaderProbe final : public ScreenReaderProbe {
public:
    explicit LinuxScreenReaderProbe(const QDBusConnection& bus = QDBusConnection::sessionBus());
    ~LinuxScreenReaderProbe() override;

    bool isRunning() const override;

private:
    std::unique_ptr<DBusBoolProperty> m_enabled;
};
