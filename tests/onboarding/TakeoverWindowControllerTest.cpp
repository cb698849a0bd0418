#include "onboarding/TakeoverWindowController.h"

#include "platform/simulated/SimulatedLocationService.h"
#include "popover/PopoverViewModel.h"
#include "sound/SoundCueEngine.h"
#include "warmth/OverlayTestRig.h"
#include "warmth/SunsetScheduler.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

namespace {

// A window that appears at once and fades out only when the test says so.
struct FakePresenter : TakeoverPresenter {
    bool* alive;
    std::function<void()>* pendingFade;
    bool hasScreen = true;
    FakePresenter(bool* a, std::function<void()>* f, bool screen)
        : alive(a), pendingFade(f), hasScreen(screen) {
        *alive = true;
    }
    ~FakePresenter() override { *alive = false; }
    bool present(TakeoverState&, int, bool) override { return hasScreen; }
    void raise() override {}
    void fadeOut(double, std::function<void()> done) override { *pendingFade = std::move(done); }
    void showConfetti() override {}
};

struct TakeoverRig : OverlayRig {
    std::vector<ManualFrameTimer*> frames;
    std::vector<std::function<void()>> deferred;
    std::function<void()> pendingFade;
    bool windowAlive = false;
    bool hasScreen = true;
    int finished = 0, escaped = 0;
    std::unique_ptr<SunsetScheduler> scheduler;
    std::unique_ptr<PopoverViewModel> vm;
    std::unique_ptr<TakeoverWindowController> takeover;

    TakeoverRig() {
        gamma->addDisplay(10);
        scheduler = std::make_unique<SunsetScheduler>(Platform::instance().location(), clock);
        vm = std::make_unique<PopoverViewModel>();
        vm->onUpdate = [this] { engine->updateOverlays(); };
        takeover = std::make_unique<TakeoverWindowController>(
            *scheduler,
            [this](TakeoverWindowController&) {
                return std::make_unique<FakePresenter>(&windowAlive, &pendingFade, hasScreen);
            },
            [this] {
                auto t = std::make_unique<ManualFrameTimer>();
                frames.push_back(t.get());
                return t;
            },
            [this](double, std::function<void()> action) {
                deferred.push_back(std::move(action));
            });
    }

    // A first run: the first-run warmth stored and shown, then the takeover.
    void showFirstRun() {
        enable(2000, 4.0);
        engine->updateOverlays();
        vm->syncFromPreferences();
        takeover->show(
            engine.get(), vm.get(), [this] { ++finished; }, [this] { ++escaped; });
    }
    void startSweep() {
        for (auto& d : std::exchange(deferred, {}))
            d();
    }
    ManualFrameTimer& last() { return *frames.back(); }
    float shownRed() { return gamma->display(DisplayId(10))->blue.back(); }
    double stored(const QString& key) { return defaults().doubleValue(key).value_or(-1); }
    void completeFade() {
        ASSERT_TRUE(pendingFade);
        std::exchange(pendingFade, nullptr)();
        QCoreApplication::processEvents();
    }
};

} // namespace

TEST(TakeoverWindowController, SweepRunsItsFramesAndCommitsTheSettledWarmth) {
    TakeoverRig rig;
    rig.showFirstRun();
    EXPECT_TRUE(rig.scheduler->hasPauseHolder());
    rig.startSweep();
    ManualFrameTimer& sweep = rig.last();
    // Phase 0 ends at neutral, phase 1 at deep warm; nothing is stored on the way.
    for (int i = 0; i < 30; ++i)
        sweep.fire();
    EXPECT_NEAR(rig.takeover->state()->temperature(), 6500, 1e-9);
    for (int i = 0; i < 120; ++i)
        sweep.fire();
    EXPECT_NEAR(rig.takeover->state()->temperature(), 1800, 1e-9);
    EXPECT_EQ(rig.stored(PrefKey::temperature), 2000);
    EXPECT_EQ(sweep.fireUntilStopped(), 210);
    EXPECT_EQ(rig.stored(PrefKey::temperature), 3500);
    EXPECT_EQ(rig.stored(PrefKey::intensity), 4.0);
    EXPECT_TRUE(rig.defaults().boolean(PrefKey::enabled));
    EXPECT_EQ(rig.vm->temperature(), 3500);

    rig.takeover->finish();
    rig.takeover->userInput(true); // a late Esc does nothing
    rig.completeFade();
    EXPECT_EQ(rig.finished, 1);
    EXPECT_EQ(rig.escaped, 0);
    EXPECT_FALSE(rig.windowAlive);
    EXPECT_FALSE(rig.scheduler->hasPauseHolder());
}

TEST(TakeoverWindowController, FinishMidSweepShowsTheCommittedWarmth) {
    TakeoverRig rig;
    rig.showFirstRun();
    const float committedRed = rig.shownRed();
    rig.startSweep();
    for (int i = 0; i < 200; ++i)
        rig.last().fire();
    EXPECT_NE(rig.shownRed(), committedRed);
    rig.takeover->finish();
    EXPECT_FALSE(rig.takeover->sweepRunning());
    EXPECT_EQ(rig.shownRed(), committedRed);
    EXPECT_EQ(rig.stored(PrefKey::temperature), 2000);
}

TEST(TakeoverWindowController, EscWithoutAPickRampsBackToTheTruePriorWarmth) {
    TakeoverRig rig;
    rig.enable(500, 3.0); // a preset below the slider's range
    rig.engine->updateOverlays();
    rig.takeover->show(
        rig.engine.get(), nullptr, [] {}, [&] { ++rig.escaped; });
    rig.startSweep();
    for (int i = 0; i < 60; ++i)
        rig.last().fire();
    // The ghost's pick is stored but is not the user's: Esc still returns.
    rig.takeover->ghostPreset(2000, 4.0);
    EXPECT_EQ(rig.stored(PrefKey::temperature), 2000);
    EXPECT_TRUE(rig.takeover->userInput(true));
    EXPECT_TRUE(rig.takeover->isExiting());
    // The window fades before the ramp ends: the schedule stays paused until the
    // restored warmth is committed.
    rig.completeFade();
    EXPECT_EQ(rig.escaped, 0);
    EXPECT_TRUE(rig.scheduler->hasPauseHolder());
    EXPECT_EQ(rig.last().fireUntilStopped(), TakeoverWindowController::restoreFrames);
    // Back within the range the takeover shows.
    EXPECT_EQ(rig.stored(PrefKey::temperature), 1000);
    EXPECT_EQ(rig.stored(PrefKey::intensity), 3.0);
    EXPECT_NEAR(rig.takeover->state() ? rig.takeover->state()->temperature() : 1000, 1000, 1e-9);
    EXPECT_EQ(rig.escaped, 1);
    EXPECT_FALSE(rig.scheduler->hasPauseHolder());
}

TEST(TakeoverWindowController, EscBackToATintThatWasOffLeavesItOff) {
    TakeoverRig rig;
    rig.defaults().setBool(PrefKey::enabled, false);
    rig.defaults().setDouble(PrefKey::temperature, 4200);
    rig.takeover->show(
        rig.engine.get(), rig.vm.get(), [] {}, [&] { ++rig.escaped; });
    rig.startSweep();
    rig.last().fireUntilStopped(); // the sweep's commit switches the tint on
    EXPECT_TRUE(rig.defaults().boolean(PrefKey::enabled));
    rig.takeover->userInput(true);
    rig.last().fireUntilStopped();
    rig.completeFade();
    EXPECT_FALSE(rig.defaults().boolean(PrefKey::enabled));
    EXPECT_FALSE(rig.vm->enabled());
    EXPECT_EQ(rig.stored(PrefKey::temperature), 4200);
    EXPECT_TRUE(rig.isIdentity(DisplayId(10)));
    // A later full re-application keeps the tint off.
    rig.engine->updateOverlays();
    EXPECT_TRUE(rig.isIdentity(DisplayId(10)));
    EXPECT_EQ(rig.escaped, 1);
}

TEST(TakeoverWindowController, EscAfterAUserPickKeepsThePickAndPicksPinTheSchedule) {
    TakeoverRig rig;
    int pins = 0;
    rig.takeover->hooks.pinScheduleOverride = [&] { ++pins; };
    rig.defaults().setBool(PrefKey::useSchedule, true);
    rig.showFirstRun();
    rig.startSweep();
    rig.last().fire();
    rig.takeover->userDragWarmth(3000, 4.0);
    EXPECT_FALSE(rig.takeover->sweepRunning());
    EXPECT_EQ(rig.stored(PrefKey::temperature), 2000); // a drag only shows
    EXPECT_EQ(pins, 0);
    rig.takeover->userChoseWarmth(2500, 4.0);
    EXPECT_EQ(pins, 1);
    rig.takeover->ghostPreset(2000, 4.0);
    EXPECT_EQ(pins, 1); // the ghost takes no override
    rig.takeover->userChoseWarmth(2700, 4.0);
    rig.takeover->userInput(true);
    rig.takeover->finish(); // the second exit is ignored
    rig.last().fireUntilStopped();
    rig.completeFade();
    EXPECT_EQ(rig.stored(PrefKey::temperature), 2700);
    EXPECT_TRUE(rig.defaults().boolean(PrefKey::enabled));
    EXPECT_EQ(rig.escaped, 1);
    EXPECT_EQ(rig.finished, 0);
}

TEST(TakeoverWindowController, NoScreenShowsNothingAndASecondShowOnlyRaises) {
    TakeoverRig rig;
    rig.hasScreen = false;
    rig.showFirstRun();
    EXPECT_FALSE(rig.takeover->isShown());
    EXPECT_TRUE(rig.deferred.empty());
    EXPECT_FALSE(rig.scheduler->hasPauseHolder() && rig.takeover->isShown());

    rig.hasScreen = true;
    rig.showFirstRun();
    ASSERT_TRUE(rig.takeover->isShown());
    rig.takeover->show(
        rig.engine.get(), rig.vm.get(), [] {}, [] {});
    EXPECT_EQ(rig.deferred.size(), 1u);
}

TEST(TakeoverWindowController, SlideFromTheEnvironmentIsHeldInsideTheSlides) {
    bool present = false;
    qunsetenv("HALCYRA_TAKEOVER_SLIDE");
    EXPECT_EQ(TakeoverWindowController::startSlideFromEnvironment(&present), 0);
    EXPECT_FALSE(present);
    const std::pair<const char*, int> cases[] = {{"3", 3}, {"7", 7},  {"-1", -1},        {"x", 0},
                                                 {"", 0},  {"+2", 2}, {"99999999999", 0}};
    for (const auto& [value, slide] : cases) {
        qputenv("HALCYRA_TAKEOVER_SLIDE", value);
        EXPECT_EQ(TakeoverWindowController::startSlideFromEnvironment(&present), slide) << value;
        EXPECT_TRUE(present);
    }
    qunsetenv("HALCYRA_TAKEOVER_SLIDE");
}

TEST(TakeoverWindowController, BrightnessKeySwitchStartsAndStopsTheInterceptor) {
    TakeoverRig rig;
    std::vector<bool> calls;
    rig.takeover->hooks.brightnessKeysChanged = [&](bool on) { calls.push_back(on); };
    rig.takeover->setBrightnessKeys(true);
    rig.takeover->setBrightnessKeys(false);
    EXPECT_EQ(calls, (std::vector<bool>{true, false}));
    EXPECT_FALSE(rig.defaults().boolean(PrefKey::brightnessKeyInterception));
    // Launch at login shows what the system reports, else the stored setting.
    rig.takeover->hooks.applyLaunchAtLogin = [](bool) { return std::optional<bool>(false); };
    EXPECT_FALSE(rig.takeover->setLaunchAtLogin(true));
    rig.takeover->hooks.applyLaunchAtLogin = [](bool) { return std::optional<bool>(); };
    rig.defaults().setBool(PrefKey::launchAtLogin, true);
    EXPECT_TRUE(rig.takeover->setLaunchAtLogin(false));
    // At appearance with the setting on, the switch shows the entry the system reports
    // and registers nothing.
    int applied = 0;
    rig.takeover->hooks.applyLaunchAtLogin = [&](bool) {
        ++applied;
        return std::optional<bool>(true);
    };
    rig.takeover->hooks.launchAtLoginState = [] { return std::optional<bool>(false); };
    EXPECT_FALSE(rig.takeover->launchAtLoginAtAppearance());
    rig.takeover->hooks.launchAtLoginState = [] { return std::optional<bool>(); };
    EXPECT_TRUE(rig.takeover->launchAtLoginAtAppearance());
    EXPECT_EQ(applied, 0);
    rig.defaults().setBool(PrefKey::launchAtLogin, false);
    EXPECT_TRUE(rig.takeover->launchAtLoginAtAppearance());
    EXPECT_EQ(applied, 1);
}
