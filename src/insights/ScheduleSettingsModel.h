#pragma once

#include "warmth/SchedulePoint.h"

#include <QList>
#include <QObject>
#include <functional>

class UserDefaults;

// The schedule settings the schedule views edit and observe: the two mode switches,
// the user's points and whether the hosting window is on screen. Each setter runs its
// change handler (store the value, then call the owner's callback) unless the model
// is copying in an outside change of the store; such changes come back through the
// store's change announcement, and only values that differ are assigned.
// The settings window's model holds one of these. Main thread only.
class ScheduleSettingsModel : public QObject {
    Q_OBJECT
public:
    // Over `store`, the standard store when null.
    explicit ScheduleSettingsModel(UserDefaults* store = nullptr, QObject* parent = nullptr);
    ~ScheduleSettingsModel() override;

    bool autoSunset() const { return m_autoSunset; }
    void setAutoSunset(bool on);
    bool useSchedule() const { return m_useSchedule; }
    void setUseSchedule(bool on);
    const QList<SchedulePoint>& schedulePoints() const { return m_points; }
    void setSchedulePoints(const QList<SchedulePoint>& points);
    bool windowVisible() const { return m_windowVisible; }
    void setWindowVisible(bool visible);

    bool isUpdatingFromDefaults() const { return m_updatingFromDefaults; }
    // Re-reads the stored settings, assigning only what differs, without storing.
    void refreshFromPreferences();

    // Installed by the application; empty until then.
    std::function<void(bool)> onAutoSunsetChanged;
    std::function<void()> onScheduleChanged;

    UserDefaults& store() const { return *m_store; }

signals:
    void autoSunsetChanged(bool on);
    void useScheduleChanged(bool on);
    void schedulePointsChanged();
    void windowVisibleChanged(bool visible);

private:
    UserDefaults* m_store;
    bool m_autoSunset = false;
    bool m_useSchedule = false;
    QList<SchedulePoint> m_points;
    bool m_windowVisible = true;
    bool m_updatingFromDefaults = false;
};
