#pragma once

#include <QString>

#include <optional>

#include "platform/AutostartEntry.h"

// Starting with the session is the system's setting (the autostart entry); the stored
// "halcyra.launchAtLogin" only mirrors it, and whenever the system's answer is known
// it wins. All static, main thread, nothing throws.
class LoginItemCompat {
public:
    using State = AutostartEntry::State;

    LoginItemCompat() = delete;

    static State currentState();
    // Asks the system; true when the request succeeded.
    static bool setEnabled(bool on);
    // setEnabled, read back, correct the mirror; returns the state read back.
    static State apply(bool on);
    // Makes the mirror follow the system.
    static State reconcile();

    static QString word(State state);
    // What a view shows of the state: on, off, or nothing known.
    static std::optional<bool> known(State state);
};
