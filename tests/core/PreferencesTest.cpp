#include "core/Preferences.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

TEST(Preferences, MissingAndMistypedValuesReadAsDefaults) {
    TestStore store;
    UserDefaults& d = store.defaults();
    Preferences& p = Preferences::shared();
    EXPECT_EQ(p.temperature(), 3400.0);
    EXPECT_EQ(p.intensity(), 4.0);
    EXPECT_EQ(p.brightness(), 1.0);
    EXPECT_FALSE(p.enabled());
    EXPECT_TRUE(p.ambientDimming());
    EXPECT_TRUE(p.smoothTransitions());
    EXPECT_TRUE(p.showFeedbackBox());
    EXPECT_TRUE(p.autoDisableNightShift());
    EXPECT_EQ(p.transitionDuration(), 20.0);
    EXPECT_EQ(p.xdrBoostStrength(), 0.5);
    EXPECT_EQ(p.pinnedPresets(), PrefDefault::pinnedPresets);
    EXPECT_FALSE(p.preBrightnessKeyNativeBrightness());
    EXPECT_FALSE(p.fullHarmonyBaseline());

    d.setString(PrefKey::temperature, "3000");
    EXPECT_EQ(p.temperature(), 3400.0);
    d.setDouble(PrefKey::temperature, 2700);
    EXPECT_EQ(p.temperature(), 2700.0);
    d.setDouble(PrefKey::enabled, 1);
    EXPECT_FALSE(p.enabled());
    d.setBool(PrefKey::ambientDimming, false);
    EXPECT_FALSE(p.ambientDimming());
    d.setDouble(PrefKey::pinnedPresets, 5);
    EXPECT_EQ(p.pinnedPresets(), PrefDefault::pinnedPresets);
    d.setStringArray(PrefKey::pinnedPresets, {"reading"});
    EXPECT_EQ(p.pinnedPresets(), QStringList{"reading"});
    d.setString(PrefKey::fullHarmonyBaseline, "0.4");
    EXPECT_FALSE(p.fullHarmonyBaseline());
    d.setDouble(PrefKey::fullHarmonyBaseline, 0.4);
    EXPECT_FLOAT_EQ(*p.fullHarmonyBaseline(), 0.4f);
}

TEST(Preferences, SoundVolumeIsClampedOnEveryRead) {
    TestStore store;
    Preferences& p = Preferences::shared();
    EXPECT_EQ(p.soundCueVolume(), 1.0);
    store.defaults().setDouble(PrefKey::soundCueVolume, 0.05);
    EXPECT_EQ(p.soundCueVolume(), 0.2);
    store.defaults().setDouble(PrefKey::soundCueVolume, 3.0);
    EXPECT_EQ(p.soundCueVolume(), 1.0);
    store.defaults().setDouble(PrefKey::soundCueVolume, 0.6);
    EXPECT_EQ(p.soundCueVolume(), 0.6);
}

TEST(Preferences, TransientWarmthPreviewSurvivesACrash) {
    TestStore store;
    UserDefaults& d = store.defaults();
    d.setDouble(PrefKey::temperature, 3000);
    d.setDouble(PrefKey::brightness, 0.7);
    d.setBool(PrefKey::enabled, true);

    // End with nothing open returns nothing and writes nothing.
    EXPECT_FALSE(Preferences::shared().endTransientWarmthFlow());
    EXPECT_FALSE(d.contains(PrefKey::previewInProgress));

    // The process dies right after the tour changed the tint, long before a coalesced
    // save; the next launch reopens the store from the file.
    ASSERT_TRUE(killedRightAfter([&] {
        Preferences::shared().beginTransientWarmthFlow();
        d.setDouble(PrefKey::temperature, 1900);          // the tour changes the tint
        Preferences::shared().beginTransientWarmthFlow(); // a second begin keeps the first values
        d.setDouble(PrefKey::brightness, 0.3);
    }));
    UserDefaults reopened(store.path());
    Preferences afterCrash(&reopened);
    EXPECT_EQ(afterCrash.savedUserTemperature(), 3000.0);
    afterCrash.commitTransientWarmthChoice(2700, 4.0, true);
    reopened.remove(PrefKey::savedUserIntensity); // removed by hand
    reopened.setDouble(PrefKey::intensity, 2.0);
    const auto restored = afterCrash.endTransientWarmthFlow();
    ASSERT_TRUE(restored);
    EXPECT_EQ(restored->temperature, 2700.0);
    EXPECT_EQ(restored->intensity, 2.0);
    EXPECT_TRUE(restored->enabled);
    EXPECT_EQ(restored->brightness, 0.7);
    EXPECT_EQ(afterCrash.temperature(), 2700.0);
    EXPECT_EQ(afterCrash.brightness(), 0.7);
    for (const QString& k : {PrefKey::savedUserTemperature, PrefKey::savedUserIntensity,
                             PrefKey::savedUserEnabled, PrefKey::savedUserBrightness})
        EXPECT_FALSE(reopened.contains(k)) << k.toStdString();
    EXPECT_EQ(reopened.boolValue(PrefKey::previewInProgress), false);
}
