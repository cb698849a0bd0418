#include "app/HalcyraEntry.h"

#include "app/AppDelegate.h"
#include "app/SnapshotRunner.h"
#include "platform/InstanceLock.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QTimer>

Q_LOGGING_CATEGORY(lcMain, "com.halcyra.app.main")

namespace {
// The only strong references to the delegate and the instance lock for the life of
// the process.
struct DelegateOwner {
    static inline std::unique_ptr<InstanceLock> lock;
    static inline std::unique_ptr<AppDelegate> shared;
};
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

    if (!Platform::hasX11Display() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Halcyra"));
    QApplication::setDesktopFileName(QStringLiteral("halcyra"));
    QApplication::setQuitOnLastWindowClosed(false);

    // Before the platform or any setting is touched: a second copy leaves at once.
    DelegateOwner::lock = Platform::makeInstanceLock();
    if (!AppDelegate::claimSingleInstance(*DelegateOwner::lock)) return 0;

    Platform& platform = Platform::instance();
    if (platform.isSimulated())
        qCInfo(lcMain) << "No display server reachable — running on the simulated platform";

    DelegateOwner::shared = std::make_unique<AppDelegate>();
    AppDelegate* delegate = DelegateOwner::shared.get();
    delegate->wireSubsystems();
    QObject::connect(DelegateOwner::lock.get(), &InstanceLock::activationRequested, delegate,
                     &AppDelegate::applicationShouldHandleReopen);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, delegate,
                     &AppDelegate::applicationWillTerminate);
    QTimer::singleShot(0, delegate, &AppDelegate::applicationDidFinishLaunching);
    const int status = app.exec();
    DelegateOwner::shared.reset();
    DelegateOwner::lock.reset();
    return status;
}
