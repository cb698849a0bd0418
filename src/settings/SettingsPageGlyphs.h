#pragma once

#include <QColor>
#include <QString>

class QPainter;

// The symbols of the keyboard, presets and explore pages, kept beside the main table
// (SettingsGlyphs) that paints them: each draws on a 24 × 24 grid in one colour.
namespace SettingsPageGlyphs {
using Paint = void (*)(QPainter& p, const QColor& colour);
// Null for a name this table does not hold.
Paint find(const QString& symbol);
} // namespace SettingsPageGlyphs
