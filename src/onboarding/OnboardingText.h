#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class OnboardingPaintCache;
class QPainter;

// Text of the onboarding's slides: wrapped rich text (spans of colour within one
// line) with an optional soft shadow, drawn at a top-left point within a width.
namespace OnboardingText {
QFont font(int pixelSize, QFont::Weight weight, bool italic = false);
QString span(const QString& text, const QColor& colour);
// Lays out `html` in `width` and, with a painter, draws it at (x, y + lift) with
// `opacity`; returns its height. `align` is Qt::AlignLeft or Qt::AlignHCenter. With a
// cache the layout and its pixels are made once and reused by later frames.
double draw(OnboardingPaintCache* cache, QPainter* p, const QString& html, const QFont& font,
            double x, double y, double width, int align, double opacity = 1.0, double lift = 0,
            double lineSpacing = 0, bool shadow = true);
} // namespace OnboardingText
