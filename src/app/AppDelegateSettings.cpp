// How AppDelegate wires the settings window: its model's callbacks and controller
// hooks, the gear, update-check reports and the relaunch after a safe-mode reset. The
// section notification is the window's own: it selects a section and opens nothing.
#include "app/AppDelegate.h"
#include "app/CPUWatchdog.h"
#include "app/LoginItemCompat.h"
#include "app/ScheduleAnnouncementHandler.h"
#include "app/UpdaterManager.h"

#include "brightness/BrightnessKeyInterceptor.h"
#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "platform/InstanceLock.h"
#include "popover/PopoverViewModel.h"
#include "settings/SettingsSection.h"
#include "settings/SettingsViewModel.h"
#include "settings/SettingsWindowController.h"
#include "sound/SoundCueEngine.h"
#include "warmth/OverlayWindowController.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QPointer>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <QUrl>

namespace {
// Set in the environment of a copy started by the safe-mode reset.
const char* kAwaitLock = "HALCYRA_AWAIT_INSTANCE_LOCK";

void call(const std::function<void()>& hook) {
    if (hook) hook();
}
} // namespace

void AppDelegate::wireSettings() {
    if (m_settingsController) return;
    m_settingsController = std::make_unique<SettingsWindowController>(
        std::make_unique<SettingsViewModel>(SoundCueEngine::shared()));
    // Read once at launch; the general page changes it live afterwards.
    m_settingsController->setShownInTaskbar(UserDefaults::standard().boolean(PrefKey::showInDock));
    m_settingsController->onWillShow = [this] {
        CPUWatchdog::shared().noteExpectedBurst(10.0);
        call(m_hooks.reconcileLoginItem);
    };

    // Each controller hook is looked up when it is used, so a subsystem wired after
    // this still receives its switch.
    SettingsViewModel::Controllers& c = m_settingsController->settingsVM().controllers;
    c.startKeyInterceptor = [this] { call(m_hooks.startKeyInterceptor); };
    c.stopKeyInterceptor = [this] { call(m_hooks.stopKeyInterceptor); };
    c.startKeyboardSync = [this] { call(m_hooks.startKeyboardSync); };
    c.stopKeyboardSync = [this] { call(m_hooks.stopKeyboardSync); };
    c.engageHarmony = [this](double intensity) {
        if (m_hooks.engageHarmony) m_hooks.engageHarmony(intensity);
    };
    c.disengageHarmonyRestoringBaseline = [this] {
        call(m_hooks.disengageHarmonyRestoringBaseline);
    };
    c.disableNightShift = [this] { call(m_hooks.disableNightShift); };
    c.restoreNightShift = [this] { call(m_hooks.restoreNightShift); };
    c.startALSMonitoring = [this] { call(m_hooks.startALSMonitoring); };
    c.stopALSMonitoring = [this] { call(m_hooks.stopALSMonitoring); };
    c.restoreTrueTone = [this] { call(m_hooks.restoreTrueTone); };
    c.setDithering = [this](bool enabled) {
        call(enabled ? m_hooks.restoreDithering : m_hooks.disableDithering);
    };
    c.restoreDithering = [this] { call(m_hooks.restoreDithering); };
    c.registerDitheringReconfiguration = [this] { call(m_hooks.registerDitheringReconfiguration); };
    c.applyLoginItem = [this](bool on) -> std::optional<bool> {
        if (!m_hooks.applyLoginItem) return std::nullopt;
        return m_hooks.applyLoginItem(on);
    };
    c.ambientCCT = [this]() -> std::optional<double> {
        return m_hooks.ambientCCT ? m_hooks.ambientCCT() : std::nullopt;
    };
    c.pinManualOverride = [this] { pinManualOverrideForUser(); };
    c.glideWarmth = [](double kelvin) {
        BrightnessKeyInterceptor::shared().warmthRamp().glide(kelvin);
    };
    c.openUrl = [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); };
    c.relaunch = [] {
        // No shell: the program itself, with its own arguments; the new copy waits for
        // this one to let go of the single-instance lock.
        QProcess process;
        process.setProgram(QCoreApplication::applicationFilePath());
        process.setArguments(QCoreApplication::arguments().mid(1));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(kAwaitLock), QStringLiteral("1"));
        process.setProcessEnvironment(env);
        return process.startDetached();
    };
    c.terminate = [] { QCoreApplication::quit(); };

    wireSettingsServices();

    // The model's callbacks go in with the popover's, once launch has the status item.
    auto base = m_hooks.setupViewModel;
    m_hooks.setupViewModel = [this, base] {
        call(base);
        setupSettingsViewModel();
    };
}

// The lifecycle services the window reaches: the login item and the update manager.
void AppDelegate::wireSettingsServices() {
    m_hooks.showSettings = [this] { showSettings(); };
    m_hooks.reconcileLoginItem = [] { LoginItemCompat::reconcile(); };
    m_hooks.applyLoginItem = [](bool on) -> std::optional<bool> {
        return LoginItemCompat::known(LoginItemCompat::apply(on));
    };
    UpdaterManager* updater = m_updaterManager.get();
    if (!updater) return;
    m_hooks.checkForUpdates = [updater] { updater->checkForUpdates(); };
    updater->onAvailabilityChanged = [this](std::optional<QString> version) {
        availableUpdateChanged(version.value_or(QString()));
    };
    updater->onManualCheckResult = [this](UpdaterManager::ManualCheckResult result) {
        using K = UpdaterManager::ManualCheckResult::Kind;
        updateCheckFinished(result.kind == K::updateAvailable ? UpdateCheckResult::updateAvailable
                            : result.kind == K::upToDate      ? UpdateCheckResult::upToDate
                                                              : UpdateCheckResult::failed);
    };
    availableUpdateChanged(updater->availableUpdateVersion().value_or(QString()));
}

void AppDelegate::setupSettingsViewModel() {
    SettingsViewModel& vm = m_settingsController->settingsVM();
    QPointer<AppDelegate> self(this);
    m_viewModel->onSettingsPressed = [this] {
        m_viewModel->cues().play(SoundCue::settingsOpened);
        // The popover gives way to the window it opened (it would hold the pointer).
        closePopover();
        showSettings();
    };
    vm.checkForUpdates = [this] {
        SettingsViewModel& m = m_settingsController->settingsVM();
        if (!m.availableUpdateVersion())
            m.setUpdateCheckStatus(SettingsViewModel::UpdateCheckStatus::checking);
        if (m_hooks.checkForUpdates)
            m_hooks.checkForUpdates();
        else
            updateCheckFinished(UpdateCheckResult::failed); // no update manager in this build
    };
    vm.getAutoInstallUpdates = [self]() -> bool {
        if (!self || !self->m_hooks.getAutoInstallUpdates) return true;
        return self->m_hooks.getAutoInstallUpdates();
    };
    vm.setAutoInstallUpdates = [this](bool on) {
        if (m_hooks.setAutoInstallUpdates) m_hooks.setAutoInstallUpdates(on);
    };
    vm.onPreviewOnboarding = [this] { call(m_hooks.previewOnboarding); };
    vm.onAutoSunsetChanged = [this](bool on) {
        if (m_scheduleHandler) m_scheduleHandler->autoSunsetChanged(on);
    };
    vm.onScheduleChanged = [this] {
        if (m_scheduleHandler) m_scheduleHandler->scheduleChanged();
    };
    vm.onPresetApplied = [this] {
        m_viewModel->syncFromPreferences();
        m_overlayController->updateOverlays();
        updateMenuBarIconColor();
    };
}

bool AppDelegate::settingsWindowIsWriting() const {
    return m_settingsController && m_settingsController->settingsVM().isWritingSetting();
}

void AppDelegate::showSettings(const QString& section) {
    if (!m_settingsController) return;
    m_settingsController->showSettings(SettingsSections::fromRawValue(section));
}

void AppDelegate::updateCheckFinished(UpdateCheckResult result) {
    if (!m_settingsController) return;
    SettingsViewModel& vm = m_settingsController->settingsVM();
    using S = SettingsViewModel::UpdateCheckStatus;
    if (result == UpdateCheckResult::updateAvailable) {
        vm.setUpdateCheckStatus(std::nullopt);
        return;
    }
    vm.setUpdateCheckStatus(result == UpdateCheckResult::upToDate ? S::upToDate : S::failed);
    QTimer::singleShot(4000, this, [this] {
        SettingsViewModel& m = m_settingsController->settingsVM();
        if (m.updateCheckStatus() != S::checking) m.setUpdateCheckStatus(std::nullopt);
    });
}

void AppDelegate::availableUpdateChanged(const QString& version) {
    if (!m_settingsController) return;
    m_settingsController->settingsVM().setAvailableUpdateVersion(
        version.isEmpty() ? std::nullopt : std::optional<QString>(version));
}

bool AppDelegate::claimSingleInstanceAfterRelaunch(InstanceLock& lock, int waitMs) {
    if (qEnvironmentVariableIsSet(kAwaitLock)) {
        qunsetenv(kAwaitLock); // not passed on to anything this copy starts
        QElapsedTimer waited;
        waited.start();
        while (!lock.tryAcquire() && waited.elapsed() < waitMs)
            QThread::msleep(50);
    }
    return claimSingleInstance(lock);
}
