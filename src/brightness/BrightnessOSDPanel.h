#pragma once

#include "brightness/BrightnessOSD.h"
#include "brightness/SnapGuides.h"

#include <QElapsedTimer>
#include <QImage>
#include <QPolygonF>
#include <QRegion>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <vector>

class SnapGuideOverlay;

// The on-screen display's window: a dark rounded panel that never takes focus, with
// an icon either side of a gradient bar and a border that turns once every 3 s while
// it is up. It is dragged with the mouse (snapping to the guides of the main screen)
// and stores where it was dropped under "halcyra.osdPosition".
class BrightnessOSDPanel final : public QWidget, public OSDPanel {
public:
    explicit BrightnessOSDPanel(OSDState& state);
    ~BrightnessOSDPanel() override;

    void moveTo(QPoint origin) override;
    void orderFront() override;
    void orderOut() override;
    bool isDragging() const override { return m_isDragging; }

    // The screens as the display sees them, from the windowing system.
    static OSDScreens currentScreens();

    SnapGuides& snapGuides() { return m_guides; }
    SnapGuideOverlay* overlay() const { return m_overlay.get(); }

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    void stateChanged();
    // The panel without its border; kept until the bar or the mode changes.
    void paintContent(QPainter& p);
    void paintBorder(QPainter& p);

    OSDState& m_state;
    QString m_positionKey;
    bool m_isDragging = false;
    QPointF m_dragStartMouse;
    SnapGuides m_guides;
    std::unique_ptr<SnapGuideOverlay> m_overlay;
    QTimer m_frameTimer;
    QElapsedTimer m_animationStart;
    QRegion m_borderRegion;
    struct BorderRun {
        QPolygonF points;
        qreal angle = 0; // degrees, counter-clockwise from the right
    };
    std::vector<BorderRun> m_borderRuns;
    QImage m_content;
    double m_contentPercentage = -1;
    OSDMode m_contentMode = OSDMode::brightness;
};
