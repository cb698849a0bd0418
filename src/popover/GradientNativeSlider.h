#pragma once

#include <QColor>
#include <QList>
#include <QSlider>
#include <QString>
#include <QWidget>
#include <optional>

class QLabel;

// The slider control itself: a real QSlider (so keyboard steps, focus and
// accessibility are Qt's own) that paints a thin gradient track and a frosted round
// thumb instead of the style's look, and maps a press anywhere on the track straight
// to the position under the pointer.
class GradientTrackControl : public QSlider {
    Q_OBJECT
public:
    static constexpr int steps = 10000;
    static constexpr qreal controlHeight = 22;
    static constexpr qreal trackHeight = 6;
    static constexpr qreal trackRadius = 3;
    static constexpr qreal thumbDiameter = 18;

    explicit GradientTrackControl(QList<QColor> gradientColors, QWidget* parent = nullptr);

    // The drawn value; may lie outside 0 to 1 (it is drawn clamped).
    void setDrawnValue(double v);
    double drawnValue() const { return m_value; }
    const QList<QColor>& gradientColors() const { return m_colours; }

    // Geometry of a control `width` wide showing `v`.
    static double clampedValue(double v);
    static double thumbCentreX(double width, double v);
    static double filledWidth(double width, double v);
    // The position a press at `x` asks for.
    static double valueAtX(double width, double x);

    QSize sizeHint() const override { return {200, int(controlHeight)}; }
    QSize minimumSizeHint() const override { return {40, int(controlHeight)}; }

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    QList<QColor> m_colours;
    double m_value = 0;
};

// The labelled slider of the popover's warmth and brightness rows: a caption with an
// optional read-out above a thin gradient track.
class GradientNativeSlider : public QWidget {
    Q_OBJECT
public:
    GradientNativeSlider(const QString& label, QList<QColor> gradientColors,
                         QWidget* parent = nullptr);

    QString label() const { return m_label; }
    std::optional<QString> displayValue() const { return m_displayValue; }
    void setDisplayValue(const std::optional<QString>& text);

    // The position, 0 to 1 in normal use. Setting it from outside announces nothing.
    double value() const { return m_value; }
    void setValue(double v);

    GradientTrackControl* control() const { return m_control; }
    QLabel* captionLabel() const { return m_caption; }
    QLabel* readoutLabel() const { return m_readout; }

signals:
    // The user moved the slider (drag, click or key).
    void valueEdited(double value);
    // A drag began (true) or ended (false).
    void editingChanged(bool editing);

private:
    void onControlMoved(int position);

    QString m_label;
    std::optional<QString> m_displayValue;
    double m_value = 0;
    bool m_settingFromOutside = false;
    QLabel* m_caption;
    QLabel* m_readout;
    GradientTrackControl* m_control;
};
