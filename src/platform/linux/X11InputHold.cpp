#include "platform/linux/X11InputHold.h"

#include <QGuiApplication>
#include <cstdlib>
#include <xcb/xcb.h>

namespace {
xcb_connection_t* toolkitConnection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    return c && !xcb_connection_has_error(c) ? c : nullptr;
}
} // namespace

bool X11InputHold::isAvailable() const {
    return toolkitConnection() != nullptr;
}

bool X11InputHold::holdPointer(quintptr window) {
    xcb_connection_t* c = toolkitConnection();
    if (!c || !window) return false;
    // Owner events: the application's own windows are used as usual; only what would go
    // to another client is reported to `window`.
    const uint16_t mask = XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE |
                          XCB_EVENT_MASK_POINTER_MOTION | XCB_EVENT_MASK_ENTER_WINDOW |
                          XCB_EVENT_MASK_LEAVE_WINDOW;
    xcb_grab_pointer_reply_t* reply = xcb_grab_pointer_reply(
        c,
        xcb_grab_pointer(c, 1, xcb_window_t(window), mask, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC,
                         XCB_NONE, XCB_NONE, XCB_CURRENT_TIME),
        nullptr);
    const bool held = reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
    std::free(reply);
    m_pointer = m_pointer || held;
    return held;
}

bool X11InputHold::holdKeyboard(quintptr window) {
    xcb_connection_t* c = toolkitConnection();
    if (!c || !window) return false;
    xcb_grab_keyboard_reply_t* reply =
        xcb_grab_keyboard_reply(c,
                                xcb_grab_keyboard(c, 1, xcb_window_t(window), XCB_CURRENT_TIME,
                                                  XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                nullptr);
    const bool held = reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
    std::free(reply);
    if (!held) return false;
    m_keyboard = true;
    // The focus too, so the window is the active one while it has the keys. The current
    // time, since the toolkit's last event time may be older than the focus the window
    // manager set, and then the server would ignore the request.
    xcb_set_input_focus(c, XCB_INPUT_FOCUS_POINTER_ROOT, xcb_window_t(window), XCB_CURRENT_TIME);
    xcb_flush(c);
    return true;
}

void X11InputHold::releaseKeyboard() {
    xcb_connection_t* c = toolkitConnection();
    if (!c || !m_keyboard) return;
    xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
    m_keyboard = false;
    xcb_flush(c);
}

void X11InputHold::release() {
    xcb_connection_t* c = toolkitConnection();
    if (!c) return;
    if (m_pointer) xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
    if (m_keyboard) xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
    m_pointer = m_keyboard = false;
    xcb_flush(c);
}
