#pragma once

#include "platform/MediaKeyTap.h"
#include "platform/linux/X11KeyGrab.h"

#include <QString>
#include <atomic>
#include <mutex>
#include <thread>

#include <xcb/xcb.h>

// The key tap on X11: passive grabs of the watched brightness keys on the root
// window, on an X connection and a thread of their own. A grab is synchronous, so
// the first press freezes the keyboard until the delegate has answered: swallowed
// presses are let go, the others replayed to the focused window as if no grab were
// there. A keyboard mapping change (MappingNotify) moves the keys: they are grabbed
// again at once and the owner told; a broken connection is made anew the same way.
// A grab refused because another client holds the key is a tap that cannot start.
class X11MediaKeyTap final : public MediaKeyTap {
public:
    // `displayName` empty: $DISPLAY.
    X11MediaKeyTap(const QString& displayName, MediaKeyTapDelegate* delegate, KeyPressMode mode,
                   std::vector<MediaKey> keys, bool observeBuiltIn);
    ~X11MediaKeyTap() override;

    bool isTapEnabled() const override { return m_enabled; }
    void reenableTap() override;

    // A trial grab on a short-lived connection of the caller's: true when `keys` can be
    // taken now (no other client holds any of them).
    static bool keysAvailable(const QString& displayName, const std::vector<MediaKey>& keys);

protected:
    bool startWatching(bool restart, QString& error) override;
    void stopWatching() override;
    void setTapEnabled(bool enabled) override;
    std::optional<QPoint> pointerLocation() override;

private:
    static std::vector<uint32_t> grabbedKeysyms(const std::vector<MediaKey>& keys);
    // Both under m_mutex.
    X11KeyGrab::GrabResult grabAll();
    void ungrabAll();
    bool connect(QString& error);
    void run();
    void handleEvent(xcb_generic_event_t* event);
    void mappingChanged();
    void reconnect();
    void wake();

    QString m_displayName;
    std::vector<uint32_t> m_keysyms;
    // The connection, keymap and grabs; the connection is replaced only by the tap
    // thread (or before it runs).
    std::mutex m_mutex;
    xcb_connection_t* m_conn = nullptr;
    uint32_t m_root = 0;
    X11KeyGrab::Keymap m_keymap;
    uint16_t m_numLock = 0;
    std::vector<uint8_t> m_grabbed;

    std::atomic<bool> m_enabled{false};
    std::atomic<bool> m_watching{false};
    std::atomic<bool> m_quit{false};
    std::atomic<bool> m_reconnectRequested{false};
    std::thread m_thread;
    int m_wake[2] = {-1, -1};
};
