#include "platform/simulated/SimulatedDithering.h"

QJsonObject SimulatedDithering::snapshot() {
    QJsonObject o;
    for (auto it = m_modes.cbegin(); it != m_modes.cend(); ++it)
        o.insert(it.key(), QJsonObject{{QStringLiteral("dithering mode"), it.value()}});
    return o;
}

bool SimulatedDithering::setDithering(bool enabled) {
    for (auto it = m_modes.begin(); it != m_modes.end(); ++it) {
        it.value() = enabled ? QStringLiteral("auto") : QStringLiteral("off");
        ++m_writes;
    }
    return true;
}

bool SimulatedDithering::restore(const QJsonObject& snapshot) {
    for (auto it = snapshot.begin(); it != snapshot.end(); ++it) {
        if (!m_modes.contains(it.key())) continue;
        const QString mode =
            it.value().toObject().value(QStringLiteral("dithering mode")).toString();
        if (mode.isEmpty()) continue;
        m_modes[it.key()] = mode;
        ++m_writes;
    }
    return true;
}
