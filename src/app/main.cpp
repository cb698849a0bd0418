#include "core/Logging.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcMain, "com.halcyra.app.main")

int main(int argc, char* argv[]) {
    Logging::install();
    if (!Platform::hasX11Display() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Halcyra"));
    QApplication::setQuitOnLastWindowClosed(false);
    Platform& platform = Platform::instance();
    if (platform.isSimulated())
        qCInfo(lcMain) << "No display server reachable — running on the simulated platform";
    return app.exec();
}
