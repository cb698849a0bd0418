#pragma once

#include <QColor>
#include <QWidget>

// The view the XDR boost would draw with: one colour at a gain of 1.0 to 1.1 over
// reference white. X11 has no extended range, so what is painted is the gain held to
// 1.0 (white); the gain itself is kept as asked.
class XDRBoostView : public QWidget {
    Q_OBJECT
public:
    XDRBoostView(const QRect& frame, float gain, float headroom, QWidget* parent = nullptr);

    void updateGain(float gain, float headroom);
    float gain() const { return m_gain; }
    // The colour one frame paints.
    QColor paintedColor() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    float m_gain = 1.0f;
};
