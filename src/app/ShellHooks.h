#pragma once

#include <QString>
#include <functional>
#include <optional>

class QWidget;

// The calls the application shell makes into subsystems that are wired in once they
// exist (the popover model, the schedule, key interception, ambient light, keyboard
// backlight, dithering, the XDR boost, onboarding, shortcuts, insights). Each is
// optional: an empty one means the subsystem is absent and its step is skipped.
struct ShellHooks {
    // ---- Start-up wiring ----
    std::function<void()> setupViewModel;
    std::function<void()> setupSunsetScheduler;
    std::function<void()> startInsightsSampling;
    std::function<void()> setupShortcuts;
    // First run: called with whether the welcome was already seen.
    std::function<void(bool hasSeenWelcome)> runFirstRunFlow;
    // The onboarding's full-screen takeover: it calls `onFinish` when the user went
    // through it, `onEscFallback` when they left it with Escape.
    std::function<void(std::function<void()> onFinish, std::function<void()> onEscFallback)>
        showTakeover;
    // The settings window.
    std::function<void()> showSettings;
    // A warmth preview interrupted by a crash was finished: the popover model and the
    // ambient controller take the restored values.
    std::function<void(double temperature, double brightness, bool enabled)> recoveredWarmth;
    std::function<void()> installSystemEventObservers;

    // ---- Peripherals ----
    std::function<void()> disableDithering;
    // The tint goes off (after restoreDithering): the keyboard poll and the ambient
    // light controller stop.
    std::function<void()> stopPeripherals;
    // Quit and termination signals: the night light, True Tone, the keyboard level and
    // dithering go back as the user had them.
    std::function<void()> handBackPeripherals;
    // Launch: what a killed run left switched off goes back (once).
    std::function<void()> restoreStalePeripherals;
    std::function<void()> startAmbientLight;
    std::function<void()> startALSMonitoring;
    std::function<void()> startKeyboardSync;
    std::function<void(double intensity)> engageHarmony;
    std::function<void()> restoreStaleHarmonyBaseline;
    std::function<void()> disengageHarmonyRestoringBaseline;
    std::function<void()> startKeyInterceptor;
    std::function<bool()> keyInterceptorActive;
    std::function<void()> stopKeyInterceptor;
    // The brightness display stops animating (the CPU watchdog throttled).
    std::function<void()> stillOSDAnimations;

    // The rest of what the settings window's switches drive.
    std::function<void()> stopKeyboardSync;
    std::function<void()> disableNightShift;
    std::function<void()> restoreNightShift;
    std::function<void()> stopALSMonitoring;
    std::function<void()> restoreTrueTone;
    std::function<void()> restoreDithering;
    std::function<void()> registerDitheringReconfiguration;
    // The room's colour temperature from the last light reading, none without one.
    std::function<std::optional<double>()> ambientCCT;

    // ---- Lifecycle services the settings window uses ----
    // Registers or removes the login item; the state read back, none when unknown.
    std::function<std::optional<bool>(bool on)> applyLoginItem;
    // Makes the stored launch-at-login setting follow the system's login item.
    std::function<void()> reconcileLoginItem;
    // The update manager: start a manual check (its outcome comes back through
    // AppDelegate::updateCheckFinished), and its automatic-download setting.
    std::function<void()> checkForUpdates;
    std::function<bool()> getAutoInstallUpdates;
    std::function<void(bool on)> setAutoInstallUpdates;
    // Replays the welcome tour.
    std::function<void()> previewOnboarding;

    // ---- XDR boost ----
    std::function<void()> installXDRObservers;
    std::function<bool()> xdrBoostWindowExists;
    std::function<void()> confirmXDRBoost;
    std::function<void(const QString& reason)> xdrEmergencyReset;
    std::function<void()> deactivateXDRBoost;

    // ---- Popover and tint ----
    // The popover's content; the popover owns what it returns.
    std::function<QWidget*()> makePopoverContent;
    std::function<void(bool visible)> popoverVisibilityChanged;
    // The ordinary on/off switch (pins a manual override while a schedule runs).
    std::function<void()> toggleEnabled;
    // SIGUSR1: pin the manual override of the reloaded values while a schedule runs.
    std::function<void()> pinManualOverrideForReload;
    // SIGUSR1: the popover model echoes the reloaded values.
    std::function<void()> syncViewModelFromPreferences;
    // The shortcut that opens the popover, as shown to the user.
    std::function<QString()> popoverShortcutText;
};
