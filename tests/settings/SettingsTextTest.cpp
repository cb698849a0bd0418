#include "settings/SettingsText.h"
#include "settings/SettingsSection.h"

#include <QLocale>
#include <cmath>
#include <gtest/gtest.h>

using namespace SettingsText;

TEST(SettingsText, GreetingsAndHourFigures) {
    EXPECT_EQ(homeGreeting(4), "Good evening");
    EXPECT_EQ(homeGreeting(5), "Good morning");
    EXPECT_EQ(homeGreeting(11), "Good morning");
    EXPECT_EQ(homeGreeting(12), "Good afternoon");
    EXPECT_EQ(homeGreeting(16), "Good afternoon");
    EXPECT_EQ(homeGreeting(17), "Good evening");
    EXPECT_EQ(hoursString(12.5), "13 hrs");
    EXPECT_EQ(hoursString(7.46), "7.5 hrs");
    EXPECT_EQ(hoursString(0), "0.0 hrs");
    EXPECT_EQ(hoursString(9.96), "10.0 hrs");
    EXPECT_EQ(hoursString(10), "10 hrs");
    // Corrupt records: no garbage integer, no page-wide figure.
    for (double bad :
         {std::nan(""), double(INFINITY), -double(INFINITY), 1e300, 1e300 / 3600, -1e300, 1e6})
        EXPECT_EQ(hoursString(bad), "— hrs") << bad;
    EXPECT_EQ(hoursString(999999.4), "999999 hrs");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(weekdayLetter("2026-12-09"), "W");
    EXPECT_EQ(weekdayLetter("2026-13-09"), "");
    EXPECT_EQ(weekdayLetter("yesterday"), "");
    EXPECT_EQ(wrappedTitle(QDate(2026, 12, 1)), "DECEMBER WRAPPED");
    EXPECT_EQ(wrappedHoursLine(12.5), "I protected my eyes for 13 hours this month.");
    EXPECT_EQ(wrappedHoursLine(2.49), "I protected my eyes for 2 hours this month.");
}

TEST(SettingsText, ReadOutsTruncateKelvinAndBrightness) {
    EXPECT_EQ(roomLine(4200.8), "Room: 4200K (neutral)");
    EXPECT_EQ(roomLine(3499.9), "Room: 3499K (warm)");
    EXPECT_EQ(roomLine(3500), "Room: 3500K (neutral)");
    EXPECT_EQ(roomLine(5500), "Room: 5500K (neutral)");
    EXPECT_EQ(roomLine(5500.5), "Room: 5500K (cool)");
    EXPECT_EQ(roomLine(std::nan("")), "Room: —");
    EXPECT_EQ(kelvinFigure(2999.9), "2999K");
    EXPECT_EQ(kelvinFigure(INFINITY), "—K");
    EXPECT_EQ(averageKelvinLine(3180.7), "Avg 3180K");
    EXPECT_EQ(averageBrightnessLine(0.29), "Avg 29% brightness");
    EXPECT_EQ(averageBrightnessLine(0.755), "Avg 75% brightness");
    EXPECT_EQ(averageBrightnessLine(0.57), "Avg 57% brightness");
    EXPECT_EQ(averageBrightnessLine(0.999), "Avg 99% brightness");
    EXPECT_EQ(volumePercent(0.604), "60%");
    EXPECT_EQ(volumePercent(0.2), "20%");
}

TEST(SettingsText, UpdateLabelsScheduleLineScoresAndSections) {
    const std::optional<QString> none, v("2.1");
    EXPECT_EQ(updateButtonLabel(UpdateStatus::idle, none).text, "Check for Updates");
    EXPECT_EQ(updateButtonLabel(UpdateStatus::idle, v).text, "Update to v2.1");
    EXPECT_EQ(updateButtonLabel(UpdateStatus::checking, v).symbol, "arrow.down.circle.fill");
    EXPECT_EQ(updateButtonLabel(UpdateStatus::checking, none).symbol,
              "arrow.triangle.2.circlepath");
    EXPECT_EQ(updateButtonLabel(UpdateStatus::upToDate, v).text, "You're up to date ✓");
    EXPECT_EQ(updateButtonLabel(UpdateStatus::failed, none).text, "Couldn't check for updates");
    EXPECT_EQ(updateStatusText(UpdateStatus::idle), "Check for Updates");

    EXPECT_EQ(scoreBand(39), ScoreBand::low);
    EXPECT_EQ(scoreBand(40), ScoreBand::middle);
    EXPECT_EQ(scoreBand(69), ScoreBand::middle);
    EXPECT_EQ(scoreBand(70), ScoreBand::good);

    EXPECT_EQ(SettingsSections::fromRawValue("Keyboard"), SettingsSection::keyboard);
    EXPECT_EQ(SettingsSections::fromRawValue("keyboard"), std::nullopt);
    for (SettingsSection s : SettingsSections::all)
        EXPECT_EQ(SettingsSections::fromRawValue(SettingsSections::title(s)), s);
}
