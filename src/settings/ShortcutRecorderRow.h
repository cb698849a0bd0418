#pragma once

#include "brightness/ShortcutManager.h"

#include <QAbstractButton>
#include <QWidget>

class QLabel;
class ShortcutRecorder;
class SymbolWidget;

// The chip of a recorder row: the combination, or "Press keys..." in the accent while
// it records.
class ShortcutChip : public QAbstractButton {
public:
    explicit ShortcutChip(QWidget* parent = nullptr);
    void setRecording(bool recording);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    bool m_recording = false;
};

// One global shortcut in the keyboard section: its label, a "Reset" button while the
// combination differs from the default, and the chip that records a new one. A
// combination another application holds is noted under the row.
class ShortcutRecorderRow : public QWidget {
    Q_OBJECT
public:
    ShortcutRecorderRow(ShortcutManager& manager, ShortcutAction action, QWidget* parent = nullptr);
    ~ShortcutRecorderRow() override;

    ShortcutRecorder& recorder() const { return *m_recorder; }
    ShortcutChip* chip() const { return m_chip; }
    QAbstractButton* resetButton() const { return m_reset; }
    QWidget* heldNotice() const { return m_held; }

private:
    void refresh();

    ShortcutRecorder* m_recorder;
    ShortcutChip* m_chip;
    QAbstractButton* m_reset;
    QWidget* m_held;
};

// A fixed combination with no recorder ("Brightness Up/Down", "Brightness keys (fixed)").
QWidget* fixedShortcutRow(const QString& label, const QString& keys);
