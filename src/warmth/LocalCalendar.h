#pragma once

#include <QDate>
#include <QTime>
#include <QTimeZone>
#include <optional>

// Wall-clock arithmetic in one time zone on the Gregorian calendar, on instants given
// as seconds since 1970. The schedule probes hundreds of instants per question, so
// these stay on plain numbers instead of building date objects.
namespace LocalCalendar {

// Seconds east of UTC in `zone` at the instant.
int offsetAt(const QTimeZone& zone, double secs);
// The calendar date in `zone` of the instant.
QDate localDate(const QTimeZone& zone, double secs);
// Hours since the local midnight, from whole seconds (19.5 is 19:30:00).
double hourOfDay(const QTimeZone& zone, double secs);
// The instant at which clocks in `zone` show `time` on `date`. When the clock skips
// that time it is the next time that exists (the end of the gap); when the clock shows
// it twice it is the first. Absent for an invalid date or time.
std::optional<double> instantOf(const QDate& date, const QTime& time, const QTimeZone& zone);

double toSecs(const QDateTime& t);
// The instant as a date-time in `zone`, to the millisecond.
QDateTime toDateTime(double secs, const QTimeZone& zone);
// The zone a date-time is expressed in (the system zone for local time).
QTimeZone zoneOf(const QDateTime& t);

} // namespace LocalCalendar
