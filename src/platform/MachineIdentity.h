#pragma once

#include <QByteArray>
#include <QString>

// An identifier of this computer that the application may send to its own web
// service. Never the system's raw machine id (which must not leave the machine):
// a keyed hash of it that only this application derives, stable across runs.
class MachineIdentity {
public:
    static inline const QString unknown = QStringLiteral("unknown");

    virtual ~MachineIdentity() = default;
    // Upper-case UUID text ("XXXXXXXX-XXXX-4XXX-YXXX-XXXXXXXXXXXX"); "unknown" when
    // the machine id cannot be read.
    virtual QString machineIdentifier() const = 0;

    // The application's identifier for a machine id of 32 hexadecimal digits (the
    // form of /etc/machine-id, surrounding white space ignored); "unknown" for
    // anything else.
    static QString applicationSpecificId(const QByteArray& machineId);
};
