#pragma once

#include <functional>
#include <optional>

// Whether the screen is being captured, recorded or shared now. Asked on the main
// thread, once a second while a capture may be running; answers must be cheap.
class ScreenCaptureProbe {
public:
    virtual ~ScreenCaptureProbe() = default;
    // True while something watches the screen; none when this system cannot tell.
    virtual std::optional<bool> screenWatcherPresent() = 0;
    // The session's own "screen is shared" flag; false when there is none.
    virtual bool sessionScreenIsShared() = 0;

    // True when every change of the answers above is told to the change handler, so
    // that asking again without being told learns nothing new.
    virtual bool announcesChanges() { return false; }
    // Called on the main thread when the answers may have changed; empty: nobody
    // listens. Only a probe that announces changes calls it.
    virtual void setChangeHandler(std::function<void()> handler) { static_cast<void>(handler); }
};
