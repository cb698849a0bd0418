#include "settings/SettingsSection.h"

namespace SettingsSections {

QString title(SettingsSection s) {
    switch (s) {
    case SettingsSection::home:
        return QStringLiteral("Home");
    case SettingsSection::display:
        return QStringLiteral("Display");
    case SettingsSection::scheduling:
        return QStringLiteral("Scheduling");
    case SettingsSection::presets:
        return QStringLiteral("Presets");
    case SettingsSection::keyboard:
        return QStringLiteral("Keyboard");
    case SettingsSection::insights:
        return QStringLiteral("Insights");
    case SettingsSection::explore:
        return QStringLiteral("Explore");
    case SettingsSection::settings:
        return QStringLiteral("Settings");
    }
    return {};
}

QString symbol(SettingsSection s) {
    switch (s) {
    case SettingsSection::home:
        return QStringLiteral("house.fill");
    case SettingsSection::display:
        return QStringLiteral("sun.max.fill");
    case SettingsSection::scheduling:
        return QStringLiteral("clock.fill");
    case SettingsSection::presets:
        return QStringLiteral("square.grid.2x2");
    case SettingsSection::keyboard:
        return QStringLiteral("keyboard");
    case SettingsSection::insights:
        return QStringLiteral("chart.bar.fill");
    case SettingsSection::explore:
        return QStringLiteral("safari.fill");
    case SettingsSection::settings:
        return QStringLiteral("gear");
    }
    return {};
}

std::optional<SettingsSection> fromRawValue(const QString& raw) {
    for (SettingsSection s : all)
        if (title(s) == raw) return s;
    return std::nullopt;
}

} // namespace SettingsSections
