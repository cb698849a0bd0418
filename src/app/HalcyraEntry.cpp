#include "app/HalcyraEntry.h"

#include "app/AppDelegate.h"
#include "app/CPUWatchdog.h"
#include "app/SessionEnd.h"
#include "app/SnapshotRunner.h"
#include "core/NotificationCenter.h"
#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "platform/DisplayGamma.h"
#include "platform/InstanceLock.h"
#include "platform/Platform.h"
#include "sound/SoundCueEngine.h"

#include <QApplication>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcMain, "com.halcyra.app.main")

namespace {
// The process-wide services, made here in this order before anything else can make
// them by first use, so that everything made later (the delegate included) is taken
// down before them.
void makeProcessServices() {
    NotificationCenter::defaultCenter();
    UserDefaults::standard();
    Preferences::shared();
    Platform::instance();
    CPUWatchdog::shared();
    SoundCueEngine::shared();
}
} // namespace

HalcyraEntry::Road HalcyraEntry::road(const std::optional<QByteArray>& value) {
    if (value && *value == "1") return Road::welcomeSnapshot;
    if (value && *value == "scheduling") return Road::schedulingSnapshot;
    return Road::ordinary;
}

HalcyraEntry::Road HalcyraEntry::roadFromEnvironment() {
    if (!qEnvironmentVariableIsSet("HALCYRA_TEST_SNAPSHOT")) return road(std::nullopt);
    return road(qgetenv("HALCYRA_TEST_SNAPSHOT"));
}

int HalcyraEntry::main(int argc, char* argv[]) {
    const Road chosen = roadFromEnvironment();
    if (chosen != Road::ordinary) {
        // Snapshots never show a window: render off screen whatever the session is.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Halcyra"));
        if (chosen == Road::welcomeSnapshot) SnapshotRunner::run();
        SnapshotRunner::runScheduling();
    }

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        if (!Platform::hasX11Display())
            qputenv("QT_QPA_PLATFORM", "offscreen");
        else if (Platform::hasWaylandDisplay())
            // Native Wayland lets no client place its own popover: on XWayland ours
            // opens where it belongs.
            qputenv("QT_QPA_PLATFORM", "xcb");
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Halcyra"));
    // The installed entry's name, so a desktop matches the windows to its icon.
    QApplication::setDesktopFileName(QStringLiteral("com.halcyra.Halcyra"));
    QApplication::setQuitOnLastWindowClosed(false);

    // Before the platform or any setting is touched: a second copy leaves at once.
    // Owned here, like the delegate, and released after it.
    std::unique_ptr<InstanceLock> lock = Platform::makeInstanceLock();
    if (!AppDelegate::claimSingleInstanceAfterRelaunch(*lock, 10000)) return 0;

    makeProcessServices();
    Platform& platform = Platform::instance();
    if (platform.isSimulated())
        qCInfo(lcMain) << "No display server reachable — running on the simulated platform";
    else if (platform.displayGammaViaX11() && Platform::hasWaylandDisplay())
        qCWarning(lcMain).noquote() << QStringLiteral(
            "Wayland session: the displays are reached through XWayland, whose gamma ramps may "
            "never reach the screens — the tint can be reported applied and still not show");

    auto delegate = std::make_unique<AppDelegate>();
    // Diagnostics: how soon the watchdog looks again for a missing status icon.
    if (const int ms = qEnvironmentVariableIntValue("HALCYRA_STATUS_WATCHDOG_MS"); ms > 0)
        delegate->statusItemWatchdogIntervalMs = ms;
    delegate->wireSubsystems();
    QObject::connect(lock.get(), &InstanceLock::activationRequested, delegate.get(),
                     &AppDelegate::applicationShouldHandleReopen);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, delegate.get(),
                     &AppDelegate::applicationWillTerminate);

    // An exit from inside the loop (the X server went away) saves and leaves without
    // static destruction; our own quit returns here and tears down in order.
    // A compositor's gamma outlives XWayland, whose end ends the session for us: hand
    // the displays back while it still answers.
    const bool gammaOutlivesDisplay = !platform.displayGammaViaX11();
    SessionEnd::arm([gammaOutlivesDisplay] {
        UserDefaults::standard().synchronize();
        InstanceLock::releaseForExit();
        if (gammaOutlivesDisplay) Platform::instance().displayGamma().restoreColorSettings();
    });
    // The launch runs just before the loop starts: the gamma backend sends what the loop
    // would hold back until it next waits at once, so the stored tint reaches the
    // screens when the launch pushes it, not after the rest of the launch.
    delegate->applicationDidFinishLaunching();
    const int status = app.exec();
    SessionEnd::disarm();
    delegate.reset();
    lock.reset();
    UserDefaults::standard().synchronize();
    return status;
}
