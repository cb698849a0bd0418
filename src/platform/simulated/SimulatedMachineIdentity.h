#pragma once

#include "platform/MachineIdentity.h"

// A machine whose identifier tests choose; by default the one derived from a fixed
// made-up machine id.
class SimulatedMachineIdentity final : public MachineIdentity {
public:
    SimulatedMachineIdentity()
        : m_identifier(applicationSpecificId("0123456789abcdef0123456789abcdef")) {}
    QString machineIdentifier() const override { return m_identifier; }
    void setMachineIdentifier(const QString& identifier) { m_identifier = identifier; }

private:
    QString m_identifier;
};
