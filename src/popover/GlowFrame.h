#pragma once

#include <QColor>
#include <QRectF>

class QPainter;

// One frame of the status-item glow: how far the glow is scaled (1.0 to 1.15), its
// breathing opacity (0.35 to 0.7) and the fade of the whole glow (0 to 1).
struct GlowFrame {
    double scale = 1.0;
    double opacity = 0.35;
    double alpha = 0.0;
    bool operator==(const GlowFrame&) const = default;
    static QColor warmAccent() { return QColor::fromRgbF(1.0f, 0.55f, 0.15f); }
};

// The glow of `frame` centred in `box`, reaching its edge at full scale: what the
// glow's own window and the in-icon glow both draw.
void paintGlow(QPainter& p, const QRectF& box, const GlowFrame& frame, const QColor& warmAccent);
