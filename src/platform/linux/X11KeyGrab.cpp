#include "platform/linux/X11KeyGrab.h"

#include "platform/MediaKeyTap.h"

#include <cstdlib>
#include <xcb/xcb.h>

namespace X11KeyGrab {

namespace {
constexpr uint32_t NumLockKeysym = 0xFF7F;
}

std::vector<uint8_t> Keymap::keycodesFor(uint32_t keysym) const {
    std::vector<uint8_t> codes;
    if (keysymsPerKeycode == 0) return codes;
    for (size_t i = 0; i < keysyms.size(); ++i) {
        if (keysyms[i] != keysym) continue;
        const uint8_t code = uint8_t(minKeycode + i / keysymsPerKeycode);
        if (codes.empty() || codes.back() != code) codes.push_back(code);
    }
    return codes;
}

uint32_t Keymap::keysymOf(uint8_t keycode) const {
    if (keysymsPerKeycode == 0 || keycode < minKeycode) return 0;
    const size_t row = size_t(keycode - minKeycode) * keysymsPerKeycode;
    for (size_t i = 0; i < keysymsPerKeycode && row + i < keysyms.size(); ++i)
        if (keysyms[row + i]) return keysyms[row + i];
    return 0;
}

Keymap fetchKeymap(xcb_connection_t* c) {
    Keymap map;
    const xcb_setup_t* setup = xcb_get_setup(c);
    const uint8_t count = uint8_t(setup->max_keycode - setup->min_keycode + 1);
    auto* reply = xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, setup->min_keycode, count), nullptr);
    if (!reply) return map;
    map.minKeycode = setup->min_keycode;
    map.keysymsPerKeycode = reply->keysyms_per_keycode;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply);
    map.keysyms.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(reply));
    std::free(reply);
    return map;
}

uint16_t numLockMask(xcb_connection_t* c, const Keymap& keymap) {
    auto* reply = xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr);
    if (!reply) return 0;
    const auto numLock = keymap.keycodesFor(NumLockKeysym);
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(reply);
    uint16_t mask = 0;
    for (int mod = 0; mod < 8 && !mask; ++mod)
        for (int k = 0; k < reply->keycodes_per_modifier; ++k) {
            const xcb_keycode_t code = codes[mod * reply->keycodes_per_modifier + k];
            for (uint8_t n : numLock)
                if (code && code == n) mask = uint16_t(1u << mod);
        }
    std::free(reply);
    return mask;
}

std::vector<uint16_t> lockVariants(uint16_t numLock) {
    std::vector<uint16_t> v{0, XCB_MOD_MASK_LOCK};
    if (numLock) {
        v.push_back(numLock);
        v.push_back(uint16_t(numLock | XCB_MOD_MASK_LOCK));
    }
    return v;
}

std::vector<uint16_t> modifierCombinations() {
    const uint16_t bits[] = {XCB_MOD_MASK_SHIFT, XCB_MOD_MASK_CONTROL, XCB_MOD_MASK_1,
                             XCB_MOD_MASK_4};
    std::vector<uint16_t> all;
    for (unsigned set = 0; set < 16; ++set) {
        uint16_t m = 0;
        for (unsigned b = 0; b < 4; ++b)
            if (set & (1u << b)) m |= bits[b];
        all.push_back(m);
    }
    return all;
}

unsigned modifierFlags(uint16_t state) {
    unsigned flags = 0;
    if (state & XCB_MOD_MASK_SHIFT) flags |= ModifierFlag::shift;
    if (state & XCB_MOD_MASK_CONTROL) flags |= ModifierFlag::control;
    if (state & XCB_MOD_MASK_1) flags |= ModifierFlag::option;
    if (state & XCB_MOD_MASK_4) flags |= ModifierFlag::command;
    return flags;
}

GrabResult grabKey(xcb_connection_t* c, uint32_t root, uint8_t keycode,
                   const std::vector<uint16_t>& modifiers, const std::vector<uint16_t>& locks) {
    std::vector<std::pair<uint16_t, xcb_void_cookie_t>> cookies;
    for (uint16_t m : modifiers)
        for (uint16_t l : locks) {
            const uint16_t mods = uint16_t(m | l);
            cookies.emplace_back(mods,
                                 xcb_grab_key_checked(c, 1, root, mods, keycode,
                                                      XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_SYNC));
        }
    GrabResult result = GrabResult::ok;
    std::vector<uint16_t> taken;
    for (auto& [mods, cookie] : cookies) {
        xcb_generic_error_t* error = xcb_request_check(c, cookie);
        if (!error) {
            taken.push_back(mods);
            continue;
        }
        result = error->error_code == XCB_ACCESS ? GrabResult::heldElsewhere : GrabResult::failed;
        std::free(error);
    }
    if (result != GrabResult::ok) {
        for (uint16_t mods : taken)
            xcb_ungrab_key(c, keycode, root, mods);
        xcb_flush(c);
    }
    return result;
}

void ungrabKey(xcb_connection_t* c, uint32_t root, uint8_t keycode,
               const std::vector<uint16_t>& modifiers, const std::vector<uint16_t>& locks) {
    for (uint16_t m : modifiers)
        for (uint16_t l : locks)
            xcb_ungrab_key(c, keycode, root, uint16_t(m | l));
    xcb_flush(c);
}

} // namespace X11KeyGrab
