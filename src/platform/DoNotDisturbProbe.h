#pragma once

enum class DoNotDisturbState { active, inactive, unknown };

// Whether the desktop holds back notifications (do not disturb). Reads are cheap
// and may come from any thread.
class DoNotDisturbProbe {
public:
    virtual ~DoNotDisturbProbe() = default;
    virtual DoNotDisturbState state() const = 0;
};
