#include "platform/linux/LinuxServiceModule.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>
#include <QLoggingCategory>
#include <array>
#include <mutex>

Q_DECLARE_LOGGING_CATEGORY(lcPlatform)

namespace LinuxServiceModule {

ServiceModule* open(ServiceModule::Part part, const QString& binaryDir) {
    const QString file = QString::fromLatin1(serviceModuleFile(part));
    QString why = QStringLiteral("not found");
    for (const QString& dir : {binaryDir + QStringLiteral("/lib/halcyra"),
                               binaryDir + QStringLiteral("/../lib/halcyra")}) {
        const QString path = dir + QLatin1Char('/') + file;
        if (!QFileInfo(path).isFile()) continue;
        // Kept for the life of the process: its backends outlive any owner of this.
        auto* library = new QLibrary(QFileInfo(path).canonicalFilePath());
        library->setLoadHints(QLibrary::ResolveAllSymbolsHint);
        if (auto entry = reinterpret_cast<ServiceModuleEntry>(
                library->resolve(HALCYRA_SERVICE_MODULE_ENTRY)))
            return entry();
        why = library->errorString();
        delete library;
    }
    qCWarning(lcPlatform).noquote()
        << QStringLiteral("Service module %1 beside %2 could not be opened (%3) — its services "
                          "run without the desktop's")
               .arg(file, binaryDir, why);
    return nullptr;
}

ServiceModule* get(ServiceModule::Part part) {
    struct Slot {
        std::once_flag once;
        ServiceModule* module = nullptr;
    };
    static std::array<Slot, 5> opened;
    Slot& slot = opened.at(static_cast<size_t>(part));
    std::call_once(slot.once, [&slot, part] {
        slot.module = open(part, QCoreApplication::applicationDirPath());
    });
    return slot.module;
}

} // namespace LinuxServiceModule
