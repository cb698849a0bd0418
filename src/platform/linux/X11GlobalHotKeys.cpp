#include "platform/linux/X11GlobalHotKeys.h"

#include "platform/ShortcutKeyTable.h"

#include <QLoggingCategory>
#include <QSocketNotifier>
#include <cstdlib>
#include <xcb/xcb.h>

Q_LOGGING_CATEGORY(lcHotKeys, "com.halcyra.app.shortcuts")

std::unique_ptr<X11GlobalHotKeys> X11GlobalHotKeys::open() {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (!c || xcb_connection_has_error(c)) {
        if (c) xcb_disconnect(c);
        return nullptr;
    }
    return std::unique_ptr<X11GlobalHotKeys>(new X11GlobalHotKeys(c));
}

X11GlobalHotKeys::X11GlobalHotKeys(xcb_connection_t* connection) : m_connection(connection) {
    const xcb_setup_t* setup = xcb_get_setup(m_connection);
    m_root = xcb_setup_roots_iterator(setup).data->root;
    m_keymap = X11KeyGrab::fetchKeymap(m_connection);
    m_numLockMask = X11KeyGrab::numLockMask(m_connection, m_keymap);
    m_notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(m_connection),
                                                   QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &X11GlobalHotKeys::readEvents);
}

X11GlobalHotKeys::~X11GlobalHotKeys() {
    m_notifier.reset();
    // Closing the connection releases every grab made on it.
    xcb_disconnect(m_connection);
}

std::vector<quint16> X11GlobalHotKeys::lockVariants() const {
    const std::vector<uint16_t> v = X11KeyGrab::lockVariants(m_numLockMask);
    return {v.begin(), v.end()};
}

int X11GlobalHotKeys::registerHotKey(quint32 id, quint16 keyCode, quint64 modifiers) {
    unregisterHotKey(id);
    if (xcb_connection_has_error(m_connection)) return unavailable;
    const auto keysym = ShortcutKeyTable::keysymForKeyCode(keyCode);
    const std::vector<uint8_t> keycodes =
        keysym ? m_keymap.keycodesFor(*keysym) : std::vector<uint8_t>{};
    if (keycodes.empty()) return noSuchKey;
    const Grab grab{keycodes.front(), ShortcutKeyTable::xModifiers(modifiers)};
    std::vector<xcb_void_cookie_t> cookies;
    for (quint16 lock : lockVariants())
        cookies.push_back(xcb_grab_key_checked(m_connection, 1, m_root, grab.modifiers | lock,
                                               grab.keycode, XCB_GRAB_MODE_ASYNC,
                                               XCB_GRAB_MODE_ASYNC));
    int status = success;
    for (const xcb_void_cookie_t& cookie : cookies) {
        if (xcb_generic_error_t* error = xcb_request_check(m_connection, cookie)) {
            if (status == success) status = error->error_code;
            std::free(error);
        }
    }
    if (status != success) {
        // A combination half held by us and half by another client serves nobody.
        ungrab(grab);
        return status;
    }
    m_grabs.insert(id, grab);
    return success;
}

void X11GlobalHotKeys::ungrab(const Grab& grab) {
    for (quint16 lock : lockVariants())
        xcb_ungrab_key(m_connection, grab.keycode, m_root, grab.modifiers | lock);
    xcb_flush(m_connection);
}

void X11GlobalHotKeys::unregisterHotKey(quint32 id) {
    const auto it = m_grabs.find(id);
    if (it == m_grabs.end()) return;
    ungrab(it.value());
    m_grabs.erase(it);
}

std::optional<quint16> X11GlobalHotKeys::keyCodeOfScanCode(quint32 scanCode) const {
    // An X key event's scan code is its keycode; the first column is the unshifted key.
    if (scanCode > 0xFF) return std::nullopt;
    const uint32_t keysym = m_keymap.keysymOf(uint8_t(scanCode));
    if (!keysym) return std::nullopt;
    return ShortcutKeyTable::keyCodeForKeysym(keysym);
}

void X11GlobalHotKeys::readEvents() {
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
        if ((event->response_type & 0x7f) == XCB_KEY_PRESS) {
            const auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
            const quint16 mods =
                press->state & (ShortcutKeyTable::xShift | ShortcutKeyTable::xControl |
                                ShortcutKeyTable::xMod1 | ShortcutKeyTable::xMod4);
            for (auto it = m_grabs.cbegin(); it != m_grabs.cend(); ++it)
                if (it->keycode == press->detail && it->modifiers == mods) {
                    emit hotKeyPressed(it.key());
                    break;
                }
        }
        std::free(event);
    }
    if (xcb_connection_has_error(m_connection)) {
        qCWarning(lcHotKeys) << "Lost the X connection of the global shortcuts";
        m_notifier->setEnabled(false);
    }
}
