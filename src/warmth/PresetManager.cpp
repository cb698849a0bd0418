#include "PresetManager.h"

#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "warmth/ColorTemperature.h"

PresetManager& PresetManager::shared() {
    static PresetManager* manager = new PresetManager();
    return *manager;
}

const QList<HalcyraPreset>& PresetManager::library() {
    static const QList<HalcyraPreset> presets{
        {QStringLiteral("energy"), QStringLiteral("Energy"), 5500, 4.0},
        {QStringLiteral("flow"), QStringLiteral("Flow"), 4500, 4.0},
        {QStringLiteral("reading"), QStringLiteral("Reading"), 3000, 4.0},
        {QStringLiteral("glow"), QStringLiteral("Glow"), 2500, 4.0},
        {QStringLiteral("evening"), QStringLiteral("Evening"), 2000, 4.0},
        {QStringLiteral("deep-sleep"), QStringLiteral("Deep Sleep"), 1200, 4.0},
        {QStringLiteral("biohacker"), QStringLiteral("Biohacker"), 500, 4.0},
        {QStringLiteral("custom"), QStringLiteral("Custom"), 0, 4.0},
    };
    return presets;
}

double PresetManager::customTemperature() const {
    return UserDefaults::standard()
        .doubleValue(PrefKey::customPresetTemperature)
        .value_or(PrefDefault::customPresetTemperature);
}

QList<HalcyraPreset> PresetManager::pinnedPresets() const {
    QList<HalcyraPreset> out;
    for (const QString& id : Preferences::shared().pinnedPresets()) {
        if (id == customId) {
            out.append({customId, QStringLiteral("Custom"), customTemperature(), 4.0});
            continue;
        }
        for (const HalcyraPreset& p : library()) {
            if (p.id == id) {
                out.append(p);
                break;
            }
        }
    }
    return out;
}

QStringList PresetManager::pinnedIds() const {
    return Preferences::shared().pinnedPresets();
}

bool PresetManager::canPin(const QString& id) const {
    const QStringList ids = pinnedIds();
    return ids.contains(id) || ids.size() < maxPinned;
}

void PresetManager::togglePin(const QString& id) {
    QStringList ids = pinnedIds();
    if (ids.contains(id)) {
        ids.removeOne(id);
    } else {
        if (ids.size() >= maxPinned) ids.removeFirst();
        ids.append(id);
    }
    UserDefaults::standard().setStringArray(PrefKey::pinnedPresets, ids);
    emit changed();
}

void PresetManager::saveCustom(double temperature, double /*intensity*/) {
    UserDefaults& store = UserDefaults::standard();
    store.setDouble(PrefKey::customPresetTemperature, temperature);
    store.setDouble(PrefKey::customPresetIntensity, 4.0);
    QStringList ids = pinnedIds();
    if (!ids.contains(customId)) {
        ids.append(customId);
        store.setStringArray(PrefKey::pinnedPresets, ids);
    }
    emit changed();
}

std::optional<HalcyraPreset> PresetManager::resolvedPreset(int index) const {
    if (index < 0 || index >= library().size()) return std::nullopt;
    HalcyraPreset preset = library().at(index);
    // The library's custom row is a placeholder: applying it means the user's own warmth.
    if (preset.id == customId) preset.temperature = customTemperature();
    return preset;
}

std::pair<PresetColor, PresetColor> HalcyraPreset::gradientColors() const {
    auto pair = [](PresetColor a, PresetColor b) { return std::make_pair(a, b); };
    if (id == QLatin1String("energy")) return pair({0.42, 0.82, 0.99}, {0.16, 0.67, 0.97});
    if (id == QLatin1String("flow")) return pair({0.29, 0.56, 0.85}, {0.15, 0.39, 0.92});
    if (id == QLatin1String("reading")) return pair({0.96, 0.78, 0.26}, {0.92, 0.70, 0.03});
    if (id == QLatin1String("glow")) return pair({0.97, 0.59, 0.12}, {0.93, 0.43, 0.05});
    if (id == QLatin1String("evening")) return pair({0.98, 0.45, 0.09}, {0.92, 0.35, 0.05});
    if (id == QLatin1String("deep-sleep")) return pair({0.96, 0.33, 0.12}, {0.85, 0.18, 0.08});
    if (id == QLatin1String("biohacker")) return pair({0.60, 0.11, 0.11}, {0.50, 0.11, 0.11});
    if (id == PresetManager::customId) {
        if (temperature > 0) {
            const RGBGains g = ColorTemperature::rgb(temperature);
            return pair({g.r, g.g, g.b}, {g.r * 0.7, g.g * 0.7, g.b * 0.7});
        }
        return pair({1, 1, 1, 0.25}, {1, 1, 1, 0.12});
    }
    return pair({1, 1, 1, 0.3}, {1, 1, 1, 0.15});
}
