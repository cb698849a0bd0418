#pragma once

#include "popover/GlassPainter.h"

#include <QAbstractButton>
#include <functional>

class QTimer;
class QVariantAnimation;

// Paints a small symbol into a box in a colour (see PopoverGlyphs).
using GlyphPainter = std::function<void(QPainter&, const QRectF&, const QColor&)>;

// Shows or hides `widget` with an opacity fade of `durationMs`; a widget whose window
// is not on screen changes at once. A fade in flight is replaced by the new one.
void fadeVisibility(QWidget* widget, bool visible, int durationMs = 200);

// A fixed-size symbol in one colour, standing in a row of text.
class GlyphWidget : public QWidget {
public:
    GlyphWidget(GlyphPainter glyph, QSize size, const QColor& colour, QWidget* parent = nullptr);
    void setColour(const QColor& colour);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    GlyphPainter m_glyph;
    QColor m_colour;
};

// Makes the popover's own window see-through so only the glass card shows. Where no
// compositor blends windows (a bare X server), a see-through window would show
// garbage, so the window stays opaque and the card is painted as solid dark glass.
class PopoverWindowClearer {
public:
    // True when windows with an alpha channel are blended by a compositor. Wayland
    // always composites; on X11 a compositing manager owns the _NET_WM_CM_S<n>
    // selection. HALCYRA_OPAQUE_POPOVER=1 forces the opaque look.
    static bool compositorAvailable();

    // Prepares a top-level window that will host the popover: see-through and without
    // a system background where a compositor allows it. Must run before the window is
    // first shown; on a window that already exists it changes nothing. Returns the
    // backdrop the card should be painted for.
    static GlassPainter::Backdrop prepare(QWidget* window);

    // The backdrop a window was prepared for (opaque when it was never prepared).
    static GlassPainter::Backdrop backdropOf(const QWidget* window);
};

// A borderless button whose face is a symbol.
class GlyphButton : public QAbstractButton {
public:
    GlyphButton(GlyphPainter glyph, QSize glyphSize, const QColor& colour, qreal padding = 0,
                QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    GlyphPainter m_glyph;
    QSize m_glyphSize;
    QColor m_colour;
    qreal m_padding;
};

// A borderless icon button with a hover lift: a faint rounded highlight (white at
// 0.07) that fades in over 0.12 s while the pointer is over it, and a hover cue on
// entry. The popover's settings gear is one.
class HoverLiftButton : public QAbstractButton {
    Q_OBJECT
public:
    HoverLiftButton(GlyphPainter glyph, QSize glyphSize, qreal cornerRadius, qreal padding,
                    QWidget* parent = nullptr);

    // Called once each time the pointer enters (the popover plays the hover cue).
    std::function<void()> onHoverEntered;

    bool hovered() const { return m_hovered; }
    qreal liftOpacity() const { return m_lift; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;

private:
    void animateLift(qreal target);

    GlyphPainter m_glyph;
    QSize m_glyphSize;
    qreal m_cornerRadius;
    qreal m_padding;
    bool m_hovered = false;
    qreal m_lift = 0; // 0 to 1 of the highlight's full strength
    QVariantAnimation* m_animation;
};

// The small indeterminate spinner: eight spokes, the leading one brightest, turning
// while it is shown. `scale` shrinks it inside a square frame of `side` points.
class ActivityIndicator : public QWidget {
public:
    explicit ActivityIndicator(QWidget* parent = nullptr, int side = 16, qreal scale = 1.0);

protected:
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;
    void paintEvent(QPaintEvent*) override;

private:
    static constexpr int spokes = 8;
    QTimer* m_timer;
    qreal m_scale;
    int m_phase = 0;
};
