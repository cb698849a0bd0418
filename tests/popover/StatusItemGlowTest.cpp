#include "core/FrameTimer.h"
#include "popover/StatusItemGlowController.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

// A status area that does not say where the icon is: the glow goes into the icon.
struct FakeItem : GlowTarget {
    bool visible = true;
    QRect rect;
    std::vector<std::optional<GlowFrame>> frames;
    bool isGlowHostVisible() const override { return visible; }
    QRect glowHostGeometry() const override { return rect; }
    void setGlow(const std::optional<GlowFrame>& f) override { frames.push_back(f); }
};

struct Rig {
    Rig() {
        auto t = std::make_unique<ManualFrameTimer>();
        timer = t.get();
        glow = std::make_unique<StatusItemGlowController>(std::move(t));
    }
    ManualFrameTimer* timer;
    std::unique_ptr<StatusItemGlowController> glow;
};

} // namespace

TEST(StatusItemGlow, FadesInBreathesAndFadesOut) {
    EXPECT_EQ(StatusItemGlowController::frameAt(0), (GlowFrame{1.0, 0.35, 0.0}));
    const GlowFrame top = StatusItemGlowController::frameAt(1.5);
    EXPECT_DOUBLE_EQ(top.scale, 1.15);
    EXPECT_DOUBLE_EQ(top.opacity, 0.7);
    EXPECT_DOUBLE_EQ(top.alpha, 1.0);
    EXPECT_DOUBLE_EQ(StatusItemGlowController::frameAt(3.0).scale, 1.0);

    Rig rig;
    FakeItem item;
    rig.glow->show(&item);
    ASSERT_TRUE(rig.glow->isShown());
    rig.glow->show(&item); // a second show changes nothing
    EXPECT_EQ(item.frames.size(), 1u);
    for (int i = 0; i < 30; ++i)
        rig.timer->fire();
    ASSERT_TRUE(item.frames.back());
    EXPECT_DOUBLE_EQ(item.frames.back()->alpha, 1.0);

    rig.glow->hide(true);
    EXPECT_FALSE(rig.glow->isShown());
    rig.timer->fireUntilStopped(100);
    EXPECT_FALSE(item.frames.back().has_value());
    EXPECT_FALSE(rig.timer->isActive());

    // Hidden at once, then shown again: a fresh glow from the start of its fade.
    rig.glow->show(&item);
    rig.glow->hide(false);
    EXPECT_FALSE(item.frames.back().has_value());
    rig.glow->show(&item);
    EXPECT_DOUBLE_EQ(item.frames.back()->alpha, 0.0);
}

TEST(StatusItemGlow, AnIconWithAPlaceGetsAClickThroughWindowAboveTheRest) {
    Rig rig;
    FakeItem item;
    item.rect = QRect(100, 0, 22, 22);
    rig.glow->show(&item);
    ASSERT_TRUE(rig.glow->isShown());
    QWidget* window = rig.glow->glowWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->geometry(), QRect(78, -22, 64, 64)); // centred on the icon
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowTransparentForInput);
    EXPECT_TRUE(flags & Qt::FramelessWindowHint);
    EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(item.frames.empty()); // the icon itself stays as it is

    // Hidden with a fade and shown again at once: a new window while the old one fades.
    rig.glow->hide(true);
    EXPECT_EQ(rig.glow->glowWindow(), nullptr);
    rig.glow->show(&item);
    ASSERT_NE(rig.glow->glowWindow(), nullptr);
    rig.timer->fireUntilStopped(30);
    EXPECT_TRUE(rig.glow->glowWindow()->isVisible());
    rig.glow->hide(false);
    EXPECT_EQ(rig.glow->glowWindow(), nullptr);
    rig.timer->fireUntilStopped(100);
    EXPECT_FALSE(rig.timer->isActive());
    EXPECT_TRUE(item.frames.empty());
}

TEST(StatusItemGlow, NothingWhereTheItemCannotBePlaced) {
    Rig rig;
    FakeItem hidden, offScreen;
    hidden.visible = false;
    offScreen.rect = QRect(-50000, -50000, 22, 22);
    for (FakeItem* item : {&hidden, &offScreen}) {
        rig.glow->show(item);
        EXPECT_FALSE(rig.glow->isShown());
        EXPECT_TRUE(item->frames.empty());
    }
    rig.glow->show(nullptr);
    EXPECT_FALSE(rig.glow->isShown());
}

TEST(StatusItemGlow, PaintsAWarmHaloThatFadesToTheEdge) {
    // A 22-point icon at two pixels per point.
    QImage image(44, 44, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        StatusItemGlowController::paint(p, QRectF(0, 0, 22, 22), {1.15, 0.7, 1.0});
    }
    QDir().mkpath(QStringLiteral(HALCYRA_TEST_ARTIFACTS));
    image.save(QStringLiteral(HALCYRA_TEST_ARTIFACTS "/status-item-glow.png"));
    const QColor centre = image.pixelColor(22, 22);
    EXPECT_GT(centre.alphaF(), 0.5);
    EXPECT_GT(centre.redF(), centre.blueF() + 0.5);
    EXPECT_LT(image.pixelColor(0, 0).alphaF(), 0.02);
    EXPECT_LT(image.pixelColor(43, 22).alphaF(), 0.1);
}
