#pragma once

#include "platform/GlobalHotKeys.h"

#include <QHash>
#include <QSet>
#include <optional>

// Hot keys in memory: tests refuse combinations and press them.
class SimulatedGlobalHotKeys final : public GlobalHotKeys {
    Q_OBJECT
public:
    struct Combo {
        quint16 keyCode;
        quint64 modifiers;
        bool operator==(const Combo&) const = default;
    };
    using GlobalHotKeys::GlobalHotKeys;

    int registerHotKey(quint32 id, quint16 keyCode, quint64 modifiers) override;
    void unregisterHotKey(quint32 id) override;

    // Another client holds this combination.
    void holdElsewhere(quint16 keyCode, quint64 modifiers) {
        m_heldElsewhere.push_back({keyCode, modifiers});
    }
    // Presses a combination; true when a registered hot key took it.
    bool press(quint16 keyCode, quint64 modifiers);
    bool isRegistered(quint32 id) const { return m_registered.contains(id); }
    int registeredCount() const { return int(m_registered.size()); }

private:
    QHash<quint32, Combo> m_registered;
    std::vector<Combo> m_heldElsewhere;
};
