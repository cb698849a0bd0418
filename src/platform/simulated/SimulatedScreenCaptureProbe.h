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

    // Whether it claims to announce changes, and tells its listener when `announce`d.
    bool announces = false;
    std::function<void()> handler;
    bool announcesChanges() override { return announces; }
    void setChangeHandler(std::function<void()> h) override { handler = std::move(h); }
    void announce() {
        if (handler) handler();
    }
};
