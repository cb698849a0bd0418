#include "ExceptionTrap.h"

#include <QDebug>
#include <cxxabi.h>
#include <exception>
#include <typeinfo>

namespace {

QString demangledTypeName(const std::type_info& type) {
    int status = 0;
    char* name = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    QString result = QString::fromLatin1(status == 0 && name ? name : type.name());
    std::free(name);
    return result;
}

} // namespace

bool ObjCExceptionHandler::tryExecuting(const std::function<void()>& block, QString* error) {
    try {
        block();
        return true;
    } catch (const std::exception& e) {
        const QString name = demangledTypeName(typeid(e));
        const QString reason = QString::fromUtf8(e.what());
        qWarning().noquote() << QStringLiteral("[Halcyra] C++ exception caught: %1 — %2")
                                    .arg(name,
                                         reason.isEmpty() ? QStringLiteral("(null)") : reason);
        if (error)
            *error = QStringLiteral("%1: %2").arg(
                name, reason.isEmpty() ? QStringLiteral("(no reason)") : reason);
    }
    return false;
}
