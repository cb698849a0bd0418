// How AppDelegate keeps the tint across the session and answers the global
// shortcuts: passes after wake and reconfiguration, the shortcut handlers and the
// local shortcut monitor.
#include "app/AppDelegate.h"

#include "app/LoginItemCompat.h"
#include "app/UpdaterManager.h"
#include "brightness/ShortcutManager.h"
#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "core/Version.h"
#include "platform/DesktopNotifier.h"
#include "platform/DisplayGamma.h"
#include "platform/OnboardingMarker.h"
#include "platform/Platform.h"
#include "platform/ShortcutKeyTable.h"
#include "popover/PopoverViewModel.h"
#include "settings/UpdateDialog.h"
#include "sound/SoundCueEngine.h"
#include "warmth/GammaReassertion.h"
#include "warmth/OverlayWindowController.h"
#include "warmth/ScreenCaptureMonitor.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QPointer>
#include <QTimer>

Q_DECLARE_LOGGING_CATEGORY(lcMenubar)

namespace {

// Key-downs inside this application's own windows reach the shortcuts that no hot
// key serves; a match is swallowed.
class LocalShortcutMonitor final : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
        const auto* key = static_cast<QKeyEvent*>(event);
        const auto code = ShortcutKeyTable::keyCodeForKeysym(key->nativeVirtualKey());
        if (!code) return false;
        quint64 modifiers = 0;
        const Qt::KeyboardModifiers m = key->modifiers();
        if (m & Qt::ShiftModifier) modifiers |= ShortcutKeyTable::shiftFlag;
        if (m & Qt::ControlModifier) modifiers |= ShortcutKeyTable::controlFlag;
        if (m & Qt::AltModifier) modifiers |= ShortcutKeyTable::optionFlag;
        if (m & Qt::MetaModifier) modifiers |= ShortcutKeyTable::commandFlag;
        return ShortcutManager::shared().handleLocalKeyDown(*code, modifiers);
    }
};

// The desktop's conventions inside this application's windows: Ctrl+, opens the
// settings window and Ctrl+Q quits. Only Ctrl may be held; anything else passes.
class AppKeyMonitor final : public QObject {
public:
    AppKeyMonitor(std::function<void()> openSettings, std::function<void()> quit)
        : m_openSettings(std::move(openSettings)), m_quit(std::move(quit)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
        const auto* key = static_cast<QKeyEvent*>(event);
        constexpr Qt::KeyboardModifiers counted =
            Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
        if ((key->modifiers() & counted) != Qt::ControlModifier) return false;
        if (key->key() == Qt::Key_Comma) {
            m_openSettings();
            return true;
        }
        if (key->key() == Qt::Key_Q) {
            m_quit();
            return true;
        }
        return false;
    }

private:
    std::function<void()> m_openSettings;
    std::function<void()> m_quit;
};

} // namespace

void AppDelegate::installKeyMonitors() {
    if (m_keyMonitor || !qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    // The filter belongs to the delegate and goes with it.
    m_keyMonitor = std::make_unique<AppKeyMonitor>(
        [this] {
            qCInfo(lcMenubar).noquote()
                << QStringLiteral("cmd-comma: routing to showSettings (bug 9d946bcd)");
            SoundCueEngine::shared().play(SoundCue::settingsOpened);
            if (m_hooks.showSettings) m_hooks.showSettings();
        },
        [this] { quit(); });
    qApp->installEventFilter(m_keyMonitor.get());
}

void AppDelegate::quit() {
    qCInfo(lcMenubar).noquote() << QStringLiteral("Quit requested — handing the displays back");
    // The process then leaves main() with status 0.
    if (quitApplication) quitApplication();
}

void AppDelegate::wireLifecycle() {
    m_hooks.runFirstRunFlow = [this](bool hasSeenWelcome) {
        runFirstRunFlow(UserDefaults::standard(), PrefKey::welcomeShown, hasSeenWelcome);
    };
    m_hooks.setupShortcuts = [this] { setupShortcuts(); };

    // The tint steps aside while the screen is captured, except in sessions that must
    // show it (onboarding, the warmth sweep, the update window).
    OverlayWindowController* overlay = m_overlayController.get();
    m_captureMonitor = std::make_unique<ScreenCaptureMonitor>(
        [overlay] {
            return overlay->wowSweepActive() || overlay->updaterUIActive() ||
                   overlay->onboardingActive();
        },
        [overlay](CaptureSuspendAction action) {
            if (action == CaptureSuspendAction::suspend) overlay->suspendGammaForCapture();
            if (action == CaptureSuspendAction::resume) overlay->resumeGammaAfterCapture();
        });
    ScreenCaptureMonitor* monitor = m_captureMonitor.get();
    overlay->hooks().startCaptureMonitor = [monitor] { monitor->start(); };
    overlay->hooks().stopCaptureMonitor = [monitor] { monitor->stop(); };

    m_updaterManager = std::make_unique<UpdaterManager>(m_clock);
    UpdaterManager* updater = m_updaterManager.get();
    // While the update window is up, the engine leaves the screen as the user sees it.
    updater->onUpdaterSessionChanged = [overlay](bool open) {
        if (open) {
            overlay->setUpdaterUIActive(true);
        } else if (overlay->updaterUIActive()) {
            overlay->setUpdaterUIActive(false);
            overlay->updateOverlays();
        }
    };
    updater->showUpdateWindow = [updater](const UpdaterManager::Release& release) {
        auto* dialog = new UpdateDialog(release.version, Bundle::halcyraVersion(),
                                        release.releaseNotes, release.download);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(dialog, &QDialog::finished, updater, &UpdaterManager::updateWindowClosed);
        dialog->show();
        dialog->raise();
        dialog->activateWindow();
    };
    // The settings window's update row and launch-at-login switch.
    m_hooks.checkForUpdates = [updater] { updater->checkForUpdates(); };
    m_hooks.getAutoInstallUpdates = [updater] { return updater->automaticallyChecksForUpdates(); };
    m_hooks.setAutoInstallUpdates = [updater](bool on) {
        updater->setAutomaticallyChecksForUpdates(on);
    };
    updater->onManualCheckResult = [this](UpdaterManager::ManualCheckResult result) {
        using Kind = UpdaterManager::ManualCheckResult::Kind;
        updateCheckFinished(result.kind == Kind::updateAvailable
                                ? UpdateCheckResult::updateAvailable
                            : result.kind == Kind::upToDate ? UpdateCheckResult::upToDate
                                                            : UpdateCheckResult::failed);
    };
    updater->onAvailabilityChanged = [this](std::optional<QString> version) {
        availableUpdateChanged(version.value_or(QString()));
    };
    m_hooks.applyLoginItem = [](bool on) -> std::optional<bool> {
        const LoginItemCompat::State state = LoginItemCompat::apply(on);
        if (state == LoginItemCompat::State::unknown) return std::nullopt;
        return state == LoginItemCompat::State::enabled;
    };
    m_hooks.reconcileLoginItem = [] { LoginItemCompat::reconcile(); };
    m_hooks.showSettings = [this] { showSettings(); };
    updater->startAutomaticChecks();
    m_hooks.popoverShortcutText = [] {
        return ShortcutManager::shared().bindings().at(ShortcutAction::openPopover).displayString();
    };
}

void AppDelegate::registerDisplaySettleReassert() {
    if (m_displaySettleRegistered) return;
    m_displaySettleRegistered = true;
    // The gamma backend announces reconfigurations from the main loop already.
    connect(
        &Platform::instance().displayGamma(), &DisplayGamma::reconfigured, this,
        [this](const DisplayReconfiguration&) { m_gammaReassertion->displayConfigDidChange(); });
}

void AppDelegate::setupShortcuts() {
    ShortcutManager& shortcuts = ShortcutManager::shared();
    QPointer<AppDelegate> self(this);
    // The cues of the switch and the presets play even when the delegate is gone.
    shortcuts.onToggle = [self] {
        if (self) self->toggleEnabled();
        SoundCueEngine::shared().play(Preferences::shared().enabled() ? SoundCue::toggleOn
                                                                      : SoundCue::toggleOff);
    };
    shortcuts.onPreset = [self](int index) {
        if (self) {
            self->pinManualOverrideForUser();
            self->applyPresetAtIndex(index);
        }
        SoundCueEngine::shared().play(SoundCue::presetApplied);
    };
    shortcuts.onOpenPopover = [self] {
        if (self) self->togglePopoverFromHotkey();
    };
    shortcuts.onResetDisplayEffects = [self] {
        if (self) self->resetAllDisplayEffects(QStringLiteral("panic hotkey"));
    };
    shortcuts.registerMonitors();
    if (!m_localShortcutMonitor && qobject_cast<QApplication*>(QCoreApplication::instance())) {
        m_localShortcutMonitor = std::make_unique<LocalShortcutMonitor>();
        qApp->installEventFilter(m_localShortcutMonitor.get());
    }
}

// ---- First run, onboarding marker and notices ----

void AppDelegate::runFirstRunFlow(UserDefaults& defaults, const QString& welcomeShownKey,
                                  bool hasSeenWelcome) {
    if (hasSeenWelcome) return;
    defaults.setBool(PrefKey::enabled, true);
    defaults.setDouble(PrefKey::temperature, PrefDefault::firstRunTemperature);
    defaults.setDouble(PrefKey::intensity, 4.0);
    defaults.setDouble(PrefKey::brightness, 1.0);
    m_viewModel->setEnabled(true);
    m_viewModel->setTemperature(PrefDefault::firstRunTemperature);
    defaults.setDouble(PrefKey::intensity, 4.0);
    m_viewModel->setBrightness(1.0);
    m_overlayController->updateOverlays();
    defaults.setStringArray(PrefKey::pinnedPresets, PrefDefault::pinnedPresets);

    QPointer<AppDelegate> self(this);
    QPointer<UserDefaults> store(&defaults);
    auto onFinish = [self, store, welcomeShownKey] {
        if (!self) return;
        if (store) store->setBool(welcomeShownKey, true);
        self->markOnboardingCompleted();
        self->notifyMenuBarLocation();
        QTimer::singleShot(firstRunPopoverDelayMs, self, [self] {
            if (self) self->showPopoverIfNeeded();
        });
    };
    auto onEscFallback = [self, store, welcomeShownKey] {
        if (!self) return;
        if (store) store->setBool(welcomeShownKey, true);
        self->markOnboardingCompleted();
        if (self->m_hooks.showSettings) self->m_hooks.showSettings();
    };
    if (m_hooks.showTakeover) {
        m_hooks.showTakeover(onFinish, onEscFallback);
        return;
    }
    // Without a takeover to show, the first run is over once its values are in place;
    // leaving it open would put them back over the user's own at every launch.
    qCInfo(lcMenubar).noquote() << QStringLiteral(
        "First run: no onboarding takeover in this build — finishing at once");
    onFinish();
}

bool AppDelegate::hasCompletedOnboardingKeychain() const {
    return Platform::instance().onboardingMarker().exists();
}

void AppDelegate::markOnboardingCompleted() {
    Platform::instance().onboardingMarker().markCompleted();
}

void AppDelegate::notifyMenuBarLocation() {
    Platform::instance().desktopNotifier().post(
        QStringLiteral("halcyra.menu-bar-location"), QStringLiteral("Halcyra is running"),
        QStringLiteral("Look for the ☀ sun icon in the status area of your panel. Click it to "
                       "open Halcyra anytime."));
}

void AppDelegate::installNotificationResponses() {
    if (m_notificationResponsesInstalled) return;
    m_notificationResponsesInstalled = true;
    QPointer<AppDelegate> self(this);
    connect(&Platform::instance().desktopNotifier(), &DesktopNotifier::activated, this,
            [self](const QString& identifier) {
                if (identifier != QLatin1String("halcyra.watchdog.pause")) return;
                QTimer::singleShot(0, self, [self] {
                    if (self) self->m_viewModel->setEnabledByUser(true);
                });
            });
}
