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
    // storeChanged() is virtual: a model that extends this one copies in its own keys
    // from the same announcement, so one store change is read once.
    NotificationCenter::defaultCenter().addObserver(
        this, UserDefaults::didChangeNotification, [this](const Notification&) { storeChanged(); },
        m_store);
}

ScheduleSettingsModel::~ScheduleSettingsModel() {
    NotificationCenter::defaultCenter().removeObserver(this);
}

void ScheduleSettingsModel::storeChanged() {
    // The announcement of a write made while copying in is ignored.
    if (isUpdatingFromDefaults) return;
    isUpdatingFromDefaults = true;
    refreshFromPreferences();
    isUpdatingFromDefaults = false;
}

void ScheduleSettingsModel::write(const std::function<void()>& w) {
    ++m_writing;
    w();
    --m_writing;
}

void ScheduleSettingsModel::setAutoSunset(bool on) {
    const bool changed = on != m_autoSunset;
    m_autoSunset = on;
    // Stored before it is announced, as the points are: the views read the preview from
    // the store when they hear of the change.
    if (!isUpdatingFromDefaults) write([&] { m_store->setBool(PrefKey::autoSunset, on); });
    if (changed) emit autoSunsetChanged(on);
    if (isUpdatingFromDefaults) return;
    if (onAutoSunsetChanged) onAutoSunsetChanged(on);
}

void ScheduleSettingsModel::setUseSchedule(bool on) {
    const bool changed = on != m_useSchedule;
    m_useSchedule = on;
    if (!isUpdatingFromDefaults) write([&] { m_store->setBool(PrefKey::useSchedule, on); });
    if (changed) emit useScheduleChanged(on);
    if (isUpdatingFromDefaults) return;
    if (onScheduleChanged) onScheduleChanged();
}

void ScheduleSettingsModel::setSchedulePoints(const QList<SchedulePoint>& points) {
    const bool changed = points != m_points;
    m_points = points;
    // Stored before it is announced: the views redraw their previews from the schedule
    // in the store, which must already be the one announced.
    // No callback: the editor that changed the points calls onScheduleChanged once its
    // edit is complete (a drag writes many times and acts once, at its end).
    if (!isUpdatingFromDefaults) write([&] { SchedulePoint::store(points, Preferences(m_store)); });
    if (changed) emit schedulePointsChanged();
}

void ScheduleSettingsModel::setWindowVisible(bool visible) {
    if (visible == m_windowVisible) return;
    m_windowVisible = visible;
    emit windowVisibleChanged(visible);
}

void ScheduleSettingsModel::refreshFromPreferences() {
    const bool held = isUpdatingFromDefaults;
    isUpdatingFromDefaults = true;
    refreshScheduleKeys();
    isUpdatingFromDefaults = held;
}

void ScheduleSettingsModel::refreshScheduleKeys() {
    const Preferences prefs(m_store);
    if (prefs.autoSunset() != m_autoSunset) setAutoSunset(prefs.autoSunset());
    if (prefs.useSchedule() != m_useSchedule) setUseSchedule(prefs.useSchedule());
    const QList<SchedulePoint> points = SchedulePoint::stored(prefs);
    if (points != m_points) setSchedulePoints(points);
}
