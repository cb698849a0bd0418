#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <optional>

// Where the on-screen display's panel lands while it is dragged: two vertical guides
// where its edges would be if it were centred on the main screen, one horizontal guide
// an eighth of the screen height below the top. Within 8 points of a guide the panel
// catches on it (one alignment tap) and holds there until the pointer has moved 30
// points from where it caught. Global coordinates, y downwards.
class SnapGuides {
public:
    static constexpr double captureDistance = 8.0;
    static constexpr double releaseDistance = 30.0;

    struct Line {
        bool visible = false;
        bool snapped = false;
        bool operator==(const Line&) const = default;
    };

    // `mainScreen` none: no guides and no snapping for this drag.
    void beginDrag(QSizeF panelSize, QPointF windowOrigin, QPointF mouse,
                   std::optional<QRectF> mainScreen);
    // The panel origin for this pointer position.
    QPointF applySnap(QPointF mouse, QSizeF panelSize, std::optional<QRectF> mainScreen);
    void endDrag();

    double verticalLeftX = 0;
    double verticalRightX = 0;
    double horizontalY = 0;
    Line verticalLeft, verticalRight, horizontal;
    bool guidesVisible = false;
    bool isLockedX = false;
    bool isLockedY = false;
    // Alignment taps given so far (a haptic where the hardware has one).
    int taps = 0;

private:
    QPointF m_dragStartMouse;
    QPointF m_dragStartOrigin;
    double m_lockMouseX = 0, m_lockMouseY = 0;
    double m_lockedX = 0, m_lockedY = 0;
    bool m_tappedX = false, m_tappedY = false;
};
