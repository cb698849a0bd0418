#include "app/AppDelegate.h"
#include "core/NotificationNames.h"

#include "app/CPUWatchdog.h"
#include "app/CrashLoopGuard.h"
#include "app/PopoverWindow.h"
#include "app/ScheduleAnnouncementHandler.h"
#include "app/SignalRelay.h"
#include "app/StatusItem.h"
#include "app/UpdaterManager.h"
#include "brightness/NativeBrightnessController.h"
#include "core/NotificationCenter.h"
#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "core/Version.h"
#include "platform/DesktopNotifier.h"
#include "platform/DisplayGamma.h"
#include "platform/InstanceLock.h"
#include "platform/Platform.h"
#include "popover/PopoverViewModel.h"
#include "settings/SettingsWindowController.h"
#include "sound/SoundCueEngine.h"
#include "warmth/ColorTemperature.h"
#include "warmth/GammaReassertion.h"
#include "warmth/OverlayWindowController.h"
#include "warmth/ScreenCaptureMonitor.h"
#include "warmth/XDRBoostController.h"

#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <utility>

Q_LOGGING_CATEGORY(lcMenubar, "com.halcyra.app.menubar")

namespace {

QString yesNo(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

void call(const std::function<void()>& hook) {
    if (hook) hook();
}
} // namespace

AppDelegate::AppDelegate(Clock& clock, QObject* parent)
    : QObject(parent), m_clock(clock),
      m_overlayController(std::make_unique<OverlayWindowController>(clock)),
      m_viewModel(std::make_unique<PopoverViewModel>(SoundCueEngine::shared(), clock)),
      m_gammaReassertion(std::make_unique<GammaReassertion>(*m_overlayController)) {
    m_presentCrashLoopAlert = [] {
        QMessageBox box(QMessageBox::Warning, CrashLoopGuard::alertTitle(),
                        CrashLoopGuard::alertTitle(), QMessageBox::Ok);
        box.setInformativeText(CrashLoopGuard::alertMessage());
        box.exec();
    };
    popUpMenu = [](QMenu& menu) { menu.popup(QCursor::pos()); };
}

AppDelegate::~AppDelegate() {
    NotificationCenter::defaultCenter().removeObserver(this);
    m_overlayController->setReapplicationWarmthProvider(nullptr);
    // The capture monitor goes before the engine that calls it.
    m_overlayController->hooks().startCaptureMonitor = {};
    m_overlayController->hooks().stopCaptureMonitor = {};
}

bool AppDelegate::claimSingleInstance(InstanceLock& lock) {
    if (lock.tryAcquire()) return true;
    // The hand-over to the running copy is what a second launch is for.
    qCInfo(lcMenubar).noquote()
        << QStringLiteral("Duplicate Halcyra instance (pid %1 already running) — terminating "
                          "this copy before tap creation")
               .arg(lock.holderPid());
    lock.requestActivation();
    return false;
}

void AppDelegate::applicationDidFinishLaunching() {
    qCInfo(lcMenubar).noquote() << QStringLiteral(
                                       "applicationDidFinishLaunching ENTRY pid=%1 bundleId=%2")
                                       .arg(QCoreApplication::applicationPid())
                                       .arg(bundleIdentifier);
    // The duplicate-instance guard ran before this object was made (claimSingleInstance).
    watchSettingsSaves();
    runCrashLoopGuard();
    recoverInterruptedWarmthFlow();
    installKeyMonitors();
    restoreSystemGamma();
    installSignalHandlers();
    installManualStatusItem();

    if (m_hooks.setupViewModel) {
        m_hooks.setupViewModel();
        qCInfo(lcMenubar).noquote() << QStringLiteral("view model wired");
    }
    if (m_hooks.setupSunsetScheduler) {
        m_hooks.setupSunsetScheduler();
        qCInfo(lcMenubar).noquote() << QStringLiteral("sunset scheduler wired");
    }
    if (m_hooks.startInsightsSampling) {
        m_hooks.startInsightsSampling();
        qCInfo(lcMenubar).noquote() << QStringLiteral("insights sampling started");
    }
    if (m_hooks.setupShortcuts) {
        m_hooks.setupShortcuts();
        qCInfo(lcMenubar).noquote() << QStringLiteral("configurable shortcuts wired");
    }

    installNotificationResponses();
    UserDefaults& defaults = UserDefaults::standard();
    defaults.setString(PrefKey::lastSeenVersion, Bundle::halcyraVersion());
    if (m_hooks.runFirstRunFlow) {
        // The marker outlives deleted settings; it is not consulted when the key says so.
        const bool hasSeenWelcome =
            defaults.boolean(PrefKey::welcomeShown) || hasCompletedOnboardingKeychain();
        m_hooks.runFirstRunFlow(hasSeenWelcome);
    }

    Preferences& prefs = Preferences::shared();
    const bool enabled = prefs.enabled();
    if (enabled) m_overlayController->updateOverlays();
    qCInfo(lcMenubar).noquote()
        << QStringLiteral("overlay state applied: enabled=%1").arg(yesNo(enabled));

    startPeripherals(enabled);
    startKeyboard(enabled);
    if (!m_safeModeAtLaunch) {
        if (enabled && prefs.brightnessKeyInterception()) call(m_hooks.startKeyInterceptor);
    } else {
        qCCritical(lcMenubar).noquote()
            << QStringLiteral("SAFE MODE — skipping BrightnessKeyInterceptor");
    }

    installObservers();
    registerDisplaySettleReassert();
    call(m_hooks.installSystemEventObservers);
    installXDR();
    if (m_safeModeAtLaunch) postSafeModeNotice();
    startStatusItemWatchdog();
    CPUWatchdog::shared().onThrottle = m_hooks.stillOSDAnimations;

    CrashLoopGuard(defaults, m_clock).launchSucceeded();
    m_launchFinished = true;
    qCInfo(lcMenubar).noquote()
        << QStringLiteral("applicationDidFinishLaunching EXIT statusItem=%1 button=%2")
               .arg(m_statusItem ? QStringLiteral("StatusItem(%1)").arg(StatusItem::autosaveName)
                                 : QStringLiteral("nil"),
                    m_statusItem && m_statusItem->hasButton()
                        ? QStringLiteral("StatusButton(visible=%1)")
                              .arg(yesNo(statusItemIsVisibleOnScreen()))
                        : QStringLiteral("nil"));
    QTimer::singleShot(visibilityHintDelayMs, this, &AppDelegate::checkStatusItemVisibilityHint);
}

void AppDelegate::runCrashLoopGuard() {
    const CrashLoopGuard::Outcome outcome =
        CrashLoopGuard(UserDefaults::standard(), m_clock).beginLaunch();
    m_safeModeAtLaunch = outcome.safeMode;
    // Shown once the launch sequence has returned.
    if (outcome.crashLoopDetected)
        QTimer::singleShot(0, this, [this] {
            if (m_presentCrashLoopAlert) m_presentCrashLoopAlert();
        });
}

void AppDelegate::recoverInterruptedWarmthFlow() {
    const auto restored = Preferences::shared().endTransientWarmthFlow();
    if (!restored) return;
    if (m_hooks.recoveredWarmth)
        m_hooks.recoveredWarmth(restored->temperature, restored->brightness, restored->enabled);
    qCCritical(lcMenubar).noquote()
        << QStringLiteral("Recovered interrupted warmth flow — restored %1K (intensity %2, "
                          "brightness %3, enabled %4)")
               .arg(restored->temperature, 0, 'f', 0)
               .arg(restored->intensity, 0, 'f', 1)
               .arg(restored->brightness, 0, 'f', 2)
               .arg(yesNo(restored->enabled));
}

void AppDelegate::restoreSystemGamma() {
    Platform::instance().displayGamma().restoreColorSettings();
    DisplayedWarmth::setRecorded(DisplayTint::identity());
    qCInfo(lcMenubar).noquote() << QStringLiteral("gamma restored");
}

void AppDelegate::installSignalHandlers() {
    SignalRelay& relay = SignalRelay::install();
    // Should the main loop be stuck, the displays are still handed back from the
    // deadline handler through the gamma backend's signal-safe path.
    SignalRelay::setDeadlineAction(&Platform::restoreGammaFromSignalHandler);
    connect(&relay, &SignalRelay::terminationRequested, this, [this](int signo) {
        handBackForTermination();
        SignalRelay::finishTermination(signo);
    });
    connect(&relay, &SignalRelay::reloadRequested, this, &AppDelegate::reloadPreferences);
    qCInfo(lcMenubar).noquote() << QStringLiteral(
        "signal handlers installed (SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1)");
}

void AppDelegate::startPeripherals(bool enabled) {
    // Also in safe mode: the user's own settings come back whatever else is skipped.
    call(m_hooks.restoreStalePeripherals);
    if (m_safeModeAtLaunch) {
        qCCritical(lcMenubar).noquote() << QStringLiteral(
            "SAFE MODE — skipping DitheringController, AmbientLightController, ALS monitoring");
        return;
    }
    Preferences& prefs = Preferences::shared();
    if (enabled && prefs.disableDithering()) call(m_hooks.disableDithering);
    if (enabled) {
        call(m_hooks.startAmbientLight);
        if (prefs.ambientDimming() || prefs.adaptToRoomLighting()) call(m_hooks.startALSMonitoring);
    }
}

void AppDelegate::startKeyboard(bool enabled) {
    Preferences& prefs = Preferences::shared();
    // Full harmony drives the keyboard backlight itself; plain sync gives way.
    if (prefs.fullHarmonyEnabled() && prefs.keyboardBrightnessSync())
        UserDefaults::standard().setBool(PrefKey::keyboardBrightnessSync, false);
    if (enabled && prefs.keyboardBrightnessSync()) call(m_hooks.startKeyboardSync);
    if (enabled && prefs.fullHarmonyEnabled()) {
        if (m_hooks.engageHarmony) m_hooks.engageHarmony(prefs.intensity());
    } else {
        call(m_hooks.restoreStaleHarmonyBaseline);
    }
}

void AppDelegate::installObservers() {
    if (m_observersInstalled) return;
    m_observersInstalled = true;
    NotificationCenter& center = NotificationCenter::defaultCenter();
    QPointer<AppDelegate> self(this);
    center.addObserver(this, NotificationName::brightnessKeyChanged, [self](const Notification&) {
        if (self) self->m_overlayController->updateOverlays();
    });
    center.addObserver(this, NotificationName::warmthRampSettled, [self](const Notification&) {
        if (self) self->updateMenuBarIconColor();
    });
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(app, &QGuiApplication::applicationStateChanged, this,
                [this](Qt::ApplicationState s) {
                    if (s == Qt::ApplicationActive) applicationDidBecomeActive();
                });
}

void AppDelegate::applicationDidBecomeActive() {
    // Coming to the front gets the keys back whenever the user asked for them: neither
    // the on/off switch nor safe mode is consulted here.
    if (!Preferences::shared().brightnessKeyInterception()) return;
    if (m_hooks.keyInterceptorActive && m_hooks.keyInterceptorActive()) return;
    call(m_hooks.startKeyInterceptor);
}

void AppDelegate::installXDR() {
    UserDefaults& defaults = UserDefaults::standard();
    // The boost is never armed across launches.
    defaults.setBool(PrefKey::xdrBoostEnabled, false);
    if (defaults.boolean(PrefKey::experimentalXDRBoost))
        qCInfo(lcMenubar).noquote()
            << QStringLiteral("XDR dev flag present at launch — ignored (session-only arming)");
    if (m_safeModeAtLaunch) {
        qCCritical(lcMenubar).noquote()
            << QStringLiteral("SAFE MODE — skipping XDRBoostController");
        return;
    }
    call(m_hooks.installXDRObservers);
}

void AppDelegate::postSafeModeNotice() {
    qCCritical(lcMenubar).noquote()
        << QStringLiteral("Running in SAFE MODE — advanced features disabled");
    Platform::instance().desktopNotifier().post(CrashLoopGuard::noticeIdentifier(),
                                                CrashLoopGuard::noticeTitle(),
                                                CrashLoopGuard::noticeBody());
}

void AppDelegate::watchSettingsSaves() {
    UserDefaults& defaults = UserDefaults::standard();
    auto tell = [this, &defaults](UserDefaults::SaveProblem problem) {
        if (problem == UserDefaults::SaveProblem::none || m_saveProblemNoticed) return;
        m_saveProblemNoticed = true;
        Platform::instance().desktopNotifier().post(saveProblemNoticeIdentifier,
                                                    UserDefaults::saveProblemTitle,
                                                    defaults.saveProblemText());
    };
    connect(&defaults, &UserDefaults::saveProblemChanged, this, tell);
    tell(defaults.saveProblem());
}

void AppDelegate::startStatusItemWatchdog() {
    m_statusItemWatchdog = std::make_unique<QTimer>();
    m_statusItemWatchdog->setInterval(std::max(1, statusItemWatchdogIntervalMs));
    connect(m_statusItemWatchdog.get(), &QTimer::timeout, this,
            &AppDelegate::statusItemWatchdogTick);
    m_statusItemWatchdog->start();
}

void AppDelegate::statusItemWatchdogTick() {
    const bool shown = m_statusItem && m_statusItem->hasButton();
    if (shown && !m_statusItemMissing) return;
    if (!shown && !m_statusItemMissing) {
        m_statusItemMissing = true;
        qCCritical(lcMenubar).noquote()
            << QStringLiteral("WATCHDOG: status item button missing — recreating");
    }
    // Without a status area host a new item fares no better: wait for one, quietly.
    if (m_statusItem && !m_statusItem->hostPresent()) return;
    remakeStatusItem();
    if (m_statusItem && m_statusItem->hasButton()) {
        m_statusItemMissing = false;
        qCInfo(lcMenubar).noquote()
            << QStringLiteral("WATCHDOG: status item button back — the status area shows it");
    }
}

bool AppDelegate::applicationShouldHandleReopen() {
    if (m_statusItem && m_statusItem->hasButton())
        showPopoverIfNeeded();
    else
        call(m_hooks.showSettings);
    return false;
}

void AppDelegate::applicationWillTerminate() {
    CPUWatchdog::shared().stop();
    call(m_hooks.stopKeyInterceptor);
    NativeBrightnessController::releaseAllLocks();
    call(m_hooks.disengageHarmonyRestoringBaseline);
    call(m_hooks.handBackPeripherals);
    call(m_hooks.deactivateXDRBoost);
    Platform::instance().displayGamma().restoreColorSettings();
    // The store flushed itself when the quit began, before the steps above removed the
    // saved backlight level and wrote the keyboard baseline back: put those on disk now,
    // while the event loop and the rest of the process are still whole.
    UserDefaults::standard().synchronize();
}

void AppDelegate::handBackForTermination() {
    // On Linux a termination signal is how a session ends, so the pinned backlight is
    // handed back here too, not only on an orderly quit.
    NativeBrightnessController::releaseAllLocks();
    call(m_hooks.disengageHarmonyRestoringBaseline);
    call(m_hooks.handBackPeripherals);
    Platform::instance().displayGamma().restoreColorSettings();
    InstanceLock::releaseForExit();
    // The process dies by the signal next: nothing written may stay in memory only.
    UserDefaults::standard().synchronize();
}

void AppDelegate::reloadPreferences() {
    qCInfo(lcMenubar).noquote() << QStringLiteral("SIGUSR1 received — reloading preferences");
    // An edit of the settings file made just before the signal may not have been
    // noticed yet; read it now.
    UserDefaults::standard().reload();
    Preferences& prefs = Preferences::shared();
    if (prefs.useSchedule() || prefs.autoSunset()) call(m_hooks.pinManualOverrideForReload);
    {
        // The model's echo of the switch would push the tables the line below pushes
        // again: one reload, one push.
        std::function<void()> update = std::exchange(m_viewModel->onUpdate, nullptr);
        call(m_hooks.syncViewModelFromPreferences);
        m_viewModel->onUpdate = std::move(update);
    }
    m_overlayController->updateOverlays();
    updateMenuBarIconColor();
}
