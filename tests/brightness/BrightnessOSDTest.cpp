#include "brightness/BrightnessOSD.h"
#include "brightness/SnapGuides.h"
#include "core/NotificationCenter.h"
#include "core/NotificationNames.h"
#include "core/Preferences.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

namespace {
const OSDScreens laptop{QRect(0, 0, 1440, 900), {QRect(0, 0, 1440, 900)}};

struct FakePanel : OSDPanel {
    QPoint at;
    bool front = false;
    bool dragging = false;
    void moveTo(QPoint o) override { at = o; }
    void orderFront() override { front = true; }
    void orderOut() override { front = false; }
    bool isDragging() const override { return dragging; }
};
} // namespace

TEST(BrightnessOSD, OpensAtTheStoredPlaceWhenItIsWholeAndOnAScreen) {
    // Centred, bottom edge 15 % of the height below the top.
    EXPECT_EQ(BrightnessOSD::origin(std::nullopt, laptop), QPoint(570, 75));
    EXPECT_EQ(BrightnessOSD::origin(QStringLiteral(R"({"x":12,"y":34})"), laptop), QPoint(12, 34));
    EXPECT_EQ(BrightnessOSD::origin(QStringLiteral(R"({"y":34,"x":12,"z":1})"), laptop),
              QPoint(12, 34));
    for (const char* bad : {R"({"x":12})", "not json", R"([1,2])", R"({"x":"12","y":34})"})
        EXPECT_EQ(BrightnessOSD::origin(QString::fromUtf8(bad), laptop), QPoint(570, 75)) << bad;
    // Left on a monitor that is gone: back on the main screen.
    EXPECT_EQ(BrightnessOSD::origin(QStringLiteral(R"({"x":2000,"y":100})"), laptop),
              QPoint(570, 75));
    const OSDScreens two{laptop.main, {QRect(0, 0, 1440, 900), QRect(1440, 0, 1920, 1080)}};
    EXPECT_EQ(BrightnessOSD::origin(QStringLiteral(R"({"x":2000,"y":100})"), two),
              QPoint(2000, 100));
    EXPECT_EQ(BrightnessOSD::origin(std::nullopt, OSDScreens{}), QPoint(100, 600));
}

TEST(BrightnessOSD, ShowsOnEachStepAndHidesAfterTheLastStepOrDrag) {
    TestStore store;
    FakePanel* panel = nullptr;
    int made = 0;
    BrightnessOSD osd(
        [&](OSDState&) {
            ++made;
            auto p = std::make_unique<FakePanel>();
            panel = p.get();
            return p;
        },
        [] { return laptop; });
    osd.updateDisplayed(0.4); // hidden: the bar moves, nothing shows
    EXPECT_EQ(made, 0);
    EXPECT_DOUBLE_EQ(osd.osdState().percentage(), 0.4);

    store.defaults().setString(PrefKey::osdPosition, QStringLiteral(R"({"x":12,"y":34})"));
    osd.show(0, 0.5, OSDMode::warmth);
    osd.show(0, 0.6, OSDMode::warmth);
    EXPECT_EQ(made, 1);
    EXPECT_EQ(panel->at, QPoint(12, 34));
    EXPECT_TRUE(panel->front);
    EXPECT_TRUE(osd.osdState().isVisible());
    EXPECT_EQ(osd.osdState().mode(), OSDMode::warmth);
    EXPECT_TRUE(osd.dismissPending());

    NotificationCenter::defaultCenter().post(NotificationName::osdDragBegan);
    EXPECT_FALSE(osd.dismissPending());
    panel->dragging = true;
    osd.show(0, 0.7, OSDMode::brightness); // a step during a drag keeps it up
    EXPECT_FALSE(osd.dismissPending());
    panel->dragging = false;
    NotificationCenter::defaultCenter().post(NotificationName::osdDragEnded);
    EXPECT_TRUE(osd.dismissPending());
    EXPECT_TRUE(waitUntil([&] { return !osd.osdState().isVisible(); }, 3000));
    EXPECT_FALSE(panel->front);
}

TEST(SnapGuides, CatchesWithinEightPointsHoldsForThirtyAndTapsOncePerCatch) {
    const QRectF screen(0, 0, 1440, 900);
    const QSizeF size(300, 60);
    SnapGuides g;
    // The panel's left edge starts 100 to the left of the centred place (570).
    g.beginDrag(size, {470, 400}, {500, 430}, screen);
    EXPECT_TRUE(g.guidesVisible);
    EXPECT_DOUBLE_EQ(g.verticalLeftX, 570);
    EXPECT_DOUBLE_EQ(g.verticalRightX, 870);
    EXPECT_DOUBLE_EQ(g.horizontalY, 112.5);

    EXPECT_EQ(g.applySnap({592.5, 430}, size, screen), QPointF(570, 400)); // 7.5 away
    EXPECT_TRUE(g.verticalLeft.snapped && g.verticalRight.snapped);
    EXPECT_EQ(g.taps, 1);
    EXPECT_EQ(g.applySnap({622.5, 430}, size, screen).x(), 570); // 30: held
    EXPECT_EQ(g.applySnap({623.5, 430}, size, screen).x(), 570); // 31: let go, still here
    EXPECT_FALSE(g.isLockedX);
    EXPECT_FALSE(g.verticalLeft.snapped);
    EXPECT_DOUBLE_EQ(g.applySnap({630, 430}, size, screen).x(), 600); // follows again
    EXPECT_EQ(g.taps, 1);
    g.applySnap({598, 430}, size, screen); // back in range: a new catch taps again
    EXPECT_EQ(g.taps, 2);

    // Top edge 5 below the guide, bottom edge far: the top edge goes onto the guide.
    SnapGuides v;
    v.beginDrag(size, {100, 300}, {0, 0}, screen);
    EXPECT_DOUBLE_EQ(v.applySnap({0, -182.5}, size, screen).y(), 113); // 112.5 rounded
    // Bottom edge within range and nearer: it goes onto the guide.
    SnapGuides w;
    w.beginDrag(size, {100, 300}, {0, 0}, screen);
    EXPECT_DOUBLE_EQ(w.applySnap({0, -245}, size, screen).y(), 53); // 112.5 − 60
    w.endDrag();
    EXPECT_FALSE(w.guidesVisible || w.horizontal.visible || w.isLockedY);

    // No main screen: the panel follows the pointer with no guides.
    SnapGuides none;
    none.beginDrag(size, {470, 400}, {500, 430}, std::nullopt);
    EXPECT_EQ(none.applySnap({592, 430}, size, std::nullopt), QPointF(562, 400));
    EXPECT_FALSE(none.guidesVisible);
}
