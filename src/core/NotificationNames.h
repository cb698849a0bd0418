#pragma once

#include <QString>

// The in-process notifications that more than one subsystem posts or observes.
namespace NotificationName {
// A displayed setting changed: the status icon, feedback box and schedule views refresh.
inline const QString preferencesChanged = QStringLiteral("HalcyraPreferencesChanged");
// Brightness or temperature changed by keys or sensors: the gamma engine re-applies,
// the popover re-reads.
inline const QString brightnessKeyChanged = QStringLiteral("halcyraBrightnessKeyChanged");
// A warmth glide ended: the status icon refreshes.
inline const QString warmthRampSettled = QStringLiteral("halcyraWarmthRampSettled");
// userInfo "active": whether the screen is being captured or shared.
inline const QString screenCaptureStateChanged = QStringLiteral("HalcyraScreenCaptureStateChanged");
// After every display reconfiguration.
inline const QString screenParametersChanged = QStringLiteral("HalcyraScreenParametersChanged");
// object: the on-screen display's panel; it is being dragged / was dropped.
inline const QString osdDragBegan = QStringLiteral("halcyraOSDDragBegan");
inline const QString osdDragEnded = QStringLiteral("halcyraOSDDragEnded");
// userInfo "enabled": the XDR boost setting was switched.
inline const QString xdrBoostChanged = QStringLiteral("HalcyraXDRBoostChanged");
// userInfo "strength": the XDR boost strength moved.
inline const QString xdrStrengthChanged = QStringLiteral("HalcyraXDRStrengthChanged");
inline const QString xdrConfirmed = QStringLiteral("HalcyraXDRConfirmed");
// userInfo "reason".
inline const QString xdrDidReset = QStringLiteral("HalcyraXDRDidReset");
} // namespace NotificationName
