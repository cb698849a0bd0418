#pragma once

#include <QRectF>
#include <functional>

class QScreen;
class QVariantAnimation;
class QWidget;

// What the takeover and the welcome windows share about their place on screen: the
// main screen they open on (the primary, else the first), its areas, and the opacity
// fade both windows come and go with.
namespace OnboardingWindowGeometry {
// The screen the onboarding opens on; null without any screen.
QScreen* mainScreen();
// The whole area of the main screen; empty without a screen.
QRectF screenFrame();
// The part of the main screen that panels and docks leave free; empty without a screen.
QRectF visibleFrame();
// Animates `window`'s opacity to `to` over `seconds` (ease in and out), replacing the
// fade `running` points at, then calls `done`.
void fade(QWidget& window, QVariantAnimation*& running, double to, double seconds,
          std::function<void()> done);
} // namespace OnboardingWindowGeometry
