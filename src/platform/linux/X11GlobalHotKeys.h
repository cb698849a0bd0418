#pragma once

#include "platform/GlobalHotKeys.h"
#include "platform/linux/X11KeyGrab.h"

#include <QHash>
#include <memory>
#include <optional>
#include <vector>

class QSocketNotifier;
struct xcb_connection_t;

// Hot keys as passive key grabs on the root window, on a connection of their own
// (the toolkit's connection and the gamma connection are left alone). A combination
// is grabbed once for each state of Caps Lock and Num Lock. Presses are read from
// the connection on the main loop.
class X11GlobalHotKeys final : public GlobalHotKeys {
    Q_OBJECT
public:
    // Null when no X server answers.
    static std::unique_ptr<X11GlobalHotKeys> open();
    ~X11GlobalHotKeys() override;

    int registerHotKey(quint32 id, quint16 keyCode, quint64 modifiers) override;
    void unregisterHotKey(quint32 id) override;
    std::optional<quint16> keyCodeOfScanCode(quint32 scanCode) const override;

private:
    struct Grab {
        quint8 keycode;
        quint16 modifiers; // X mask, without lock bits
    };
    explicit X11GlobalHotKeys(xcb_connection_t* connection);
    std::vector<quint16> lockVariants() const;
    void ungrab(const Grab& grab);
    void readEvents();

    xcb_connection_t* m_connection;
    quint32 m_root = 0;
    X11KeyGrab::Keymap m_keymap;
    quint16 m_numLockMask = 0;
    QHash<quint32, Grab> m_grabs;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
