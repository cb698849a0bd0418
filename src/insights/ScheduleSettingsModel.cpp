#include "insights/ScheduleSettingsModel.h"

#include "core/NotificationCenter.h"
#include "core/Preferences.h"
#include "core/UserDefaults.h"

ScheduleSettingsModel::ScheduleSettingsModel(UserDefaults* store, QObject* parent)
    : QObject(parent), m_store(store ? store : &UserDefaults::standard()) {
    const Preferences prefs(m_store);
    m_autoSunset = prefs.autoSunset();
    m_useSchedule = prefs.useSchedule();
    m_points = SchedulePoint::stored(prefs);
    NotificationCenter::defaultCenter().addObserver(
        this, UserDefaults::didChangeNotification,
        [this](const Notification&) { refreshFromPreferences(); }, m_store);
}

ScheduleSettingsModel::~ScheduleSettingsModel() {
    NotificationCenter::defaultCenter().removeObserver(this);
}

void ScheduleSettingsModel::setAutoSunset(bool on) {
    const bool changed = on != m_autoSunset;
    m_autoSunset = on;
    if (changed) emit autoSunsetChanged(on);
    if (m_updatingFromDefaults) return;
    m_store->setBool(PrefKey::autoSunset, on);
    if (onAutoSunsetChanged) onAutoSunsetChanged(on);
}

void ScheduleSettingsModel::setUseSchedule(bool on) {
    const bool changed = on != m_useSchedule;
    m_useSchedule = on;
    if (changed) emit useScheduleChanged(on);
    if (m_updatingFromDefaults) return;
    m_store->setBool(PrefKey::useSchedule, on);
    if (onScheduleChanged) onScheduleChanged();
}

void ScheduleSettingsModel::setSchedulePoints(const QList<SchedulePoint>& points) {
    const bool changed = points != m_points;
    m_points = points;
    if (changed) emit schedulePointsChanged();
    if (m_updatingFromDefaults) return;
    SchedulePoint::store(points, Preferences(m_store));
}

void ScheduleSettingsModel::setWindowVisible(bool visible) {
    if (visible == m_windowVisible) return;
    m_windowVisible = visible;
    emit windowVisibleChanged(visible);
}

void ScheduleSettingsModel::refreshFromPreferences() {
    if (m_updatingFromDefaults) return;
    m_updatingFromDefaults = true;
    const Preferences prefs(m_store);
    if (prefs.autoSunset() != m_autoSunset) setAutoSunset(prefs.autoSunset());
    if (prefs.useSchedule() != m_useSchedule) setUseSchedule(prefs.useSchedule());
    const QList<SchedulePoint> points = SchedulePoint::stored(prefs);
    if (points != m_points) setSchedulePoints(points);
    m_updatingFromDefaults = false;
}
