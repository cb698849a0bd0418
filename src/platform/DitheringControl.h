#pragma once

#include <QJsonObject>
#include <QString>

// The display outputs' dithering switch, where the driver offers one.
class DitheringControl {
public:
    virtual ~DitheringControl() = default;
    // Some output offers a dithering setting.
    virtual bool isAvailable() = 0;
    // Every output's dithering settings as they are now (output name to values).
    virtual QJsonObject snapshot() = 0;
    // Switches dithering on (the driver's automatic choice) or off on every output
    // that offers it; false when any write failed.
    virtual bool setDithering(bool enabled) = 0;
    // Puts the settings of a snapshot back; outputs no longer present are skipped.
    virtual bool restore(const QJsonObject& snapshot) = 0;
};
