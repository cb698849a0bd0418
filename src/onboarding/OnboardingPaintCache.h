#pragma once

#include <QColor>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QPainterPath>
#include <QRectF>
#include <QString>
#include <functional>
#include <list>

class QPainter;

// The parts of an onboarding frame that do not change while it animates (laid-out
// text, blurred shadows, backdrops) kept as images at the painter's device scale, so
// a frame composites them instead of laying out, filling and blurring again. One
// cache per view; bounded, least recently used out first. Main thread only.
class OnboardingPaintCache {
public:
    static constexpr qsizetype defaultBudgetBytes = 96 * 1024 * 1024;
    // Draws one of a piece's steps (a text's line, say), from the piece's top-left; the
    // steps in order draw the whole piece, whether in one frame or over several.
    using StepPaint = std::function<void(QPainter&, int step)>;

    explicit OnboardingPaintCache(qsizetype budgetBytes = defaultBudgetBytes);

    // Draws what `paint` draws inside `box` (logical coordinates, `paint` draws with
    // `box`'s top-left at the origin), rendered once per key and device scale. A
    // painter turned or sheared paints directly instead.
    void draw(QPainter& p, const QString& key, const QRectF& box,
              const std::function<void(QPainter&)>& paint);

    // As above for a piece drawn in `steps` steps: one made partly ahead is finished here.
    void draw(QPainter& p, const QString& key, const QRectF& box, int steps,
              const StepPaint& paint);
    // Makes ahead, without drawing it, what draw() with the same key and box shows: a
    // piece not on screen yet, as many of its steps (each costing `stepCost`) as this
    // frame still allows.
    void prepare(QPainter& p, const QString& key, const QRectF& box, int steps,
                 const StepPaint& paint, int stepCost = 1);
    // What making ahead each frame may spend (set as the frame begins).
    void allowPreparing(int budget) { m_prepareBudget = budget; }
    // Spends `cost` of the frame's making ahead, when it still has that much.
    bool takePreparingStep(int cost = 1);

    // The image of what `paint` draws in a `size` box from its origin, rendered at
    // `scale` device pixels a point, for callers that draw it turned or scaled.
    QImage image(const QString& key, const QSizeF& size, qreal scale,
                 const std::function<void(QPainter&)>& paint);
    // Whether image() holds that piece already.
    bool holds(const QString& key, const QSizeF& size, qreal scale) const;

    // GlassPainter::paintShadow, blurred once per shape, colour and radius.
    void shadow(QPainter& p, const QPainterPath& shape, const QColor& colour, qreal radius,
                QPointF offset = {});
    // Blurs what shadow() would draw for this shape, without drawing it: a wide shadow
    // made ahead, before the frame its shape fades in on.
    void prepareShadow(QPainter& p, const QPainterPath& shape, const QColor& colour, qreal radius);

    // A value worked out once per key (text heights for layout passes).
    double measure(const QString& key, const std::function<double()>& compute);

    void clear();
    qsizetype bytes() const { return m_bytes; }
    int imageCount() const { return int(m_images.size()); }
    int renders() const { return m_renders; }

    // The scale from logical to device pixels; 0 when the painter is turned or sheared.
    static qreal deviceScale(const QPainter& p);
    // A key part that tells two fonts apart.
    static QString fontKey(const QFont& font);

private:
    struct Entry {
        QString key;
        QImage image;
    };
    void evict();
    struct Partial {
        QImage image;
        int stepsDone = 0;
    };
    enum class Mode { show, prepare, prepareWhole };
    void place(QPainter& p, const QString& key, const QRectF& box, int steps,
               const StepPaint& paint, Mode mode, int stepCost = 1);
    static void paintSteps(QImage& image, int from, int to, const QFont& font,
                           const StepPaint& paint);
    void placeShadow(QPainter& p, const QPainterPath& shape, const QColor& colour, qreal radius,
                     QPointF offset, bool show);
    const QImage* find(const QString& key);
    static QString imageKey(const QString& key, const QSizeF& size, qreal scale);
    void keep(const QString& key, const QImage& image);
    QImage render(const QSizeF& size, qreal scale, const QFont& font,
                  const std::function<void(QPainter&)>& paint);
    static QImage blank(const QSizeF& size, qreal scale);

    qsizetype m_budget;
    qsizetype m_bytes = 0;
    int m_renders = 0;
    std::list<Entry> m_lru; // most recently used first
    QHash<QString, std::list<Entry>::iterator> m_images;
    QHash<QString, double> m_measures;
    QHash<QString, Partial> m_partial; // pieces made ahead, not all steps yet
    int m_prepareBudget = 0;
};
