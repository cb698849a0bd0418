#pragma once

#include "platform/InstanceLock.h"

// An in-memory lock: instances with the same name contend within one process, the
// way two copies of the application contend for the real one.
class SimulatedInstanceLock final : public InstanceLock {
    Q_OBJECT
public:
    explicit SimulatedInstanceLock(const QString& name = QStringLiteral("halcyra"),
                                   QObject* parent = nullptr);
    ~SimulatedInstanceLock() override;

    bool tryAcquire() override;
    bool isHeld() const override { return m_held; }
    qint64 holderPid() const override;
    bool requestActivation() override;

    // Pretends to be process `pid` while holding the lock.
    void setPid(qint64 pid) { m_pid = pid; }

private:
    QString m_name;
    qint64 m_pid;
    bool m_held = false;
};
