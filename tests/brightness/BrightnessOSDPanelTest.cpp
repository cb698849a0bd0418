#include "brightness/BrightnessOSDPanel.h"
#include "support/TestStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPaintEvent>
#include <gtest/gtest.h>

namespace {

// Counts the panel's paints and the area each one covers.
struct PaintSpy : QObject {
    int paints = 0;
    long long area = 0, largest = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() != QEvent::Paint) return false;
        long long a = 0;
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

} // namespace

TEST(BrightnessOSDPanel, RepaintsOnlyWhatMovesAndKeepsItsLook) {
    TestStore store;
    OSDState state;
    BrightnessOSDPanel panel(state);
    PaintSpy spy;
    panel.installEventFilter(&spy);
    state.setPercentage(0.25);
    state.setVisible(true);
    panel.orderFront();
    spin(100);

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

    // While the border turns each frame sends only the runs whose colour changed, far
    // less than the whole strip around the edge (2608 points) the panel used to send.
    spy.reset();
    spin(400);
    ASSERT_GT(spy.paints, 5);
    EXPECT_LT(spy.area / spy.paints, 2608 * 3 / 4);
    EXPECT_LT(spy.largest, 300 * 60);

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
    state.setVisible(false);
}
