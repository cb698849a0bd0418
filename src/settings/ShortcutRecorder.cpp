#include "settings/ShortcutRecorder.h"

#include "platform/ShortcutKeyTable.h"
#include "warmth/PresetManager.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcRecorder, "com.halcyra.app.shortcut-recorder")

QPointer<ShortcutRecorder> ShortcutRecorder::s_active;

ShortcutRecorder::ShortcutRecorder(ShortcutManager& manager, ShortcutAction action, QObject* parent)
    : QObject(parent), m_manager(manager), m_action(action) {
    connect(&m_manager, &ShortcutManager::changed, this, &ShortcutRecorder::stateChanged);
}

ShortcutRecorder::~ShortcutRecorder() {
    // A row torn down mid-recording must not leave the hot keys let go.
    if (m_recording) {
        m_monitor.reset();
        m_manager.resumeAfterRecording();
    }
}

QString ShortcutRecorder::label(ShortcutAction action) {
    // A preset row is named after the library row its shortcut applies (preset 1 is the
    // library's first row), not after a pinned chip.
    const auto libraryRow = [](int index) {
        const QList<HalcyraPreset>& library = PresetManager::library();
        return index < library.size() ? library.at(index).name : QString();
    };
    switch (action) {
    case ShortcutAction::toggleHalcyra:
        return QStringLiteral("Toggle Halcyra");
    case ShortcutAction::preset1:
        return libraryRow(0);
    case ShortcutAction::preset2:
        return libraryRow(1);
    case ShortcutAction::preset3:
        return libraryRow(2);
    case ShortcutAction::preset4:
        return libraryRow(3);
    case ShortcutAction::preset5:
        return libraryRow(4);
    case ShortcutAction::openPopover:
        return QStringLiteral("Open Halcyra Panel");
    case ShortcutAction::resetDisplayEffects:
        return QStringLiteral("Reset Display Effects (panic)");
    }
    return {};
}

ShortcutBinding ShortcutRecorder::binding() const {
    const auto it = m_manager.bindings().find(m_action);
    return it != m_manager.bindings().end() ? it->second
                                            : ShortcutBinding::defaultBinding(m_action);
}

QString ShortcutRecorder::chipText() const {
    if (m_recording) return QStringLiteral("Press keys...");
    const ShortcutBinding b = binding();
    return b.isUnbound() ? QStringLiteral("Not set") : b.displayString();
}

bool ShortcutRecorder::showsReset() const {
    return !m_recording && binding() != ShortcutBinding::defaultBinding(m_action);
}

bool ShortcutRecorder::heldElsewhere() const {
    return !m_recording && m_manager.hotKeyFallbackActions().contains(m_action);
}

void ShortcutRecorder::startRecording() {
    if (m_recording) return;
    if (s_active && s_active != this) s_active->stopRecording();
    s_active = this;
    m_recording = true;
    m_manager.suspendForRecording();
    if (monitorFactory) m_monitor = monitorFactory(*this);
    emit stateChanged();
}

void ShortcutRecorder::stopRecording() {
    if (!m_recording) return;
    m_recording = false;
    m_monitor.reset();
    if (s_active == this) s_active = nullptr;
    m_manager.resumeAfterRecording();
    emit stateChanged();
}

void ShortcutRecorder::chipClicked() {
    if (m_recording)
        stopRecording();
    else
        startRecording();
}

ShortcutRecorder::KeyResult ShortcutRecorder::keyDown(quint16 keyCode, quint64 modifiers) {
    if (!m_recording) return KeyResult::ignored;
    if (keyCode == escapeKeyCode) {
        stopRecording();
        return KeyResult::cancelled;
    }
    // Caps Lock, Function and the device bits never belong to a shortcut.
    const quint64 masked = modifiers & ShortcutKeyTable::matchedFlags;
    if (!masked) return KeyResult::ignored;
    const ShortcutBinding recorded{keyCode, masked};
    if (m_manager.ownerOf(recorded, m_action)) return KeyResult::taken;
    // The hot keys are let go while recording; resuming grabs the new combination.
    m_manager.setBinding(recorded, m_action);
    qCInfo(lcRecorder).noquote() << QStringLiteral("[Halcyra] Shortcut for %1 recorded: %2")
                                        .arg(rawValue(m_action), recorded.displayString());
    stopRecording();
    return KeyResult::recorded;
}

void ShortcutRecorder::reset() {
    m_manager.resetBinding(m_action);
}
