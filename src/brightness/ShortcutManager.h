#pragma once

#include <QObject>
#include <QSet>
#include <QString>
#include <array>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

class GlobalHotKeys;
class UserDefaults;

enum class ShortcutAction {
    toggleHalcyra,
    preset1,
    preset2,
    preset3,
    preset4,
    preset5,
    openPopover,
    resetDisplayEffects,
};

inline constexpr std::array<ShortcutAction, 8> allShortcutActions = {
    ShortcutAction::toggleHalcyra, ShortcutAction::preset1,
    ShortcutAction::preset2,       ShortcutAction::preset3,
    ShortcutAction::preset4,       ShortcutAction::preset5,
    ShortcutAction::openPopover,   ShortcutAction::resetDisplayEffects};

QString rawValue(ShortcutAction action);
std::optional<ShortcutAction> shortcutActionFromRawValue(const QString& raw);

// A key code and modifier bits in the stored form (ShortcutKeyTable.h).
struct ShortcutBinding {
    quint16 keyCode = 0;
    quint64 modifiers = 0;
    bool operator==(const ShortcutBinding&) const = default;

    static ShortcutBinding defaultBinding(ShortcutAction action);
    // The key's name, or "Key" and the decimal code for a key in no table.
    static QString keyCodeToString(quint16 keyCode);
    // "Ctrl+Alt+Shift+Super+" for the flags present, in that order, as the desktop names
    // the keys (the stored control, option, shift and command bits).
    static QString symbolString(quint64 modifiers);
    // The modifiers followed by the key's name ("Ctrl+Alt+0"); empty for an unbound action.
    QString displayString() const {
        return isUnbound() ? QString() : symbolString(modifiers) + keyCodeToString(keyCode);
    }
    // An action with no combination. Stored as a key code in no table and no modifiers,
    // which earlier versions read as a key this keyboard cannot produce and leave alone.
    static constexpr ShortcutBinding unbound() { return {0xFFFF, 0}; }
    bool isUnbound() const { return keyCode == 0xFFFF && modifiers == 0; }
    // The same combination as `other`, counting only shift, control, option and command.
    bool sameCombination(const ShortcutBinding& other) const;
    // Only shift, control, option and command count.
    static quint64 lookupKey(quint16 keyCode, quint64 modifiers);
};

// The application's eight global shortcuts: their bindings, their storage under
// "halcyra.shortcuts" and their delivery. Every action is registered as a system hot
// key; one that cannot be (another client holds the combination) is served only by the
// local monitor, inside this application's own windows. A match calls the handler
// installed for the action, always from the main loop, one turn after the key.
class ShortcutManager : public QObject {
    Q_OBJECT
public:
    static inline const QString storageKey = QStringLiteral("halcyra.shortcuts");
    // The two hot keys of the original design, with their ids; the others follow them.
    static constexpr std::array<std::pair<ShortcutAction, quint32>, 2> carbonActions = {
        {{ShortcutAction::openPopover, 1}, {ShortcutAction::resetDisplayEffects, 2}}};

    // The process-wide manager over the platform's hot keys and the standard store.
    static ShortcutManager& shared();
    // Null arguments: the platform's hot keys and the standard store at the time of use.
    explicit ShortcutManager(GlobalHotKeys* hotKeys = nullptr, UserDefaults* store = nullptr,
                             QObject* parent = nullptr);
    ~ShortcutManager() override;

    const std::map<ShortcutAction, ShortcutBinding>& bindings() const { return m_bindings; }

    std::function<void()> onToggle;
    std::function<void(int index)> onPreset;
    std::function<void()> onOpenPopover;
    std::function<void()> onResetDisplayEffects;

    void registerMonitors();
    void deregisterMonitors();
    void setBinding(const ShortcutBinding& binding, ShortcutAction action);
    // Puts the action's default back. Another action that holds that combination loses
    // it (becomes unbound), so no two actions ever share one; returns those actions.
    std::vector<ShortcutAction> resetBinding(ShortcutAction action);
    // The action other than `except` bound to the combination, if any.
    std::optional<ShortcutAction> ownerOf(const ShortcutBinding& binding,
                                          ShortcutAction except) const;
    void save();

    // While a new combination is being recorded the hot keys are let go, so the key
    // reaches the window that records it (also one of our own combinations). Resuming
    // grabs them again from the bindings of that moment.
    void suspendForRecording();
    void resumeAfterRecording();
    bool suspendedForRecording() const { return m_suspended; }

    // The local monitor: a key-down inside this application's windows. True when it
    // matched a shortcut served here, which then runs and the key is swallowed.
    bool handleLocalKeyDown(quint16 keyCode, quint64 modifiers);

    bool monitorsInstalled() const { return m_monitorsInstalled; }
    // Actions whose hot key was refused in the last registration.
    const std::set<ShortcutAction>& hotKeyFallbackActions() const {
        return m_hotKeyFallbackActions;
    }
    static quint32 hotKeyId(ShortcutAction action);

signals:
    // A binding was written or the hot keys were registered again.
    void changed();

private:
    void loadBindings();
    void registerHotKeys();
    void unregisterHotKeys();
    void dispatch(ShortcutAction action);
    GlobalHotKeys& hotKeys() const;
    UserDefaults& store() const;

    GlobalHotKeys* m_hotKeysOverride;
    UserDefaults* m_storeOverride;
    std::map<ShortcutAction, ShortcutBinding> m_bindings;
    std::map<quint64, ShortcutAction> m_localTable;
    QSet<quint32> m_hotKeyRefs;
    std::set<ShortcutAction> m_hotKeyFallbackActions;
    bool m_monitorsInstalled = false;
    bool m_suspended = false;
    QMetaObject::Connection m_pressConnection;
};
