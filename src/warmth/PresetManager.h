#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>

// An sRGB colour with opacity, each 0..1.
struct PresetColor {
    double red = 1.0;
    double green = 1.0;
    double blue = 1.0;
    double opacity = 1.0;
    bool operator==(const PresetColor&) const = default;
};

// A named warmth the user applies with one tap or a shortcut.
struct HalcyraPreset {
    QString id;
    QString name;
    double temperature = 0.0; // kelvin
    double intensity = 4.0;   // on the 0..4 scale of the stored intensity
    bool operator==(const HalcyraPreset&) const = default;

    // The start and end colours its chip or card is drawn with.
    std::pair<PresetColor, PresetColor> gradientColors() const;
};

// The fixed library of eight presets, the user's pinned ones (oldest first, at most
// six when pinned one by one) and the user's own "custom" warmth. The pinned list and
// the custom warmth live only in the settings store and are read afresh every time.
class PresetManager : public QObject {
    Q_OBJECT
public:
    static constexpr int maxPinned = 6;
    static inline const QString customId = QStringLiteral("custom");

    static PresetManager& shared();
    using QObject::QObject;

    // In order: Energy, Flow, Reading, Glow, Evening, Deep Sleep, Biohacker, Custom
    // (the custom row carries temperature 0; it stands for the stored custom warmth).
    static const QList<HalcyraPreset>& library();

    QList<HalcyraPreset> pinnedPresets() const;
    // The stored pinned ids, in order. One that names no preset (left by an older
    // library) is not shown, but it stays stored and counts towards the six.
    QStringList pinnedIds() const;
    bool isPinned(const QString& id) const { return pinnedIds().contains(id); }
    // Pinned already (so it can be unpinned), or fewer than six pinned.
    bool canPin(const QString& id) const;
    void togglePin(const QString& id);
    // Stores the custom warmth (its intensity is always full) and pins it if it was not.
    void saveCustom(double temperature, double intensity);
    // The stored custom warmth; 3400 K when none was saved.
    double customTemperature() const;

    // The library row at `index`, the custom row resolved to the stored custom warmth;
    // absent for an index outside the library. Applying it (gliding to its warmth,
    // writing full intensity) is the caller's business: this writes nothing.
    std::optional<HalcyraPreset> resolvedPreset(int index) const;

signals:
    // The pinned list or the custom warmth changed.
    void changed();
};
