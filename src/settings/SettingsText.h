#pragma once

#include <QDate>
#include <QString>
#include <optional>

// The settings window's texts that are worked out from values: greetings, hour
// figures, read-outs and update labels. Pure functions, no widgets.
namespace SettingsText {

// "Good morning" 5–11, "Good afternoon" 12–16, "Good evening" otherwise.
QString homeGreeting(int hour);
// 10 or more: whole hours (halves away from zero) + " hrs"; below: "%.1f hrs"; "— hrs" for
// what is not a finite number of hours below a million.
QString hoursString(double hours);
// The narrow weekday of a "yyyy-MM-dd" key; empty when the key is not such a date.
QString weekdayLetter(const QString& dayKey);
// A non-negative whole number no larger than a kelvin reading can be, truncated toward
// zero; none for what is not a finite number in that range.
std::optional<long long> truncated(double value);
// "Room: 4200K (neutral)": warm below 3500 K, cool above 5500 K.
QString roomLine(double cct);
// "2999K" for a stored warmth of 2999.9 K.
QString kelvinFigure(double kelvin);
// The home page's averages: "Avg 3180K" and "Avg 29% brightness" (percent truncated).
QString averageKelvinLine(double kelvin);
QString averageBrightnessLine(double brightness);

enum class UpdateStatus { idle, checking, upToDate, failed };
// The symbol name and text of the Automatic Updates card's button.
struct Label {
    QString symbol;
    QString text;
};
Label updateButtonLabel(UpdateStatus status, const std::optional<QString>& version);
// The about block's and the sidebar footer's status text (version ignored).
QString updateStatusText(UpdateStatus status);

// Insights: the gauge's colour band, the wrapped card's lines.
enum class ScoreBand { low, middle, good };
ScoreBand scoreBand(int score);
QString wrappedTitle(const QDate& month);
QString wrappedHoursLine(double hours);
QString volumePercent(double volume);

} // namespace SettingsText
