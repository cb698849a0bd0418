#include "brightness/ShortcutManager.h"

#include "core/UserDefaults.h"
#include "platform/GlobalHotKeys.h"
#include "platform/Platform.h"
#include "platform/ShortcutKeyTable.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QPointer>

Q_LOGGING_CATEGORY(lcShortcuts, "com.halcyra.app.shortcuts")

using namespace ShortcutKeyTable;

namespace {

struct KeyName {
    quint16 code;
    const char* name;
};
constexpr KeyName kKeyNames[] = {
    {29, "0"},      {18, "1"},      {19, "2"},   {20, "3"},         {21, "4"},      {23, "5"},
    {22, "6"},      {26, "7"},      {28, "8"},   {25, "9"},         {0, "A"},       {11, "B"},
    {8, "C"},       {2, "D"},       {14, "E"},   {3, "F"},          {5, "G"},       {4, "H"},
    {34, "I"},      {38, "J"},      {40, "K"},   {37, "L"},         {46, "M"},      {45, "N"},
    {31, "O"},      {35, "P"},      {12, "Q"},   {15, "R"},         {1, "S"},       {17, "T"},
    {32, "U"},      {9, "V"},       {13, "W"},   {7, "X"},          {16, "Y"},      {6, "Z"},
    {122, "F1"},    {120, "F2"},    {99, "F3"},  {118, "F4"},       {96, "F5"},     {97, "F6"},
    {98, "F7"},     {100, "F8"},    {101, "F9"}, {109, "F10"},      {103, "F11"},   {111, "F12"},
    {49, "Space"},  {36, "Return"}, {48, "Tab"}, {51, "Backspace"}, {53, "Escape"}, {123, "Left"},
    {124, "Right"}, {125, "Down"},  {126, "Up"}, {24, "="},         {27, "-"},      {30, "]"},
    {33, "["},      {39, "'"},      {41, ";"},   {42, "\\"},        {43, ","},      {44, "/"},
    {47, "."},
};

constexpr const char* kRawValues[] = {
    "toggleHalcyra", "preset1", "preset2",     "preset3",
    "preset4",       "preset5", "openPopover", "resetDisplayEffects"};

} // namespace

QString rawValue(ShortcutAction action) {
    return QString::fromLatin1(kRawValues[int(action)]);
}

std::optional<ShortcutAction> shortcutActionFromRawValue(const QString& raw) {
    for (ShortcutAction a : allShortcutActions)
        if (rawValue(a) == raw) return a;
    return std::nullopt;
}

ShortcutBinding ShortcutBinding::defaultBinding(ShortcutAction action) {
    constexpr quint64 ctrlOpt = controlFlag | optionFlag;
    switch (action) {
    case ShortcutAction::toggleHalcyra:
        return {29, ctrlOpt};
    case ShortcutAction::preset1:
        return {18, ctrlOpt};
    case ShortcutAction::preset2:
        return {19, ctrlOpt};
    case ShortcutAction::preset3:
        return {20, ctrlOpt};
    case ShortcutAction::preset4:
        return {21, ctrlOpt};
    case ShortcutAction::preset5:
        return {23, ctrlOpt};
    case ShortcutAction::openPopover:
        return {1, shiftFlag | commandFlag};
    case ShortcutAction::resetDisplayEffects:
        return {15, ctrlOpt | commandFlag};
    }
    return {};
}

QString ShortcutBinding::keyCodeToString(quint16 keyCode) {
    for (const KeyName& k : kKeyNames)
        if (k.code == keyCode) return QString::fromUtf8(k.name);
    return QStringLiteral("Key%1").arg(keyCode);
}

QString ShortcutBinding::symbolString(quint64 modifiers) {
    QString s;
    if (modifiers & controlFlag) s += QStringLiteral("Ctrl+");
    if (modifiers & optionFlag) s += QStringLiteral("Alt+");
    if (modifiers & shiftFlag) s += QStringLiteral("Shift+");
    if (modifiers & commandFlag) s += QStringLiteral("Super+");
    return s;
}

bool ShortcutBinding::sameCombination(const ShortcutBinding& other) const {
    return keyCode == other.keyCode &&
           (modifiers & matchedFlags) == (other.modifiers & matchedFlags);
}

quint64 ShortcutBinding::lookupKey(quint16 keyCode, quint64 modifiers) {
    return quint64(keyCode) | (((modifiers >> 17) & 0xF) << 33);
}

// ---- Manager ----

ShortcutManager& ShortcutManager::shared() {
    static ShortcutManager manager;
    return manager;
}

ShortcutManager::ShortcutManager(GlobalHotKeys* hotKeys, UserDefaults* store, QObject* parent)
    : QObject(parent), m_hotKeysOverride(hotKeys), m_storeOverride(store) {
    loadBindings();
}

ShortcutManager::~ShortcutManager() {
    // The platform may already be gone at process exit; only a manager with its own
    // hot keys hands them back.
    if (m_hotKeysOverride) deregisterMonitors();
}

GlobalHotKeys& ShortcutManager::hotKeys() const {
    return m_hotKeysOverride ? *m_hotKeysOverride : Platform::instance().globalHotKeys();
}

UserDefaults& ShortcutManager::store() const {
    return m_storeOverride ? *m_storeOverride : UserDefaults::standard();
}

quint32 ShortcutManager::hotKeyId(ShortcutAction action) {
    for (const auto& [a, id] : carbonActions)
        if (a == action) return id;
    // The actions the local and global monitors served in the original design follow.
    return quint32(carbonActions.size()) + 1 + quint32(action);
}

void ShortcutManager::loadBindings() {
    std::map<ShortcutAction, ShortcutBinding> decoded;
    bool valid = false;
    if (const auto data = store().dataValue(storageKey)) {
        const QJsonDocument doc = QJsonDocument::fromJson(*data);
        valid = doc.isObject();
        const QJsonObject object = doc.object();
        for (auto it = object.begin(); valid && it != object.end(); ++it) {
            const auto action = shortcutActionFromRawValue(it.key());
            // Any malformed member spoils the whole object, also one with an unknown name.
            const QJsonObject b = it.value().toObject();
            const QJsonValue code = b.value(QStringLiteral("keyCode"));
            const QJsonValue mods = b.value(QStringLiteral("modifiers"));
            const double c = code.toDouble(-1), m = mods.toDouble(-1);
            if (!it.value().isObject() || !code.isDouble() || !mods.isDouble() || c < 0 ||
                c > 0xFFFF || c != qint64(c) || m < 0 || m != qint64(m)) {
                valid = false;
                break;
            }
            if (action) decoded[*action] = {quint16(c), quint64(m)};
        }
    }
    m_bindings.clear();
    std::vector<ShortcutAction> refused;
    for (ShortcutAction a : allShortcutActions) {
        const auto it = decoded.find(a);
        if (!valid || it == decoded.end()) {
            m_bindings[a] = ShortcutBinding::defaultBinding(a);
            continue;
        }
        // The recorder never stores a bare key: grabbed on the whole X server it would
        // steal that key from every application. One written by hand is refused too.
        if (!it->second.isUnbound() && (it->second.modifiers & matchedFlags) == 0) {
            refused.push_back(a);
            continue;
        }
        m_bindings[a] = it->second;
    }
    // Read once per run (at construction), so each refusal is told once.
    for (ShortcutAction a : refused) {
        const ShortcutBinding fallback = ShortcutBinding::defaultBinding(a);
        // The default may already be another action's: then this one stays unbound.
        m_bindings[a] = ownerOf(fallback, a) ? ShortcutBinding::unbound() : fallback;
        qCWarning(lcShortcuts).noquote()
            << QStringLiteral("The stored shortcut for %1 has no modifier key (%2) — using %3")
                   .arg(rawValue(a), ShortcutBinding::keyCodeToString(decoded[a].keyCode),
                        m_bindings[a].isUnbound() ? QStringLiteral("none")
                                                  : m_bindings[a].displayString());
    }
}

void ShortcutManager::save() {
    QJsonObject object;
    for (const auto& [action, b] : m_bindings)
        object.insert(rawValue(action),
                      QJsonObject{{QStringLiteral("keyCode"), int(b.keyCode)},
                                  {QStringLiteral("modifiers"), qint64(b.modifiers)}});
    store().setData(storageKey, QJsonDocument(object).toJson(QJsonDocument::Compact));
}

void ShortcutManager::setBinding(const ShortcutBinding& binding, ShortcutAction action) {
    m_bindings[action] = binding;
    save();
    // Registering again lets go of every grab before the new combinations are taken.
    if (m_monitorsInstalled) registerMonitors();
    emit changed();
}

std::optional<ShortcutAction> ShortcutManager::ownerOf(const ShortcutBinding& binding,
                                                       ShortcutAction except) const {
    if (binding.isUnbound()) return std::nullopt;
    for (const auto& [action, b] : m_bindings)
        if (action != except && b.sameCombination(binding)) return action;
    return std::nullopt;
}

std::vector<ShortcutAction> ShortcutManager::resetBinding(ShortcutAction action) {
    const ShortcutBinding fallback = ShortcutBinding::defaultBinding(action);
    std::vector<ShortcutAction> cleared;
    while (const auto other = ownerOf(fallback, action)) {
        m_bindings[*other] = ShortcutBinding::unbound();
        cleared.push_back(*other);
        qCInfo(lcShortcuts).noquote()
            << QStringLiteral("[Halcyra] Shortcut %1 went back to %2 — %3 no longer has one")
                   .arg(rawValue(action), fallback.displayString(), rawValue(*other));
    }
    m_bindings[action] = fallback;
    save();
    if (m_monitorsInstalled) registerMonitors();
    emit changed();
    return cleared;
}

void ShortcutManager::suspendForRecording() {
    if (m_suspended) return;
    m_suspended = m_monitorsInstalled;
    if (m_suspended) deregisterMonitors();
}

void ShortcutManager::resumeAfterRecording() {
    if (!m_suspended) return;
    m_suspended = false;
    registerMonitors();
}

void ShortcutManager::registerMonitors() {
    deregisterMonitors();
    m_hotKeyFallbackActions.clear();
    registerHotKeys();
    // The local monitor serves what no hot key does.
    m_localTable.clear();
    for (const auto& [action, b] : m_bindings) {
        if (!m_hotKeyFallbackActions.contains(action) || b.isUnbound()) continue;
        m_localTable.emplace(ShortcutBinding::lookupKey(b.keyCode, b.modifiers), action);
    }
    m_monitorsInstalled = true;
    emit changed();
}

void ShortcutManager::deregisterMonitors() {
    m_localTable.clear();
    m_monitorsInstalled = false;
    unregisterHotKeys();
}

void ShortcutManager::registerHotKeys() {
    unregisterHotKeys();
    GlobalHotKeys& keys = hotKeys();
    m_pressConnection = connect(&keys, &GlobalHotKeys::hotKeyPressed, this, [this](quint32 id) {
        for (ShortcutAction a : allShortcutActions)
            if (hotKeyId(a) == id) return dispatch(a);
    });
    for (ShortcutAction action : allShortcutActions) {
        const ShortcutBinding& b = m_bindings.at(action);
        if (b.isUnbound()) continue;
        const quint32 id = hotKeyId(action);
        const int status = keys.registerHotKey(id, b.keyCode, b.modifiers);
        if (status == GlobalHotKeys::success) {
            m_hotKeyRefs.insert(id);
        } else if (status == GlobalHotKeys::noSuchKey) {
            // Kept as the user set it; it just cannot be typed on this keyboard.
            qCInfo(lcShortcuts).noquote()
                << QStringLiteral("[Halcyra] Shortcut for %1 (%2) names a key this keyboard "
                                  "cannot produce — kept, not registered")
                       .arg(rawValue(action), b.displayString());
        } else {
            m_hotKeyFallbackActions.insert(action);
            qCCritical(lcShortcuts).noquote()
                << QStringLiteral("[Halcyra] Hotkey registration FAILED for %1 (status %2) — "
                                  "falling back to the local monitor, which sees keys only in "
                                  "Halcyra's own windows (X11 has no global monitor without a "
                                  "grab)")
                       .arg(rawValue(action))
                       .arg(status);
        }
    }
}

void ShortcutManager::unregisterHotKeys() {
    if (m_hotKeyRefs.isEmpty() && !m_pressConnection) return;
    GlobalHotKeys& keys = hotKeys();
    for (quint32 id : std::as_const(m_hotKeyRefs))
        keys.unregisterHotKey(id);
    m_hotKeyRefs.clear();
    disconnect(m_pressConnection);
    m_pressConnection = {};
}

bool ShortcutManager::handleLocalKeyDown(quint16 keyCode, quint64 modifiers) {
    const auto it = m_localTable.find(ShortcutBinding::lookupKey(keyCode, modifiers));
    if (it == m_localTable.end()) return false;
    dispatch(it->second);
    return true;
}

void ShortcutManager::dispatch(ShortcutAction action) {
    QPointer<ShortcutManager> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, action] {
            if (!self) return;
            auto call = [](const std::function<void()>& f) {
                if (f) f();
            };
            switch (action) {
            case ShortcutAction::toggleHalcyra:
                call(self->onToggle);
                break;
            case ShortcutAction::openPopover:
                call(self->onOpenPopover);
                break;
            case ShortcutAction::resetDisplayEffects:
                call(self->onResetDisplayEffects);
                break;
            default:
                if (self->onPreset) self->onPreset(int(action) - int(ShortcutAction::preset1));
            }
        },
        Qt::QueuedConnection);
}
