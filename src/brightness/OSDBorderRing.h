#pragma once

#include <QColor>
#include <QImage>
#include <QPolygonF>
#include <QRect>
#include <vector>

class QPainterPath;

// The on-screen display's turning border: short runs round the card's outline, each
// one solid colour of an angular gradient, blended by hand over coverage measured
// once per pixel ratio. A frame recomputes only the pixels of the runs whose colour
// changed; most of the outline is the gradient's flat stretch.
class OSDBorderRing {
public:
    static constexpr int runCount = 48;

    // `outline` is the stroke's middle line; `centre` is where the runs' angles are
    // seen from.
    OSDBorderRing(const QPainterPath& outline, QPointF centre);

    // The runs' colours `seconds` into the animation (one turn every 3 s) for the
    // mode's `accent`, premultiplied.
    std::vector<QRgb> colours(qreal seconds, const QColor& accent) const;

    // Finds each run's pixels in a frame of `pixels` at `dpr` (a 1.5-point stroke).
    void measure(QSize pixels, qreal dpr);
    qreal measuredRatio() const { return m_dpr; } // 0 until measured
    // Where run `i`'s pixels lie, in points.
    QRect area(size_t i) const { return m_runs[i].area; }

    // Lays the runs in `colours` over `backdrop` into `frame` (both of the measured
    // size): every run's pixels when `shown` is null, else only those of the runs whose
    // colour differs from `shown`, the colours `frame` holds now. Pixels where runs
    // meet are made from all of them, in order, as stroking one after another would.
    void blend(QImage& frame, const QImage& backdrop, const std::vector<QRgb>& colours,
               const std::vector<QRgb>* shown);

private:
    struct Run {
        QPolygonF points;
        qreal angle = 0;         // degrees, counter-clockwise from the right
        std::vector<int> pixels; // indices into m_pixels
        QRect area;
    };
    struct Pixel {
        int offset = 0; // in the frame, in pixels
        int first = 0;  // its first contribution in m_contributions
        int count = 0;
    };
    struct Contribution {
        int run = 0;
        uchar cover = 0; // 0-255
    };
    void blendPixel(const Pixel& p, const QRgb* from, QRgb* to,
                    const std::vector<QRgb>& colours) const;

    std::vector<Run> m_runs;
    std::vector<Pixel> m_pixels;
    std::vector<Contribution> m_contributions;
    std::vector<unsigned> m_stamps; // the blend that last made each pixel
    unsigned m_blends = 0;
    qreal m_dpr = 0;
    QSize m_size;
};
