#pragma once

#include "platform/AutostartEntry.h"

#include <optional>

// A login-item setting in memory; tests refuse writes and script the read-back.
class SimulatedAutostartEntry final : public AutostartEntry {
public:
    State state = State::disabled;
    // Non-empty: every write fails with this reason.
    QString refuseWith;
    // Set: the read-back reports this whatever was written (a system that overrides).
    std::optional<State> forcedReadBack;

    State status() override { return forcedReadBack.value_or(state); }
    bool setRegistered(bool on, QString* error) override {
        if (!refuseWith.isEmpty()) {
            if (error) *error = refuseWith;
            return false;
        }
        state = on ? State::enabled : State::disabled;
        return true;
    }
};
