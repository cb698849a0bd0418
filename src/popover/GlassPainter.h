#pragma once

#include <QColor>
#include <QLinearGradient>
#include <QList>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <functional>

class QPainter;

// The one place that knows how Halcyra's dark glass looks: the card behind the
// popover, the frosted slider thumb, the faint inset panels and the soft shadows
// under them. Every view that wants the look paints through these functions so the
// popover, its chips and its sliders never drift apart.
class GlassPainter {
public:
    // Translucent: the window behind may show through (a compositor blends it).
    // Opaque: nothing blends, so the material is drawn as a solid dark tone.
    enum class Backdrop { translucent, opaque };

    static QColor white(qreal opacity);
    static QColor black(qreal opacity);
    static QColor srgb(qreal r, qreal g, qreal b, qreal opacity = 1.0);

    // A rounded rectangle with continuous (curvature-smooth) corners.
    static QPainterPath continuousRoundedRect(const QRectF& rect, qreal radius);

    // A blurred copy of `shape` in `colour`, moved by `offset`: the soft shadow (or
    // coloured glow) that lifts a shape off what lies beneath. `radius` is the blur.
    static void paintShadow(QPainter& p, const QPainterPath& shape, const QColor& colour,
                            qreal radius, QPointF offset = {});

    // The popover's glass card: ultra-thin material, a black veil at 0.4, a 0.5-wide
    // inner edge of white at 0.15 and a shadow of black at 0.12 (radius 1.5, one down).
    static void paintCard(QPainter& p, const QRectF& rect, qreal radius, Backdrop backdrop);
    // The card that frames a group of settings rows: the same without the veil.
    static void paintGlassCard(QPainter& p, const QRectF& rect, qreal radius, Backdrop backdrop);
    // How far the card's shadow reaches past its edge; callers leave this margin free.
    static constexpr qreal cardShadowMargin = 3.0;

    // The ultra-thin material alone, filling `shape`.
    static void paintMaterial(QPainter& p, const QPainterPath& shape, Backdrop backdrop);

    // A flat panel inside the card: a white fill at `fillOpacity` and a 0.5-wide inner
    // edge of white at `edgeOpacity`.
    static void paintInset(QPainter& p, const QRectF& rect, qreal radius, qreal fillOpacity,
                           qreal edgeOpacity);

    // A 0.5-wide (or `width`) line drawn just inside the shape's edge.
    static void strokeInside(QPainter& p, const QRectF& rect, qreal radius, const QColor& colour,
                             qreal width = 0.5);

    // The round thumb of the sliders: a disc of the ultra-thin material frosting what
    // lies beneath it (`backdrop` paints that, in the same coordinates as `p`), edged by
    // a 0.5-wide line of white at 0.35, over a shadow of black at 0.25 (radius 2, one
    // down).
    static void paintThumb(QPainter& p, QPointF centre, qreal diameter,
                           const std::function<void(QPainter&)>& backdrop);
    // A horizontal linear gradient over [x0, x1] with evenly spaced `stops`.
    static QLinearGradient horizontalGradient(const QList<QColor>& stops, qreal x0, qreal x1,
                                              qreal opacity = 1.0);
};
