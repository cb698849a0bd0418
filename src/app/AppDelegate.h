#pragma once

#include "app/ShellHooks.h"
#include "app/StatusItem.h"
#include "core/Clock.h"

#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

class CrashLoopGuard;
class GammaReassertion;
class ScreenCaptureMonitor;
class UpdaterManager;
class InstanceLock;
class OverlayWindowController;
class PopoverViewModel;
class PopoverWindow;
class QMenu;
class QTimer;
class ScheduleAnnouncementHandler;
class SettingsWindowController;
class UserDefaults;
class SunsetScheduler;
class TakeoverWindowController;
class WelcomeWindowController;
class XDRBoostController;

// The application's hub: owns the display warmth engine and the status item, runs the
// start-up sequence, hands the displays and the backlight back when the application
// ends, and wires the other subsystems through ShellHooks. Main thread only.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    static inline const QString bundleIdentifier = QStringLiteral("com.halcyra.app");
    // The desktop notice that the settings cannot be saved (once per run).
    static inline const QString saveProblemNoticeIdentifier =
        QStringLiteral("halcyra.settings-unsaved");
    static constexpr int defaultStatusItemWatchdogIntervalMs = 30'000;
    static constexpr int visibilityHintDelayMs = 5'000;

    explicit AppDelegate(Clock& clock = Clock::system(), QObject* parent = nullptr);
    ~AppDelegate() override;

    // Runs before anything else is created: true when this process may run. A second
    // copy asks the running one to come forward and must then exit with status 0,
    // having written nothing and touched no display.
    static bool claimSingleInstance(InstanceLock& lock);

    ShellHooks& hooks() { return m_hooks; }
    void setHooks(ShellHooks hooks) { m_hooks = std::move(hooks); }
    // Replaces the crash-loop alert (tests).
    void setCrashLoopAlertPresenter(std::function<void()> present) {
        m_presentCrashLoopAlert = std::move(present);
    }

    OverlayWindowController& overlayController() { return *m_overlayController; }
    PopoverViewModel& viewModel() { return *m_viewModel; }

    // ---- Subsystem wiring (AppDelegateWiring.cpp) ----
    // Installs the hooks through which the popover model, the schedule, insight
    // sampling and the system events reach the shell. Run once, before launch; the
    // scheduler must outlive the delegate.
    void wireSubsystems(SunsetScheduler& scheduler);
    void wireSubsystems();
    // The brightness keys and their on-screen display (AppDelegateKeys.cpp).
    void wireKeys();
    // The light sensor, night light, keyboard backlight, dithering and XDR boost
    // (AppDelegatePeripherals.cpp); run by wireSubsystems.
    void wirePeripherals();
    // Made on first use.
    XDRBoostController& xdrBoostController();
    SunsetScheduler* sunsetScheduler() const { return m_sunsetScheduler; }
    ScheduleAnnouncementHandler* scheduleHandler() const { return m_scheduleHandler.get(); }
    // The one on/off switch: pins a manual override while a schedule runs, then moves
    // the tint and the peripheral controllers.
    void toggleEnabled();
    // Applies the library preset at `index` (shortcuts, the welcome tour).
    void applyPresetAtIndex(int index);
    // ---- Onboarding (AppDelegateOnboarding.cpp) ----
    // The first-run takeover and its two ways out.
    void wireOnboarding();
    TakeoverWindowController* takeover() const { return m_takeover; }
    WelcomeWindowController* welcome() const { return m_welcome; }
    // Replays the welcome tour (the settings window's "Preview Onboarding").
    void previewOnboarding();

    // ---- Settings window (AppDelegateSettings.cpp) ----
    // Creates the settings window's controller and model; run by wireSubsystems().
    void wireSettings();
    SettingsWindowController* settingsWindowController() const {
        return m_settingsController.get();
    }
    // Shows the settings window (at a section given by its title, when one is).
    void showSettings(const QString& section = QString());
    // The update manager reports here: a manual check's outcome, and the version of an
    // update that became available (empty when none is).
    enum class UpdateCheckResult { updateAvailable, upToDate, failed };
    void updateCheckFinished(UpdateCheckResult result);
    void availableUpdateChanged(const QString& version);
    // A relaunched copy waits up to `waitMs` for the copy it replaces to let go of the
    // single-instance lock before it counts as a duplicate.
    static bool claimSingleInstanceAfterRelaunch(InstanceLock& lock, int waitMs);
    // ---- Lifecycle (AppDelegateLifecycle.cpp): wake and reconfiguration passes ----
    // Part of wireSubsystems().
    void wireLifecycle();
    GammaReassertion* gammaReassertion() const { return m_gammaReassertion.get(); }
    ScreenCaptureMonitor* captureMonitor() const { return m_captureMonitor.get(); }
    UpdaterManager* updaterManager() const { return m_updaterManager.get(); }
    // Display reconfiguration reaches the settle pass; registered once per process.
    void registerDisplaySettleReassert();
    // The global shortcuts' handlers, their registration and the local monitor.
    void setupShortcuts();
    static constexpr int firstRunPopoverDelayMs = 300;
    // First launch (or onboarding never finished): the first warmth, then the takeover.
    void runFirstRunFlow(UserDefaults& defaults, const QString& welcomeShownKey,
                         bool hasSeenWelcome);
    bool hasCompletedOnboardingKeychain() const;
    void markOnboardingCompleted();
    void notifyMenuBarLocation();
    // A click on a notice: the watchdog's pause notice switches the tint back on.
    void installNotificationResponses();

    // ---- Application lifecycle ----
    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    // Another start of the application asked this copy to come forward: the popover
    // where the status area shows the icon, the settings window where it does not.
    bool applicationShouldHandleReopen();
    // Ctrl+, opens the settings window and Ctrl+Q quits, in this application's windows.
    void installKeyMonitors();
    // The orderly quit: the event loop ends and applicationWillTerminate runs.
    void quit();
    void applicationDidBecomeActive();
    bool launchFinished() const { return m_launchFinished; }
    bool safeModeAtLaunch() const { return m_safeModeAtLaunch; }

    // ---- Signals ----
    // SIGTERM / SIGINT on the main loop: hand back the displays' tables and a pinned
    // backlight. The caller then ends the process by the signal.
    void handBackForTermination();
    // SIGUSR1: reload the stored settings and re-apply them.
    void reloadPreferences();

    // ---- Status item, popover and emergency menu ----
    void installManualStatusItem();
    // Makes the status item again and leaves an open popover alone (the watchdog).
    void remakeStatusItem();
    void updateMenuBarIconColor();
    void statusItemClicked(bool rightButton);
    void showEmergencyMenu();
    void emergencyResetFromMenu();
    void confirmXDRFromMenu();
    void resetAllDisplayEffects(const QString& reason);
    void showPopoverIfNeeded();
    void closePopover();
    void togglePopoverFromHotkey();
    void showPopoverDetached();
    bool statusItemIsVisibleOnScreen() const;
    void checkStatusItemVisibilityHint();
    void statusItemWatchdogTick();

    StatusItem* statusItem() const { return m_statusItem.get(); }
    PopoverWindow* popover() const { return m_popover.get(); }
    // The emergency menu as last built (for tests).
    QMenu* emergencyMenu() const { return m_emergencyMenu.get(); }
    bool popoverVisible() const { return m_popoverVisible; }
    // The entries of the emergency menu for the current state.
    QStringList emergencyMenuTitles() const;
    // "Panic key: " and the panic shortcut's default combination.
    static QString panicKeyTitle();
    // Kept for the XDR observers: a boost taken down for a capture or a pending confirmation.
    bool xdrBoostSuspendedForCapture = false;
    bool xdrBoostSuspendedUnconfirmed = false;

    // The status area host as the status item sees it (empty: ask Qt); tests stand in.
    StatusItem::Host trayHost;
    // Pops the emergency menu at the pointer; tests replace it to avoid a modal menu.
    std::function<void(QMenu&)> popUpMenu;
    // Ends the event loop (tests stand in); aboutToQuit then runs applicationWillTerminate.
    std::function<void()> quitApplication = [] { QCoreApplication::quit(); };
    // How often the watchdog looks for the status item's button; set before launch.
    int statusItemWatchdogIntervalMs = defaultStatusItemWatchdogIntervalMs;

private:
    void runCrashLoopGuard();
    void recoverInterruptedWarmthFlow();
    void restoreSystemGamma();
    void installSignalHandlers();
    void startPeripherals(bool enabled);
    void startKeyboard(bool enabled);
    void installObservers();
    void installXDR();
    void postSafeModeNotice();
    void watchSettingsSaves();
    void startStatusItemWatchdog();
    void installStatusItem(bool closeOpenPopover);
    void buildEmergencyMenu();
    void setPopoverVisible(bool visible);
    QString popoverShortcutText() const;
    void setupViewModel();
    void setupSunsetScheduler();
    void installSystemEventObservers();
    void pinManualOverrideForUser();
    void pinManualOverrideForReload();
    void storedSettingsChanged(QStringList keys);
    void followBrightnessKeySetting();
    void reevaluateScheduleAfterClockChange(const QString& message);
    void reapplyAfterWake(const QString& message, double initialDelay);
    void assertScheduleIfActive();
    void setupSettingsViewModel();
    void wireSettingsServices();
    bool settingsWindowIsWriting() const;

    Clock& m_clock;
    ShellHooks m_hooks;
    std::unique_ptr<OverlayWindowController> m_overlayController;
    // Before the popover, which shows a view over it.
    std::unique_ptr<PopoverViewModel> m_viewModel;
    SunsetScheduler* m_sunsetScheduler = nullptr;
    std::unique_ptr<ScheduleAnnouncementHandler> m_scheduleHandler;
    std::unique_ptr<SettingsWindowController> m_settingsController;
    std::unique_ptr<GammaReassertion> m_gammaReassertion;
    std::unique_ptr<ScreenCaptureMonitor> m_captureMonitor;
    std::unique_ptr<UpdaterManager> m_updaterManager;
    bool m_displaySettleRegistered = false;
    std::unique_ptr<QObject> m_localShortcutMonitor;
    std::unique_ptr<QObject> m_keyMonitor;
    bool m_notificationResponsesInstalled = false;
    std::unique_ptr<StatusItem> m_statusItem;
    std::unique_ptr<PopoverWindow> m_popover;
    std::unique_ptr<QMenu> m_emergencyMenu;
    std::unique_ptr<QTimer> m_statusItemWatchdog;
    std::function<void()> m_presentCrashLoopAlert;
    bool m_popoverVisible = false;
    // The watchdog said the button went missing and has not seen it back yet.
    bool m_statusItemMissing = false;
    bool m_launchFinished = false;
    bool m_safeModeAtLaunch = false;
    bool m_saveProblemNoticed = false; // told once per run
    bool m_observersInstalled = false;
    // The key wiring's display and observers (AppDelegateKeys.cpp).
    std::unique_ptr<QObject> m_keyWiring;
    // A child of the delegate, so it goes with it.
    TakeoverWindowController* m_takeover = nullptr;
    WelcomeWindowController* m_welcome = nullptr;
    std::unique_ptr<XDRBoostController> m_xdrBoostController;
};
