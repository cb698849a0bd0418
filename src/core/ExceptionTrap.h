#pragma once

#include <QString>
#include <functional>

// Runs a call into a platform library and turns an exception thrown inside it into a
// false result with a message, so that a misbehaving library cannot end the process.
class ObjCExceptionHandler {
public:
    // Returns true when the block returned normally. On an exception logs
    // "[Halcyra] ObjC exception caught: <type> — <text>" and, when `error` is given,
    // stores "<type>: <text>" ("(no reason)" for an empty text) in it.
    static bool tryExecuting(const std::function<void()>& block, QString* error);
    static bool tryExecuting(const std::function<void()>& block) { return tryExecuting(block, nullptr); }
};
