#include "settings/SettingsText.h"

#include <QLocale>
#include <cmath>

namespace SettingsText {

QString homeGreeting(int hour) {
    if (hour >= 5 && hour <= 11) return QStringLiteral("Good morning");
    if (hour >= 12 && hour <= 16) return QStringLiteral("Good afternoon");
    return QStringLiteral("Good evening");
}

QString hoursString(double hours) {
    // A hand-edited or corrupt record must not print a garbage integer or stretch the page
    // it sits on; a million hours is far past anything the store can gather.
    if (!std::isfinite(hours) || std::abs(hours) >= 1e6) return QStringLiteral("— hrs");
    // The branch is chosen on the unrounded value: 9.96 reads "10.0 hrs".
    if (hours >= 10) return QStringLiteral("%1 hrs").arg(qint64(std::round(hours)));
    return QString::asprintf("%.1f hrs", hours);
}

QString weekdayLetter(const QString& dayKey) {
    const QDate date = QDate::fromString(dayKey, QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid()) return {};
    // The bare C locale names weekdays by number; a letter is what the chart wants.
    QLocale locale;
    if (locale.language() == QLocale::C) locale = QLocale(QLocale::English);
    return locale.dayName(date.dayOfWeek(), QLocale::NarrowFormat);
}

std::optional<long long> truncated(double value) {
    if (!std::isfinite(value) || std::abs(value) >= 1e15) return std::nullopt;
    return (long long)std::trunc(value);
}

namespace {
QString figure(double value) {
    const auto n = truncated(value);
    return n ? QString::number(*n) : QStringLiteral("—");
}
} // namespace

QString roomLine(double cct) {
    const QString label = cct < 3500   ? QStringLiteral("warm")
                          : cct > 5500 ? QStringLiteral("cool")
                                       : QStringLiteral("neutral");
    if (!truncated(cct)) return QStringLiteral("Room: —");
    return QStringLiteral("Room: %1K (%2)").arg(figure(cct), label);
}

QString kelvinFigure(double kelvin) {
    return figure(kelvin) + QLatin1Char('K');
}

QString averageKelvinLine(double kelvin) {
    return QStringLiteral("Avg %1K").arg(figure(kelvin));
}

QString averageBrightnessLine(double brightness) {
    // Truncated toward zero (0.755 reads 75); the nudge keeps 0.29 × 100 = 28.999… at 29.
    return QStringLiteral("Avg %1% brightness").arg(figure(brightness * 100.0 + 1e-9));
}

Label updateButtonLabel(UpdateStatus status, const std::optional<QString>& version) {
    const QString refresh = QStringLiteral("arrow.triangle.2.circlepath");
    const QString download = QStringLiteral("arrow.down.circle.fill");
    const QString symbol = version ? download : refresh;
    switch (status) {
    case UpdateStatus::checking:
        return {symbol, QStringLiteral("Checking…")};
    case UpdateStatus::upToDate:
        return {QStringLiteral("checkmark.circle.fill"), QStringLiteral("You're up to date ✓")};
    case UpdateStatus::failed:
        return {symbol, QStringLiteral("Couldn't check for updates")};
    case UpdateStatus::idle:
        break;
    }
    if (version) return {download, QStringLiteral("Update to v") + *version};
    return {refresh, QStringLiteral("Check for Updates")};
}

QString updateStatusText(UpdateStatus status) {
    switch (status) {
    case UpdateStatus::checking:
        return QStringLiteral("Checking…");
    case UpdateStatus::upToDate:
        return QStringLiteral("You're up to date ✓");
    case UpdateStatus::failed:
        return QStringLiteral("Couldn't check for updates");
    case UpdateStatus::idle:
        break;
    }
    return QStringLiteral("Check for Updates");
}

ScoreBand scoreBand(int score) {
    if (score <= 39) return ScoreBand::low;
    if (score <= 69) return ScoreBand::middle;
    return ScoreBand::good;
}

QString wrappedTitle(const QDate& month) {
    return (QLocale().toString(month, QStringLiteral("MMMM")) + QStringLiteral(" Wrapped"))
        .toUpper();
}

QString wrappedHoursLine(double hours) {
    return QStringLiteral("I protected my eyes for %1 hours this month.")
        .arg(figure(std::round(hours)));
}

QString volumePercent(double volume) {
    return figure(std::round(volume * 100.0)) + QLatin1Char('%');
}

} // namespace SettingsText
