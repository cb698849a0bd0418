#pragma once

#include <functional>

// How the process ends when something other than our own quit ends it. Qt's X11
// plugin calls exit(1) from inside the event loop when the display connection breaks,
// which is every logout. Left alone, exit() would run static destruction with the
// event loop's callers still on the stack, taking the process-wide objects apart in
// whatever order they happened to be made. Once armed, such an exit instead runs the
// last will (what must reach the disk), logs, and ends the process at once with the
// status it was given. Displays whose ramps went through that server are not handed
// back (they went away with it; their saved ramps stay on disk for the next start);
// the last will hands back those a compositor still holds.
class SessionEnd {
public:
    SessionEnd() = delete;

    // Everything the last will touches must exist before this call: objects made
    // later are destroyed before the guard runs. Runs the will at most once.
    static void arm(std::function<void()> lastWill);
    // Our own orderly end follows (the event loop returned): exit() is ordinary again.
    static void disarm();
    static bool isArmed();
};
