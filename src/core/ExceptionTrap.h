#pragma once

#include <QString>
#include <functional>

// Runs a call into a platform library and turns an exception the platform raises
// inside it into a false result with a message, so that a misbehaving library cannot
// end the process. On Linux the platform's exceptions are the standard ones: every
// exception derived from std::exception (what the C++ runtime, Qt and the system
// libraries' C++ bindings throw). Anything else thrown is no platform failure and goes
// on to the caller unchanged, as does a thread's cancellation.
class ObjCExceptionHandler {
public:
    // Returns true when the block returned normally. On a platform exception logs
    // "[Halcyra] C++ exception caught: <type> — <text>" and, when `error` is given,
    // stores "<type>: <text>" ("(no reason)" for an empty text) in it.
    static bool tryExecuting(const std::function<void()>& block, QString* error);
    static bool tryExecuting(const std::function<void()>& block) {
        return tryExecuting(block, nullptr);
    }
};
