#pragma once

// A mark, kept apart from the settings, that the onboarding was completed: deleting
// the settings does not bring the first-run takeover back. Errors never surface: a
// failed lookup reads as "not completed", a failed write is only logged.
class OnboardingMarker {
public:
    virtual ~OnboardingMarker() = default;
    virtual bool exists() = 0;
    // Replaces any earlier mark.
    virtual void markCompleted() = 0;
};
