#include "onboarding/OnboardingPaintCache.h"

#include "popover/GlassPainter.h"

#include <QPaintDevice>
#include <QPainter>
#include <QTransform>
#include <algorithm>
#include <cmath>

OnboardingPaintCache::OnboardingPaintCache(qsizetype budgetBytes) : m_budget(budgetBytes) {}

qreal OnboardingPaintCache::deviceScale(const QPainter& p) {
    const QTransform t = p.deviceTransform();
    if (t.type() > QTransform::TxScale) return 0; // turned, sheared or projected
    if (std::abs(std::abs(t.m11()) - std::abs(t.m22())) > 1e-6 || t.m11() <= 0) return 0;
    return t.m11();
}

QString OnboardingPaintCache::fontKey(const QFont& font) {
    return font.key() + QLatin1Char('/') + QString::number(font.letterSpacing());
}

const QImage* OnboardingPaintCache::find(const QString& key) {
    auto it = m_images.find(key);
    if (it == m_images.end()) return nullptr;
    m_lru.splice(m_lru.begin(), m_lru, it.value());
    return &it.value()->image;
}

void OnboardingPaintCache::keep(const QString& key, const QImage& image) {
    m_bytes += image.sizeInBytes();
    m_lru.push_front({key, image});
    m_images.insert(key, m_lru.begin());
    evict(); // a piece larger than the whole budget is used once, not kept
}

QImage OnboardingPaintCache::blank(const QSizeF& size, qreal scale) {
    const QSize pixels(int(std::ceil(size.width() * scale)), int(std::ceil(size.height() * scale)));
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return image;
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    return image;
}

QImage OnboardingPaintCache::render(const QSizeF& size, qreal scale, const QFont& font,
                                    const std::function<void(QPainter&)>& paint) {
    QImage image = blank(size, scale);
    if (image.isNull()) return image;
    {
        QPainter ip(&image);
        ip.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        ip.setFont(font);
        paint(ip);
    }
    ++m_renders;
    return image;
}

void OnboardingPaintCache::paintSteps(QImage& image, int from, int to, const QFont& font,
                                      const StepPaint& paint) {
    QPainter ip(&image);
    ip.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    ip.setFont(font);
    for (int step = from; step < to; ++step) {
        ip.save();
        paint(ip, step);
        ip.restore();
    }
}

bool OnboardingPaintCache::takePreparingStep(int cost) {
    if (m_prepareBudget < cost) return false;
    m_prepareBudget -= cost;
    return true;
}

void OnboardingPaintCache::draw(QPainter& p, const QString& key, const QRectF& box,
                                const std::function<void(QPainter&)>& paint) {
    place(
        p, key, box, 1, [&paint](QPainter& ip, int) { paint(ip); }, Mode::show);
}

void OnboardingPaintCache::draw(QPainter& p, const QString& key, const QRectF& box, int steps,
                                const StepPaint& paint) {
    place(p, key, box, steps, paint, Mode::show);
}

void OnboardingPaintCache::prepare(QPainter& p, const QString& key, const QRectF& box, int steps,
                                   const StepPaint& paint, int stepCost) {
    place(p, key, box, steps, paint, Mode::prepare, stepCost);
}

void OnboardingPaintCache::place(QPainter& p, const QString& key, const QRectF& box, int steps,
                                 const StepPaint& paint, Mode mode, int stepCost) {
    const bool show = mode == Mode::show;
    const qreal scale = deviceScale(p);
    if (scale <= 0 || box.isEmpty()) {
        if (!show) return;
        p.save();
        p.translate(box.topLeft());
        for (int step = 0; step < steps; ++step) {
            p.save();
            paint(p, step);
            p.restore();
        }
        p.restore();
        return;
    }
    const QString full = imageKey(key, box.size(), scale);
    if (const QImage* kept = find(full)) {
        if (show) p.drawImage(box.topLeft(), *kept);
        return;
    }
    auto partial = m_partial.find(full);
    if (partial == m_partial.end()) {
        if (mode == Mode::prepare && m_prepareBudget < stepCost) return;
        QImage image = blank(box.size(), scale);
        if (image.isNull()) return;
        partial = m_partial.insert(full, Partial{image, 0});
    }
    // A piece made partly ahead is finished when it shows; ahead of that, it gets as many
    // steps as the frame still allows.
    int to = partial->stepsDone;
    while (to < steps && (mode != Mode::prepare || takePreparingStep(stepCost)))
        ++to;
    if (to > partial->stepsDone)
        paintSteps(partial->image, partial->stepsDone, to, p.font(), paint);
    partial->stepsDone = to;
    if (to < steps) return;
    const QImage made = partial->image;
    m_partial.erase(partial);
    ++m_renders;
    if (show) p.drawImage(box.topLeft(), made);
    keep(full, made);
}

QString OnboardingPaintCache::imageKey(const QString& key, const QSizeF& size, qreal scale) {
    return key + QStringLiteral("@%1x%2x%3")
                     .arg(std::lround(scale * 1000))
                     .arg(size.width(), 0, 'f', 2)
                     .arg(size.height(), 0, 'f', 2);
}

bool OnboardingPaintCache::holds(const QString& key, const QSizeF& size, qreal scale) const {
    return m_images.contains(imageKey(key, size, scale));
}

QImage OnboardingPaintCache::image(const QString& key, const QSizeF& size, qreal scale,
                                   const std::function<void(QPainter&)>& paint) {
    const QString full = imageKey(key, size, scale);
    if (const QImage* kept = find(full)) return *kept;
    const QImage made = render(size, scale, QFont(), paint);
    if (!made.isNull()) keep(full, made);
    return made;
}

void OnboardingPaintCache::shadow(QPainter& p, const QPainterPath& shape, const QColor& colour,
                                  qreal radius, QPointF offset) {
    placeShadow(p, shape, colour, radius, offset, true);
}

void OnboardingPaintCache::prepareShadow(QPainter& p, const QPainterPath& shape,
                                         const QColor& colour, qreal radius) {
    placeShadow(p, shape, colour, radius, {}, false);
}

void OnboardingPaintCache::placeShadow(QPainter& p, const QPainterPath& shape, const QColor& colour,
                                       qreal radius, QPointF offset, bool show) {
    if (colour.alpha() == 0 || shape.isEmpty()) return;
    const int pad = int(std::ceil(radius * 2 + 2));
    const QRectF bounds = shape.boundingRect();
    const QRectF box = bounds.adjusted(-pad, -pad, pad, pad).translated(offset);
    // The shape as drawn from its own corner: the same shape anywhere shares one image.
    QString key = QStringLiteral("shadow|%1|%2|").arg(colour.rgba(), 0, 16).arg(radius);
    key.reserve(key.size() + shape.elementCount() * 16);
    for (int i = 0; i < shape.elementCount(); ++i) {
        const QPainterPath::Element e = shape.elementAt(i);
        key += QString::number(int(e.type)) + QLatin1Char(',') +
               QString::number(e.x - bounds.left(), 'f', 2) + QLatin1Char(',') +
               QString::number(e.y - bounds.top(), 'f', 2) + QLatin1Char(';');
    }
    const QPainterPath local = shape.translated(-box.topLeft() + offset);
    place(
        p, key, box, 1,
        [&](QPainter& ip, int) { GlassPainter::paintShadow(ip, local, colour, radius); },
        show ? Mode::show : Mode::prepareWhole);
}

double OnboardingPaintCache::measure(const QString& key, const std::function<double()>& compute) {
    auto it = m_measures.constFind(key);
    if (it != m_measures.cend()) return *it;
    if (m_measures.size() > 4096) m_measures.clear();
    const double value = compute();
    m_measures.insert(key, value);
    return value;
}

void OnboardingPaintCache::evict() {
    while (m_bytes > m_budget && !m_lru.empty()) {
        m_bytes -= m_lru.back().image.sizeInBytes();
        m_images.remove(m_lru.back().key);
        m_lru.pop_back();
    }
}

void OnboardingPaintCache::clear() {
    m_lru.clear();
    m_images.clear();
    m_measures.clear();
    m_partial.clear();
    m_bytes = 0;
}
