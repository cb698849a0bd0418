#pragma once

#include "platform/DitheringControl.h"

#include <QMap>

// Outputs with a "dithering mode" each, in memory. None means no output offers it.
class SimulatedDithering final : public DitheringControl {
public:
    void addOutput(const QString& name, const QString& mode) { m_modes.insert(name, mode); }
    void removeOutput(const QString& name) { m_modes.remove(name); }
    QString mode(const QString& name) const { return m_modes.value(name); }
    int writeCount() const { return m_writes; }

    bool isAvailable() override { return !m_modes.isEmpty(); }
    QJsonObject snapshot() override;
    bool setDithering(bool enabled) override;
    bool restore(const QJsonObject& snapshot) override;

private:
    QMap<QString, QString> m_modes;
    int m_writes = 0;
};
