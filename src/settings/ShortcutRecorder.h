#pragma once

#include "brightness/ShortcutManager.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

// The state of one shortcut row: idle, showing the action's combination, or recording
// the next key combination typed into the settings window. While it records, a key
// monitor (made by `monitorFactory`) feeds it key-downs and the application's hot keys
// are let go so that even a combination of ours reaches the window. However recording
// ends (a key recorded, Escape, the chip clicked again, a click elsewhere, the window
// closed, another row starting), the monitor is destroyed and the hot keys are taken
// again. At most one recorder records at a time. Main thread only.
class ShortcutRecorder : public QObject {
    Q_OBJECT
public:
    // The stored code of the Escape key, which cancels.
    static constexpr quint16 escapeKeyCode = 53;
    // Makes the key monitor of a recording; destroying it removes the monitor.
    using MonitorFactory = std::function<std::unique_ptr<QObject>(ShortcutRecorder&)>;

    ShortcutRecorder(ShortcutManager& manager, ShortcutAction action, QObject* parent = nullptr);
    ~ShortcutRecorder() override;

    // "Toggle Halcyra", "Flow", … "Reset Display Effects (panic)".
    static QString label(ShortcutAction action);

    ShortcutAction action() const { return m_action; }
    ShortcutBinding binding() const;
    bool isRecording() const { return m_recording; }
    bool hasMonitor() const { return m_monitor != nullptr; }
    // "Press keys..." while recording, the combination, or "Not set" for none.
    QString chipText() const;
    // Reset shows while the combination differs from the default and nothing records.
    bool showsReset() const;
    // The hot key was refused (another application holds the combination): it works
    // only inside Halcyra's own windows.
    bool heldElsewhere() const;

    MonitorFactory monitorFactory;

    void startRecording();
    void stopRecording();
    // The chip: starts recording, or stops it when it runs.
    void chipClicked();

    enum class KeyResult { cancelled, ignored, taken, recorded };
    // A key-down while recording (stored code and modifier bits): Escape cancels, a bare
    // key or one owned by another action is ignored (recording goes on), anything else
    // becomes the binding. Every key-down seen while recording is consumed.
    KeyResult keyDown(quint16 keyCode, quint64 modifiers);
    // The action's default back; an action that held it loses its combination.
    void reset();

signals:
    void stateChanged();

private:
    ShortcutManager& m_manager;
    ShortcutAction m_action;
    bool m_recording = false;
    std::unique_ptr<QObject> m_monitor;
    static QPointer<ShortcutRecorder> s_active;
};
