#include "platform/simulated/SimulatedInstanceLock.h"

#include <QCoreApplication>
#include <QHash>
#include <QPointer>

namespace {
QHash<QString, QPointer<SimulatedInstanceLock>>& holders() {
    static QHash<QString, QPointer<SimulatedInstanceLock>> map;
    return map;
}
} // namespace

SimulatedInstanceLock::SimulatedInstanceLock(const QString& name, QObject* parent)
    : InstanceLock(parent), m_name(name), m_pid(QCoreApplication::applicationPid()) {}

SimulatedInstanceLock::~SimulatedInstanceLock() {
    if (m_held) holders().remove(m_name);
}

bool SimulatedInstanceLock::tryAcquire() {
    if (m_held) return true;
    auto& map = holders();
    const auto it = map.constFind(m_name);
    if (it != map.constEnd() && !it->isNull()) return false;
    map.insert(m_name, this);
    m_held = true;
    return true;
}

qint64 SimulatedInstanceLock::holderPid() const {
    const auto holder = holders().value(m_name);
    return holder ? holder->m_pid : 0;
}

bool SimulatedInstanceLock::requestActivation() {
    const auto holder = holders().value(m_name);
    if (!holder || holder == this) return false;
    QMetaObject::invokeMethod(holder.data(), &InstanceLock::activationRequested,
                              Qt::QueuedConnection);
    return true;
}
