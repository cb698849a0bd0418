#pragma once

#include <cstdint>
#include <vector>

struct xcb_connection_t;

// Keysym and modifier helpers for passive key grabs on an X connection of the
// caller's own (xcb, so each thread may keep one). Any component that grabs keys on
// the root window (brightness keys, global shortcuts) can share these.
namespace X11KeyGrab {

// The server's keyboard mapping: keysyms per keycode.
struct Keymap {
    uint8_t minKeycode = 0;
    uint8_t keysymsPerKeycode = 0;
    std::vector<uint32_t> keysyms;

    // Every keycode that produces `keysym` in any column.
    std::vector<uint8_t> keycodesFor(uint32_t keysym) const;
    // The keycode's first keysym (0 when none).
    uint32_t keysymOf(uint8_t keycode) const;
};

Keymap fetchKeymap(xcb_connection_t* c);
// The modifier bit that Num_Lock sets (0 when Num_Lock is not a modifier).
uint16_t numLockMask(xcb_connection_t* c, const Keymap& keymap);

// The four lock combinations every grab is repeated for: none, CapsLock, NumLock, both,
// so the keys work whatever the lock lights say.
std::vector<uint16_t> lockVariants(uint16_t numLock);
// Every combination of Shift, Control, Alt (Mod1) and Super (Mod4).
std::vector<uint16_t> modifierCombinations();
// The modifiers of an event's state, lock bits dropped, as ModifierFlags.
unsigned modifierFlags(uint16_t state);

enum class GrabResult { ok, heldElsewhere, failed };

// Grabs `keycode` on `root` with `modifiers` in each lock variant and waits for the
// server's answer. Keyboard mode synchronous: the first press freezes the keyboard
// until the grabber allows events (so it can still replay the press elsewhere). On
// any refusal the grabs this call made are undone.
GrabResult grabKey(xcb_connection_t* c, uint32_t root, uint8_t keycode,
                   const std::vector<uint16_t>& modifiers, const std::vector<uint16_t>& locks);
void ungrabKey(xcb_connection_t* c, uint32_t root, uint8_t keycode,
               const std::vector<uint16_t>& modifiers, const std::vector<uint16_t>& locks);

} // namespace X11KeyGrab
