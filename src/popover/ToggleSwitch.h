#pragma once

#include <QAbstractButton>
#include <QColor>

class QVariantAnimation;

// A switch-style on/off toggle with no visible label: a rounded track that fills with
// the tint when on and a white knob that slides across. Keyboard (Space) and
// accessibility come from the checkable button underneath. `clicked(bool)` reports
// the user's flips; setChecked from code moves the knob without announcing anything.
class ToggleSwitch : public QAbstractButton {
    Q_OBJECT
public:
    explicit ToggleSwitch(const QColor& tint, QWidget* parent = nullptr);

    QSize sizeHint() const override { return {38, 22}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

    // Where the knob sits, 0 (off) to 1 (on); follows the checked state with a short
    // ease-out.
    qreal knobPosition() const { return m_position; }

protected:
    void paintEvent(QPaintEvent*) override;
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
    void checkStateSet() override;

private:
    void animateTo(qreal target);

    QColor m_tint;
    qreal m_position = 0;
    QVariantAnimation* m_animation;
};
