#pragma once

#include <QColor>
#include <QFont>
#include <QFontDatabase>
#include <QLabel>
#include <QPalette>

// Type and colour shared by the popover's views: white text at graded opacities on
// the dark glass, in the desktop's own sans-serif (or its fixed-width face for
// numbers that must not jitter while they change).
namespace PopoverStyle {

// The accent of the on/off switch: an ember orange.
inline QColor accent() {
    return QColor::fromRgbF(1.0f, 0.55f, 0.15f);
}

inline QFont systemFont(int pixelSize, QFont::Weight weight = QFont::Normal) {
    QFont f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    f.setPixelSize(pixelSize);
    f.setWeight(weight);
    return f;
}

inline QFont monospacedFont(int pixelSize) {
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setStyleHint(QFont::TypeWriter);
    f.setPixelSize(pixelSize);
    return f;
}

// The caption size of slider rows and similar secondary lines.
inline constexpr int subheadlineSize = 11;

inline void styleLabel(QLabel* label, const QFont& font, const QColor& colour) {
    label->setFont(font);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, colour);
    pal.setColor(QPalette::Text, colour);
    label->setPalette(pal);
    label->setAttribute(Qt::WA_TranslucentBackground);
}

} // namespace PopoverStyle
