#pragma once

#include <QtGlobal>

// Holds the pointer and the keyboard for one of the application's windows, the way an
// open menu does: presses that would go to other applications come to that window (the
// application's own windows go on receiving theirs), and every key comes to it, whatever
// had the focus before.
class InputHold {
public:
    virtual ~InputHold() = default;
    // Whether holding can work here at all (false on a platform without it).
    virtual bool isAvailable() const = 0;
    // Takes the pointer for `window` (a native window id). False while another client
    // holds it, or while the window is not on screen yet: then try again.
    virtual bool holdPointer(quintptr window) = 0;
    // Takes the keyboard and the focus for `window`; false as above.
    virtual bool holdKeyboard(quintptr window) = 0;
    // Lets go of the keyboard alone, or of both.
    virtual void releaseKeyboard() = 0;
    virtual void release() = 0;
};
