#pragma once

#include <QColor>
#include <QRectF>

class QPainter;

// The popover's small line symbols, drawn as vector shapes so they stay crisp at any
// scale and take the exact colour and opacity of the text beside them. Each fills the
// largest square centred in `box`.
namespace PopoverGlyphs {
void checkmarkCircleFill(QPainter& p, const QRectF& box, const QColor& colour);
void arrowUpCircleFill(QPainter& p, const QRectF& box, const QColor& colour);
void gear(QPainter& p, const QRectF& box, const QColor& colour);
void exclamationTriangleFill(QPainter& p, const QRectF& box, const QColor& colour);
void lightRecessed(QPainter& p, const QRectF& box, const QColor& colour);
} // namespace PopoverGlyphs
