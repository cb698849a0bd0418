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
//
// This is the one mirror of these keys: the settings window's model is one of these
// (it adds the window's other settings), so the schedule views, the window's pages and
// the application see the same values and one change runs one handler. A model of its
// own serves the snapshot road and the views' tests. Main thread only.
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
    // Only a change is assigned and announced.
    void setWindowVisible(bool visible);

    // The echo flag: while true, the change handlers neither store nor call out.
    // Whoever copies the store in holds it around refreshFromPreferences().
    bool isUpdatingFromDefaults = false;
    // Re-reads the stored settings and assigns only what differs. Holds the echo flag
    // itself when the caller has not.
    virtual void refreshFromPreferences();

    // True while a change handler of this model writes a setting: the store announces
    // the write synchronously, and a listener that acts on this model's callbacks
    // skips that announcement so the change acts once.
    bool isWritingSetting() const { return m_writing > 0; }

    // Installed by the application; empty until then.
    std::function<void(bool)> onAutoSunsetChanged;
    std::function<void()> onScheduleChanged;

    UserDefaults& store() const { return *m_store; }

signals:
    void autoSunsetChanged(bool on);
    void useScheduleChanged(bool on);
    void schedulePointsChanged();
    void windowVisibleChanged(bool visible);

protected:
    // The store announced a change: copy it in under the echo flag.
    virtual void storeChanged();
    // Runs a write of this model's own, marked as such for the store's listeners.
    void write(const std::function<void()>& w);
    // Copies in the schedule keys alone; the caller holds the echo flag.
    void refreshScheduleKeys();

private:
    UserDefaults* m_store;
    bool m_autoSunset = false;
    bool m_useSchedule = false;
    QList<SchedulePoint> m_points;
    bool m_windowVisible = true;
    int m_writing = 0;
};
