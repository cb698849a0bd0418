#include "brightness/ValueRampEngine.h"
#include "brightness/BrightnessKeyInterceptor.h"
#include "core/NotificationCenter.h"
#include "core/Preferences.h"
#include "support/TestStore.h"

#include <QObject>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace {

struct RecordingReadout : RampReadout {
    std::vector<double> fractions;
    std::vector<std::pair<double, OSDMode>> shows;
    void updateDisplayed(double f) override { fractions.push_back(f); }
    void show(double, double displayedFraction, OSDMode mode) override {
        shows.emplace_back(displayedFraction, mode);
    }
};

// A ramp over an in-memory value with a hand-stepped frame timer.
struct Rig {
    double stored;
    bool animated = true;
    std::vector<double> writes;
    std::vector<std::string> events;
    int settled = 0;
    RecordingReadout osd;
    ManualFrameTimer* frames = nullptr;
    std::unique_ptr<ValueRampEngine> engine;

    Rig(const RampAxis& axis, double initial, OSDMode mode = OSDMode::brightness)
        : stored(initial) {
        auto timer = std::make_unique<ManualFrameTimer>();
        frames = timer.get();
        ValueRampEngine::Hooks h;
        h.read = [this] { return stored; };
        h.write = [this](double v) {
            stored = v;
            writes.push_back(v);
            events.push_back("write");
        };
        h.cancelCompeting = [this] { events.push_back("cancelCompeting"); };
        h.isAnimated = [this] { return animated; };
        h.onSettled = [this] { ++settled; };
        h.writeBurst = [this](bool open) { events.push_back(open ? "burst" : "end of burst"); };
        engine =
            std::make_unique<ValueRampEngine>(axis, &osd, mode, std::move(h), std::move(timer));
    }
};

} // namespace

TEST(RampAxis, SnapsToTheGridNearestOneStepBeyond) {
    const RampAxis b = RampAxis::brightness();
    const RampAxis w = RampAxis::warmth();
    EXPECT_DOUBLE_EQ(b.snap(0.5, +1, false), 0.5625);
    EXPECT_DOUBLE_EQ(b.snap(0.53, +1, false), 0.5625);
    EXPECT_DOUBLE_EQ(b.snap(0.56, +1, false), 0.625);
    EXPECT_DOUBLE_EQ(b.snap(0.5, +1, true), 0.515625);
    EXPECT_DOUBLE_EQ(b.snap(1.0, +1, false), 1.0);
    EXPECT_DOUBLE_EQ(b.snap(0.0, -1, false), 0.0);
    EXPECT_DOUBLE_EQ(b.snap(0.02, -1, false), 0.0);
    EXPECT_DOUBLE_EQ(b.snap(std::nan(""), +1, false), 0.0);
    EXPECT_DOUBLE_EQ(w.snap(3400, -1, false), 3125);
    EXPECT_DOUBLE_EQ(w.snap(3400, +1, false), 3875);
    EXPECT_DOUBLE_EQ(w.snap(3400, +1, true), 3500);
    EXPECT_DOUBLE_EQ(w.snap(6400, +1, false), 6500);
    EXPECT_DOUBLE_EQ(w.snap(500, -1, true), 500);

    // Both ends lie on every grid: 16 normal and 64 fine steps span each axis exactly.
    for (const RampAxis& axis : {b, w}) {
        for (bool fine : {false, true}) {
            const int steps = fine ? 64 : 16;
            double v = axis.lower;
            for (int i = 1; i <= steps; ++i) {
                v = axis.snap(v, +1, fine);
                EXPECT_NEAR(v, axis.lower + i * (fine ? axis.fineStep : axis.normalStep), 1e-9);
            }
            EXPECT_EQ(v, axis.upper);
            EXPECT_EQ(axis.snap(v, +1, fine), axis.upper);
            for (int i = 0; i < steps; ++i)
                v = axis.snap(v, -1, fine);
            EXPECT_NEAR(v, axis.lower, 1e-9);
        }
    }

    // Inverted keys and bars, and an axis without a step.
    RampAxis inv = b;
    inv.keyUpSign = -1;
    inv.barInverted = true;
    EXPECT_DOUBLE_EQ(inv.snap(0.5, +1, false), 0.4375);
    EXPECT_DOUBLE_EQ(inv.fraction(0.25), 0.75);
    EXPECT_DOUBLE_EQ(w.fraction(3500), 0.5);
    EXPECT_DOUBLE_EQ(w.fraction(9000), 1.0);
    RampAxis still = b;
    still.normalStep = 0;
    EXPECT_DOUBLE_EQ(still.snap(1.7, +1, false), 1.0);
    EXPECT_DOUBLE_EQ((RampAxis{1, 1, 0.1, 0.1, 1, false}).fraction(1), 0.0);
}

TEST(ValueRampEngine, AStepWritesItsFirstFrameAtTheFirstTickAndSettlesOnTheTargetAfterFifteen) {
    Rig rig(RampAxis::brightness(), 0.5);
    rig.engine->step(+1, false);
    ASSERT_NE(rig.engine->timer(), nullptr);
    EXPECT_TRUE(rig.engine->rampActive());
    EXPECT_EQ(rig.engine->easing(), RampEasing::easeOut);
    EXPECT_DOUBLE_EQ(rig.frames->interval(), 1.0 / 60.0);
    ASSERT_EQ(rig.osd.shows.size(), 1u);
    EXPECT_DOUBLE_EQ(rig.osd.shows[0].first, 0.5);
    EXPECT_EQ(rig.osd.shows[0].second, OSDMode::brightness);
    EXPECT_EQ(rig.events.front(), "cancelCompeting");
    // Nothing is written at the press; the burst is open for the first tick's frame.
    EXPECT_TRUE(rig.writes.empty());
    EXPECT_EQ(rig.events.back(), "burst");
    EXPECT_TRUE(rig.osd.fractions.empty());

    EXPECT_EQ(rig.frames->fireUntilStopped(), 15);
    ASSERT_EQ(rig.writes.size(), 15u);
    // Ease-out: 1 − (1 − t)², the first frame covers 2/15 − 1/225 of the distance.
    EXPECT_NEAR(rig.writes[0], 0.5 + 0.0625 * (1 - std::pow(1 - 1.0 / 15, 2)), 1e-12);
    for (size_t i = 1; i < rig.writes.size(); ++i)
        EXPECT_GT(rig.writes[i], rig.writes[i - 1]);
    EXPECT_EQ(rig.writes.back(), 0.5625);
    EXPECT_EQ(rig.engine->displayed(), 0.5625);
    EXPECT_EQ(rig.engine->timer(), nullptr);
    EXPECT_FALSE(rig.engine->rampActive());
    EXPECT_EQ(rig.settled, 1);
    EXPECT_EQ(rig.osd.fractions.size(), 15u);
    EXPECT_DOUBLE_EQ(rig.osd.fractions.back(), 0.5625);
}

TEST(ValueRampEngine, MovesAtTheEndsOrWithoutAnimationWriteOnce) {
    Rig top(RampAxis::brightness(), 1.0);
    top.engine->step(+1, false);
    EXPECT_EQ(top.writes, std::vector<double>{1.0});
    EXPECT_EQ(top.frames->startCount(), 0);
    EXPECT_EQ(top.settled, 1);

    Rig bottom(RampAxis::brightness(), 0.0);
    bottom.engine->step(-1, true);
    EXPECT_EQ(bottom.writes, std::vector<double>{0.0});

    // Out-of-range and not-a-number readings are clamped on sync-in.
    Rig odd(RampAxis::warmth(), 9000, OSDMode::warmth);
    odd.stored = std::nan("");
    odd.engine->glide(500.3); // 0.3 K from the clamped reading: below 0.6 K, no animation
    EXPECT_EQ(odd.writes, std::vector<double>{500.3});
    EXPECT_TRUE(odd.osd.shows.empty()); // glides never bring the display up

    Rig still(RampAxis::warmth(), 3400, OSDMode::warmth);
    still.animated = false;
    still.engine->glide(2000);
    EXPECT_EQ(still.writes, std::vector<double>{2000});
    EXPECT_EQ(still.settled, 1);
    EXPECT_EQ(still.engine->timer(), nullptr);
    EXPECT_FALSE(still.engine->isDiscreteGlide());
}

TEST(ValueRampEngine, QuickPressesBuildOnTheTargetAndRestartFromTheScreen) {
    Rig rig(RampAxis::brightness(), 0.5);
    rig.engine->step(+1, false);
    rig.frames->fire();
    rig.frames->fire();
    const double onScreen = rig.engine->displayed();
    rig.stored = 0.1; // an outside write during the move is not picked up
    const size_t written = rig.writes.size();
    rig.engine->step(+1, false);
    EXPECT_EQ(rig.writes.size(), written); // re-aimed: the next frame comes on the timer
    EXPECT_DOUBLE_EQ(rig.engine->target(), 0.625);
    EXPECT_DOUBLE_EQ(rig.osd.shows.back().first, onScreen);
    rig.frames->fire();
    rig.engine->step(+1, false);
    EXPECT_DOUBLE_EQ(rig.engine->target(), 0.6875);
    EXPECT_EQ(rig.frames->startCount(), 3);
    const size_t before = rig.writes.size();
    EXPECT_EQ(rig.frames->fireUntilStopped(), 15); // each press restarts the full 0.25 s
    EXPECT_GT(rig.writes[before], rig.writes[before - 1]);
    EXPECT_EQ(rig.writes.back(), 0.6875);
    EXPECT_EQ(rig.settled, 1);

    // Idle again: the next press reads the store afresh.
    rig.stored = 0.2;
    rig.engine->step(-1, false);
    EXPECT_DOUBLE_EQ(rig.engine->target(), 0.125);
}

TEST(ValueRampEngine, GlideFlagLastsUntilSettleCancelOrStep) {
    Rig rig(RampAxis::warmth(), 3400, OSDMode::warmth);
    rig.engine->glide(2000);
    EXPECT_TRUE(rig.engine->isDiscreteGlide());
    EXPECT_EQ(rig.engine->easing(), RampEasing::sCurve);
    for (int i = 0; i < 12; ++i)
        rig.frames->fire();
    EXPECT_TRUE(rig.engine->isDiscreteGlide());
    EXPECT_NEAR(rig.writes.back(), 2700, 1e-9); // halfway through the S-curve
    EXPECT_EQ(rig.frames->fireUntilStopped(), 12);
    EXPECT_EQ(rig.writes.size(), 24u);
    EXPECT_EQ(rig.writes.back(), 2000);
    EXPECT_EQ(rig.settled, 1);
    // Once settled, the popover must follow outside warmth changes again.
    EXPECT_FALSE(rig.engine->isDiscreteGlide());

    // Cancel mid-glide: the last intermediate value stays, nothing more happens.
    rig.engine->glide(6500);
    rig.frames->fire();
    rig.frames->fire();
    const double last = rig.stored;
    rig.engine->cancel();
    EXPECT_FALSE(rig.engine->isDiscreteGlide());
    EXPECT_EQ(rig.engine->timer(), nullptr);
    EXPECT_FALSE(rig.frames->fire());
    EXPECT_EQ(rig.stored, last);
    EXPECT_EQ(rig.writes.size(), 26u);
    EXPECT_EQ(rig.settled, 1);

    // A key step takes over a glide and clears the flag.
    rig.engine->glide(1000);
    rig.frames->fire();
    rig.engine->step(-1, false);
    EXPECT_FALSE(rig.engine->isDiscreteGlide());
}

TEST(ValueRampEngine, AnAnimatedMoveWritesInsideOneBurstThatEndsAfterItsLastWrite) {
    Rig rig(RampAxis::brightness(), 0.5);
    auto bursts = [&] { return std::count(rig.events.begin(), rig.events.end(), "burst"); };
    rig.engine->step(+1, false);
    rig.frames->fire();
    rig.engine->step(+1, false); // a second press within the move stays in its burst
    rig.frames->fireUntilStopped();
    EXPECT_EQ(bursts(), 1);
    EXPECT_EQ(rig.events.back(), "end of burst");
    EXPECT_EQ(rig.events[rig.events.size() - 2], "write");

    rig.engine->glide(0.1);
    rig.frames->fire();
    rig.engine->cancel();
    EXPECT_EQ(bursts(), 2);
    EXPECT_EQ(rig.events.back(), "end of burst");
    rig.animated = false; // one write, no burst
    rig.engine->glide(0.9);
    EXPECT_EQ(bursts(), 2);
    EXPECT_EQ(rig.events.back(), "write");
}

TEST(BrightnessKeyInterceptor, WarmthRampWritesTheStoreAndAnnounces) {
    TestStore store;
    store.defaults().setDouble(PrefKey::temperature, 3400);
    std::vector<ManualFrameTimer*> timers;
    BrightnessKeyInterceptor interceptor([&] {
        auto t = std::make_unique<ManualFrameTimer>();
        timers.push_back(t.get());
        return t;
    });
    ASSERT_EQ(timers.size(), 2u);
    QObject observer;
    int changed = 0, settled = 0;
    auto& center = NotificationCenter::defaultCenter();
    center.addObserver(&observer, "halcyraBrightnessKeyChanged",
                       [&](const Notification&) { ++changed; });
    center.addObserver(&observer, "halcyraWarmthRampSettled",
                       [&](const Notification&) { ++settled; });

    interceptor.warmthRamp().glide(2000);
    EXPECT_EQ(timers[1]->fireUntilStopped(), 24);
    EXPECT_EQ(Preferences::shared().temperature(), 2000);
    EXPECT_EQ(changed, 24);
    EXPECT_EQ(settled, 1);

    store.defaults().setBool(PrefKey::smoothTransitions, false);
    interceptor.warmthRamp().glide(4000);
    EXPECT_EQ(Preferences::shared().temperature(), 4000);
    EXPECT_EQ(changed, 25);
    EXPECT_EQ(settled, 2);

    store.defaults().setDouble(PrefKey::brightness, 0.5);
    interceptor.ramp().step(+1, false);
    EXPECT_EQ(timers[0]->fireUntilStopped(), 15);
    EXPECT_EQ(Preferences::shared().brightness(), 0.5625);
    EXPECT_EQ(settled, 2); // the brightness ramp announces no settle

    // The hand-over to a direct writer stops the shared warmth ramp where it is.
    store.defaults().setBool(PrefKey::smoothTransitions, true);
    auto frames = std::make_unique<ManualFrameTimer>();
    ManualFrameTimer* shared = frames.get();
    BrightnessKeyInterceptor::shared().warmthRamp().setFrameTimer(std::move(frames));
    BrightnessKeyInterceptor::shared().warmthRamp().glide(1000);
    shared->fire();
    const double midway = Preferences::shared().temperature();
    EXPECT_LT(midway, 4000);
    BrightnessKeyInterceptor::yieldWarmthToDirectWrite();
    EXPECT_FALSE(shared->fire());
    EXPECT_FALSE(BrightnessKeyInterceptor::shared().warmthRamp().isDiscreteGlide());
    EXPECT_EQ(Preferences::shared().temperature(), midway);
    BrightnessKeyInterceptor::shared().warmthRamp().setFrameTimer(nullptr);
    center.removeObserver(&observer);
}

TEST(QtFrameTimer, TicksOnTheEventLoopUntilStopped) {
    QtFrameTimer timer;
    int ticks = 0;
    timer.start(FrameTimer::frameInterval, [&] {
        if (++ticks == 3) timer.stop();
    });
    EXPECT_TRUE(timer.isActive());
    EXPECT_TRUE(waitUntil([&] { return !timer.isActive(); }, 2000));
    EXPECT_EQ(ticks, 3);
}
