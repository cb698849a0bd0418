#include "warmth/PresetManager.h"
#include "core/Preferences.h"
#include "support/TestStore.h"
#include "warmth/ColorTemperature.h"

#include <gtest/gtest.h>

namespace {

QStringList ids(const QList<HalcyraPreset>& presets) {
    QStringList out;
    for (const auto& p : presets)
        out << p.id;
    return out;
}

QStringList stored() {
    return Preferences::shared().pinnedPresets();
}

} // namespace

TEST(PresetManager, LibraryAndFreshInstall) {
    TestStore store;
    PresetManager presets;
    const auto& lib = PresetManager::library();
    ASSERT_EQ(lib.size(), 8);
    EXPECT_EQ(ids(lib), (QStringList{"energy", "flow", "reading", "glow", "evening", "deep-sleep",
                                     "biohacker", "custom"}));
    EXPECT_EQ(lib[5].name, "Deep Sleep");
    EXPECT_EQ(lib[7].temperature, 0);

    const auto pinned = presets.pinnedPresets();
    EXPECT_EQ(ids(pinned), (QStringList{"flow", "reading", "evening", "deep-sleep", "biohacker"}));
    EXPECT_EQ(pinned[0].temperature, 4500);
    EXPECT_EQ(pinned[4].temperature, 500);
    for (const auto& p : pinned)
        EXPECT_EQ(p.intensity, 4.0);
}

TEST(PresetManager, PinLimitUnpinAndUnknownIds) {
    TestStore store;
    PresetManager presets;
    int changed = 0;
    QObject::connect(&presets, &PresetManager::changed, [&] { ++changed; });

    presets.togglePin("energy");
    EXPECT_EQ(stored(),
              (QStringList{"flow", "reading", "evening", "deep-sleep", "biohacker", "energy"}));
    // A seventh drops the oldest.
    presets.togglePin("glow");
    EXPECT_EQ(stored(),
              (QStringList{"reading", "evening", "deep-sleep", "biohacker", "energy", "glow"}));
    // Unpinning removes it wherever it stands.
    presets.togglePin("deep-sleep");
    EXPECT_EQ(stored(), (QStringList{"reading", "evening", "biohacker", "energy", "glow"}));
    EXPECT_EQ(changed, 3);

    // Ids no longer in the library are skipped when shown, but stay stored and count
    // towards the six.
    store.defaults().setStringArray(PrefKey::pinnedPresets,
                                    {"old", "flow", "a", "reading", "b", "evening"});
    EXPECT_EQ(ids(presets.pinnedPresets()), (QStringList{"flow", "reading", "evening"}));
    EXPECT_FALSE(presets.canPin("glow"));
    presets.togglePin("glow");
    EXPECT_EQ(stored(), (QStringList{"flow", "a", "reading", "b", "evening", "glow"}));

    // At six pins the others cannot be pinned from a card; a pinned one can go.
    EXPECT_TRUE(presets.canPin("flow"));
    presets.togglePin("flow");
    EXPECT_TRUE(presets.canPin("biohacker"));
    EXPECT_EQ(stored(), (QStringList{"a", "reading", "b", "evening", "glow"}));
}

TEST(PresetManager, CustomPresetSavesResolvesAndApplies) {
    TestStore store;
    PresetManager presets;
    store.defaults().setStringArray(PrefKey::pinnedPresets, {"custom"});
    // Pinned but never saved: 3400 K.
    ASSERT_EQ(presets.pinnedPresets().size(), 1);
    EXPECT_EQ(presets.pinnedPresets()[0].temperature, 3400);

    // Saving with six pinned and custom not among them makes seven; a stale id stays.
    store.defaults().setStringArray(PrefKey::pinnedPresets,
                                    {"energy", "flow", "reading", "a", "glow", "evening"});
    presets.saveCustom(2700, 1.0);
    EXPECT_EQ(stored().size(), 7);
    EXPECT_EQ(stored()[3], "a");
    EXPECT_EQ(stored().last(), "custom");
    EXPECT_EQ(store.defaults().doubleValue(PrefKey::customPresetIntensity), 4.0);
    const HalcyraPreset custom = presets.pinnedPresets().last();
    EXPECT_EQ(custom, (HalcyraPreset{"custom", "Custom", 2700, 4.0}));
    presets.saveCustom(2600, 4.0);
    EXPECT_EQ(stored().size(), 7); // already pinned

    // A row by index: the custom row stands for the saved warmth, not its placeholder
    // 0 K. Looking a preset up writes nothing: applying it is the caller's business.
    store.defaults().setDouble(PrefKey::intensity, 1.5);
    EXPECT_EQ(presets.resolvedPreset(0)->name, "Energy");
    EXPECT_EQ(presets.resolvedPreset(7)->temperature, 2600);
    EXPECT_FALSE(presets.resolvedPreset(8));
    EXPECT_FALSE(presets.resolvedPreset(-1));
    EXPECT_EQ(store.defaults().doubleValue(PrefKey::intensity), 1.5);
}

TEST(PresetManager, GradientColours) {
    const auto [a, b] = PresetManager::library()[0].gradientColors();
    EXPECT_EQ(a, (PresetColor{0.42, 0.82, 0.99, 1}));
    EXPECT_EQ(b, (PresetColor{0.16, 0.67, 0.97, 1}));
    const HalcyraPreset custom{"custom", "Custom", 2700, 4};
    const RGBGains g = ColorTemperature::rgb(2700);
    EXPECT_EQ(custom.gradientColors().first, (PresetColor{g.r, g.g, g.b, 1}));
    EXPECT_DOUBLE_EQ(custom.gradientColors().second.green, g.g * 0.7);
    EXPECT_EQ(PresetManager::library()[7].gradientColors().first.opacity, 0.25);
    EXPECT_EQ((HalcyraPreset{"other", "Other", 3000, 4}).gradientColors().second,
              (PresetColor{1, 1, 1, 0.15}));
}
