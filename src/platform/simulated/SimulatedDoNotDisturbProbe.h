#pragma once

#include "platform/DoNotDisturbProbe.h"

#include <atomic>

// Do not disturb as a test sets it; unknown at first.
class SimulatedDoNotDisturbProbe final : public DoNotDisturbProbe {
public:
    DoNotDisturbState state() const override { return m_state.load(); }
    void setState(DoNotDisturbState state) { m_state = state; }

private:
    std::atomic<DoNotDisturbState> m_state{DoNotDisturbState::unknown};
};
