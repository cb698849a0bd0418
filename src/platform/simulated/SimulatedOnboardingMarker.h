#pragma once

#include "platform/OnboardingMarker.h"

// The mark in memory.
class SimulatedOnboardingMarker final : public OnboardingMarker {
public:
    bool present = false;
    int writes = 0;
    bool exists() override { return present; }
    void markCompleted() override {
        present = true;
        ++writes;
    }
};
