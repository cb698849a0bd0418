#include "platform/linux/services/GSettingsNightLight.h"

#undef signals // GLib's headers use the word
#include <gio/gio.h>

GSettingsNightLight::GSettingsNightLight() = default;

GSettings* GSettingsNightLight::settings() {
    // Finding the schema reads every installed schema list (about a millisecond), so
    // it waits for the first question, which comes after the start-up's first tint.
    if (m_lookedUp) return m_settings;
    m_lookedUp = true;
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source) return nullptr;
    GSettingsSchema* schema = g_settings_schema_source_lookup(source, schemaId, TRUE);
    if (!schema) return nullptr;
    if (g_settings_schema_has_key(schema, "night-light-enabled"))
        m_settings = g_settings_new_full(schema, nullptr, nullptr);
    g_settings_schema_unref(schema);
    return m_settings;
}

GSettingsNightLight::~GSettingsNightLight() {
    if (m_settings) {
        g_settings_sync();
        g_object_unref(m_settings);
    }
}

std::optional<NightLight::State> GSettingsNightLight::state() {
    if (!settings()) return std::nullopt;
    return State{bool(g_settings_get_boolean(m_settings, "night-light-enabled")), 0};
}

bool GSettingsNightLight::setEnabled(bool on) {
    if (!settings()) return false;
    const bool ok = g_settings_set_boolean(m_settings, "night-light-enabled", on);
    // The backend writes asynchronously; the change must be out before we go on
    // (a termination may follow at once).
    g_settings_sync();
    return ok;
}
