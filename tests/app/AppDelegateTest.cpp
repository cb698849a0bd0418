#include "app/AppDelegate.h"
#include "app/CPUWatchdog.h"
#include "app/PopoverWindow.h"
#include "app/StatusItem.h"
#include "brightness/NativeBrightnessController.h"
#include "core/Logging.h"
#include "core/NotificationCenter.h"
#include "core/Preferences.h"
#include "core/Version.h"
#include "platform/Platform.h"
#include "platform/simulated/SimulatedDesktopNotifier.h"
#include "platform/simulated/SimulatedDisplayGamma.h"
#include "platform/simulated/SimulatedInputHold.h"
#include "platform/simulated/SimulatedInstanceLock.h"
#include "platform/simulated/SimulatedNativeBacklight.h"
#include "support/TestStore.h"
#include "warmth/ColorTemperature.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QWidget>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

class AppDelegateTest : public ::testing::Test {
protected:
    void SetUp() override {
        Platform::setInstance(Platform::makeSimulated());
        DisplayedWarmth::resetForTesting();
        NativeBrightnessController::resetForTesting();
    }
    void TearDown() override { m_delegate.reset(); }

    SimulatedDisplayGamma& gamma() { return *Platform::instance().simulatedDisplayGamma(); }
    SimulatedDesktopNotifier& notices() { return *Platform::instance().simulatedDesktopNotifier(); }
    UserDefaults& defaults() { return m_store.defaults(); }

    void seedTint(bool enabled) {
        defaults().setBool(PrefKey::enabled, enabled);
        defaults().setDouble(PrefKey::temperature, 3400);
        defaults().setDouble(PrefKey::intensity, 4);
        defaults().setDouble(PrefKey::brightness, 1);
    }

    // A delegate whose every hook records its name.
    AppDelegate& makeDelegate() {
        m_delegate = std::make_unique<AppDelegate>(m_clock);
        ShellHooks& h = m_delegate->hooks();
        auto rec = [this](const char* name) {
            return [this, name] { m_calls << QString::fromLatin1(name); };
        };
        h.setupViewModel = rec("setupViewModel");
        h.setupSunsetScheduler = rec("setupSunsetScheduler");
        h.startInsightsSampling = rec("startInsightsSampling");
        h.setupShortcuts = rec("setupShortcuts");
        h.runFirstRunFlow = [this](bool seen) {
            m_calls << QStringLiteral("runFirstRunFlow(%1)").arg(seen);
        };
        h.installSystemEventObservers = rec("installSystemEventObservers");
        h.disableDithering = rec("disableDithering");
        h.startAmbientLight = rec("startAmbientLight");
        h.startALSMonitoring = rec("startALSMonitoring");
        h.startKeyboardSync = rec("startKeyboardSync");
        h.engageHarmony = [this](double i) {
            m_calls << QStringLiteral("engageHarmony(%1)").arg(i);
        };
        h.restoreStaleHarmonyBaseline = rec("restoreStaleHarmonyBaseline");
        h.startKeyInterceptor = rec("startKeyInterceptor");
        h.keyInterceptorActive = [this] { return m_interceptorActive; };
        h.installXDRObservers = rec("installXDRObservers");
        m_delegate->setCrashLoopAlertPresenter([this] { ++m_alerts; });
        m_delegate->popUpMenu = [this](QMenu&) { ++m_menus; };
        m_delegate->trayHost.present = [this] { return m_trayHost; };
        m_delegate->trayHost.iconGeometry = [this] { return m_iconGeometry; };
        return *m_delegate;
    }

    QStringList launch() {
        LogCapture capture;
        m_delegate->applicationDidFinishLaunching();
        return capture.messages(QStringLiteral("com.halcyra.app.menubar"));
    }

    TestStore m_store;
    ManualClock m_clock{QDateTime::currentDateTimeUtc()};
    std::unique_ptr<AppDelegate> m_delegate;
    QStringList m_calls;
    bool m_interceptorActive = false;
    bool m_trayHost = true;
    QRect m_iconGeometry; // not said
    int m_alerts = 0;
    int m_menus = 0;
};

} // namespace

TEST_F(AppDelegateTest, LaunchWithTheTintOnAppliesItAndStartsEverythingInOrder) {
    seedTint(true);
    defaults().setBool(PrefKey::disableDithering, true);
    defaults().setBool(PrefKey::brightnessKeyInterception, true);
    defaults().setBool(PrefKey::xdrBoostEnabled, true);
    gamma().overwriteTables(1, {0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, 0.5f});
    AppDelegate& d = makeDelegate();
    const QStringList log = launch();

    EXPECT_EQ(m_calls, (QStringList{"setupViewModel", "setupSunsetScheduler",
                                    "startInsightsSampling", "setupShortcuts", "runFirstRunFlow(0)",
                                    "disableDithering", "startAmbientLight", "startALSMonitoring",
                                    "restoreStaleHarmonyBaseline", "startKeyInterceptor",
                                    "installSystemEventObservers", "installXDRObservers"}));
    EXPECT_GE(gamma().restoreCount(), 1);
    const DisplayTint tint = ColorTemperature::blendedTint(3400, 4);
    EXPECT_NEAR(gamma().display(1)->red.back(), tint.r, 0.01);
    EXPECT_NEAR(gamma().display(1)->blue.back(), tint.b, 0.01);
    EXPECT_TRUE(log.contains(QStringLiteral("overlay state applied: enabled=true")));
    EXPECT_LT(log.indexOf(QStringLiteral("gamma restored")),
              log.indexOf(QStringLiteral("overlay state applied: enabled=true")));
    EXPECT_EQ(log.last().left(36), QStringLiteral("applicationDidFinishLaunching EXIT s"));
    EXPECT_TRUE(d.launchFinished());
    EXPECT_FALSE(defaults().boolean(PrefKey::launchCrashGuard));
    EXPECT_FALSE(defaults().boolean(PrefKey::xdrBoostEnabled));
    EXPECT_EQ(defaults().stringValue(PrefKey::lastSeenVersion), Bundle::halcyraVersion());
    EXPECT_EQ(notices().count(QStringLiteral("halcyra.safe-mode")), 0);
    EXPECT_EQ(d.statusItem()->color(), StatusItem::enabledColor());
}

TEST_F(AppDelegateTest, LaunchWithTheTintOffTouchesNoTableAndStartsNoPeripheral) {
    seedTint(false);
    defaults().setBool(PrefKey::brightnessKeyInterception, true);
    defaults().setBool(PrefKey::disableDithering, true);
    defaults().setBool(PrefKey::keyboardBrightnessSync, true);
    defaults().setBool(PrefKey::welcomeShown, true);
    AppDelegate& d = makeDelegate();
    const QStringList log = launch();
    EXPECT_EQ(gamma().totalLoads(), 0);
    EXPECT_TRUE(log.contains(QStringLiteral("overlay state applied: enabled=false")));
    for (const char* absent :
         {"disableDithering", "startAmbientLight", "startKeyboardSync", "startKeyInterceptor"})
        EXPECT_FALSE(m_calls.contains(QString::fromLatin1(absent))) << absent;
    EXPECT_TRUE(m_calls.contains(QStringLiteral("restoreStaleHarmonyBaseline")));
    EXPECT_TRUE(m_calls.contains(QStringLiteral("runFirstRunFlow(1)")));
    EXPECT_EQ(d.statusItem()->color(), StatusItem::disabledColor());

    // Becoming active takes the keys their setting asks for, with the tint off too.
    d.applicationDidBecomeActive();
    EXPECT_EQ(m_calls.count(QStringLiteral("startKeyInterceptor")), 1);
}

TEST_F(AppDelegateTest, FullHarmonyWinsOverKeyboardSync) {
    seedTint(true);
    defaults().setBool(PrefKey::fullHarmonyEnabled, true);
    defaults().setBool(PrefKey::keyboardBrightnessSync, true);
    defaults().setDouble(PrefKey::intensity, 2.5);
    makeDelegate();
    launch();
    EXPECT_FALSE(defaults().boolean(PrefKey::keyboardBrightnessSync));
    EXPECT_FALSE(m_calls.contains(QStringLiteral("startKeyboardSync")));
    EXPECT_TRUE(m_calls.contains(QStringLiteral("engageHarmony(2.5)")));
    EXPECT_FALSE(m_calls.contains(QStringLiteral("restoreStaleHarmonyBaseline")));
}

TEST_F(AppDelegateTest, SafeModeLeavesOutTheRiskyControllersAndSaysSo) {
    seedTint(true);
    defaults().setBool(PrefKey::safeMode, true);
    defaults().setBool(PrefKey::brightnessKeyInterception, true);
    defaults().setBool(PrefKey::disableDithering, true);
    AppDelegate& d = makeDelegate();
    const QStringList log = launch();
    for (const char* line :
         {"SAFE MODE — skipping DitheringController, AmbientLightController, ALS monitoring",
          "SAFE MODE — skipping BrightnessKeyInterceptor",
          "SAFE MODE — skipping XDRBoostController",
          "Running in SAFE MODE — advanced features disabled"})
        EXPECT_TRUE(log.contains(QString::fromUtf8(line))) << line;
    for (const char* absent : {"disableDithering", "startAmbientLight", "startALSMonitoring",
                               "startKeyInterceptor", "installXDRObservers"})
        EXPECT_FALSE(m_calls.contains(QString::fromLatin1(absent))) << absent;
    EXPECT_TRUE(gamma().totalLoads() > 0); // the tint itself still applies
    EXPECT_EQ(notices().count(QStringLiteral("halcyra.safe-mode")), 1);
    EXPECT_EQ(notices().posted().last().body,
              QStringLiteral(
                  "Some features were disabled to prevent a crash. Open Settings to re-enable."));

    // Becoming active starts the interceptor its setting asks for, in safe mode too,
    // and not while it already runs nor with the setting off.
    d.applicationDidBecomeActive();
    EXPECT_EQ(m_calls.count(QStringLiteral("startKeyInterceptor")), 1);
    m_interceptorActive = true;
    d.applicationDidBecomeActive();
    m_interceptorActive = false;
    defaults().setBool(PrefKey::brightnessKeyInterception, false);
    d.applicationDidBecomeActive();
    EXPECT_EQ(m_calls.count(QStringLiteral("startKeyInterceptor")), 1);
}

TEST_F(AppDelegateTest, CrashLoopAlertComesAfterTheLaunchSequence) {
    defaults().setDouble(PrefKey::lastLaunchTime, m_clock.secondsSince1970() - 5);
    defaults().setInteger(PrefKey::crashRecoveryCount, 2);
    makeDelegate();
    launch();
    EXPECT_EQ(m_alerts, 0);
    EXPECT_TRUE(waitUntil([&] { return m_alerts == 1; }, 1000));
    EXPECT_TRUE(defaults().boolean(PrefKey::safeMode));
}

TEST_F(AppDelegateTest, EmergencyResetTurnsTheTintOffAndClearsEveryTable) {
    seedTint(true);
    AppDelegate& d = makeDelegate();
    launch();
    const int restoresBefore = gamma().restoreCount();
    d.xdrBoostSuspendedForCapture = true;
    QString xdrReason;
    d.hooks().xdrEmergencyReset = [&](const QString& r) { xdrReason = r; };

    LogCapture capture;
    d.emergencyResetFromMenu();
    EXPECT_EQ(xdrReason, QStringLiteral("menu bar"));
    EXPECT_FALSE(d.xdrBoostSuspendedForCapture);
    EXPECT_FALSE(defaults().boolean(PrefKey::enabled));
    EXPECT_GT(gamma().restoreCount(), restoresBefore);
    EXPECT_EQ(DisplayedWarmth::recorded(), DisplayTint::identity());
    EXPECT_TRUE(capture.contains(
        QStringLiteral("Emergency reset: all display effects cleared (menu bar)"), QtInfoMsg));

    // Already off: the switch is not toggled again, the tables are still cleared.
    int toggles = 0;
    d.hooks().toggleEnabled = [&] { ++toggles; };
    d.resetAllDisplayEffects(QStringLiteral("panic hotkey"));
    EXPECT_EQ(toggles, 0);
    defaults().setBool(PrefKey::enabled, true);
    d.resetAllDisplayEffects(QStringLiteral("panic hotkey"));
    EXPECT_EQ(toggles, 1);
}

TEST_F(AppDelegateTest, ClicksOpenThePopoverOrTheEmergencyMenu) {
    AppDelegate& d = makeDelegate();
    launch();
    EXPECT_EQ(d.emergencyMenuTitles(),
              (QStringList{"Reset Display Effects", QString(), "Panic key: Ctrl+Alt+Super+R",
                           QString(), "Quit Halcyra"}));
    d.hooks().xdrBoostWindowExists = [] { return true; };
    EXPECT_EQ(d.emergencyMenuTitles().at(1), QStringLiteral("Keep XDR Boost (dismiss countdown)"));

    d.statusItemClicked(true);
    EXPECT_EQ(m_menus, 1);
    EXPECT_FALSE(d.popoverVisible());
    ASSERT_TRUE(d.emergencyMenu());
    const QList<QAction*> items = d.emergencyMenu()->actions();
    ASSERT_EQ(items.size(), 6);
    EXPECT_EQ(items.at(3)->text(), AppDelegate::panicKeyTitle());
    EXPECT_FALSE(items.at(3)->isEnabled()); // the panic key line only informs
    EXPECT_TRUE(items.last()->isEnabled());

    // The popover's view is made at its first opening, once, and sizes the popover.
    struct View : QWidget {
        QSize sizeHint() const override { return {320, 200}; }
    };
    int made = 0;
    d.hooks().makePopoverContent = [&made]() -> QWidget* {
        ++made;
        return new View;
    };
    EXPECT_FALSE(d.popover()->hasContent());
    bool hookVisible = false;
    d.hooks().popoverVisibilityChanged = [&](bool v) { hookVisible = v; };
    d.statusItemClicked(false);
    EXPECT_TRUE(d.popoverVisible());
    EXPECT_TRUE(d.popover()->isShown());
    EXPECT_TRUE(hookVisible);
    EXPECT_EQ(d.popover()->size(), QSize(320, 200));
    d.statusItemClicked(false);
    EXPECT_FALSE(d.popoverVisible());
    EXPECT_FALSE(d.popover()->isShown());
    EXPECT_FALSE(hookVisible);

    d.togglePopoverFromHotkey(); // no tray host here: opens detached
    EXPECT_TRUE(d.popoverVisible());
    d.togglePopoverFromHotkey();
    EXPECT_FALSE(d.popoverVisible());
    EXPECT_EQ(made, 1);

    // Opened while another client still has the keyboard (the shortcut's key is down):
    // the popover asks again until it holds the keys, and then Esc closes it.
    SimulatedInputHold& hold = *Platform::instance().simulatedInputHold();
    hold.refuseKeyboard(3);
    d.togglePopoverFromHotkey();
    PopoverWindow& popover = *d.popover();
    EXPECT_TRUE(hold.pointerHeld());
    EXPECT_FALSE(hold.keyboardHeld());
    QElapsedTimer waited;
    waited.start();
    while (!hold.keyboardHeld() && waited.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    EXPECT_TRUE(hold.keyboardHeld());
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&popover, &esc);
    EXPECT_FALSE(d.popoverVisible());
    EXPECT_FALSE(hold.pointerHeld() || hold.keyboardHeld());

    // A press outside closes it when the button comes up, but not one in the frame of
    // the shown settings window.
    d.statusItemClicked(false);
    QWidget settings;
    settings.setGeometry(popover.geometry().right() + 20, 100, 300, 200);
    settings.show();
    popover.companion = [&] { return &settings; };
    auto click = [&](QPoint global) {
        const QPointF local = popover.mapFromGlobal(global);
        QMouseEvent press(QEvent::MouseButtonPress, local, local, global, Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&popover, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, local, local, global, Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&popover, &release);
    };
    click(settings.frameGeometry().center());
    EXPECT_TRUE(d.popoverVisible());
    settings.hide();
    click(settings.frameGeometry().center());
    EXPECT_FALSE(d.popoverVisible());

    // The application's own windows take their presses themselves: the settings window's
    // keeps the popover, another one's closes it.
    settings.show();
    QWidget tour;
    tour.show();
    d.statusItemClicked(false);
    auto pressOn = [](QWidget& w) {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), w.mapToGlobal(QPointF(5, 5)),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &press);
    };
    pressOn(settings);
    EXPECT_TRUE(d.popoverVisible());
    // The settings window has the keys now; a press in the popover takes them back.
    EXPECT_FALSE(hold.keyboardHeld());
    EXPECT_TRUE(hold.pointerHeld());
    pressOn(popover);
    EXPECT_TRUE(hold.keyboardHeld());
    pressOn(tour);
    EXPECT_FALSE(d.popoverVisible());
}

TEST_F(AppDelegateTest, WatchdogWaitsQuietlyForATrayHostAndLeavesAnOpenPopoverAlone) {
    m_trayHost = false;
    AppDelegate& d = makeDelegate();
    const QStringList log = launch();
    EXPECT_TRUE(
        log.contains(QStringLiteral("ERROR: QSystemTrayIcon has no button — registration failed")));
    EXPECT_TRUE(log.last().endsWith(QStringLiteral("button=nil")));

    // The panel shortcut's popover, opened where no status area shows the icon.
    d.togglePopoverFromHotkey();
    ASSERT_TRUE(d.popover()->isShown());
    LogCapture capture;
    for (int tick = 0; tick < 5; ++tick)
        d.statusItemWatchdogTick();
    const QStringList missing = capture.messages(QStringLiteral("com.halcyra.app.menubar"));
    EXPECT_EQ(missing, (QStringList{"WATCHDOG: status item button missing — recreating"}));
    EXPECT_TRUE(d.popover()->isShown());
    EXPECT_TRUE(d.popoverVisible());

    // A host has appeared: the item is made for it, once, and said to be back.
    m_trayHost = true;
    d.statusItemWatchdogTick();
    StatusItem* shown = d.statusItem();
    ASSERT_TRUE(shown->hasButton());
    EXPECT_TRUE(d.popover()->isShown());
    d.statusItemWatchdogTick();
    EXPECT_EQ(d.statusItem(), shown);
    const QStringList all = capture.messages(QStringLiteral("com.halcyra.app.menubar"));
    EXPECT_EQ(all.count(QStringLiteral("WATCHDOG: status item button missing — recreating")), 1);
    EXPECT_EQ(
        all.count(QStringLiteral("WATCHDOG: status item button back — the status area shows it")),
        1);
    EXPECT_EQ(all.count(QStringLiteral("installManualStatusItem ENTRY")), 1);

    // Gone again later: said once more, then quiet again.
    m_trayHost = false;
    d.statusItemWatchdogTick();
    d.statusItemWatchdogTick();
    EXPECT_EQ(capture.messages(QStringLiteral("com.halcyra.app.menubar"))
                  .count(QStringLiteral("WATCHDOG: status item button missing — recreating")),
              2);
}

TEST_F(AppDelegateTest, ASecondLaunchShowsThePopoverOrWithoutAnIconTheSettings) {
    AppDelegate& d = makeDelegate();
    int settingsShown = 0;
    d.hooks().showSettings = [&] { ++settingsShown; };
    launch();
    EXPECT_FALSE(d.applicationShouldHandleReopen());
    EXPECT_TRUE(d.popover()->isShown());
    EXPECT_EQ(settingsShown, 0);
    EXPECT_FALSE(d.applicationShouldHandleReopen()); // already open: stays open
    EXPECT_TRUE(d.popover()->isShown());
    d.closePopover();

    m_trayHost = false; // the desktop shows no status area
    EXPECT_FALSE(d.applicationShouldHandleReopen());
    EXPECT_EQ(settingsShown, 1);
    EXPECT_FALSE(d.popover()->isShown());
}

TEST_F(AppDelegateTest, MenuBarTitleFollowsTheSettingsAndSurvivesBadValues) {
    seedTint(true);
    AppDelegate& d = makeDelegate();
    launch();
    defaults().setBool(PrefKey::showTemperatureInMenuBar, true);
    defaults().setDouble(PrefKey::temperature, 3456.7);
    d.updateMenuBarIconColor();
    EXPECT_EQ(d.statusItem()->title(), QStringLiteral(" 3456K"));
    defaults().setDouble(PrefKey::temperature, 1e9);
    d.updateMenuBarIconColor();
    EXPECT_EQ(d.statusItem()->title(), QStringLiteral(" 6500K"));
    defaults().setBool(PrefKey::enabled, false);
    NotificationCenter::defaultCenter().post(QStringLiteral("halcyraWarmthRampSettled"));
    QCoreApplication::processEvents();
    EXPECT_EQ(d.statusItem()->color(), StatusItem::disabledColor());
    defaults().setBool(PrefKey::showTemperatureInMenuBar, false);
    d.updateMenuBarIconColor();
    EXPECT_TRUE(d.statusItem()->title().isEmpty());
}

TEST_F(AppDelegateTest, HiddenIconHintIsPostedOnceEver) {
    AppDelegate& d = makeDelegate();
    launch();
    // A host that puts the icon off every screen.
    m_iconGeometry = QRect(-400, -400, 22, 22);
    EXPECT_FALSE(d.statusItemIsVisibleOnScreen());
    LogCapture capture;
    d.checkStatusItemVisibilityHint();
    d.checkStatusItemVisibilityHint();
    m_trayHost = false; // nor when the status area goes away later
    d.checkStatusItemVisibilityHint();
    EXPECT_EQ(notices().count(QStringLiteral("halcyra.menubar.hidden.hint")), 1);
    EXPECT_EQ(notices().posted().last().body,
              QStringLiteral("Your panel is full, so the Halcyra icon may be hidden. Press "
                             "Shift+Super+S to open Halcyra anytime."));
    EXPECT_TRUE(capture.contains(
        QStringLiteral("Menu bar icon hidden at launch — posted Shift+Super+S hint")));
    EXPECT_TRUE(defaults().boolean(PrefKey::menuBarHiddenHintShown));
}

TEST_F(AppDelegateTest, WithoutAStatusAreaTheHintSaysHowToReachHalcyra) {
    m_trayHost = false;
    AppDelegate& d = makeDelegate();
    launch();
    d.checkStatusItemVisibilityHint();
    ASSERT_EQ(notices().count(QStringLiteral("halcyra.menubar.hidden.hint")), 1);
    EXPECT_EQ(notices().posted().last().body,
              QStringLiteral("Your desktop shows no status icons, so the Halcyra icon is hidden. "
                             "Press Shift+Super+S or launch Halcyra again from the application "
                             "menu to open Halcyra anytime."));
    // Shown, the icon needs no hint.
    defaults().setBool(PrefKey::menuBarHiddenHintShown, false);
    m_trayHost = true;
    d.checkStatusItemVisibilityHint();
    EXPECT_EQ(notices().count(QStringLiteral("halcyra.menubar.hidden.hint")), 1);
}

TEST_F(AppDelegateTest, QuitFromTheMenuAndTheWindowKeysEndTheLoopAndOpenTheSettings) {
    AppDelegate& d = makeDelegate();
    int quits = 0, settingsShown = 0;
    d.quitApplication = [&] { ++quits; };
    d.hooks().showSettings = [&] { ++settingsShown; };
    launch();
    d.statusItemClicked(true);
    ASSERT_TRUE(d.emergencyMenu());
    QAction* last = d.emergencyMenu()->actions().last();
    EXPECT_EQ(last->text(), QStringLiteral("Quit Halcyra"));
    last->trigger();
    EXPECT_EQ(quits, 1);

    QWidget window;
    window.show();
    auto press = [&](int key, Qt::KeyboardModifiers mods) {
        QKeyEvent event(QEvent::KeyPress, key, mods);
        return QApplication::sendEvent(&window, &event) && event.isAccepted();
    };
    LogCapture capture;
    press(Qt::Key_Comma, Qt::ControlModifier);
    EXPECT_EQ(settingsShown, 1);
    EXPECT_TRUE(
        capture.contains(QStringLiteral("cmd-comma: routing to showSettings (bug 9d946bcd)")));
    press(Qt::Key_Comma, Qt::ControlModifier | Qt::ShiftModifier); // passes
    press(Qt::Key_Comma, Qt::NoModifier);
    EXPECT_EQ(settingsShown, 1);
    press(Qt::Key_Q, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(quits, 1);
    press(Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(quits, 2);
}

TEST_F(AppDelegateTest, ReloadAndTerminationHandBackWhatTheyShould) {
    seedTint(true);
    AppDelegate& d = makeDelegate();
    launch();
    int pins = 0, syncs = 0;
    d.hooks().pinManualOverrideForReload = [&] { ++pins; };
    d.hooks().syncViewModelFromPreferences = [&] { ++syncs; };

    // Another writer changes the file; the reload reads it before re-applying.
    {
        UserDefaults other(defaults().filePath());
        other.setDouble(PrefKey::temperature, 2000);
    }
    d.reloadPreferences();
    EXPECT_NEAR(gamma().display(1)->blue.back(), ColorTemperature::blendedTint(2000, 4).b, 0.01);
    EXPECT_EQ(pins, 0);
    EXPECT_EQ(syncs, 1);
    defaults().setBool(PrefKey::useSchedule, true);
    d.reloadPreferences();
    EXPECT_EQ(pins, 1);

    // A pinned backlight goes back to the user's level on a termination signal.
    auto* backlight = Platform::instance().simulatedNativeBacklight();
    backlight->setLevelExternally(0.4f);
    NativeBrightnessController::acquireLock(
        NativeBrightnessController::BrightnessLock::keyInterceptor());
    EXPECT_FLOAT_EQ(backlight->level(), 1.0f);
    const int restoresBefore = gamma().restoreCount();
    d.handBackForTermination();
    EXPECT_NEAR(backlight->level(), 0.4f, 0.001);
    EXPECT_FALSE(defaults().contains(PrefKey::preBrightnessKeyNativeBrightness));
    EXPECT_TRUE(NativeBrightnessController::lockHolders().isEmpty());
    EXPECT_GT(gamma().restoreCount(), restoresBefore);
    EXPECT_TRUE(defaults().boolean(PrefKey::enabled));
}

TEST_F(AppDelegateTest, QuitHandsTheBacklightBackAndLeavesThatOnDisk) {
    seedTint(true);
    AppDelegate& d = makeDelegate();
    launch();
    auto* backlight = Platform::instance().simulatedNativeBacklight();
    backlight->setLevelExternally(0.4f);
    NativeBrightnessController::acquireLock(
        NativeBrightnessController::BrightnessLock::keyInterceptor());
    ASSERT_TRUE(
        UserDefaults(defaults().filePath()).contains(PrefKey::preBrightnessKeyNativeBrightness));

    const int restoresBefore = gamma().restoreCount();
    d.applicationWillTerminate();
    EXPECT_NEAR(backlight->level(), 0.4f, 0.001);
    EXPECT_TRUE(NativeBrightnessController::lockHolders().isEmpty());
    EXPECT_GT(gamma().restoreCount(), restoresBefore);
    // What the next start reads: the saved level is gone, the tint stays on.
    UserDefaults onDisk(defaults().filePath());
    EXPECT_FALSE(onDisk.contains(PrefKey::preBrightnessKeyNativeBrightness));
    EXPECT_TRUE(onDisk.boolean(PrefKey::enabled));
}

TEST(AppDelegateInstance, ASecondCopyIsRefusedAndBringsTheFirstForward) {
    SimulatedInstanceLock first(QStringLiteral("delegate-test"));
    first.setPid(777);
    ASSERT_TRUE(AppDelegate::claimSingleInstance(first));
    SimulatedInstanceLock second(QStringLiteral("delegate-test"));
    int activations = 0;
    QObject::connect(&first, &InstanceLock::activationRequested, [&] { ++activations; });
    LogCapture capture;
    EXPECT_FALSE(AppDelegate::claimSingleInstance(second));
    EXPECT_TRUE(
        capture.contains(QStringLiteral("Duplicate Halcyra instance (pid 777 already running) — "
                                        "terminating this copy before tap creation"),
                         QtInfoMsg));
    EXPECT_TRUE(waitUntil([&] { return activations == 1; }, 1000));
}

TEST_F(AppDelegateTest, SettingsThatCannotBeSavedAreToldOnceInADesktopNotice) {
    seedTint(true);
    ASSERT_TRUE(defaults().synchronize());
    const QString folder = QFileInfo(m_store.path()).absolutePath();
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
    makeDelegate();
    launch();
    QCoreApplication::processEvents();
    for (int i = 0; i < 3; ++i) { // later refused saves, of another cause too
        defaults().setDouble(PrefKey::brightness, 0.5 + i * 0.1);
        QCoreApplication::processEvents();
    }
    ASSERT_EQ(::chmod(QFile::encodeName(m_store.path()).constData(), 0444), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
    defaults().setDouble(PrefKey::brightness, 0.4);
    QCoreApplication::processEvents();
    EXPECT_EQ(notices().count(AppDelegate::saveProblemNoticeIdentifier), 1);
    for (const auto& notice : notices().posted()) {
        if (notice.identifier != AppDelegate::saveProblemNoticeIdentifier) continue;
        EXPECT_EQ(notice.title, QStringLiteral("Halcyra cannot save its settings"));
        EXPECT_TRUE(notice.body.contains(QStringLiteral("cannot be written")))
            << notice.body.toStdString();
    }
    ASSERT_EQ(::chmod(QFile::encodeName(m_store.path()).constData(), 0644), 0);
}
