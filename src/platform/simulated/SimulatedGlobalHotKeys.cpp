#include "platform/simulated/SimulatedGlobalHotKeys.h"

#include "platform/ShortcutKeyTable.h"

#include <algorithm>

using namespace ShortcutKeyTable;

int SimulatedGlobalHotKeys::registerHotKey(quint32 id, quint16 keyCode, quint64 modifiers) {
    if (!keysymForKeyCode(keyCode)) return noSuchKey;
    const Combo combo{keyCode, modifiers & matchedFlags};
    if (std::find(m_heldElsewhere.begin(), m_heldElsewhere.end(), combo) != m_heldElsewhere.end())
        return badAccess;
    m_registered.insert(id, combo);
    return success;
}

void SimulatedGlobalHotKeys::unregisterHotKey(quint32 id) {
    m_registered.remove(id);
}

bool SimulatedGlobalHotKeys::press(quint16 keyCode, quint64 modifiers) {
    const Combo combo{keyCode, modifiers & matchedFlags};
    for (auto it = m_registered.cbegin(); it != m_registered.cend(); ++it) {
        if (it.value() == combo) {
            emit hotKeyPressed(it.key());
            return true;
        }
    }
    return false;
}
