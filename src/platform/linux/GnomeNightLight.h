#pragma once

#include "platform/NightLight.h"

typedef struct _GSettings GSettings;

// GNOME's night light: the GSettings key "night-light-enabled" of
// org.gnome.settings-daemon.plugins.color, used only where that schema is installed.
class GnomeNightLight final : public NightLight {
public:
    static inline const char* schemaId = "org.gnome.settings-daemon.plugins.color";
    GnomeNightLight();
    ~GnomeNightLight() override;
    GnomeNightLight(const GnomeNightLight&) = delete;
    GnomeNightLight& operator=(const GnomeNightLight&) = delete;

    QString name() const override { return QStringLiteral("GNOME night light"); }
    bool isAvailable() override { return m_settings != nullptr; }
    std::optional<State> state() override;
    bool setEnabled(bool on) override;

private:
    GSettings* m_settings = nullptr;
};
