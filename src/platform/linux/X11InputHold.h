#pragma once

#include "platform/InputHold.h"

// Grabs on the toolkit's own X connection, the pointer's with the owner's events left to
// its windows: works wherever the application runs on the xcb platform.
class X11InputHold final : public InputHold {
public:
    bool isAvailable() const override;
    bool holdPointer(quintptr window) override;
    bool holdKeyboard(quintptr window) override;
    void releaseKeyboard() override;
    void release() override;

private:
    bool m_pointer = false;
    bool m_keyboard = false;
};
