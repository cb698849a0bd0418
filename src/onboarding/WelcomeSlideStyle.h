#pragma once
// Colours and small pieces the welcome slides share across their files.
#include "popover/GlassPainter.h"

#include <QColor>
#include <QRectF>

class QPainter;
struct PresetColor;

namespace WelcomeSlideStyle {

inline const QColor kAmber = GlassPainter::srgb(1.0, 0.62, 0.24);
inline const QColor kDim = GlassPainter::white(0.55);

QColor presetColour(const PresetColor& c);
void paintSwitch(QPainter& p, const QRectF& track, bool on);

} // namespace WelcomeSlideStyle
