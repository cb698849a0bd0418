#include "platform/linux/X11MediaKeyTap.h"
#include "platform/linux/RandRPanels.h"

#include <QLoggingCategory>
#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>

Q_DECLARE_LOGGING_CATEGORY(lcMediaKeyTap)

namespace {
xcb_connection_t* openConnection(const QString& displayName, uint32_t& root) {
    const QByteArray name = displayName.toLocal8Bit();
    xcb_connection_t* c = xcb_connect(name.isEmpty() ? nullptr : name.constData(), nullptr);
    if (!c || xcb_connection_has_error(c)) {
        if (c) xcb_disconnect(c);
        return nullptr;
    }
    root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    return c;
}

QString heldElsewhereText() {
    return QStringLiteral("Event tap creation failed: another X client holds the brightness "
                          "keys (grab refused: BadAccess)");
}
} // namespace

X11MediaKeyTap::X11MediaKeyTap(const QString& displayName, MediaKeyTapDelegate* delegate,
                               KeyPressMode mode, std::vector<MediaKey> keys, bool observeBuiltIn)
    : MediaKeyTap(delegate, mode, std::move(keys), observeBuiltIn), m_displayName(displayName) {
    m_keysyms = grabbedKeysyms(keysToWatch());
}

X11MediaKeyTap::~X11MediaKeyTap() {
    m_quit = true;
    wake();
    if (m_thread.joinable()) m_thread.join();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_conn) {
        ungrabAll();
        xcb_disconnect(m_conn);
    }
    for (int fd : m_wake)
        if (fd >= 0) ::close(fd);
}

std::vector<uint32_t> X11MediaKeyTap::grabbedKeysyms(const std::vector<MediaKey>& keys) {
    // Only the brightness keys are ever taken; the media keys stay with the desktop.
    std::vector<uint32_t> syms;
    for (MediaKey k : keys)
        if (k == MediaKey::brightnessUp || k == MediaKey::brightnessDown)
            for (uint32_t s : keysymsFor(k))
                syms.push_back(s);
    return syms;
}

bool X11MediaKeyTap::keysAvailable(const QString& displayName, const std::vector<MediaKey>& keys) {
    uint32_t root = 0;
    xcb_connection_t* c = openConnection(displayName, root);
    if (!c) return false;
    const auto keymap = X11KeyGrab::fetchKeymap(c);
    const auto locks = X11KeyGrab::lockVariants(X11KeyGrab::numLockMask(c, keymap));
    const auto mods = X11KeyGrab::modifierCombinations();
    bool available = true;
    for (uint32_t sym : grabbedKeysyms(keys))
        for (uint8_t code : keymap.keycodesFor(sym)) {
            if (!available) break;
            if (X11KeyGrab::grabKey(c, root, code, mods, locks) != X11KeyGrab::GrabResult::ok)
                available = false;
            else
                X11KeyGrab::ungrabKey(c, root, code, mods, locks);
        }
    xcb_disconnect(c);
    return available;
}

bool X11MediaKeyTap::connect(QString& error) {
    if (m_conn) return true;
    m_conn = openConnection(m_displayName, m_root);
    if (!m_conn) {
        error = QStringLiteral("Event tap creation failed: no X display");
        return false;
    }
    return true;
}

X11KeyGrab::GrabResult X11MediaKeyTap::grabAll() {
    ungrabAll();
    m_keymap = X11KeyGrab::fetchKeymap(m_conn);
    m_numLock = X11KeyGrab::numLockMask(m_conn, m_keymap);
    const auto locks = X11KeyGrab::lockVariants(m_numLock);
    const auto mods = X11KeyGrab::modifierCombinations();
    std::vector<uint8_t> codes;
    for (uint32_t sym : m_keysyms)
        for (uint8_t code : m_keymap.keycodesFor(sym))
            if (std::find(codes.begin(), codes.end(), code) == codes.end()) codes.push_back(code);
    for (uint8_t code : codes) {
        const auto result = X11KeyGrab::grabKey(m_conn, m_root, code, mods, locks);
        if (result != X11KeyGrab::GrabResult::ok) {
            ungrabAll();
            return result;
        }
        m_grabbed.push_back(code);
    }
    return X11KeyGrab::GrabResult::ok;
}

void X11MediaKeyTap::ungrabAll() {
    if (!m_conn) return;
    const auto locks = X11KeyGrab::lockVariants(m_numLock);
    const auto mods = X11KeyGrab::modifierCombinations();
    for (uint8_t code : m_grabbed)
        X11KeyGrab::ungrabKey(m_conn, m_root, code, mods, locks);
    m_grabbed.clear();
}

bool X11MediaKeyTap::startWatching(bool, QString& error) {
    if (m_watching) return true;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_conn && m_thread.joinable()) {
            // The tap thread makes the connection anew; the next health check retries.
            m_reconnectRequested = true;
            error = QStringLiteral("Event tap creation failed: the X connection is being "
                                   "made anew");
            wake();
            return false;
        }
        if (!connect(error)) return false;
        const auto result = grabAll();
        if (result != X11KeyGrab::GrabResult::ok) {
            error = result == X11KeyGrab::GrabResult::heldElsewhere
                        ? heldElsewhereText()
                        : QStringLiteral("Event tap creation failed: the X server refused "
                                         "the key grab");
            return false;
        }
    }
    // Only a tap that leaves the built-in panel's keys to the system needs its place;
    // asked at every start, as panels come and go with the outputs.
    if (!observeBuiltIn()) setBuiltInFrames(RandRPanels::queryBuiltInFrames(m_displayName));
    m_enabled = true;
    m_watching = true;
    if (!m_thread.joinable()) {
        if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) m_wake[0] = m_wake[1] = -1;
        m_thread = std::thread([this] { run(); });
    }
    wake();
    return true;
}

void X11MediaKeyTap::stopWatching() {
    m_watching = false;
    m_enabled = false;
    std::lock_guard<std::mutex> lock(m_mutex);
    ungrabAll();
}

void X11MediaKeyTap::setTapEnabled(bool enabled) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_conn) return;
    if (enabled)
        m_enabled = grabAll() == X11KeyGrab::GrabResult::ok;
    else {
        ungrabAll();
        m_enabled = false;
    }
}

void X11MediaKeyTap::reenableTap() {
    if (!m_watching) return;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_conn || xcb_connection_has_error(m_conn)) {
        m_reconnectRequested = true;
        wake();
        return;
    }
    m_enabled = grabAll() == X11KeyGrab::GrabResult::ok;
    wake();
}

std::optional<QPoint> X11MediaKeyTap::pointerLocation() {
    xcb_connection_t* c = m_conn; // the tap thread is the only one that replaces it
    if (!c) return std::nullopt;
    auto* reply = xcb_query_pointer_reply(c, xcb_query_pointer(c, m_root), nullptr);
    if (!reply) return std::nullopt;
    const QPoint at(reply->root_x, reply->root_y);
    std::free(reply);
    return at;
}

void X11MediaKeyTap::wake() {
    if (m_wake[1] >= 0) {
        const char b = 1;
        [[maybe_unused]] const auto n = ::write(m_wake[1], &b, 1);
    }
}

void X11MediaKeyTap::run() {
    while (!m_quit) {
        xcb_connection_t* c = m_conn;
        const bool broken = !c || xcb_connection_has_error(c);
        if (broken && (m_reconnectRequested || (c && m_watching))) reconnect();
        c = m_conn;
        pollfd fds[2] = {
            {c && !xcb_connection_has_error(c) ? xcb_get_file_descriptor(c) : -1, POLLIN, 0},
            {m_wake[0], POLLIN, 0}};
        // A live connection is waited on for as long as it takes: the server's events
        // and its hanging up both wake the poll. Only a lost one is retried each second.
        ::poll(fds, 2, fds[0].fd >= 0 ? -1 : 1000);
        if (fds[1].revents & POLLIN) {
            char buf[64];
            while (::read(m_wake[0], buf, sizeof buf) > 0) {
            }
        }
        if (!c || xcb_connection_has_error(c)) continue;
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            handleEvent(event);
            std::free(event);
        }
    }
}

void X11MediaKeyTap::handleEvent(xcb_generic_event_t* event) {
    const uint8_t type = event->response_type & 0x7f;
    if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE) {
        auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
        uint32_t sym = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            sym = m_keymap.keysymOf(key->detail);
        }
        const bool pressed = type == XCB_KEY_PRESS;
        const bool swallow = dispatch(sym, KeyEvent{key->detail, 0, pressed, false},
                                      X11KeyGrab::modifierFlags(key->state));
        if (pressed) {
            // The grab froze the keyboard: let it go, or hand the press on as if no grab
            // had been there.
            xcb_allow_events(m_conn, swallow ? XCB_ALLOW_ASYNC_KEYBOARD : XCB_ALLOW_REPLAY_KEYBOARD,
                             key->time);
            xcb_flush(m_conn);
        }
        return;
    }
    if (type == XCB_MAPPING_NOTIFY) {
        auto* mapping = reinterpret_cast<xcb_mapping_notify_event_t*>(event);
        if (mapping->request != XCB_MAPPING_POINTER) mappingChanged();
    }
}

void X11MediaKeyTap::mappingChanged() {
    if (!m_watching) return;
    bool changed = false;
    bool ok = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto before = m_grabbed;
        const uint16_t numLockBefore = m_numLock;
        ok = grabAll() == X11KeyGrab::GrabResult::ok;
        changed = !ok || before != m_grabbed || numLockBefore != m_numLock;
    }
    m_enabled = ok;
    // A change that moved none of our keys never took them away.
    if (!changed) return;
    if (!ok) {
        qCCritical(lcMediaKeyTap).noquote()
            << QStringLiteral("Keyboard mapping changed — the brightness keys could not be "
                              "taken again");
        return;
    }
    tapWasReenabled(EventTapRecovery::disabledByMappingChange);
}

void X11MediaKeyTap::reconnect() {
    bool ok = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reconnectRequested = false;
        if (m_conn) xcb_disconnect(m_conn);
        m_grabbed.clear();
        m_conn = openConnection(m_displayName, m_root);
        m_enabled = false;
        if (!m_conn || !m_watching) return;
        ok = grabAll() == X11KeyGrab::GrabResult::ok;
    }
    m_enabled = ok;
    if (ok) tapWasReenabled(EventTapRecovery::disabledByConnectionLoss);
}
