#pragma once

#include "platform/InputHold.h"

// No window system to hold: every hold succeeds unless a test makes the next few fail,
// as a held keyboard elsewhere does.
class SimulatedInputHold final : public InputHold {
public:
    bool isAvailable() const override { return true; }
    bool holdPointer(quintptr) override {
        ++m_pointerTries;
        return m_pointerHeld = true;
    }
    bool holdKeyboard(quintptr) override {
        ++m_keyboardTries;
        if (m_keyboardRefusals > 0) {
            --m_keyboardRefusals;
            return false;
        }
        return m_keyboardHeld = true;
    }
    void releaseKeyboard() override { m_keyboardHeld = false; }
    void release() override { m_pointerHeld = m_keyboardHeld = false; }

    void refuseKeyboard(int times) { m_keyboardRefusals = times; }
    bool pointerHeld() const { return m_pointerHeld; }
    bool keyboardHeld() const { return m_keyboardHeld; }
    int keyboardTries() const { return m_keyboardTries; }

private:
    int m_keyboardRefusals = 0;
    int m_pointerTries = 0;
    int m_keyboardTries = 0;
    bool m_pointerHeld = false;
    bool m_keyboardHeld = false;
};
