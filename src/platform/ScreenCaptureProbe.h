#pragma once

#include <optional>

// Whether the screen is being captured, recorded or shared now. Asked once a second
// on the main thread; answers must be cheap.
class ScreenCaptureProbe {
public:
    virtual ~ScreenCaptureProbe() = default;
    // True while something watches the screen; none when this system cannot tell.
    virtual std::optional<bool> screenWatcherPresent() = 0;
    // The session's own "screen is shared" flag; false when there is none.
    virtual bool sessionScreenIsShared() = 0;
};
