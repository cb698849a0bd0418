// Paints the welcome tour's pictures at build time, so an install ships them without
// any photograph of anyone else's:
//   halcyra_render_onboarding <folder>
// writes <folder>/welcome-bg.jpg (a dusk over mountain ridges, 1920 × 1240, the card at
// twice its size) and <folder>/halcyra-logo.png (the sun on a warm tile, 192 × 192).
// The same input gives the same pixels on every build.
#include "app/StatusItem.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

QColor rgb(double r, double g, double b, double a = 1.0) {
    return QColor::fromRgbF(float(r), float(g), float(b), float(a));
}

// A ridge line across the width: midpoint displacement, rougher for nearer ridges.
std::vector<double> ridge(QRandomGenerator& rng, int points, double roughness) {
    std::vector<double> h(size_t(points) + 1, 0.0);
    h.front() = rng.generateDouble() - 0.5;
    h.back() = rng.generateDouble() - 0.5;
    double spread = 1.0;
    for (int step = points; step > 1; step /= 2) {
        for (int i = step / 2; i < points; i += step) {
            const double mid = (h[size_t(i - step / 2)] + h[size_t(i + step / 2)]) / 2;
            h[size_t(i)] = mid + (rng.generateDouble() - 0.5) * spread;
        }
        spread *= roughness;
    }
    return h;
}

void paintRidge(QPainter& p, QRandomGenerator& rng, const QSize& size, double baseline,
                double amplitude, double roughness, const QColor& top, const QColor& bottom) {
    const int points = 256;
    const std::vector<double> h = ridge(rng, points, roughness);
    QPainterPath path;
    path.moveTo(0, size.height());
    for (int i = 0; i <= points; ++i) {
        const double x = double(size.width()) * i / points;
        path.lineTo(x, size.height() * baseline - h[size_t(i)] * amplitude * size.height());
    }
    path.lineTo(size.width(), size.height());
    path.closeSubpath();
    const double crest = size.height() * (baseline - amplitude * 0.6);
    QLinearGradient fill(0, crest, 0, size.height());
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    p.fillPath(path, fill);
}

QImage paintBackdrop() {
    const QSize size(1920, 1240);
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const double w = size.width(), h = size.height();

    // Sky: night above, the last light at the horizon.
    QLinearGradient sky(0, 0, 0, h * 0.66);
    sky.setColorAt(0.0, rgb(0.06, 0.07, 0.17));
    sky.setColorAt(0.35, rgb(0.20, 0.14, 0.32));
    sky.setColorAt(0.70, rgb(0.70, 0.34, 0.34));
    sky.setColorAt(0.88, rgb(0.96, 0.58, 0.34));
    sky.setColorAt(1.0, rgb(1.0, 0.76, 0.46));
    p.fillRect(QRectF(0, 0, w, h), sky);

    // The sun just above the far ridge, and the glow it spreads.
    const QPointF sun(w * 0.63, h * 0.60);
    QRadialGradient glow(sun, w * 0.55);
    glow.setColorAt(0, rgb(1.0, 0.82, 0.55, 0.75));
    glow.setColorAt(0.18, rgb(1.0, 0.62, 0.36, 0.35));
    glow.setColorAt(1, rgb(1.0, 0.5, 0.3, 0.0));
    p.fillRect(QRectF(0, 0, w, h), glow);
    QRadialGradient disc(sun, w * 0.035);
    disc.setColorAt(0, rgb(1.0, 0.97, 0.86));
    disc.setColorAt(0.8, rgb(1.0, 0.88, 0.62));
    disc.setColorAt(1, rgb(1.0, 0.80, 0.50, 0.0));
    p.fillRect(QRectF(0, 0, w, h), disc);

    // Long thin clouds lit from below.
    QRandomGenerator rng(20261210);
    for (int i = 0; i < 26; ++i) {
        const double cy = h * (0.16 + 0.36 * rng.generateDouble());
        const double cx = w * rng.generateDouble();
        const double len = w * (0.12 + 0.3 * rng.generateDouble());
        const double thick = h * (0.006 + 0.014 * rng.generateDouble());
        const double warm = std::clamp((cy / h - 0.16) / 0.36, 0.0, 1.0);
        p.save();
        p.translate(cx, cy);
        p.scale(len / thick, 1.0);
        QRadialGradient cloud(QPointF(0, 0), thick);
        cloud.setColorAt(
            0, rgb(0.55 + 0.45 * warm, 0.36 + 0.3 * warm, 0.45 - 0.05 * warm, 0.22 + 0.18 * warm));
        cloud.setColorAt(1, rgb(0.9, 0.5, 0.4, 0.0));
        p.setPen(Qt::NoPen);
        p.setBrush(cloud);
        p.drawEllipse(QPointF(0, 0), thick, thick);
        p.restore();
    }

    // Ridges, far to near: hazy and warm behind, dark and cool in front.
    paintRidge(p, rng, size, 0.64, 0.10, 0.55, rgb(0.62, 0.36, 0.40), rgb(0.78, 0.48, 0.42));
    paintRidge(p, rng, size, 0.71, 0.12, 0.58, rgb(0.38, 0.21, 0.30), rgb(0.50, 0.30, 0.34));
    paintRidge(p, rng, size, 0.80, 0.14, 0.60, rgb(0.20, 0.11, 0.19), rgb(0.26, 0.15, 0.22));
    paintRidge(p, rng, size, 0.91, 0.12, 0.62, rgb(0.09, 0.05, 0.10), rgb(0.06, 0.04, 0.07));

    // Mist in the valleys, between the ridges.
    QLinearGradient mist(0, h * 0.62, 0, h * 0.86);
    mist.setColorAt(0, rgb(1.0, 0.7, 0.55, 0.0));
    mist.setColorAt(0.5, rgb(1.0, 0.7, 0.55, 0.10));
    mist.setColorAt(1, rgb(1.0, 0.7, 0.55, 0.0));
    p.fillRect(QRectF(0, h * 0.62, w, h * 0.24), mist);

    // A soft vignette, as a lens gives.
    QRadialGradient vignette(QPointF(w / 2, h * 0.45), w * 0.75);
    vignette.setColorAt(0.55, rgb(0, 0, 0, 0.0));
    vignette.setColorAt(1, rgb(0, 0, 0, 0.45));
    p.fillRect(QRectF(0, 0, w, h), vignette);
    p.end();

    // Fine grain keeps the gradients from banding once the JPEG is made.
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int n = int(rng.bounded(7u)) - 3;
            const QRgb c = line[x];
            line[x] = qRgb(std::clamp(qRed(c) + n, 0, 255), std::clamp(qGreen(c) + n, 0, 255),
                           std::clamp(qBlue(c) + n, 0, 255));
        }
    }
    return image;
}

QImage paintLogo() {
    const int side = 192;
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF tile(12, 12, side - 24, side - 24);
    QPainterPath shape;
    shape.addRoundedRect(tile, 38, 38);
    QLinearGradient fill(tile.topLeft(), tile.bottomRight());
    fill.setColorAt(0, rgb(1.0, 0.74, 0.36));
    fill.setColorAt(0.55, rgb(0.97, 0.50, 0.20));
    fill.setColorAt(1, rgb(0.74, 0.20, 0.10));
    p.fillPath(shape, fill);
    // A light from above across the tile's top.
    QLinearGradient sheen(tile.topLeft(), tile.bottomLeft());
    sheen.setColorAt(0, rgb(1, 1, 1, 0.28));
    sheen.setColorAt(0.5, rgb(1, 1, 1, 0.0));
    p.fillPath(shape, sheen);
    p.setPen(QPen(rgb(1, 1, 1, 0.35), 2));
    p.drawPath(shape);
    // The status area's sun, in cream.
    const int glyph = 112;
    const QPixmap sun = StatusItem::symbolPixmap(glyph, rgb(1.0, 0.97, 0.90));
    p.drawPixmap(QRectF((side - glyph) / 2.0, (side - glyph) / 2.0, glyph, glyph), sun,
                 QRectF(sun.rect()));
    return image;
}

} // namespace

int main(int argc, char** argv) {
    // Painting needs no screen; the build may run where there is none.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const QString dir = args[1];
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "cannot make %s\n", qPrintable(dir));
        return 1;
    }
    const QString backdrop = dir + QStringLiteral("/welcome-bg.jpg");
    const QString logo = dir + QStringLiteral("/halcyra-logo.png");
    if (!paintBackdrop().save(backdrop, "JPG", 90)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(backdrop));
        return 1;
    }
    if (!paintLogo().save(logo, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(logo));
        return 1;
    }
    return 0;
}
