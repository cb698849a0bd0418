#include "settings/SettingsViewModel.h"

#include "core/NotificationCenter.h"
#include "core/NotificationNames.h"
#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "core/Version.h"
#include "settings/TestimonialRequest.h"
#include "sound/SoundCueEngine.h"

#include <QLoggingCategory>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <limits>

Q_LOGGING_CATEGORY(lcSettings, "com.halcyra.app.settings")

namespace {

using Reader = bool (Preferences::*)() const;
struct ToggleEntry {
    const QString* key;
    Reader read;
};

// One row per Toggle, in the enum's order.
const std::array<ToggleEntry, SettingsViewModel::toggleCount>& toggleTable() {
    static const std::array<ToggleEntry, SettingsViewModel::toggleCount> table{{
        {&PrefKey::flickerFree, &Preferences::flickerFree},
        {&PrefKey::disableDithering, &Preferences::disableDithering},
        {&PrefKey::launchAtLogin, &Preferences::launchAtLogin},
        {&PrefKey::showTemperatureInMenuBar, &Preferences::showTemperatureInMenuBar},
        {&PrefKey::showFeedbackBox, &Preferences::showFeedbackBox},
        {&PrefKey::keyboardBrightnessSync, &Preferences::keyboardBrightnessSync},
        {&PrefKey::fullHarmonyEnabled, &Preferences::fullHarmonyEnabled},
        {&PrefKey::autoSunset, &Preferences::autoSunset},
        {&PrefKey::useSchedule, &Preferences::useSchedule},
        {&PrefKey::brightnessKeyInterception, &Preferences::brightnessKeyInterception},
        {&PrefKey::autoDisableNightShift, &Preferences::autoDisableNightShift},
        {&PrefKey::ambientDimming, &Preferences::ambientDimming},
        {&PrefKey::adaptToRoomLighting, &Preferences::adaptToRoomLighting},
        {&PrefKey::manageTrueTone, &Preferences::manageTrueTone},
        {&PrefKey::xdrBoostEnabled, &Preferences::xdrBoostEnabled},
    }};
    return table;
}

// Whole minutes of the stored duration; a value no integer can hold reads as the default.
int storedTransitionMinutes() {
    const double d = Preferences::shared().transitionDuration();
    if (!std::isfinite(d) || std::abs(d) > double(std::numeric_limits<int>::max()))
        return int(PrefDefault::transitionDuration);
    return int(std::trunc(d));
}

void call(const std::function<void()>& f) {
    if (f) f();
}

bool isScheduleToggle(SettingsViewModel::Toggle t) {
    return t == SettingsViewModel::Toggle::autoSunset ||
           t == SettingsViewModel::Toggle::useSchedule;
}

} // namespace

QString SettingsViewModel::keyOf(Toggle t) {
    return *toggleTable()[size_t(t)].key;
}

SettingsViewModel::SettingsViewModel() : SettingsViewModel(SoundCueEngine::shared()) {}

SettingsViewModel::SettingsViewModel(SoundCueEngine& cues, QObject* parent)
    : ScheduleSettingsModel(&UserDefaults::standard(), parent), m_cues(cues) {
    // The initial values are taken as they stand: no handler runs. The schedule's
    // switches and points were read by the schedule model.
    const Preferences& prefs = Preferences::shared();
    for (size_t i = 0; i < m_toggles.size(); ++i)
        if (!isScheduleToggle(Toggle(i))) m_toggles[i] = (prefs.*toggleTable()[i].read)();
    m_transitionMinutes = storedTransitionMinutes();
    m_xdrBoostStrength = prefs.xdrBoostStrength();

    // The schedule's switches announce themselves as toggles too, wherever the change
    // came from (a page of this window, the scheduling views, the store).
    connect(this, &ScheduleSettingsModel::autoSunsetChanged, this,
            [this](bool on) { emit toggleChanged(Toggle::autoSunset, on); });
    connect(this, &ScheduleSettingsModel::useScheduleChanged, this,
            [this](bool on) { emit toggleChanged(Toggle::useSchedule, on); });
}

SettingsViewModel::~SettingsViewModel() {
    // Before this part is gone: a store notice must not reach the overridden handler.
    NotificationCenter::defaultCenter().removeObserver(this);
}

void SettingsViewModel::storeChanged() {
    ScheduleSettingsModel::storeChanged();
    // The general section's own keys have no published mirror: it re-reads them.
    emit generalSettingsChanged();
}

void SettingsViewModel::later(std::function<void()> task) {
    QTimer::singleShot(0, this, std::move(task));
}

// ---- Mirrored settings ----------------------------------------------------------------

bool SettingsViewModel::value(Toggle t) const {
    switch (t) {
    case Toggle::autoSunset:
        return autoSunset();
    case Toggle::useSchedule:
        return useSchedule();
    default:
        return m_toggles[size_t(t)];
    }
}

void SettingsViewModel::set(Toggle t, bool on) {
    // The schedule's switches have their handlers in the schedule model.
    if (t == Toggle::autoSunset) return setAutoSunset(on);
    if (t == Toggle::useSchedule) return setUseSchedule(on);
    m_toggles[size_t(t)] = on;
    emit toggleChanged(t, on);
    handleToggle(t);
}

void SettingsViewModel::setByUser(Toggle t, bool on) {
    set(t, on);
    m_cues.play(on ? SoundCue::toggleOn : SoundCue::toggleOff);
}

void SettingsViewModel::handleToggle(Toggle t) {
    if (isUpdatingFromDefaults) return;
    const bool on = value(t);
    UserDefaults& store = UserDefaults::standard();
    if (t != Toggle::launchAtLogin) write([&] { store.setBool(keyOf(t), on); });

    const Controllers& c = controllers;
    switch (t) {
    case Toggle::autoSunset:
    case Toggle::useSchedule:
        break; // handled by the schedule model
    case Toggle::launchAtLogin:
        reconcileLoginItem();
        break;
    case Toggle::flickerFree:
        call(onPresetApplied);
        break;
    case Toggle::disableDithering:
        if (!Preferences::shared().enabled()) break;
        if (on) {
            if (c.setDithering) c.setDithering(!Preferences::shared().disableDithering());
            if (!m_ditheringCallbackRegistered && c.registerDitheringReconfiguration) {
                m_ditheringCallbackRegistered = true;
                c.registerDitheringReconfiguration();
            }
        } else {
            call(c.restoreDithering);
        }
        break;
    case Toggle::showTemperatureInMenuBar:
    case Toggle::showFeedbackBox:
        NotificationCenter::defaultCenter().post(NotificationName::preferencesChanged);
        break;
    case Toggle::keyboardBrightnessSync:
        if (on && value(Toggle::fullHarmonyEnabled)) set(Toggle::fullHarmonyEnabled, false);
        later([this] {
            call(value(Toggle::keyboardBrightnessSync) ? controllers.startKeyboardSync
                                                       : controllers.stopKeyboardSync);
        });
        break;
    case Toggle::fullHarmonyEnabled:
        if (on && value(Toggle::keyboardBrightnessSync)) set(Toggle::keyboardBrightnessSync, false);
        later([this] {
            if (!value(Toggle::fullHarmonyEnabled)) {
                call(controllers.disengageHarmonyRestoringBaseline);
            } else if (Preferences::shared().enabled() && controllers.engageHarmony) {
                controllers.engageHarmony(Preferences::shared().intensity());
            }
        });
        break;
    case Toggle::brightnessKeyInterception:
        later([this] {
            call(value(Toggle::brightnessKeyInterception) ? controllers.startKeyInterceptor
                                                          : controllers.stopKeyInterceptor);
        });
        break;
    case Toggle::autoDisableNightShift:
        later([this] {
            const bool disable =
                value(Toggle::autoDisableNightShift) && Preferences::shared().enabled();
            call(disable ? controllers.disableNightShift : controllers.restoreNightShift);
        });
        break;
    case Toggle::ambientDimming:
    case Toggle::adaptToRoomLighting:
        // The sensor poll serves both: it stops only when neither wants it.
        later([this, t] {
            if (value(t))
                call(controllers.startALSMonitoring);
            else if (!value(Toggle::ambientDimming) && !value(Toggle::adaptToRoomLighting))
                call(controllers.stopALSMonitoring);
        });
        call(onPresetApplied);
        break;
    case Toggle::manageTrueTone:
        later([this] {
            if (!value(Toggle::manageTrueTone)) call(controllers.restoreTrueTone);
        });
        break;
    case Toggle::xdrBoostEnabled:
        NotificationCenter::defaultCenter().post(QStringLiteral("HalcyraXDRBoostChanged"), nullptr,
                                                 {{QStringLiteral("enabled"), on}});
        break;
    }
}

void SettingsViewModel::reconcileLoginItem() {
    const bool wanted = value(Toggle::launchAtLogin);
    std::optional<bool> reported;
    if (controllers.applyLoginItem) reported = controllers.applyLoginItem(wanted);
    // Without an answer the stored setting (which the login item left alone) stands.
    const bool actual = reported.value_or(Preferences::shared().launchAtLogin());
    if (actual == wanted) return;
    isUpdatingFromDefaults = true;
    set(Toggle::launchAtLogin, actual);
    isUpdatingFromDefaults = false;
}

void SettingsViewModel::setTransitionMinutes(int minutes) {
    m_transitionMinutes = minutes;
    emit transitionMinutesChanged(minutes);
    if (isUpdatingFromDefaults) return;
    write(
        [&] { UserDefaults::standard().setDouble(PrefKey::transitionDuration, double(minutes)); });
}

void SettingsViewModel::setXdrBoostStrength(double strength) {
    m_xdrBoostStrength = strength;
    emit xdrBoostStrengthChanged(strength);
    if (isUpdatingFromDefaults) return;
    write([&] { UserDefaults::standard().setDouble(PrefKey::xdrBoostStrength, strength); });
    NotificationCenter::defaultCenter().post(QStringLiteral("HalcyraXDRStrengthChanged"), nullptr,
                                             {{QStringLiteral("strength"), strength}});
}

void SettingsViewModel::refreshFromPreferences() {
    const Preferences& prefs = Preferences::shared();
    const bool held = isUpdatingFromDefaults;
    isUpdatingFromDefaults = true;
    for (size_t i = 0; i < m_toggles.size(); ++i) {
        if (i == size_t(Toggle::autoSunset)) {
            // The two switches and the points, in that order, then the duration.
            refreshScheduleKeys();
            const int minutes = storedTransitionMinutes();
            if (minutes != m_transitionMinutes) setTransitionMinutes(minutes);
            continue;
        }
        if (isScheduleToggle(Toggle(i))) continue;
        const bool stored = (prefs.*toggleTable()[i].read)();
        if (stored != m_toggles[i]) set(Toggle(i), stored);
    }
    const double strength = prefs.xdrBoostStrength();
    if (strength != m_xdrBoostStrength) setXdrBoostStrength(strength);
    isUpdatingFromDefaults = held;
}

void SettingsViewModel::applyPreset(double temperature, double) {
    const Preferences& prefs = Preferences::shared();
    // Pinned against the warmth stored before this preset.
    if (prefs.useSchedule() || prefs.autoSunset()) call(controllers.pinManualOverride);
    UserDefaults& store = UserDefaults::standard();
    store.setDouble(PrefKey::intensity, 4.0);
    store.setBool(PrefKey::enabled, true);
    call(onPresetApplied);
    if (controllers.glideWarmth) controllers.glideWarmth(temperature);
}

// ---- Window state ---------------------------------------------------------------------

void SettingsViewModel::setAvailableUpdateVersion(std::optional<QString> version) {
    m_availableUpdateVersion = std::move(version);
    emit updateStateChanged();
}

void SettingsViewModel::setUpdateCheckStatus(std::optional<UpdateCheckStatus> status) {
    m_updateCheckStatus = status;
    emit updateStateChanged();
}

void SettingsViewModel::setAutoInstallUpdatesByUser(bool on) {
    if (setAutoInstallUpdates) setAutoInstallUpdates(on);
    m_cues.play(on ? SoundCue::toggleOn : SoundCue::toggleOff);
    emit generalSettingsChanged();
}

// ---- General section's own settings ---------------------------------------------------

bool SettingsViewModel::showInDock() const {
    return UserDefaults::standard().boolean(PrefKey::showInDock);
}

void SettingsViewModel::setShowInDockByUser(bool shown) {
    UserDefaults::standard().setBool(PrefKey::showInDock, shown);
    if (controllers.applyDockVisibility) controllers.applyDockVisibility(shown);
    m_cues.play(shown ? SoundCue::toggleOn : SoundCue::toggleOff);
}

bool SettingsViewModel::smoothTransitions() const {
    return Preferences::shared().smoothTransitions();
}

void SettingsViewModel::setSmoothTransitionsByUser(bool on) {
    UserDefaults::standard().setBool(PrefKey::smoothTransitions, on);
}

bool SettingsViewModel::soundCues() const {
    return Preferences::shared().soundCues();
}

void SettingsViewModel::setSoundCuesByUser(bool on) {
    UserDefaults::standard().setBool(PrefKey::soundCues, on);
    // Switched on, the engine's master switch is already on for this cue.
    if (on) m_cues.play(SoundCue::toggleOn);
}

double SettingsViewModel::soundCueVolume() const {
    return Preferences::shared().soundCueVolume();
}

void SettingsViewModel::setSoundCueVolumeByUser(double volume, bool released) {
    if (std::isfinite(volume))
        UserDefaults::standard().setDouble(PrefKey::soundCueVolume, std::clamp(volume, 0.2, 1.0));
    if (released) m_cues.play(SoundCue::sliderRelease);
}

bool SettingsViewModel::safeMode() const {
    return UserDefaults::standard().boolean(PrefKey::safeMode);
}

void SettingsViewModel::resetSafeModeAndRelaunch() {
    UserDefaults& store = UserDefaults::standard();
    store.setBool(PrefKey::safeMode, false);
    store.setInteger(PrefKey::consecutiveCrashCount, 0);
    // The new copy reads these at its start: they are on disk before it exists.
    if (!store.synchronize())
        qCWarning(lcSettings).noquote()
            << QStringLiteral("Could not save the safe-mode reset — relaunching anyway");
    const bool started = controllers.relaunch && controllers.relaunch();
    if (!started)
        qCWarning(lcSettings).noquote()
            << QStringLiteral("Relaunch could not be started — quitting; start Halcyra again");
    call(controllers.terminate);
}

QString SettingsViewModel::feedbackMailUrl(const QString& version) {
    const QString subject = QStringLiteral("Halcyra Feedback (v%1)").arg(version);
    // The query's own delimiters stay literal; spaces and the rest are escaped.
    const QByteArray encoded = QUrl::toPercentEncoding(subject, "()");
    return QStringLiteral("mailto:%1?subject=%2")
        .arg(QStringLiteral(HALCYRA_SUPPORT_EMAIL), QString::fromLatin1(encoded));
}

void SettingsViewModel::sendFeedbackMail() {
    openUrl(feedbackMailUrl(Bundle::halcyraVersion()));
}

void SettingsViewModel::openUrl(const QString& url) {
    if (controllers.openUrl) controllers.openUrl(url);
}

// ---- Testimonial ----------------------------------------------------------------------

void SettingsViewModel::setShowTestimonialField(bool show) {
    m_showTestimonialField = show;
    emit testimonialChanged();
}

void SettingsViewModel::setTestimonialText(const QString& text) {
    if (text == m_testimonialText) return;
    m_testimonialText = text;
    emit testimonialChanged();
}

void SettingsViewModel::cancelTestimonial() {
    m_showTestimonialField = false;
    m_testimonialText.clear();
    m_testimonialError.clear();
    emit testimonialChanged();
}

TestimonialRequest& SettingsViewModel::testimonialRequest() {
    if (!m_testimonial) {
        m_testimonial = std::make_unique<TestimonialRequest>();
        connect(m_testimonial.get(), &TestimonialRequest::finished, this,
                [this](bool stored, const QString& error) { completeTestimonial(stored, error); });
    }
    return *m_testimonial;
}

void SettingsViewModel::submitTestimonial() {
    if (m_testimonialText.trimmed().isEmpty() || m_testimonialSubmitting) return;
    if (!TestimonialRequest::isConfigured()) {
        // Nothing to send to: the text stays for when sending is possible.
        m_testimonialError = QStringLiteral("Sending isn't available in this build.");
        emit testimonialChanged();
        return;
    }
    m_testimonialError.clear();
    m_testimonialSubmitting = testimonialRequest().send(m_testimonialText);
    emit testimonialChanged();
}

void SettingsViewModel::completeTestimonial(bool stored, const QString&) {
    m_testimonialSubmitting = false;
    if (stored) {
        m_testimonialSubmitted = true;
        m_testimonialText.clear();
    } else {
        // The user's words are kept for another try.
        m_testimonialError = QStringLiteral("Couldn't send — please try again.");
    }
    emit testimonialChanged();
}
