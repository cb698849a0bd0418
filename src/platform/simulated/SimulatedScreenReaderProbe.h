#pragma once

#include "platform/ScreenReaderProbe.h"

#include <atomic>

// A screen reader that runs when a test says so; off at first.
class SimulatedScreenReaderProbe final : public ScreenReaderProbe {
public:
    bool isRunning() const override { return m_running.load(); }
    void setRunning(bool running) { m_running = running; }

private:
    std::atomic<bool> m_running{false};
};
