#include "CueRecorder.h"
#include "core/NotificationNames.h"
#include "support/TestStore.h"

#include "brightness/BrightnessKeyInterceptor.h"
#include "core/NotificationCenter.h"
#include "core/Preferences.h"
#include "insights/InsightsStore.h"
#include "popover/PopoverViewModel.h"
#include "warmth/PresetManager.h"

#include <gtest/gtest.h>

namespace {

// One model over a fresh store, with the warmth ramp on a hand-stepped frame timer
// and every callback counted in the order it came.
struct Fixture {
    explicit Fixture(bool enabled = true, double temperature = 3400, double brightness = 1.0) {
        store.defaults().setBool(PrefKey::enabled, enabled);
        store.defaults().setDouble(PrefKey::temperature, temperature);
        store.defaults().setDouble(PrefKey::brightness, brightness);
        auto timer = std::make_unique<ManualFrameTimer>();
        frames = timer.get();
        BrightnessKeyInterceptor::shared().warmthRamp().setFrameTimer(std::move(timer));
        model = std::make_unique<PopoverViewModel>(*cues.engine, clock);
        model->onUpdate = [this] { calls << "update"; };
        model->onUserToggledEnabled = [this] { calls << "toggled"; };
        model->onUserSetWarmth = [this] { calls << "warmth"; };
    }
    ~Fixture() { BrightnessKeyInterceptor::shared().warmthRamp().cancel(); }

    UserDefaults& d() { return store.defaults(); }
    void postKeyChange() {
        NotificationCenter::defaultCenter().post(NotificationName::brightnessKeyChanged);
    }

    TestStore store;
    CueRecorder cues;
    ManualClock clock;
    ManualFrameTimer* frames = nullptr;
    std::unique_ptr<PopoverViewModel> model;
    QStringList calls;
};

} // namespace

TEST(PopoverViewModel, WarmthAndBrightnessSliderMappings) {
    EXPECT_EQ(PopoverViewModel::kelvinForPosition(0), 6500);
    EXPECT_EQ(PopoverViewModel::kelvinForPosition(1), 500);
    EXPECT_EQ(PopoverViewModel::kelvinForPosition(0.5), 3500);
    EXPECT_EQ(PopoverViewModel::kelvinForPosition(-0.3), 6500);
    EXPECT_EQ(PopoverViewModel::kelvinForPosition(1.4), 500);
    // 3450 before rounding goes up (halves away from zero); 3449.9 goes down.
    EXPECT_EQ(PopoverViewModel::kelvinForPosition(1.0 - 2950.0 / 6000.0), 3500);
    EXPECT_EQ(PopoverViewModel::kelvinForPosition(1.0 - 2949.9 / 6000.0), 3400);

    Fixture f(true, 3400, 0.55);
    EXPECT_NEAR(f.model->invertedTemp(), 0.516666, 1e-5);
    EXPECT_NEAR(f.model->brightnessSliderPosition(), 0.5, 1e-9);
    f.d().setDouble(PrefKey::temperature, 7000);
    f.postKeyChange();
    EXPECT_EQ(f.model->temperature(), 7000);
    EXPECT_LT(f.model->invertedTemp(), 0.0);

    f.model->setBrightnessSliderPosition(0);
    EXPECT_DOUBLE_EQ(*f.d().doubleValue(PrefKey::brightness), 0.1);
    f.model->setBrightnessSliderPosition(1);
    EXPECT_DOUBLE_EQ(*f.d().doubleValue(PrefKey::brightness), 1.0);
    f.model->setBrightnessSliderPosition(1.2);
    EXPECT_NEAR(*f.d().doubleValue(PrefKey::brightness), 1.18, 1e-12);
}

TEST(PopoverViewModel, SwitchingOnLiftsADimScreenToTheFloor) {
    Fixture f(false, 3400, 0.15);
    f.model->setEnabledByUser(true);
    EXPECT_EQ(f.d().boolValue(PrefKey::enabled), true);
    EXPECT_DOUBLE_EQ(*f.d().doubleValue(PrefKey::brightness), 0.2);
    EXPECT_EQ(f.calls, (QStringList{"update", "update", "toggled"}));

    Fixture at(false, 3400, 0.2);
    at.model->setEnabledByUser(true);
    EXPECT_DOUBLE_EQ(at.model->brightness(), 0.2);
    EXPECT_EQ(at.calls, (QStringList{"update", "toggled"}));

    // Already on: switching "on" again keeps a dim screen dim, yet still reports.
    Fixture on(true, 3400, 0.15);
    on.model->setEnabledByUser(true);
    EXPECT_DOUBLE_EQ(on.model->brightness(), 0.15);
    EXPECT_EQ(on.calls, (QStringList{"update", "toggled"}));

    // The switch binding plays the cue of the new state.
    on.model->setEnabledToggle(false);
    on.model->setEnabledToggle(true);
    EXPECT_EQ(on.cues.played, (QList<SoundCue>{SoundCue::toggleOff, SoundCue::toggleOn}));
}

TEST(PopoverViewModel, WarmthDragWhileOffSwitchesOnAndNeverTouchesIntensity) {
    Fixture f(false, 3400, 1.0);
    f.model->setInvertedTemp(0.25);
    EXPECT_EQ(f.d().boolValue(PrefKey::enabled), true);
    EXPECT_DOUBLE_EQ(*f.d().doubleValue(PrefKey::temperature), 5000);
    EXPECT_FALSE(f.d().contains(PrefKey::intensity));
    EXPECT_EQ(f.calls, (QStringList{"update", "update", "warmth"}));
    EXPECT_FALSE(BrightnessKeyInterceptor::shared().warmthRamp().isDiscreteGlide());

    // Brightness from the user while off: on, stored, and reported as a switch.
    Fixture b(false, 3400, 1.0);
    b.model->setBrightnessByUser(0.6);
    EXPECT_EQ(b.d().boolValue(PrefKey::enabled), true);
    EXPECT_EQ(b.calls, (QStringList{"update", "update", "toggled"}));
    b.calls.clear();
    b.model->setBrightnessByUser(0.7);
    EXPECT_EQ(b.calls, (QStringList{"update"}));
}

TEST(PopoverViewModel, OutsideChangesEchoWithoutBeingWrittenAgain) {
    Fixture f(true, 3400, 1.0);
    int writes = 0;
    QObject::connect(&f.d(), &UserDefaults::changed, [&](const QStringList&) { ++writes; });

    // During a drag the slider owns the values.
    f.model->userIsDragging = true;
    f.d().setDouble(PrefKey::brightness, 0.5);
    writes = 0;
    f.postKeyChange();
    EXPECT_DOUBLE_EQ(f.model->brightness(), 1.0);

    f.model->userIsDragging = false;
    f.postKeyChange();
    EXPECT_DOUBLE_EQ(f.model->brightness(), 0.5);
    f.d().setDouble(PrefKey::temperature, 2000);
    writes = 0;
    f.postKeyChange();
    EXPECT_DOUBLE_EQ(f.model->temperature(), 2000);
    EXPECT_EQ(writes, 0);
    EXPECT_TRUE(f.calls.isEmpty()) << f.calls.join(",").toStdString();
    EXPECT_FALSE(f.model->isEchoingExternalChange());

    // A wholesale sync echoes both values, writes full intensity and then reports the
    // switch once.
    f.d().setDouble(PrefKey::temperature, 4100);
    f.d().setDouble(PrefKey::brightness, 0.3);
    f.d().setBool(PrefKey::enabled, false);
    f.model->syncFromPreferences();
    EXPECT_DOUBLE_EQ(f.model->temperature(), 4100);
    EXPECT_DOUBLE_EQ(f.model->brightness(), 0.3);
    EXPECT_FALSE(f.model->enabled());
    EXPECT_DOUBLE_EQ(*f.d().doubleValue(PrefKey::intensity), 4.0);
    EXPECT_EQ(f.calls, (QStringList{"update"}));
}

TEST(PopoverViewModel, PresetGlidesAndTheGlideIsNotEchoedBack) {
    Fixture f(false, 5000, 0.1);
    const QDateTime now = f.clock.now();
    const qint64 usesBefore = InsightsStore::shared().record(now).presetCounts.value("Reading");

    f.model->applyPresetByUser(QStringLiteral("Reading"), 2700);
    ValueRampEngine& ramp = BrightnessKeyInterceptor::shared().warmthRamp();
    EXPECT_TRUE(f.model->enabled());
    EXPECT_DOUBLE_EQ(f.model->brightness(), 0.2); // the switch-on floor
    EXPECT_DOUBLE_EQ(f.model->temperature(), 2700);
    EXPECT_TRUE(ramp.isDiscreteGlide());
    EXPECT_FALSE(f.model->glideNextWarmthWrite);
    EXPECT_DOUBLE_EQ(*f.d().doubleValue(PrefKey::intensity), 4.0);
    EXPECT_EQ(InsightsStore::shared().record(now).presetCounts.value("Reading"), usesBefore + 1);
    EXPECT_EQ(f.calls.count("warmth"), 1);
    EXPECT_EQ(f.calls.count("toggled"), 1);

    // Mid-glide frames do not pull the half-way warmth into the model, but a brightness
    // change arriving meanwhile is copied.
    f.frames->fire();
    f.frames->fire();
    const double midway = *f.d().doubleValue(PrefKey::temperature);
    EXPECT_GT(midway, 2700);
    EXPECT_LT(midway, 5000);
    f.d().setDouble(PrefKey::brightness, 0.65);
    f.postKeyChange();
    EXPECT_DOUBLE_EQ(f.model->temperature(), 2700);
    EXPECT_DOUBLE_EQ(f.model->brightness(), 0.65);

    f.frames->fireUntilStopped();
    EXPECT_DOUBLE_EQ(*f.d().doubleValue(PrefKey::temperature), 2700);
    // Settled: outside warmth counts again.
    EXPECT_FALSE(ramp.isDiscreteGlide());
    f.d().setDouble(PrefKey::temperature, 3000);
    f.postKeyChange();
    EXPECT_DOUBLE_EQ(f.model->temperature(), 3000);

    // The same warmth again still glides, writes intensity and counts a use.
    f.d().remove(PrefKey::intensity);
    f.model->applyPresetByUser(QStringLiteral("Reading"), 3000);
    EXPECT_DOUBLE_EQ(*f.d().doubleValue(PrefKey::intensity), 4.0);
    EXPECT_EQ(InsightsStore::shared().record(now).presetCounts.value("Reading"), usesBefore + 2);

    // The library preset form uses the preset's name and warmth.
    const HalcyraPreset glow = PresetManager::library().at(3);
    const qint64 glowBefore = InsightsStore::shared().record(now).presetCounts.value(glow.name);
    f.model->applyPresetByUser(glow);
    EXPECT_DOUBLE_EQ(f.model->temperature(), glow.temperature);
    EXPECT_EQ(InsightsStore::shared().record(now).presetCounts.value(glow.name), glowBefore + 1);
}

TEST(PopoverViewModel, SwitchingOnClearsTheWatchdogPause) {
    Fixture f(false);
    int cleared = 0;
    f.model->onWatchdogPauseCleared = [&] { ++cleared; };
    f.model->setPausedByWatchdog(true);
    f.model->setEnabled(false);
    EXPECT_TRUE(f.model->pausedByWatchdog());
    f.model->setEnabled(true);
    EXPECT_FALSE(f.model->pausedByWatchdog());
    EXPECT_EQ(cleared, 1);
}
