#include "brightness/OSDBorderRing.h"

#include <QPainter>
#include <QPainterPath>
#include <gtest/gtest.h>

namespace {

// A backdrop with a different colour at every pixel, so that a pixel made from the
// wrong source shows.
QImage patterned(QSize size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = qPremultiply(qRgba(x * 7 % 256, y * 13 % 256, (x + y) % 256, 160 + x % 96));
    }
    return image;
}

} // namespace

// Every frame of a turn, made by re-blending only the runs that changed, equals the
// frame laid whole from the backdrop: where two runs meet the pixel is made from both.
TEST(OSDBorderRing, FramesMadeFromTheChangedRunsEqualFramesLaidWhole) {
    const QRectF card(0, 0, 280, 56);
    for (const qreal dpr : {1.0, 2.0}) {
        SCOPED_TRACE(dpr);
        QPainterPath outline;
        outline.addRoundedRect(card.adjusted(0.75, 0.75, -0.75, -0.75), 14, 14);
        OSDBorderRing ring(outline, card.center());
        const QSize pixels = (card.size() * dpr).toSize();
        ring.measure(pixels, dpr);
        const QImage backdrop = patterned(pixels);
        QImage turning = backdrop.copy();
        std::vector<QRgb> shown = ring.colours(0, QColor(255, 216, 77));
        ring.blend(turning, backdrop, shown, nullptr);
        int partialFrames = 0;
        for (int frame = 1; frame <= 200; ++frame) {
            const std::vector<QRgb> now = ring.colours(frame / 60.0, QColor(255, 216, 77));
            int changed = 0;
            for (size_t i = 0; i < now.size(); ++i)
                changed += now[i] != shown[i];
            if (changed > 0 && changed < int(now.size())) ++partialFrames;
            ring.blend(turning, backdrop, now, &shown);
            shown = now;
            QImage whole = backdrop.copy();
            ring.blend(whole, backdrop, now, nullptr);
            ASSERT_EQ(turning, whole) << "frame " << frame;
        }
        // The case the test is about: frames where only some runs move.
        EXPECT_GT(partialFrames, 100);
        EXPECT_NE(turning, backdrop);
    }
}
