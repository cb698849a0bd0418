#include "onboarding/OnboardingPaintCache.h"
#include "onboarding/OnboardingText.h"

#include "popover/GlassPainter.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace {

QImage canvas() {
    QImage image(400, 200, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(Qt::black);
    return image;
}

void card(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    p.fillPath(GlassPainter::continuousRoundedRect(QRectF(0, 0, 80, 40), 10),
               GlassPainter::srgb(1.0, 0.55, 0.15));
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 0, 80, 40), Qt::AlignCenter, QStringLiteral("Evening"));
}

int largestDifference(const QImage& a, const QImage& b) {
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    return worst;
}

} // namespace

TEST(OnboardingPaintCache, DrawsWhatItWouldPaintAndPaintsEachPieceOnce) {
    OnboardingPaintCache cache;
    QImage direct = canvas(), cached = canvas();
    {
        QPainter p(&direct);
        p.translate(30, 20);
        card(p);
    }
    for (int frame = 0; frame < 3; ++frame) {
        cached.fill(Qt::black);
        QPainter p(&cached);
        cache.draw(p, QStringLiteral("card"), QRectF(30, 20, 80, 40), card);
    }
    EXPECT_EQ(cache.renders(), 1);
    EXPECT_LE(largestDifference(direct, cached), 2);

    // A turned painter cannot composite a straight image: it paints every time.
    QImage turned = canvas();
    QPainter p(&turned);
    p.rotate(10);
    cache.draw(p, QStringLiteral("card"), QRectF(30, 20, 80, 40), card);
    EXPECT_EQ(cache.renders(), 1);

    // The same shadow shape anywhere is blurred once.
    QPainterPath a, b;
    a.addEllipse(QPointF(50, 50), 10, 10);
    b.addEllipse(QPointF(150, 80), 10, 10);
    QPainter q(&cached);
    cache.shadow(q, a, GlassPainter::black(0.3), 3);
    cache.shadow(q, b, GlassPainter::black(0.3), 3);
    EXPECT_EQ(cache.renders(), 2);
}

// A wide shadow made ahead leaves the frame untouched, and the frame its shape shows on
// later blurs nothing: it only copies.
TEST(OnboardingPaintCache, AShadowMadeAheadIsOnlyCopiedWhenItShows) {
    OnboardingPaintCache cache;
    const QPainterPath card = GlassPainter::continuousRoundedRect(QRectF(0, 0, 120, 60), 18);
    QImage ahead = canvas();
    {
        QPainter p(&ahead);
        cache.prepareShadow(p, card, GlassPainter::black(0.5), 24);
    }
    EXPECT_EQ(cache.renders(), 1);
    EXPECT_EQ(ahead, canvas());

    QImage shown = canvas(), direct = canvas();
    {
        QPainter p(&shown);
        cache.shadow(p, card.translated(40, 30), GlassPainter::black(0.5), 24, QPointF(0, 10));
    }
    EXPECT_EQ(cache.renders(), 1);
    {
        QPainter p(&direct);
        GlassPainter::paintShadow(p, card.translated(40, 30), GlassPainter::black(0.5), 24,
                                  QPointF(0, 10));
    }
    EXPECT_LE(largestDifference(direct, shown), 2);
}

TEST(OnboardingPaintCache, StaysWithinItsBudget) {
    OnboardingPaintCache cache(100 * 1024);
    QImage image = canvas();
    QPainter p(&image);
    for (int i = 0; i < 20; ++i)
        cache.draw(p, QString::number(i), QRectF(0, 0, 60, 60), card); // 57.6 KB each at 2x
    EXPECT_LE(cache.bytes(), 100 * 1024);
    EXPECT_EQ(cache.imageCount(), 1);
    cache.draw(p, QStringLiteral("19"), QRectF(0, 0, 60, 60), card);
    EXPECT_EQ(cache.renders(), 20); // the latest stayed
}

// A text made ahead a line a step over several frames shows exactly the pixels of the
// text drawn in one pass, from the first frame it shows on, which only copies it.
TEST(OnboardingPaintCache, TextMadeAheadOverFramesShowsTheSamePixels) {
    const QString html =
        OnboardingText::span(QStringLiteral("Your body takes it "), Qt::white) +
        OnboardingText::span(QStringLiteral("from here, and the dark is yours now."),
                             GlassPainter::srgb(1.0, 0.62, 0.24));
    const QFont font = OnboardingText::font(34, QFont::Bold);
    QImage direct(900, 500, QImage::Format_ARGB32_Premultiplied);
    direct.setDevicePixelRatio(2);
    direct.fill(Qt::black);
    QImage ahead = direct;
    {
        QPainter p(&direct);
        OnboardingText::draw(nullptr, &p, html, font, 20, 10, 300, Qt::AlignHCenter);
    }
    OnboardingPaintCache cache;
    int frames = 0;
    for (; frames < 20; ++frames) {
        cache.allowPreparing(2); // a line of glyphs this large costs two
        QPainter p(&ahead);
        OnboardingText::draw(&cache, &p, html, font, 20, 10, 300, Qt::AlignHCenter, 0.0);
        if (cache.renders() == 1) break;
    }
    // Several lines, their shadow and then their text, one step a frame.
    EXPECT_GE(frames, 5);
    EXPECT_EQ(cache.renders(), 1);
    {
        cache.allowPreparing(0);
        QPainter p(&ahead);
        OnboardingText::draw(&cache, &p, html, font, 20, 10, 300, Qt::AlignHCenter);
    }
    EXPECT_EQ(cache.renders(), 1);
    EXPECT_EQ(largestDifference(direct, ahead), 0);
    // And the text is there: plenty of lit pixels.
    int lit = 0;
    for (int y = 0; y < ahead.height(); ++y)
        for (int x = 0; x < ahead.width(); ++x)
            lit += qRed(ahead.pixel(x, y)) > 128;
    EXPECT_GT(lit, 20000);
}
