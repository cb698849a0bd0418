#pragma once

#include "popover/PopoverChrome.h"

#include <QColor>
#include <QRectF>
#include <QString>

class QPainter;

// The settings window's symbols, looked up by the names the window's design uses
// ("house.fill", "sun.max.fill", …) and painted as vector shapes in one colour, so
// they stay crisp and take the exact tint of the text beside them. One table holds
// every name; an unknown name paints a small dot.
namespace SettingsGlyphs {
bool has(const QString& symbol);
void paint(QPainter& p, const QString& symbol, const QRectF& box, const QColor& colour);
GlyphPainter painter(const QString& symbol);
} // namespace SettingsGlyphs
