#include "LocalCalendar.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>

namespace {

constexpr qint64 julianDayOf1970 = 2440588;

qint64 floorDiv(qint64 a, qint64 b) {
    qint64 q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

qint64 localSeconds(const QTimeZone& zone, double secs) {
    return qint64(std::floor(secs)) + LocalCalendar::offsetAt(zone, secs);
}

} // namespace

namespace LocalCalendar {

int offsetAt(const QTimeZone& zone, double secs) {
    if (!zone.isValid()) return 0;
    return zone.offsetFromUtc(
        QDateTime::fromMSecsSinceEpoch(qint64(std::floor(secs * 1000.0)), Qt::UTC));
}

QDate localDate(const QTimeZone& zone, double secs) {
    return QDate::fromJulianDay(julianDayOf1970 + floorDiv(localSeconds(zone, secs), 86400));
}

double hourOfDay(const QTimeZone& zone, double secs) {
    const qint64 local = localSeconds(zone, secs);
    const qint64 intoDay = local - floorDiv(local, 86400) * 86400;
    const qint64 hour = intoDay / 3600;
    const qint64 minute = (intoDay % 3600) / 60;
    const qint64 second = intoDay % 60;
    return double(hour) + double(minute) / 60.0 + double(second) / 3600.0;
}

std::optional<double> instantOf(const QDate& date, const QTime& time, const QTimeZone& zone) {
    if (!date.isValid() || !time.isValid()) return std::nullopt;
    // The wall-clock reading as if it were UTC.
    const double wall = double((date.toJulianDay() - julianDayOf1970) * 86400) +
                        time.msecsSinceStartOfDay() / 1000.0;
    if (!zone.isValid()) return wall;

    // Every offset in force within a day of the reading; real zones change at most
    // once in such a window.
    int candidates[4];
    candidates[0] = offsetAt(zone, wall - 86400.0);
    candidates[1] = offsetAt(zone, wall + 86400.0);
    candidates[2] = offsetAt(zone, wall - candidates[0]);
    candidates[3] = offsetAt(zone, wall - candidates[1]);

    std::optional<double> earliest;
    for (int offset : candidates) {
        const double instant = wall - offset;
        if (offsetAt(zone, instant) != offset) continue;
        if (!earliest || instant < *earliest) earliest = instant;
    }
    if (earliest) return earliest;

    // Skipped by the clock: the gap ends at the transition between the reading taken
    // with the later offset and the same reading taken with the earlier one.
    const int larger = *std::max_element(std::begin(candidates), std::end(candidates));
    const int smaller = *std::min_element(std::begin(candidates), std::end(candidates));
    const double lower = wall - larger;
    const double upper = wall - smaller;
    const QTimeZone::OffsetData next = zone.nextTransition(
        QDateTime::fromMSecsSinceEpoch(qint64(std::floor(lower * 1000.0)), Qt::UTC));
    if (next.atUtc.isValid()) {
        const double transition = next.atUtc.toMSecsSinceEpoch() / 1000.0;
        if (transition > lower && transition <= upper) return transition;
    }
    return upper;
}

double toSecs(const QDateTime& t) {
    return t.toMSecsSinceEpoch() / 1000.0;
}

QDateTime toDateTime(double secs, const QTimeZone& zone) {
    return QDateTime::fromMSecsSinceEpoch(qint64(std::llround(secs * 1000.0)), zone);
}

QTimeZone zoneOf(const QDateTime& t) {
    switch (t.timeSpec()) {
    case Qt::UTC:
        return QTimeZone::utc();
    case Qt::OffsetFromUTC:
        return QTimeZone(t.offsetFromUtc());
    case Qt::TimeZone:
        return t.timeZone();
    case Qt::LocalTime:
        break;
    }
    return QTimeZone::systemTimeZone();
}

} // namespace LocalCalendar
