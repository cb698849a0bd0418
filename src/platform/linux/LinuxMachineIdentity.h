#pragma once

#include "platform/MachineIdentity.h"

// Derives the identifier from the systemd machine id. Reads the file at every call
// (it is tiny), so a machine id written after start-up is picked up.
class LinuxMachineIdentity final : public MachineIdentity {
public:
    explicit LinuxMachineIdentity(QString path = QStringLiteral("/etc/machine-id"));
    QString machineIdentifier() const override;

private:
    QString m_path;
};
