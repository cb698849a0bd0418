#include "onboarding/TakeoverView.h"
#include "onboarding/TakeoverWindow.h"
#include "onboarding/TakeoverWindowController.h"
#include "support/TestStore.h"
#include "warmth/OverlayTestRig.h"
#include "warmth/SunsetScheduler.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

struct ViewRig {
    TestStore store;
    TakeoverState state;
    ManualFrameTimer* frames = nullptr;
    std::vector<std::pair<double, double>> ghostPicks;
    int finishes = 0;
    std::unique_ptr<TakeoverView> view;

    explicit ViewRig(int slide = 0, bool skipEntrance = false) {
        TakeoverView::Actions a;
        a.ghostPreset = [this](double k, double i) { ghostPicks.emplace_back(k, i); };
        a.finish = [this] { ++finishes; };
        auto timer = std::make_unique<ManualFrameTimer>();
        frames = timer.get();
        view = std::make_unique<TakeoverView>(state, std::move(a), TakeoverView::Toggles{}, slide,
                                              skipEntrance, std::move(timer));
        view->resize(1040, 700);
    }
    void seconds(double s) {
        for (int i = 0; i < int(s * 60 + 0.5); ++i)
            view->tick();
    }
    QImage render() {
        QImage image(view->size() * 2, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(2);
        image.fill(Qt::black);
        view->render(&image);
        return image;
    }
};

} // namespace

TEST(TakeoverView, EverySlideRendersAndTheLastButtonFinishes) {
    const char* names[] = {"vibe", "menubar", "brightness", "display", "protected"};
    QDir().mkpath(QStringLiteral(HALCYRA_TEST_ARTIFACTS));
    for (int slide = 0; slide < TakeoverView::slideCount; ++slide) {
        ViewRig rig(slide, true);
        rig.state.setWarmth(3500, 4);
        const QImage image = rig.render();
        EXPECT_TRUE(image.save(QStringLiteral(HALCYRA_TEST_ARTIFACTS "/takeover-%1-%2.png")
                                   .arg(slide)
                                   .arg(QLatin1String(names[slide]))));
        // The button's label is white on the dark footer: some pure white is there.
        const QRect button = rig.view->buttonRect().toRect();
        bool white = false;
        for (int x = button.left() * 2; x < button.right() * 2 && !white; ++x)
            white = image.pixelColor(x, button.center().y() * 2).lightness() > 240;
        EXPECT_TRUE(white) << slide;
    }
    // Without status icons the menu-bar slide tells the way in instead of the corner.
    ViewRig corner(1, true), noArea(1, true);
    noArea.view->setNoStatusArea(QStringLiteral("Shift+Super+S"));
    const QImage told = noArea.render(), pointed = corner.render();
    told.save(QStringLiteral(HALCYRA_TEST_ARTIFACTS "/takeover-1-no-status-area.png"));
    const int above = int(corner.view->buttonRect().top()) * 2; // the slide, not the footer
    ASSERT_GT(above, 400);
    EXPECT_NE(told.copy(0, 0, 2080, above), pointed.copy(0, 0, 2080, above));
    EXPECT_FALSE(noArea.view->statusAreaShown());

    // Next: the slide before moves out while the next comes in, and the wide dot springs
    // across, a little past its place and back.
    ViewRig moving(0, true);
    moving.view->appear();
    const QImage settled = moving.render();
    const int slideBottom = int(moving.view->buttonRect().top()) * 2;
    auto bright = [&](const QImage& image) {
        int n = 0;
        for (int y = 0; y < slideBottom; y += 2)
            for (int x = 0; x < image.width(); x += 2)
                n += image.pixelColor(x, y).lightness() > 200;
        return n;
    };
    const int before = bright(settled);
    ASSERT_GT(before, 100);
    moving.view->advance();
    moving.seconds(0.05);
    EXPECT_TRUE(moving.view->slideLeaving());
    // The next slide's entrance has not begun: what is bright is the slide leaving.
    EXPECT_GT(bright(moving.render()), before / 3);
    double furthest = 0;
    for (int i = 0; i < 60; ++i) {
        furthest = std::max(furthest, moving.view->dotsPosition());
        if (i == 3) EXPECT_LT(moving.view->dotsPosition(), 0.9);
        moving.seconds(1.0 / 60);
    }
    EXPECT_FALSE(moving.view->slideLeaving());
    EXPECT_GT(furthest, 1.01);
    EXPECT_NEAR(moving.view->dotsPosition(), 1.0, 0.01);

    ViewRig last(4, true);
    last.view->advance();
    EXPECT_EQ(last.finishes, 1);
    EXPECT_EQ(last.view->currentSlide(), 4);
    // A start slide past the end shows the last slide and finishes; one below zero shows
    // the last slide too, but its button leads on to the first.
    for (int start : {7, -1}) {
        ViewRig odd(start, true);
        ViewRig four(4, true);
        const QImage last = four.render(), shown = odd.render();
        const int above = int(four.view->buttonRect().top()) * 2; // the slide, not the footer
        ASSERT_GT(above, 400);
        EXPECT_EQ(shown.copy(0, 0, 2080, above), last.copy(0, 0, 2080, above)) << start;
        EXPECT_EQ(odd.view->toggleRects().size(), 1u) << start; // launch at login
        EXPECT_EQ(odd.view->buttonTitle(), start < 0 ? "Next" : "Open Halcyra") << start;
        odd.view->advance();
        EXPECT_EQ(odd.finishes, start < 0 ? 0 : 1) << start;
        EXPECT_EQ(odd.view->currentSlide(), start < 0 ? 0 : start) << start;
    }
}

TEST(TakeoverView, TheSliderMapsTheTrackAndHoldsTheThumbInside) {
    EXPECT_DOUBLE_EQ(TakeoverView::kelvinForTrack(100, 400), 5125);
    EXPECT_DOUBLE_EQ(TakeoverView::kelvinForTrack(-50, 400), 6500);
    EXPECT_DOUBLE_EQ(TakeoverView::kelvinForTrack(900, 400), 1000);
    EXPECT_DOUBLE_EQ(TakeoverView::thumbXForKelvin(6500, 400), 9);
    EXPECT_DOUBLE_EQ(TakeoverView::thumbXForKelvin(500, 400), 391);
    EXPECT_DOUBLE_EQ(TakeoverView::thumbXForKelvin(3000, 10), 9);
    const auto [first, second] = TakeoverView::cardRows();
    EXPECT_EQ(first.size(), 3);
    EXPECT_EQ(second.size(), 4);
}

TEST(TakeoverView, TheGhostPicksEveningUnlessTheUserMovesFirst) {
    ViewRig rig;
    rig.view->appear();
    rig.seconds(2.9);
    EXPECT_FALSE(rig.view->ghostVisible());
    rig.seconds(0.2);
    ASSERT_TRUE(rig.view->ghostVisible());
    // It fades in over a quarter second.
    EXPECT_GT(rig.view->ghostOpacity(), 0.1);
    EXPECT_LT(rig.view->ghostOpacity(), 0.9);
    const QPointF start = rig.view->ghostPos();
    rig.seconds(0.2);
    EXPECT_EQ(rig.view->ghostOpacity(), 1.0);
    rig.seconds(1.2);
    const QRectF evening = rig.view->cardFrames().value(QStringLiteral("evening"));
    EXPECT_LT(QLineF(rig.view->ghostPos(), evening.center() + QPointF(6, 8)).length(), 0.5);
    EXPECT_NE(rig.view->ghostPos(), start);
    rig.seconds(0.4);
    ASSERT_EQ(rig.ghostPicks.size(), 1u);
    EXPECT_EQ(rig.ghostPicks[0].first, 2000);
    EXPECT_EQ(rig.ghostPicks[0].second, 4.0);
    // 0.9 s after the pick it fades out over 0.4 s.
    rig.seconds(0.7);
    EXPECT_EQ(rig.view->ghostOpacity(), 1.0);
    rig.seconds(0.35);
    EXPECT_TRUE(rig.view->ghostVisible());
    EXPECT_GT(rig.view->ghostOpacity(), 0.02);
    EXPECT_LT(rig.view->ghostOpacity(), 0.5);
    rig.seconds(0.15);
    EXPECT_FALSE(rig.view->ghostVisible());

    ViewRig early;
    early.view->appear();
    early.seconds(1.0);
    early.state.cancelGhost();
    early.seconds(6.0);
    EXPECT_FALSE(early.view->ghostVisible());
    EXPECT_TRUE(early.ghostPicks.empty());

    // Next during the glide stops it without a pick.
    ViewRig next;
    next.view->appear();
    next.seconds(3.5);
    ASSERT_TRUE(next.view->ghostVisible());
    next.view->advance();
    next.seconds(0.1);
    EXPECT_TRUE(next.view->ghostVisible());
    next.seconds(0.1);
    EXPECT_FALSE(next.view->ghostVisible()); // gone within 0.15 s
    next.seconds(2.8);
    EXPECT_TRUE(next.ghostPicks.empty());
    EXPECT_EQ(next.view->currentSlide(), 1);
}

TEST(TakeoverWindow, TheSweepRunsOnAcrossSlidesUntilItCommitsTheSettledWarmth) {
    OverlayRig rig;
    rig.gamma->addDisplay(10);
    rig.enable(2000, 4.0); // the first-run warmth
    SunsetScheduler scheduler(Platform::instance().location(), rig.clock);
    std::vector<ManualFrameTimer*> sweeps;
    std::vector<std::function<void()>> deferred;
    TakeoverWindow* window = nullptr;
    TakeoverWindowController takeover(
        scheduler,
        [&](TakeoverWindowController& c) {
            auto w = std::make_unique<TakeoverWindow>(c);
            window = w.get();
            return w;
        },
        [&] {
            auto t = std::make_unique<ManualFrameTimer>();
            sweeps.push_back(t.get());
            return t;
        },
        [&](double, std::function<void()> action) { deferred.push_back(std::move(action)); });
    takeover.show(rig.engine.get(), nullptr, {}, {});
    ASSERT_TRUE(window && window->view());
    for (auto& d : std::exchange(deferred, {}))
        d();
    ASSERT_EQ(sweeps.size(), 1u);

    // Next in the middle of the deep-warm phase: the sweep carries on behind slide 1.
    for (int i = 0; i < 100; ++i)
        sweeps[0]->fire();
    window->view()->advance();
    EXPECT_EQ(window->view()->currentSlide(), 1);
    EXPECT_TRUE(takeover.sweepRunning());
    EXPECT_EQ(rig.defaults().doubleNumber(PrefKey::temperature), 2000);
    EXPECT_EQ(sweeps[0]->fireUntilStopped(), 360 - 100);
    EXPECT_EQ(rig.defaults().doubleNumber(PrefKey::temperature), 3500);
    EXPECT_EQ(rig.defaults().doubleNumber(PrefKey::intensity), 4.0);
    EXPECT_NEAR(rig.gamma->display(DisplayId(10))->blue.back(),
                ColorTemperature::blendedTint(3500, 4.0).b, 0.002);

    // One Esc in another window of the application (the popover the menu-bar slide
    // opened) reaches that window and leaves the takeover too.
    struct Popover : QWidget {
        int escapes = 0;
        void keyPressEvent(QKeyEvent* e) override { escapes += e->key() == Qt::Key_Escape; }
    } popover;
    popover.setFocusPolicy(Qt::StrongFocus);
    popover.resize(300, 200);
    popover.show();
    popover.setFocus();
    ASSERT_NE(popover.windowHandle(), nullptr);
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, {});
    QApplication::sendEvent(popover.windowHandle(), &esc);
    EXPECT_TRUE(takeover.isExiting());
    EXPECT_EQ(popover.escapes, 1);
}
