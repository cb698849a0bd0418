#pragma once

#include <optional>

// Mute switch and volume of the default audio output, as the sound server tells
// them. Reads are cheap and may come from any thread.
class OutputMuteProbe {
public:
    virtual ~OutputMuteProbe() = default;

    // Whether the default output is muted; none when nobody can tell.
    virtual std::optional<bool> muted() const = 0;
    // The default output's volume, 1.0 at the server's nominal level; none when
    // nobody can tell.
    virtual std::optional<double> volume() const = 0;

    // Muted when it says so, or when its volume is (next to) zero. Unknown counts as
    // not muted.
    bool outputIsMuted() const {
        if (muted().value_or(false)) return true;
        const std::optional<double> v = volume();
        return v && *v <= 0.0001;
    }
};
