#pragma once

#include "platform/NightLight.h"

typedef struct _GSettings GSettings;

// GNOME's night light switch itself: the GSettings key "night-light-enabled" of
// org.gnome.settings-daemon.plugins.color, used only where that schema is installed
// (looked for when first asked). Whether GNOME runs here is for its owner to tell
// first: opening the desktop's settings starts GLib's own threads and, without a
// session bus, has it try to launch one.
class GSettingsNightLight final : public NightLight {
public:
    static inline const char* schemaId = "org.gnome.settings-daemon.plugins.color";
    GSettingsNightLight();
    ~GSettingsNightLight() override;
    GSettingsNightLight(const GSettingsNightLight&) = delete;
    GSettingsNightLight& operator=(const GSettingsNightLight&) = delete;

    QString name() const override { return QStringLiteral("GNOME night light"); }
    bool isAvailable() override { return settings() != nullptr; }
    std::optional<State> state() override;
    bool setEnabled(bool on) override;

private:
    // The desktop's settings, looked up on the first question; null where the schema
    // or its key is missing.
    GSettings* settings();

    GSettings* m_settings = nullptr;
    bool m_lookedUp = false;
};
