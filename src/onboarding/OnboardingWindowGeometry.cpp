#include "onboarding/OnboardingWindowGeometry.h"

#include <QEasingCurve>
#include <QGuiApplication>
#include <QScreen>
#include <QVariantAnimation>
#include <QWidget>

namespace OnboardingWindowGeometry {

QScreen* mainScreen() {
    if (QScreen* primary = QGuiApplication::primaryScreen()) return primary;
    const QList<QScreen*> screens = QGuiApplication::screens();
    return screens.isEmpty() ? nullptr : screens.first();
}

QRectF screenFrame() {
    const QScreen* screen = mainScreen();
    return screen ? QRectF(screen->geometry()) : QRectF();
}

QRectF visibleFrame() {
    const QScreen* screen = mainScreen();
    return screen ? QRectF(screen->availableGeometry()) : QRectF();
}

void fade(QWidget& window, QVariantAnimation*& running, double to, double seconds,
          std::function<void()> done) {
    delete running;
    running = new QVariantAnimation(&window);
    running->setStartValue(window.windowOpacity());
    running->setEndValue(to);
    running->setDuration(int(seconds * 1000));
    running->setEasingCurve(QEasingCurve::InOutQuad);
    QObject::connect(running, &QVariantAnimation::valueChanged, &window,
                     [w = &window](const QVariant& v) { w->setWindowOpacity(v.toDouble()); });
    if (done) QObject::connect(running, &QVariantAnimation::finished, &window, std::move(done));
    running->start();
}

} // namespace OnboardingWindowGeometry
