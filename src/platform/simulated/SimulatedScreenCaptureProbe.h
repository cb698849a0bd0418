#pragma once

#include "platform/ScreenCaptureProbe.h"

// Capture state set by tests.
class SimulatedScreenCaptureProbe final : public ScreenCaptureProbe {
public:
    std::optional<bool> watcher;
    bool shared = false;
    int polls = 0;
    std::optional<bool> screenWatcherPresent() override {
        ++polls;
        return watcher;
    }
    bool sessionScreenIsShared() override { return shared; }
};
