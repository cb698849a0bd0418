#include "onboarding/WelcomeWindowController.h"
#include "onboarding/WelcomeWowAnimator.h"

#include "popover/PopoverViewModel.h"
#include "warmth/OverlayTestRig.h"
#include "warmth/SunsetScheduler.h"

#include <QCoreApplication>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct FakeWindow : WelcomePresenter {
    WelcomeWindowController& c;
    explicit FakeWindow(WelcomeWindowController& controller) : c(controller) {}
    void present(WelcomeCallbacks, bool, PopoverViewModel*) override {}
    void raise() override {}
    void fadeOut(double, std::function<void()> done) override {
        c.windowClosed();
        if (done) done();
    }
};

struct WelcomeRig : OverlayRig {
    std::unique_ptr<SunsetScheduler> scheduler;
    std::unique_ptr<PopoverViewModel> vm;
    std::unique_ptr<WelcomeWindowController> welcome;
    std::vector<int> appliedIndexes;
    std::vector<bool> tintedAtUpdate;

    WelcomeRig() {
        gamma->addDisplay(10);
        scheduler = std::make_unique<SunsetScheduler>(Platform::instance().location(), clock);
        vm = std::make_unique<PopoverViewModel>();
        vm->onUpdate = [this] {
            engine->updateOverlays();
            tintedAtUpdate.push_back(!isIdentity(DisplayId(10)));
        };
        welcome = std::make_unique<WelcomeWindowController>(
            *scheduler, [](WelcomeWindowController& c) { return std::make_unique<FakeWindow>(c); });
    }
    void open(bool preview) {
        welcome->showWelcomeWindow(
            engine.get(), vm.get(), [this](int i) { appliedIndexes.push_back(i); }, nullptr,
            preview, nullptr);
    }
    const WelcomeCallbacks& cb() { return welcome->callbacks(); }
    double stored(const QString& key) { return defaults().doubleValue(key).value_or(-1); }
};

struct WowRig {
    ManualFrameTimer* frames = nullptr;
    std::vector<std::pair<double, double>> updates;
    std::vector<std::string> events;
    std::unique_ptr<WelcomeWowAnimator> wow;
    WowRig() {
        WelcomeWowAnimator::Callbacks cb;
        cb.warmthUpdate = [this](double k, double i, bool) { updates.emplace_back(k, i); };
        cb.applyPresetIndex = [this](int i) { events.push_back("apply" + std::to_string(i)); };
        cb.presetTapped = [this](double k, double) {
            events.push_back("tap" + std::to_string(int(k)));
        };
        cb.sweepEnd = [this] { events.push_back("end"); };
        auto t = std::make_unique<ManualFrameTimer>();
        frames = t.get();
        wow = std::make_unique<WelcomeWowAnimator>(std::move(cb), std::move(t));
    }
    void fire(int n) {
        for (int i = 0; i < n; ++i)
            frames->fire();
    }
};

} // namespace

TEST(WelcomeWowAnimator, FloodThenATapGlidesOnFromTheColourOnScreen) {
    WowRig rig;
    rig.wow->arrive();
    rig.fire(WelcomeWowAnimator::floodDelayFrames - 1);
    EXPECT_TRUE(rig.updates.empty());
    rig.fire(15); // halfway through the flood
    const auto mid = rig.updates.back();
    EXPECT_GT(mid.first, 1800);
    rig.wow->tap(QStringLiteral("Reading"), 3000, 2);
    rig.fire(1);
    EXPECT_LT(std::abs(rig.updates.back().first - mid.first), 300); // not from 1800 K
    rig.fire(WelcomeWowAnimator::rampFrames);
    EXPECT_EQ(rig.updates.back().first, 3000);
    EXPECT_EQ(rig.events, (std::vector<std::string>{"apply2", "tap3000", "end"}));
    rig.wow->leave();
    EXPECT_EQ(rig.events.back(), "end");
}

TEST(WelcomeWowAnimator, LeavingWithoutAPickGlidesToEveningAndARunningGlideFinishes) {
    using W = WelcomeWowAnimator;
    // Left after the flood without a pick: a 24-frame glide from the red to 3500 K at
    // intensity 4, then the sweep ends.
    WowRig red;
    red.wow->arrive();
    red.fire(W::floodDelayFrames + W::floodFrames + 10);
    red.wow->leave();
    EXPECT_TRUE(red.events.empty());
    const size_t before = red.updates.size();
    red.fire(1);
    EXPECT_LT(red.updates.back().first, 1850); // from the red on screen, no jump
    red.fire(W::rampFrames - 2);
    EXPECT_LT(red.updates.back().first, 3500);
    EXPECT_TRUE(red.events.empty());
    red.fire(1);
    EXPECT_EQ(red.updates.size(), before + W::rampFrames);
    EXPECT_EQ(red.updates.back(), std::make_pair(3500.0, 4.0));
    EXPECT_EQ(red.events, std::vector<std::string>{"end"});
    EXPECT_FALSE(red.frames->isActive());

    // Left before the flood was due: the glide runs, the flood never begins.
    WowRig early;
    early.wow->arrive();
    early.fire(10);
    early.wow->leave();
    early.fire(100);
    EXPECT_EQ(early.updates.size(), size_t(W::rampFrames));
    EXPECT_EQ(early.updates.back(), std::make_pair(3500.0, 4.0));
    EXPECT_EQ(early.events, std::vector<std::string>{"end"});

    // Left mid-flood: the flood reaches its red and ends nothing.
    WowRig flood;
    flood.wow->arrive();
    flood.fire(W::floodDelayFrames + 10);
    flood.wow->leave();
    flood.fire(100);
    EXPECT_EQ(flood.updates.back(), std::make_pair(1800.0, 4.0));
    EXPECT_TRUE(flood.events.empty());

    // Left mid-glide to a pick: the glide finishes and commits on its own frame.
    WowRig glide;
    glide.wow->arrive();
    glide.fire(80);
    glide.wow->tap(QStringLiteral("Glow"), 2500, 3);
    glide.fire(5);
    glide.wow->leave();
    EXPECT_TRUE(glide.events.empty());
    EXPECT_LT(glide.updates.back().first, 2400); // not landed at once
    glide.fire(W::rampFrames - 5);
    EXPECT_EQ(glide.updates.back().first, 2500);
    EXPECT_EQ(glide.events, (std::vector<std::string>{"apply3", "tap2500", "end"}));

    // The window closing mid-glide stops it where it is.
    WowRig closed;
    closed.wow->arrive();
    closed.fire(W::floodDelayFrames + W::floodFrames);
    closed.wow->leave();
    closed.fire(5);
    closed.wow->stop();
    const size_t sent = closed.updates.size();
    closed.fire(50);
    EXPECT_EQ(closed.updates.size(), sent);
    EXPECT_TRUE(closed.events.empty());
    EXPECT_FALSE(closed.frames->isActive());
}

TEST(WelcomeWindowController, AReplayPutsTheUserBackExactly) {
    WelcomeRig rig;
    rig.enable(500, 2.5, 0.7); // a preset below the slider's range, a dimmed screen
    rig.engine->updateOverlays();
    std::vector<double> keyboard;
    std::vector<std::pair<double, double>> baselines;
    rig.defaults().setBool(PrefKey::fullHarmonyEnabled, true);
    rig.welcome->hooks.harmonyWarmthChanged = [&](double i) { keyboard.push_back(i); };
    rig.welcome->hooks.restoreAmbientBaselines = [&](double k, double b) {
        baselines.emplace_back(k, b);
    };
    rig.open(true);
    EXPECT_TRUE(rig.scheduler->hasPauseHolder());
    EXPECT_TRUE(rig.engine->onboardingActive());
    rig.cb().warmthUpdate(1800, 3.0, true);
    EXPECT_EQ(keyboard, std::vector<double>{3.0}); // the keyboard follows the frame
    EXPECT_EQ(rig.stored(PrefKey::intensity), 4.0);
    rig.cb().applyPresetIndex(4);
    rig.cb().presetTapped(2000, 4.0);
    EXPECT_TRUE(rig.appliedIndexes.empty()); // a replay records no real preset use
    rig.open(true);                          // a second request only raises
    rig.cb().dismiss();
    EXPECT_FALSE(rig.welcome->isOpen());
    EXPECT_EQ(rig.stored(PrefKey::temperature), 500);
    EXPECT_EQ(rig.stored(PrefKey::intensity), 2.5);
    EXPECT_EQ(rig.stored(PrefKey::brightness), 0.7);
    EXPECT_TRUE(rig.defaults().boolean(PrefKey::enabled));
    EXPECT_FALSE(rig.defaults().boolean(PrefKey::previewInProgress));
    // Room-light adaptation starts again from the user's values, not the tour's.
    EXPECT_EQ(baselines, (std::vector<std::pair<double, double>>{{500, 0.7}}));
    EXPECT_FALSE(rig.scheduler->hasPauseHolder());
    EXPECT_FALSE(rig.engine->onboardingActive());
    // A frame arriving after the close writes nothing.
    rig.cb().warmthUpdate(1200, 4.0, true);
    EXPECT_EQ(rig.stored(PrefKey::temperature), 500);
}

TEST(WelcomeWindowController, AFirstRunKeepsThePickAndStartsAndStopsTheKeys) {
    WelcomeRig rig;
    int pins = 0;
    std::vector<bool> interceptor;
    rig.welcome->hooks.pinScheduleOverride = [&] { ++pins; };
    rig.welcome->hooks.startKeyInterceptor = [&] { interceptor.push_back(true); };
    rig.welcome->hooks.stopKeyInterceptor = [&] { interceptor.push_back(false); };
    rig.defaults().setBool(PrefKey::autoSunset, true);
    rig.enable(3400);
    rig.open(false);
    rig.cb().flickerSlideAppeared(true, true);
    rig.cb().brightnessKeysChanged(false);
    EXPECT_EQ(interceptor, (std::vector<bool>{true, false}));
    EXPECT_FALSE(rig.defaults().boolean(PrefKey::brightnessKeyInterception));
    rig.cb().applyPresetIndex(2);
    rig.cb().presetTapped(3000, 4.0);
    EXPECT_EQ(rig.appliedIndexes, std::vector<int>{2});
    EXPECT_EQ(pins, 1);
    rig.welcome->windowClosed();
    EXPECT_EQ(rig.stored(PrefKey::temperature), 3000);
    EXPECT_TRUE(rig.defaults().boolean(PrefKey::enabled));
}

TEST(WelcomeWindowController, ClosingBackToATintThatWasOffNeverShowsItOnTheWay) {
    WelcomeRig rig;
    rig.defaults().setBool(PrefKey::enabled, false);
    rig.defaults().setDouble(PrefKey::temperature, 2700);
    rig.open(true);
    rig.cb().warmthUpdate(1800, 4.0, true);
    rig.cb().presetTapped(2000, 4.0);
    EXPECT_FALSE(rig.isIdentity(DisplayId(10)));
    rig.tintedAtUpdate.clear();
    rig.welcome->windowClosed();
    EXPECT_FALSE(rig.defaults().boolean(PrefKey::enabled));
    EXPECT_EQ(rig.stored(PrefKey::temperature), 2700);
    for (bool tinted : rig.tintedAtUpdate)
        EXPECT_FALSE(tinted);
    EXPECT_TRUE(rig.isIdentity(DisplayId(10)));
}

TEST(WelcomeWindowController, ATourKilledMidwayGivesTheUserTheirWarmthBack) {
    TestStore store;
    const QString path = store.path();
    store.defaults().setDouble(PrefKey::temperature, 4100);
    store.defaults().setDouble(PrefKey::intensity, 3.0);
    store.defaults().setBool(PrefKey::enabled, true);
    store.defaults().synchronize();
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::close(ready[0]);
        WelcomeRig rig;
        UserDefaults::resetStandard(path);
        rig.open(false);
        rig.cb().warmthUpdate(1800, 4.0, true); // a live frame, saved at leisure
        (void)!::write(ready[1], "x", 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    UserDefaults reread(path);
    Preferences prefs(&reread);
    const auto restored = prefs.endTransientWarmthFlow();
    ASSERT_TRUE(restored.has_value());
    EXPECT_EQ(restored->temperature, 4100);
    EXPECT_EQ(restored->intensity, 3.0);
    EXPECT_TRUE(restored->enabled);
}

TEST(WelcomeWindowController, PlacementFitsTheVisibleArea) {
    EXPECT_NEAR(WelcomeWindowController::fitScale({0, 0, 1440, 500}), 500.0 / 620, 1e-9);
    EXPECT_EQ(WelcomeWindowController::fitScale({0, 0, 0, 800}), 1.0);
    EXPECT_EQ(WelcomeWindowController::origin({960, 620}, {0, 25, 1440, 875}), QPointF(240, 152.5));
    EXPECT_EQ(WelcomeWindowController::origin({960, 620}, {0, 0, 800, 600}), QPointF(0, 0));
    EXPECT_EQ(WelcomeWindowController::origin({960, 620}, {100, 50, 1000, 600}), QPointF(120, 50));
}
