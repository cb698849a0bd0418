#include "onboarding/OnboardingPaintCache.h"

#include "popover/GlassPainter.h"

#include <QPaintDevice>
#include <QPainter>
#include <QTransform>
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

QImage OnboardingPaintCache::render(const QSizeF& size, qreal scale, const QFont& font,
                                    const std::function<void(QPainter&)>& paint) {
    const QSize pixels(int(std::ceil(size.width() * scale)), int(std::ceil(size.height() * scale)));
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return image;
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    {
        QPainter ip(&image);
        ip.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        ip.setFont(font);
        paint(ip);
    }
    ++m_renders;
    return image;
}

void OnboardingPaintCache::draw(QPainter& p, const QString& key, const QRectF& box,
                                const std::function<void(QPainter&)>& paint) {
    place(p, key, box, paint, true);
}

void OnboardingPaintCache::place(QPainter& p, const QString& key, const QRectF& box,
                                 const std::function<void(QPainter&)>& paint, bool show) {
    const qreal scale = deviceScale(p);
    if (scale <= 0 || box.isEmpty()) {
        if (!show) return;
        p.save();
        p.translate(box.topLeft());
        paint(p);
        p.restore();
        return;
    }
    const QString full = key + QStringLiteral("@%1x%2x%3")
                                   .arg(std::lround(scale * 1000))
                                   .arg(box.width(), 0, 'f', 2)
                                   .arg(box.height(), 0, 'f', 2);
    if (const QImage* kept = find(full)) {
        if (show) p.drawImage(box.topLeft(), *kept);
        return;
    }
    const QImage made = render(box.size(), scale, p.font(), paint);
    if (made.isNull()) return;
    if (show) p.drawImage(box.topLeft(), made);
    keep(full, made);
}

QImage OnboardingPaintCache::image(const QString& key, const QSizeF& size, qreal scale,
                                   const std::function<void(QPainter&)>& paint) {
    const QString full = key + QStringLiteral("@%1x%2x%3")
                                   .arg(std::lround(scale * 1000))
                                   .arg(size.width(), 0, 'f', 2)
                                   .arg(size.height(), 0, 'f', 2);
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
        p, key, box, [&](QPainter& ip) { GlassPainter::paintShadow(ip, local, colour, radius); },
        show);
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
    m_bytes = 0;
}
