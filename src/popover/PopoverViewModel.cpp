#include "popover/PopoverViewModel.h"
#include "core/NotificationNames.h"

#include "brightness/AmbientLightController.h"
#include "brightness/BrightnessKeyInterceptor.h"
#include "core/NotificationCenter.h"
#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "insights/InsightsStore.h"
#include "sound/SoundCueEngine.h"
#include "warmth/PresetManager.h"

#include <algorithm>
#include <cmath>

PopoverViewModel::PopoverViewModel() : PopoverViewModel(SoundCueEngine::shared()) {}

PopoverViewModel::PopoverViewModel(SoundCueEngine& cues, Clock& clock, QObject* parent)
    : QObject(parent), m_cues(cues), m_clock(clock) {
    const Preferences& prefs = Preferences::shared();
    m_showFeedbackBox = prefs.showFeedbackBox();
    // The initial values are taken as they stand: nothing is written back at start.
    m_enabled = prefs.enabled();
    m_temperature = prefs.temperature();
    m_brightness = prefs.brightness();
    NotificationCenter::defaultCenter().addObserver(
        this, NotificationName::brightnessKeyChanged,
        [this](const Notification&) { echoExternalChange(); });
}

PopoverViewModel::~PopoverViewModel() {
    NotificationCenter::defaultCenter().removeObserver(this);
}

// --- Published state -----------------------------------------------------------------

void PopoverViewModel::setPausedByWatchdog(bool paused) {
    m_pausedByWatchdog = paused;
    emit pausedByWatchdogChanged(paused);
}

void PopoverViewModel::setShowFeedbackBox(bool show) {
    m_showFeedbackBox = show;
    emit showFeedbackBoxChanged(show);
}

void PopoverViewModel::setPopoverVisible(bool visible) {
    m_popoverVisible = visible;
    emit popoverVisibleChanged(visible);
}

void PopoverViewModel::callUpdate() {
    if (onUpdate) onUpdate();
}

void PopoverViewModel::setEnabled(bool on) {
    m_enabled = on;
    emit enabledChanged(on);
    // Unlike warmth and brightness, the switch is stored on every assignment, echo
    // or not.
    UserDefaults::standard().setBool(PrefKey::enabled, on);
    if (on && m_pausedByWatchdog) {
        setPausedByWatchdog(false);
        if (onWatchdogPauseCleared) onWatchdogPauseCleared();
    }
    callUpdate();
}

void PopoverViewModel::setTemperature(double kelvin) {
    m_temperature = kelvin;
    emit temperatureChanged(kelvin);
    if (m_echoing) {
        noteManualTemperature();
        return;
    }
    if (!m_enabled) setEnabled(true);
    if (glideNextWarmthWrite) {
        // The ramp writes the stored temperature on every frame of the glide.
        BrightnessKeyInterceptor::shared().warmthRamp().glide(kelvin);
    } else {
        BrightnessKeyInterceptor::yieldWarmthToDirectWrite();
        UserDefaults::standard().setDouble(PrefKey::temperature, kelvin);
    }
    noteManualTemperature();
    callUpdate();
}

void PopoverViewModel::setBrightness(double value) {
    m_brightness = value;
    emit brightnessChanged(value);
    if (m_echoing) {
        noteManualBrightness();
        return;
    }
    if (!m_enabled) setEnabled(true);
    UserDefaults::standard().setDouble(PrefKey::brightness, value);
    noteManualBrightness();
    callUpdate();
}

// The room-light adaptation works from the user's own values; a change more than
// 1 K (or 0.005 of brightness) away from what the sensor last applied becomes its new
// manual baseline.
void PopoverViewModel::noteManualTemperature() {
    AmbientLightController::shared().noteUserTemperature(m_temperature);
}
void PopoverViewModel::noteManualBrightness() {
    AmbientLightController::shared().noteUserBrightness(m_brightness);
}

// --- Bindings ------------------------------------------------------------------------

double PopoverViewModel::invertedTemp() const {
    return 1.0 - (m_temperature - 500.0) / 6000.0;
}

double PopoverViewModel::kelvinForPosition(double position) {
    double k = (1.0 - position) * 6000.0 + 500.0;
    k = std::round(k / 100.0) * 100.0; // std::round rounds halves away from zero
    if (std::isnan(k)) k = 6500.0;
    return std::max(std::min(k, 6500.0), 500.0);
}

void PopoverViewModel::setInvertedTemp(double position) {
    setTemperature(kelvinForPosition(position));
    if (onUserSetWarmth) onUserSetWarmth();
}

void PopoverViewModel::setEnabledToggle(bool on) {
    setEnabledByUser(on);
    m_cues.play(on ? SoundCue::toggleOn : SoundCue::toggleOff);
}

double PopoverViewModel::brightnessSliderPosition() const {
    return (m_brightness - 0.1) / 0.9;
}

void PopoverViewModel::setBrightnessSliderPosition(double position) {
    setBrightnessByUser(position * 0.9 + 0.1);
}

// --- Operations ----------------------------------------------------------------------

void PopoverViewModel::echoExternalChange() {
    // The slider under the pointer owns the value until the drag ends.
    if (userIsDragging) return;
    const Preferences& prefs = Preferences::shared();
    m_echoing = true;
    const double storedBrightness = prefs.brightness();
    if (storedBrightness != m_brightness) setBrightness(storedBrightness);
    // A preset glide's intermediate steps are not the user's warmth: the model already
    // holds the glide's destination.
    if (!BrightnessKeyInterceptor::shared().warmthRamp().isDiscreteGlide()) {
        const double storedTemperature = prefs.temperature();
        if (storedTemperature != m_temperature) setTemperature(storedTemperature);
    }
    m_echoing = false;
}

void PopoverViewModel::syncFromPreferences() {
    BrightnessKeyInterceptor::yieldWarmthToDirectWrite();
    const Preferences& prefs = Preferences::shared();
    m_echoing = true;
    setTemperature(prefs.temperature());
    UserDefaults::standard().setDouble(PrefKey::intensity, 4.0);
    setBrightness(prefs.brightness());
    m_echoing = false;
    setEnabled(prefs.enabled());
}

void PopoverViewModel::setEnabledByUser(bool on) {
    const bool wasOn = m_enabled;
    setEnabled(on);
    // Switching on into a nearly black screen would look like nothing happened.
    if (!wasOn && on && m_brightness < 0.2) setBrightness(0.2);
    if (onUserToggledEnabled) onUserToggledEnabled();
}

void PopoverViewModel::setBrightnessByUser(double value) {
    const bool wasOn = m_enabled;
    setBrightness(value);
    if (!wasOn && onUserToggledEnabled) onUserToggledEnabled();
}

void PopoverViewModel::applyPresetByUser(const HalcyraPreset& preset) {
    applyPresetByUser(preset.name, preset.temperature);
}

void PopoverViewModel::applyPresetByUser(const QString& name, double temperature) {
    if (!m_enabled) setEnabledByUser(true);
    const bool glideBefore = glideNextWarmthWrite;
    glideNextWarmthWrite = true;
    setTemperature(temperature);
    if (onUserSetWarmth) onUserSetWarmth();
    glideNextWarmthWrite = glideBefore;
    UserDefaults::standard().setDouble(PrefKey::intensity, 4.0);
    InsightsStore::shared().recordPresetUse(name, m_clock.now());
}
