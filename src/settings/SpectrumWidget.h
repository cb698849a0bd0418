#pragma once

#include <QWidget>

// A thin colour-temperature bar, cool blue at the leading end (6500 K) to deep red at
// the trailing end (1000 K), with a round marker at `kelvin`: full strength while the
// tint is `active`, faded otherwise. Takes the width it is given and is 10 high.
class SpectrumWidget : public QWidget {
    Q_OBJECT
public:
    static constexpr int barHeight = 10;

    SpectrumWidget(double kelvin, bool active, QWidget* parent = nullptr);

    // A host that lives longer than one reading moves the marker.
    void set(double kelvin, bool active);
    double kelvin() const { return m_kelvin; }
    bool active() const { return m_active; }
    // Where the marker sits in the widget.
    QRectF markerRect() const;

    QSize sizeHint() const override { return {200, barHeight}; }
    QSize minimumSizeHint() const override { return {barHeight, barHeight}; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    double m_kelvin;
    bool m_active;
};
