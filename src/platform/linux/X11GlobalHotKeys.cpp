#include "platform/linux/X11GlobalHotKeys.h"

#include "platform/ShortcutKeyTable.h"

#include <QLoggingCategory>
#include <QSocketNotifier>
#include <cstdlib>
#include <xcb/xcb.h>

Q_LOGGING_CATEGORY(lcHotKeys, "com.halcyra.app.shortcuts")

namespace {
constexpr quint32 kNumLockKeysym = 0xff7f;
} // namespace

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
    loadKeyboard();
    m_notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(m_connection),
                                                   QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &X11GlobalHotKeys::readEvents);
}

X11GlobalHotKeys::~X11GlobalHotKeys() {
    m_notifier.reset();
    // Closing the connection releases every grab made on it.
    xcb_disconnect(m_connection);
}

void X11GlobalHotKeys::loadKeyboard() {
    const xcb_setup_t* setup = xcb_get_setup(m_connection);
    m_minKeycode = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t* map = xcb_get_keyboard_mapping_reply(
        m_connection, xcb_get_keyboard_mapping(m_connection, setup->min_keycode, count), nullptr);
    m_keysyms.clear();
    if (map) {
        m_symsPerCode = map->keysyms_per_keycode;
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
        m_keysyms.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(map));
        std::free(map);
    }
    // The modifier that Num Lock sets varies by keymap.
    m_numLockMask = 0;
    const auto numLock = keycodeFor(kNumLockKeysym);
    xcb_get_modifier_mapping_reply_t* mods = xcb_get_modifier_mapping_reply(
        m_connection, xcb_get_modifier_mapping(m_connection), nullptr);
    if (mods && numLock) {
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mods);
        for (int mod = 0; mod < 8; ++mod)
            for (int k = 0; k < mods->keycodes_per_modifier; ++k)
                if (codes[mod * mods->keycodes_per_modifier + k] == *numLock)
                    m_numLockMask = quint16(1u << mod);
    }
    std::free(mods);
}

std::optional<quint8> X11GlobalHotKeys::keycodeFor(quint32 keysym) const {
    if (m_symsPerCode <= 0) return std::nullopt;
    for (size_t i = 0; i < m_keysyms.size(); ++i)
        if (m_keysyms[i] == keysym) return quint8(m_minKeycode + i / size_t(m_symsPerCode));
    return std::nullopt;
}

std::vector<quint16> X11GlobalHotKeys::lockVariants() const {
    std::vector<quint16> v{0, ShortcutKeyTable::xLock};
    if (m_numLockMask) {
        v.push_back(m_numLockMask);
        v.push_back(quint16(m_numLockMask | ShortcutKeyTable::xLock));
    }
    return v;
}

int X11GlobalHotKeys::registerHotKey(quint32 id, quint16 keyCode, quint64 modifiers) {
    unregisterHotKey(id);
    if (xcb_connection_has_error(m_connection)) return unavailable;
    const auto keysym = ShortcutKeyTable::keysymForKeyCode(keyCode);
    const auto keycode = keysym ? keycodeFor(*keysym) : std::nullopt;
    if (!keycode) return noSuchKey;
    const Grab grab{*keycode, ShortcutKeyTable::xModifiers(modifiers)};
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
