#pragma once

#include <QColor>
#include <QRectF>
#include <QString>

class QPainter;

// The schedule and insight views' small symbols, drawn as vector shapes in one colour
// so they stay crisp at any scale. Each fills the largest square centred in `box`.
namespace ScheduleGlyphs {
// Draws the symbol of that name; a name it does not know draws a small filled disc,
// so a missing symbol never leaves a hole in a row.
void draw(QPainter& p, const QString& name, const QRectF& box, const QColor& colour);
bool knows(const QString& name);
} // namespace ScheduleGlyphs
