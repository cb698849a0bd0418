#include "app/SessionEnd.h"

#include <QLoggingCategory>
#include <atomic>
#include <cstdio>
#include <cstdlib>

Q_LOGGING_CATEGORY(lcSessionEnd, "com.halcyra.app.main")

namespace {

std::atomic<bool> g_armed{false};
// Never destroyed: static destruction is exactly what the guard runs ahead of.
std::function<void()>* g_lastWill = nullptr;

void onExit(int status, void*) {
    if (!g_armed.exchange(false)) return;
    if (g_lastWill && *g_lastWill) (*g_lastWill)();
    qCCritical(lcSessionEnd).noquote()
        << QStringLiteral("Display connection lost — ending with status %1: settings saved, the "
                          "displays' saved ramps kept for the next start")
               .arg(status);
    std::fflush(nullptr);
    std::_Exit(status);
}

} // namespace

void SessionEnd::arm(std::function<void()> lastWill) {
    static const bool registered = [] {
        // Made now, so that it outlives everything destroyed ahead of the guard.
        (void)lcSessionEnd();
        g_lastWill = new std::function<void()>();
        return ::on_exit(onExit, nullptr) == 0;
    }();
    if (!registered) {
        qCWarning(lcSessionEnd).noquote()
            << QStringLiteral("Cannot watch for the end of the session — a lost display "
                              "connection ends the process without saving first");
        return;
    }
    *g_lastWill = std::move(lastWill);
    g_armed = true;
}

void SessionEnd::disarm() {
    g_armed = false;
}

bool SessionEnd::isArmed() {
    return g_armed;
}
