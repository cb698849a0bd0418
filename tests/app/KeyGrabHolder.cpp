// Another X client that holds XF86MonBrightnessDown (no modifiers) until it is killed,
// as a desktop's media-keys daemon would.
#include "platform/linux/X11KeyGrab.h"

#include <cstdio>
#include <cstdlib>
#include <xcb/xcb.h>

int main() {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (!c || xcb_connection_has_error(c)) return 2;
    const uint32_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const auto keymap = X11KeyGrab::fetchKeymap(c);
    const auto codes = keymap.keycodesFor(0x1008FF03);
    if (codes.empty()) return 3;
    for (uint8_t code : codes)
        if (X11KeyGrab::grabKey(c, root, code, {0}, {0}) != X11KeyGrab::GrabResult::ok) return 4;
    std::printf("held\n");
    std::fflush(stdout);
    while (xcb_generic_event_t* e = xcb_wait_for_event(c))
        std::free(e);
    return 0;
}
