#include "Preferences.h"

#include "core/UserDefaults.h"

#include <algorithm>

Preferences& Preferences::shared() {
    static Preferences prefs(nullptr);
    return prefs;
}

UserDefaults& Preferences::defaults() const {
    return m_store ? *m_store : UserDefaults::standard();
}

bool Preferences::readBool(const QString& key, bool absent) const {
    return defaults().boolValue(key).value_or(absent);
}

double Preferences::readDouble(const QString& key, double absent) const {
    return defaults().doubleValue(key).value_or(absent);
}

double Preferences::brightness() const {
    return readDouble(PrefKey::brightness, PrefDefault::brightness);
}
double Preferences::temperature() const {
    return readDouble(PrefKey::temperature, PrefDefault::temperature);
}
double Preferences::intensity() const {
    return readDouble(PrefKey::intensity, PrefDefault::intensity);
}
double Preferences::xdrBoostStrength() const {
    return readDouble(PrefKey::xdrBoostStrength, PrefDefault::xdrBoostStrength);
}
double Preferences::soundCueVolume() const {
    return std::clamp(readDouble(PrefKey::soundCueVolume, PrefDefault::soundCueVolume), 0.2, 1.0);
}
double Preferences::transitionDuration() const {
    return readDouble(PrefKey::transitionDuration, PrefDefault::transitionDuration);
}

bool Preferences::enabled() const {
    return readBool(PrefKey::enabled, PrefDefault::enabled);
}
bool Preferences::ambientDimming() const {
    return readBool(PrefKey::ambientDimming, true);
}
bool Preferences::adaptToRoomLighting() const {
    return readBool(PrefKey::adaptToRoomLighting, false);
}
bool Preferences::disableDithering() const {
    return readBool(PrefKey::disableDithering, false);
}
bool Preferences::fullHarmonyEnabled() const {
    return readBool(PrefKey::fullHarmonyEnabled, false);
}
bool Preferences::keyboardBrightnessSync() const {
    return readBool(PrefKey::keyboardBrightnessSync, false);
}
bool Preferences::brightnessKeyInterception() const {
    return readBool(PrefKey::brightnessKeyInterception, false);
}
bool Preferences::xdrBoostEnabled() const {
    return readBool(PrefKey::xdrBoostEnabled, false);
}
bool Preferences::flickerFree() const {
    return readBool(PrefKey::flickerFree, false);
}
bool Preferences::useSchedule() const {
    return readBool(PrefKey::useSchedule, false);
}
bool Preferences::autoSunset() const {
    return readBool(PrefKey::autoSunset, false);
}
bool Preferences::showFeedbackBox() const {
    return readBool(PrefKey::showFeedbackBox, true);
}
bool Preferences::showTemperatureInMenuBar() const {
    return readBool(PrefKey::showTemperatureInMenuBar, false);
}
bool Preferences::smoothTransitions() const {
    return readBool(PrefKey::smoothTransitions, true);
}
bool Preferences::launchAtLogin() const {
    return readBool(PrefKey::launchAtLogin, false);
}
bool Preferences::autoDisableNightShift() const {
    return readBool(PrefKey::autoDisableNightShift, true);
}
bool Preferences::manageTrueTone() const {
    return readBool(PrefKey::manageTrueTone, false);
}
bool Preferences::soundCues() const {
    return readBool(PrefKey::soundCues, false);
}

QStringList Preferences::pinnedPresets() const {
    return defaults().stringArrayValue(PrefKey::pinnedPresets).value_or(PrefDefault::pinnedPresets);
}

std::optional<float> Preferences::fullHarmonyBaseline() const {
    const auto v = defaults().doubleValue(PrefKey::fullHarmonyBaseline);
    if (!v) return std::nullopt;
    return float(*v);
}
std::optional<double> Preferences::preBrightnessKeyNativeBrightness() const {
    return defaults().doubleValue(PrefKey::preBrightnessKeyNativeBrightness);
}
std::optional<double> Preferences::savedUserTemperature() const {
    return defaults().doubleValue(PrefKey::savedUserTemperature);
}
std::optional<double> Preferences::savedUserIntensity() const {
    return defaults().doubleValue(PrefKey::savedUserIntensity);
}
std::optional<double> Preferences::savedUserBrightness() const {
    return defaults().doubleValue(PrefKey::savedUserBrightness);
}
std::optional<bool> Preferences::savedUserEnabled() const {
    return defaults().boolValue(PrefKey::savedUserEnabled);
}

void Preferences::beginTransientWarmthFlow() {
    UserDefaults& d = defaults();
    if (d.boolean(PrefKey::previewInProgress)) return;
    d.setDouble(PrefKey::savedUserTemperature, temperature());
    d.setDouble(PrefKey::savedUserIntensity, intensity());
    d.setBool(PrefKey::savedUserEnabled, enabled());
    d.setDouble(PrefKey::savedUserBrightness, brightness());
    d.setBool(PrefKey::previewInProgress, true);
}

void Preferences::commitTransientWarmthChoice(double temperature, double intensity, bool enabled) {
    UserDefaults& d = defaults();
    if (!d.boolean(PrefKey::previewInProgress)) return;
    d.setDouble(PrefKey::savedUserTemperature, temperature);
    d.setDouble(PrefKey::savedUserIntensity, intensity);
    d.setBool(PrefKey::savedUserEnabled, enabled);
}

std::optional<Preferences::RestoredWarmth> Preferences::endTransientWarmthFlow() {
    UserDefaults& d = defaults();
    if (!d.boolean(PrefKey::previewInProgress)) return std::nullopt;
    const RestoredWarmth restored{
        savedUserTemperature().value_or(temperature()),
        savedUserIntensity().value_or(intensity()),
        savedUserEnabled().value_or(enabled()),
        savedUserBrightness().value_or(brightness()),
    };
    d.setDouble(PrefKey::temperature, restored.temperature);
    d.setDouble(PrefKey::intensity, restored.intensity);
    d.setBool(PrefKey::enabled, restored.enabled);
    d.setDouble(PrefKey::brightness, restored.brightness);
    d.setBool(PrefKey::previewInProgress, false);
    d.remove(PrefKey::savedUserTemperature);
    d.remove(PrefKey::savedUserIntensity);
    d.remove(PrefKey::savedUserEnabled);
    d.remove(PrefKey::savedUserBrightness);
    return restored;
}
