#include "ExceptionTrap.h"

#include <QDebug>
#include <cxxabi.h>
#include <exception>
#include <typeinfo>

namespace {

QString demangledTypeName(const std::type_info* type) {
    if (!type) return QStringLiteral("unknown exception");
    int status = 0;
    char* name = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
    QString result = QString::fromLatin1(status == 0 && name ? name : type->name());
    std::free(name);
    return result;
}

void report(const QString& name, const QString& reason, QString* error) {
    qWarning().noquote() << QStringLiteral("[Halcyra] ObjC exception caught: %1 — %2")
                                .arg(name, reason.isEmpty() ? QStringLiteral("(null)") : reason);
    if (error)
        *error = QStringLiteral("%1: %2").arg(name, reason.isEmpty() ? QStringLiteral("(no reason)")
                                                                     : reason);
}

} // namespace

bool ObjCExceptionHandler::tryExecuting(const std::function<void()>& block, QString* error) {
    try {
        block();
        return true;
    } catch (abi::__forced_unwind&) {
        // Thread cancellation unwinds through here; swallowing it aborts the process.
        throw;
    } catch (const std::exception& e) {
        report(demangledTypeName(&typeid(e)), QString::fromUtf8(e.what()), error);
    } catch (...) {
        report(demangledTypeName(abi::__cxa_current_exception_type()), QString(), error);
    }
    return false;
}
