#pragma once

#include <QColor>
#include <QRectF>

class QPainter;

// The onboarding's small symbols, drawn as vector shapes filling the largest square
// centred in `box`, in the exact colour of the text beside them.
namespace OnboardingGlyphs {
enum Glyph {
    Sun,
    Keyboard,
    Eye,
    Grid,
    Power,
    ArrowUp,
    LockShield,
    MenuBar,
    ArrowRight,
    Moon,
    // The survey's answers and links.
    MusicNote,
    Camera,
    PlayRectangle,
    At,
    Bubbles,
    MagnifyingGlass,
    People,
    Document,
    Ellipsis,
    Star,
};
void paint(QPainter& p, Glyph glyph, const QRectF& box, const QColor& colour);
} // namespace OnboardingGlyphs
