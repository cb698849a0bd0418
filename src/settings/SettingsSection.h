#pragma once

#include <QString>
#include <array>
#include <optional>

// The sections of the settings window, in sidebar order; the title is the raw value.
enum class SettingsSection {
    home,
    display,
    scheduling,
    presets,
    keyboard,
    insights,
    explore,
    settings
};

namespace SettingsSections {
inline constexpr std::array<SettingsSection, 8> all{
    SettingsSection::home,    SettingsSection::display,  SettingsSection::scheduling,
    SettingsSection::presets, SettingsSection::keyboard, SettingsSection::insights,
    SettingsSection::explore, SettingsSection::settings};

QString title(SettingsSection s);
// The symbol the sidebar shows beside the title.
QString symbol(SettingsSection s);
// The section whose title is exactly `raw` (case-sensitive), none otherwise.
std::optional<SettingsSection> fromRawValue(const QString& raw);
} // namespace SettingsSections

// Posted with userInfo "section" = a section's title to open the settings there.
inline const QString setSettingsSectionNotification = QStringLiteral("HalcyraSetSettingsSection");
