#pragma once

#include <QObject>
#include <optional>

// System-wide hot keys: a key combination that reaches this application whichever
// window has the focus. Combinations are given in the stored bindings' form (key code
// and modifier bits, ShortcutKeyTable.h); lock keys (Caps Lock, Num Lock) never stop
// a combination from matching. Main thread only.
class GlobalHotKeys : public QObject {
    Q_OBJECT
public:
    static constexpr int success = 0;
    // Another client holds the combination (X's BadAccess).
    static constexpr int badAccess = 10;
    // The key code is in no table, or no key of this keyboard produces it.
    static constexpr int noSuchKey = 1001;
    // No display server to register with.
    static constexpr int unavailable = 1002;

    using QObject::QObject;
    ~GlobalHotKeys() override = default;

    // Registers `id` for the combination; a non-zero status when refused (nothing of it
    // stays registered then).
    virtual int registerHotKey(quint32 id, quint16 keyCode, quint64 modifiers) = 0;
    virtual void unregisterHotKey(quint32 id) = 0;
    // The stored key code of the physical key with this native scan code, read without
    // modifiers (Shift+1 is still the 1 key); none when the backend cannot tell.
    virtual std::optional<quint16> keyCodeOfScanCode(quint32 scanCode) const {
        Q_UNUSED(scanCode);
        return std::nullopt;
    }

signals:
    // A registered combination was pressed (emitted on the main thread).
    void hotKeyPressed(quint32 id);
};
