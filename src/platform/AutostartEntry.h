#pragma once

#include <QString>

// Whether the application starts with the user's session: a system setting, read
// and written here. Main thread only; nothing throws.
class AutostartEntry {
public:
    enum class State { enabled, disabled, unknown };

    virtual ~AutostartEntry() = default;

    // What the system says now.
    virtual State status() = 0;
    // Asks the system to start (or no longer start) the application with the session.
    // False with a reason in `error` when the request failed.
    virtual bool setRegistered(bool on, QString* error) = 0;
};
