#pragma once

#include "brightness/BrightnessOSD.h"
#include "brightness/SnapGuides.h"

#include <QElapsedTimer>
#include <QImage>
#include <QRegion>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

class OSDBorderRing;
class QPainter;
class QPainterPath;
class SnapGuideOverlay;

// How the panel is drawn where it lands. With a compositor the window is
// see-through beyond the card and the card carries its shadow (drawn by `shadow`:
// shape, colour, blur radius, offset); without one the window is cut to the card.
struct OSDPanelLook {
    bool composited = false;
    std::function<void(QPainter&, const QPainterPath&, const QColor&, qreal, QPointF)> shadow;
};

// The on-screen display's window: a dark rounded panel that never takes focus, with
// an icon either side of a gradient bar and a border that turns once every 3 s while
// it is up. It is dragged with the mouse (snapping to the guides of the main screen)
// and stores where it was dropped under "halcyra.osdPosition".
class BrightnessOSDPanel final : public QWidget, public OSDPanel {
public:
    // The border's frame; and how long it waits after a new level brought one, a little
    // longer than a ramp's frame.
    static constexpr int frameMs = 16;
    static constexpr int frameAfterLevelMs = 20;

    using Look = OSDPanelLook;
    explicit BrightnessOSDPanel(OSDState& state, Look look = {});
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
    void frameTick();
    // Sends `pieces` of the composed frame to the window at once; false when the
    // toolkit has to paint them.
    bool putFrame(const std::vector<QRect>& pieces);
    // The panel without the bar's fill and the border; kept per mode and pixel ratio.
    void paintBackdrop(QPainter& p) const;
    void paintFill(QPainter& p) const;
    QRectF barTrack() const;
    // Brings m_frame up to the state: backdrop, the fill at the percentage, the border.
    void composeFrame(qreal dpr);
    void composeBorder();
    // The colours of the turning border's runs at the animation's time, premultiplied.
    std::vector<QRgb> borderColours() const;

    OSDState& m_state;
    Look m_look;
    QString m_positionKey;
    bool m_isDragging = false;
    QPointF m_dragStartMouse;
    SnapGuides m_guides;
    std::unique_ptr<SnapGuideOverlay> m_overlay;
    QTimer m_frameTimer;
    QElapsedTimer m_animationStart;
    QRegion m_borderRegion;
    std::unique_ptr<OSDBorderRing> m_ring;

    // What the panel last showed, to tell which part a change touches.
    OSDMode m_shownMode = OSDMode::brightness;
    bool m_shownVisible = false;
    bool m_shownStilled = false;
    QRect m_pending; // waits for the next frame while the border turns

    QImage m_backdrop;
    OSDMode m_backdropMode = OSDMode::brightness;
    QImage m_frame;
    double m_framePercentage = -1;
    enum class BorderLook { none, still, turning };
    BorderLook m_frameLook = BorderLook::none;
    std::vector<QRgb> m_frameColours; // the turning border's colours in m_frame
    std::vector<QRgb> m_colours;      // its colours now
};
