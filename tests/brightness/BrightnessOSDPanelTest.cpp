#include "brightness/BrightnessOSDPanel.h"
#include "platform/Platform.h"
#include "platform/simulated/SimulatedWindowPixels.h"
#include "support/TestStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <gtest/gtest.h>

namespace {

// Counts the panel's paints and the area each one covers.
struct PaintSpy : QObject {
    int paints = 0;
    int pieces = 0; // rectangles, each one image sent to the server
    long long area = 0, largest = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() != QEvent::Paint) return false;
        long long a = 0;
        pieces += static_cast<QPaintEvent*>(e)->region().rectCount();
        for (const QRect& r : static_cast<QPaintEvent*>(e)->region())
            a += qint64(r.width()) * r.height();
        ++paints;
        area += a;
        largest = std::max(largest, a);
        return false;
    }
    void reset() { paints = 0, area = 0, largest = 0; }
};

void spin(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

bool warm(QColor c) {
    return c.red() > 150 && c.red() > c.blue() + 60;
}

// A panel up at a quarter with its paints counted, once its first (whole) frame is in.
struct ShownPanel {
    TestStore store;
    OSDState state;
    BrightnessOSDPanel panel{state};
    PaintSpy spy;
    ShownPanel() {
        panel.installEventFilter(&spy);
        state.setPercentage(0.25);
        state.setVisible(true);
        panel.orderFront();
        spin(100);
    }
    ~ShownPanel() { state.setVisible(false); }
};

} // namespace

TEST(BrightnessOSDPanel, RepaintsOnlyWhatMovesAndKeepsItsLook) {
    ShownPanel shown;
    OSDState& state = shown.state;
    BrightnessOSDPanel& panel = shown.panel;
    PaintSpy& spy = shown.spy;

    QImage shot = panel.grab().toImage();
    QDir().mkpath(QStringLiteral(HALCYRA_TEST_ARTIFACTS));
    shot.save(QStringLiteral(HALCYRA_TEST_ARTIFACTS "/brightness-osd-panel.png"));
    // The bar: filled to a quarter of its track, bare beyond.
    const int barY = 30, barLeft = 16 + 16 + 12, barWidth = 300 - 2 * barLeft;
    EXPECT_TRUE(warm(shot.pixelColor(barLeft + barWidth / 5, barY)));
    EXPECT_FALSE(warm(shot.pixelColor(barLeft + barWidth * 3 / 10, barY)));
    // The border: somewhere along the outline a bright stretch of the accent, and a
    // faint rest.
    int bright = 0, faint = 0;
    auto look = [&](int x, int y) {
        const QColor c = shot.pixelColor(x, y);
        bright += warm(c) && c.green() > 120;
        faint += c.red() < 80;
    };
    for (int x = 14; x < 286; ++x)
        look(x, 0), look(x, 59);
    for (int y = 14; y < 46; ++y)
        look(0, y), look(299, y);
    EXPECT_GT(bright, 0);
    EXPECT_GT(faint, 0);

    // While the border turns each frame goes out as one rectangle around the runs whose
    // colour changed: the window's cut to the card lies on the window, not on the
    // widget, so no repaint is cut into strips along the rounded outline.
    EXPECT_TRUE(panel.mask().isEmpty());
    spy.reset();
    spy.pieces = 0;
    spin(400);
    ASSERT_GT(spy.paints, 5);
    EXPECT_EQ(spy.pieces, spy.paints);
    EXPECT_LT(spy.area / spy.paints, 300 * 60);

    // A new level rides on the next frame and reaches the bar.
    state.setPercentage(0.75);
    spin(60);
    shot = panel.grab().toImage();
    EXPECT_TRUE(warm(shot.pixelColor(barLeft + barWidth / 2, barY)));

    // Stilled: one repaint with the quiet border, then nothing.
    state.setAnimationsStilled(true);
    spin(60);
    spy.reset();
    spin(200);
    EXPECT_EQ(spy.paints, 0);
    shot = panel.grab().toImage();
    const QColor top = shot.pixelColor(150, 0), side = shot.pixelColor(0, 30);
    EXPECT_NEAR(top.red(), side.red(), 12);
    EXPECT_NEAR(top.blue(), side.blue(), 12);
}

TEST(BrightnessOSDPanel, WhereTheWindowTakesPixelsDirectlyEachFrameSendsOnlyTheRunsThatChanged) {
    Platform::setInstance(Platform::makeSimulated());
    SimulatedWindowPixels* pixels = Platform::instance().simulatedWindowPixels();
    ASSERT_NE(pixels, nullptr);
    ShownPanel shown;
    OSDState& state = shown.state;
    BrightnessOSDPanel& panel = shown.panel;
    PaintSpy& spy = shown.spy;

    pixels->setAccepting(true);
    spy.reset();
    spin(400);
    EXPECT_EQ(spy.paints, 0) << "a turning border needs no repaint of the widget";
    ASSERT_GT(pixels->puts().size(), 5u);
    const QRect inside = panel.rect().adjusted(14, 14, -14, -14);
    for (const std::vector<QRect>& frame : pixels->puts()) {
        long long area = 0;
        for (const QRect& r : frame) {
            EXPECT_TRUE(panel.rect().contains(r)) << r.x() << "," << r.y();
            EXPECT_FALSE(r.intersects(inside)) << "a piece spans the card's inside";
            area += qint64(r.width()) * r.height();
        }
        // The outline's changing stretch, not its bounding box.
        EXPECT_LT(area, 300 * 60 / 6);
    }

    // A new level: the bar goes out with the next frame, and the toolkit's own paint
    // (an expose) shows what was sent.
    pixels->clear();
    state.setPercentage(0.75);
    spin(60);
    const QRect bar(16 + 16 + 12, 27, 300 - 2 * (16 + 16 + 12), 6);
    bool barSent = false;
    for (const std::vector<QRect>& frame : pixels->puts())
        for (const QRect& r : frame)
            barSent |= r.contains(bar.center());
    EXPECT_TRUE(barSent);
    const QImage shot = panel.grab().toImage();
    EXPECT_TRUE(warm(shot.pixelColor(bar.left() + bar.width() / 2, 30)));
    pixels->setAccepting(false);
}

TEST(BrightnessOSDPanel, WhereACompositorBlendsWindowsTheCardCarriesItsShadow) {
    TestStore store;
    OSDState state;
    int shadows = 0;
    BrightnessOSDPanel::Look look;
    look.composited = true;
    // A shadow painter as the application hands one in: here a flat fill of the shape,
    // moved by the offset, so where it lands is plain to see.
    look.shadow = [&](QPainter& p, const QPainterPath& shape, const QColor& colour, qreal radius,
                      QPointF offset) {
        ++shadows;
        EXPECT_DOUBLE_EQ(radius, 20.0);
        EXPECT_NEAR(colour.alphaF(), 0.5, 0.01);
        p.fillPath(shape.translated(offset), colour);
    };
    BrightnessOSDPanel panel(state, look);
    EXPECT_TRUE(panel.testAttribute(Qt::WA_TranslucentBackground));
    state.setVisible(true);
    panel.orderFront();
    spin(60);
    const QImage shot = panel.grab().toImage();
    shot.save(QStringLiteral(HALCYRA_TEST_ARTIFACTS "/brightness-osd-panel-composited.png"));
    EXPECT_EQ(shadows, 1) << "drawn once with the card, not every frame";
    // The shadow, ten down, shows through the card's glass below its top edge only; the
    // corners stay see-through.
    EXPECT_GT(qAlpha(shot.pixel(150, 40)), qAlpha(shot.pixel(150, 5)) + 10);
    EXPECT_EQ(qAlpha(shot.pixel(0, 0)), 0);
    state.setVisible(false);
}
