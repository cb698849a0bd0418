#pragma once

#include "core/DurableKeys.h"

#include <QString>
#include <QStringList>
#include <optional>

class UserDefaults;

// Every stored setting's key. Writers set these directly on the store with the
// setter of the key's type; Preferences is the one typed reader. A key declared with
// DurableKeys::declare guards against a crash: its writes are on disk before they
// return (the others are saved within 100 ms).
namespace PrefKey {
inline const QString enabled = QStringLiteral("halcyra.enabled");
inline const QString temperature = QStringLiteral("halcyra.temperature");
inline const QString intensity = QStringLiteral("halcyra.intensity");
inline const QString brightness = QStringLiteral("halcyra.brightness");
inline const QString useSchedule = QStringLiteral("halcyra.useSchedule");
inline const QString autoSunset = QStringLiteral("halcyra.autoSunset");
inline const QString schedulePoints = QStringLiteral("halcyra.schedulePoints");
inline const QString smoothTransitions = QStringLiteral("halcyra.smoothTransitions");
inline const QString transitionDuration = QStringLiteral("halcyra.transitionDuration");
inline const QString ambientDimming = QStringLiteral("halcyra.ambientDimming");
inline const QString adaptToRoomLighting = QStringLiteral("halcyra.adaptToRoomLighting");
inline const QString disableDithering = QStringLiteral("halcyra.disableDithering");
inline const QString flickerFree = QStringLiteral("halcyra.flickerFree");
inline const QString autoDisableNightShift = QStringLiteral("halcyra.autoDisableNightShift");
inline const QString manageTrueTone = QStringLiteral("halcyra.manageTrueTone");
inline const QString fullHarmonyEnabled = QStringLiteral("halcyra.fullHarmonyEnabled");
inline const QString fullHarmonyBaseline =
    DurableKeys::declare(QStringLiteral("halcyra.fullHarmonyBaseline"));
// The ambient adaptation's manual baselines and the values it last wrote, so a restart
// does not take its own dimming for the user's level.
inline const QString ambientManualBrightness = QStringLiteral("halcyra.ambientManualBrightness");
inline const QString ambientManualTemperature = QStringLiteral("halcyra.ambientManualTemperature");
inline const QString ambientAppliedBrightness = QStringLiteral("halcyra.ambientAppliedBrightness");
inline const QString ambientAppliedTemperature =
    QStringLiteral("halcyra.ambientAppliedTemperature");
inline const QString keyboardBrightnessSync = QStringLiteral("halcyra.keyboardBrightnessSync");
inline const QString keyboardBrightness = QStringLiteral("halcyra.keyboardBrightness");
inline const QString brightnessKeyInterception =
    QStringLiteral("halcyra.brightnessKeyInterception");
inline const QString preBrightnessKeyNativeBrightness =
    DurableKeys::declare(QStringLiteral("halcyra.preBrightnessKeyNativeBrightness"));
inline const QString xdrBoostEnabled = QStringLiteral("halcyra.xdrBoostEnabled");
inline const QString xdrBoostStrength = QStringLiteral("halcyra.xdrBoostStrength");
inline const QString showTemperatureInMenuBar = QStringLiteral("halcyra.showTemperatureInMenuBar");
inline const QString showFeedbackBox = QStringLiteral("halcyra.showFeedbackBox");
inline const QString showInDock = QStringLiteral("halcyra.showInDock");
inline const QString launchAtLogin = QStringLiteral("halcyra.launchAtLogin");
inline const QString soundCues = QStringLiteral("halcyra.soundCues");
inline const QString soundCueVolume = QStringLiteral("halcyra.soundCueVolume");
inline const QString pinnedPresets = QStringLiteral("halcyra.pinnedPresets");
inline const QString customPresetTemperature = QStringLiteral("halcyra.customPresetTemperature");
inline const QString customPresetIntensity = QStringLiteral("halcyra.customPresetIntensity");
inline const QString previewInProgress =
    DurableKeys::declare(QStringLiteral("halcyra.previewInProgress"));
inline const QString savedUserTemperature =
    DurableKeys::declare(QStringLiteral("halcyra.savedUserTemperature"));
inline const QString savedUserIntensity =
    DurableKeys::declare(QStringLiteral("halcyra.savedUserIntensity"));
inline const QString savedUserEnabled =
    DurableKeys::declare(QStringLiteral("halcyra.savedUserEnabled"));
inline const QString savedUserBrightness =
    DurableKeys::declare(QStringLiteral("halcyra.savedUserBrightness"));
inline const QString safeMode = DurableKeys::declare(QStringLiteral("halcyra.safeMode"));
inline const QString consecutiveCrashCount =
    DurableKeys::declare(QStringLiteral("halcyra.consecutiveCrashCount"));
inline const QString lastLaunchTime =
    DurableKeys::declare(QStringLiteral("halcyra.lastLaunchTime"));
inline const QString crashRecoveryCount =
    DurableKeys::declare(QStringLiteral("halcyra.crashRecoveryCount"));
inline const QString launchCrashGuard =
    DurableKeys::declare(QStringLiteral("halcyra.launchCrashGuard"));
inline const QString welcomeShown = QStringLiteral("halcyra.welcomeShown");
inline const QString lastSeenVersion = QStringLiteral("halcyra.lastSeenVersion");
inline const QString menuBarHiddenHintShown = QStringLiteral("halcyra.menuBarHiddenHintShown");
inline const QString osdPosition = QStringLiteral("halcyra.osdPosition");
inline const QString shortcuts = QStringLiteral("halcyra.shortcuts");
inline const QString insightsDailyRecords = QStringLiteral("halcyra.insights.dailyRecords");
inline const QString discoverySource = QStringLiteral("halcyra.discoverySource");
// Seconds since 1970 of the last automatic update check.
inline const QString lastUpdateCheck = QStringLiteral("halcyra.lastUpdateCheck");
// Whether the daily update check runs; the settings window's "Automatic Updates".
inline const QString automaticUpdateChecks = QStringLiteral("halcyra.automaticUpdateChecks");
inline const QString experimentalXDRBoost = QStringLiteral("experimentalXDRBoost");
} // namespace PrefKey

// The values the typed properties return when a key is missing or mistyped.
namespace PrefDefault {
inline constexpr bool enabled = false;
inline constexpr double temperature = 3400.0;
inline constexpr bool automaticUpdateChecks = true;
inline constexpr double intensity = 4.0;
inline constexpr double brightness = 1.0;
inline constexpr double transitionDuration = 20.0;
inline constexpr double xdrBoostStrength = 0.5;
inline constexpr double soundCueVolume = 1.0;
inline constexpr double customPresetTemperature = 3400.0;
inline const QStringList pinnedPresets{QStringLiteral("flow"), QStringLiteral("reading"),
                                       QStringLiteral("evening"), QStringLiteral("deep-sleep"),
                                       QStringLiteral("biohacker")};
// First-run values.
inline constexpr double firstRunTemperature = 2000.0;
} // namespace PrefDefault

// The typed reader of every stored setting. Keeps no cache: each property reads the
// store, so any writer's change is seen by the next read. Safe to read from any thread.
class Preferences {
public:
    // Over the standard store (whichever it is at the time of the call).
    static Preferences& shared();
    explicit Preferences(UserDefaults* store) : m_store(store) {}

    UserDefaults& defaults() const;

    double brightness() const;
    double temperature() const;
    double intensity() const;
    double xdrBoostStrength() const;
    double soundCueVolume() const; // held to 0.2–1.0
    double transitionDuration() const;

    bool enabled() const;
    bool ambientDimming() const;
    bool adaptToRoomLighting() const;
    bool disableDithering() const;
    bool fullHarmonyEnabled() const;
    bool keyboardBrightnessSync() const;
    bool brightnessKeyInterception() const;
    bool xdrBoostEnabled() const;
    bool flickerFree() const;
    bool useSchedule() const;
    bool autoSunset() const;
    bool showFeedbackBox() const;
    bool showTemperatureInMenuBar() const;
    bool smoothTransitions() const;
    bool launchAtLogin() const;
    bool autoDisableNightShift() const;
    bool manageTrueTone() const;
    bool soundCues() const;

    QStringList pinnedPresets() const;
    std::optional<float> fullHarmonyBaseline() const;
    std::optional<double> preBrightnessKeyNativeBrightness() const;
    std::optional<double> savedUserTemperature() const;
    std::optional<double> savedUserIntensity() const;
    std::optional<double> savedUserBrightness() const;
    std::optional<bool> savedUserEnabled() const;

    // The transient warmth preview of the welcome tour; its state lives in the store
    // so that a crash in the middle is finished at the next launch.
    struct RestoredWarmth {
        double temperature;
        double intensity;
        bool enabled;
        double brightness;
    };
    void beginTransientWarmthFlow();
    void commitTransientWarmthChoice(double temperature, double intensity, bool enabled);
    std::optional<RestoredWarmth> endTransientWarmthFlow();

private:
    bool readBool(const QString& key, bool absent) const;
    double readDouble(const QString& key, double absent) const;

    UserDefaults* m_store; // null: the standard store
};
