#pragma once

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

// Synthetic mouse input for widget tests: presses and releases are of the left
// button; `held` is what is down while the event happens.
inline void sendMouse(QWidget* w, QEvent::Type type, QPointF pos,
                      Qt::MouseButtons held = Qt::NoButton) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, pos, w->mapToGlobal(pos), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// A left click in the middle of `w`.
inline void clickCentre(QWidget* w) {
    const QPointF pos = QRectF(w->rect()).center();
    sendMouse(w, QEvent::MouseButtonPress, pos, Qt::LeftButton);
    sendMouse(w, QEvent::MouseButtonRelease, pos);
}
