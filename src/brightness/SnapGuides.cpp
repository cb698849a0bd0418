#include "brightness/SnapGuides.h"

#include <cmath>

void SnapGuides::beginDrag(QSizeF panelSize, QPointF windowOrigin, QPointF mouse,
                           std::optional<QRectF> mainScreen) {
    m_dragStartMouse = mouse;
    m_dragStartOrigin = windowOrigin;
    isLockedX = isLockedY = m_tappedX = m_tappedY = false;
    if (!mainScreen) return;
    verticalLeftX = mainScreen->center().x() - panelSize.width() / 2;
    verticalRightX = mainScreen->center().x() + panelSize.width() / 2;
    horizontalY = mainScreen->top() + mainScreen->height() / 8;
    verticalLeft = verticalRight = horizontal = Line{true, false};
    guidesVisible = true;
}

QPointF SnapGuides::applySnap(QPointF m, QSizeF s, std::optional<QRectF> mainScreen) {
    const QPointF free = m - m_dragStartMouse + m_dragStartOrigin;
    if (!mainScreen) return free;
    const double L = mainScreen->center().x() - s.width() / 2;
    verticalLeftX = L;
    verticalRightX = L + s.width();
    const double G = mainScreen->top() + mainScreen->height() / 8;
    horizontalY = G;

    double x = free.x();
    if (isLockedX) {
        x = m_lockedX;
        const bool release = std::abs(m.x() - m_lockMouseX) > releaseDistance;
        // The releasing event still lands on the guide; the next one follows the pointer.
        if (release) isLockedX = m_tappedX = false;
        verticalLeft.snapped = verticalRight.snapped = !release;
    } else if (std::abs(free.x() - L) < captureDistance) {
        isLockedX = true;
        m_lockMouseX = m.x();
        m_lockedX = x = std::round(L);
        verticalLeft.snapped = verticalRight.snapped = true;
        if (!m_tappedX) ++taps;
        m_tappedX = true;
    } else {
        verticalLeft.snapped = verticalRight.snapped = false;
    }

    double y = free.y();
    if (isLockedY) {
        y = m_lockedY;
        const bool release = std::abs(m.y() - m_lockMouseY) > releaseDistance;
        if (release) isLockedY = m_tappedY = false;
        horizontal.snapped = !release;
    } else {
        const double dTop = std::abs(free.y() - G);
        const double dBottom = std::abs(free.y() + s.height() - G);
        if (std::min(dTop, dBottom) < captureDistance) {
            isLockedY = true;
            m_lockMouseY = m.y();
            // Either edge may catch; the top one when it is strictly nearer.
            m_lockedY = y = std::round(dTop < dBottom ? G : G - s.height());
            horizontal.snapped = true;
            if (!m_tappedY) ++taps;
            m_tappedY = true;
        } else {
            horizontal.snapped = false;
        }
    }
    return {x, y};
}

void SnapGuides::endDrag() {
    isLockedX = isLockedY = m_tappedX = m_tappedY = false;
    verticalLeft = verticalRight = horizontal = Line{};
    guidesVisible = false;
}
