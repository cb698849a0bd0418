#pragma once

#include "warmth/SchedulePoint.h"

#include <QDateTime>
#include <QList>
#include <QPointF>
#include <QString>
#include <array>
#include <functional>
#include <optional>
#include <vector>

class SunsetScheduler;

// An sRGB colour with opacity, each 0 to 1. The schedule views' colours are worked
// out here, without a GUI library, so tests reach them without a display.
struct RampColour {
    double r = 0, g = 0, b = 0, a = 1;
    bool operator==(const RampColour&) const = default;
};

// The pure geometry and texts of the schedule and insight views.
namespace ScheduleViewLogic {

inline constexpr RampColour coolColor{0.55, 0.70, 0.90, 1};
inline constexpr RampColour warmColor{1.0, 0.55, 0.15, 1};
inline constexpr RampColour deepColor{0.85, 0.25, 0.05, 1};

// The warmth ramp: cool (faint) at 0, warm at 0.5, deep at 1; a non-number reads as 0.
RampColour colorForIntensity(double intensity);
// The same ramp over kelvin: 6500 K and above is cool, 1800 K and below deep.
RampColour colorForKelvin(double kelvin);
// Like colorForKelvin, but the cool end is opaque (zone cards, the point list).
RampColour zoneColorForKelvin(double kelvin);

// The dash every text below shows for a value it cannot read.
inline const QString missingValue = QStringLiteral("—");

// "2,700K", "950K"; the comma does not depend on the locale.
QString kelvinString(double kelvin);
// "6 AM", "12 PM", "9 PM"; past 24 wraps to the next morning (30 is "6 AM").
QString hourString(double hour);
// "6:30 AM", "12:00 PM", "11:55 PM"; 24.0 reads "12:00 AM" like 0.0. Minutes are whole
// minutes of the fraction, robust to the fraction's rounding (7/12 h is 0:35).
QString clockString(double hourOfDay);
// The same for a time of day: hours and minutes, seconds dropped ("7:10 AM" for 07:10:35).
// Every page writes a time of day this way.
QString clockString(const QTime& time);

// Hours since the local midnight of `at` in its own zone (19.5 is 19:30).
double fractionalHour(const QDateTime& at);
// The instant `hours` after the local midnight that starts the day of `now`; past 24
// reaches into the next day.
QDateTime dayStartPlusHours(const QDateTime& now, double hours);
// The engine's preview as an intensity (0 while cool) `hours` after the midnight that
// starts the day of `now`. The stored settings are read once, when this is made: a view
// probes hundreds of instants of one day per refresh.
std::function<double(double hours)> dayIntensity(const SunsetScheduler& scheduler,
                                                 const QDateTime& now);

// Segment of a day split into `count` equal parts that holds `hour`: 0 … count − 1.
int segmentIndex(double hour, int count);
// Radians of an hour on a clock face with midnight up, running clockwise.
double ringAngle(double hour);
// The ring's centre figure: the user's warmth scaled by the plan's intensity.
double ringCentreKelvin(double intensity, double userTemperature);

// ---- Day-part zones ----
struct DayPart {
    QString id;
    QString name;
    QString icon;
    double startHour;
    double endHour; // past 24 belongs to the next morning
};
const std::array<DayPart, 4>& dayParts();

struct ZoneWarmth {
    double avg = 6500;
    double start = 6500;
    double end = 6500;
};
// `intensityAt(h)` is the plan's intensity `h` hours after today's midnight.
ZoneWarmth zoneWarmth(const DayPart& part, const std::function<double(double)>& intensityAt);
bool isCurrentZone(const DayPart& part, double currentHour);

// ---- Schedule visualiser ----
// The drawing area of the visualiser, `width` × 170: a sun arc above the horizon and
// the warmth band (1800 K at its top, 6500 K at its base) below it.
struct VisualiserGeometry {
    static constexpr double height = 170.0;
    double width = 0;

    double horizonY() const { return 0.62 * height; }
    double bandTop() const { return horizonY() + 4; }
    double bandBase() const { return height - 4; }
    double bandSpan() const { return bandBase() - bandTop(); }
    double x(double hour) const { return width * hour / 24.0; }
    // y of a sun elevation (1 at the top margin, −0.4 at the bottom margin).
    double sunY(double elevation) const;
    // Where a point's handle sits.
    QPointF handle(double hour, double kelvin) const;

    struct DragTarget {
        double hour;
        double kelvin;
    };
    // The hour (nearest five minutes, 0 to 23.99) and kelvin (1800 to 6500) a handle
    // dragged to (x, y) stands for. Never a non-number: a zero-width area or a pointer
    // anywhere outside clamps.
    DragTarget dragTarget(double x, double y) const;
};

// The sun's height for hour `t` with sunrise `r` and sunset `s`: 0 at both, 1 at noon,
// −0.4 in the middle of the night; 0 everywhere when the day has no length.
double sunElevation(double t, double sunrise, double sunset);

struct SunHours {
    double sunrise;
    double sunset;
    std::optional<QDateTime> sunriseTime;
    std::optional<QDateTime> sunsetTime;
};
// Today's sun times for the drawing: the engine's computed times in hours of the day;
// without them the arc is drawn for 06:00 and 20:00 and the times stay missing ("--:--").
SunHours sunHours(const std::optional<QDateTime>& sunrise, const std::optional<QDateTime>& sunset,
                  const QDateTime& now);

// "HH:mm" and "h:mm AP" in the C locale; "--:--" without a time.
QString arcTimeString(const std::optional<QDateTime>& t);
QString captionTimeString(const std::optional<QDateTime>& t);

struct IntensitySample {
    double hour;
    double intensity;
};
QString visualiserStatusSentence(bool followsSunWithoutLocation,
                                 const std::vector<IntensitySample>& samples, double currentHour,
                                 double currentIntensity);
QString visualiserCaption(bool autoSunset, bool useSchedule, int pointCount,
                          const std::optional<QDateTime>& sunset,
                          const std::optional<QDateTime>& sunrise);
// "Now: 2700K — Evening warmth"; the kelvin alone is the marker's badge.
int currentStateKelvin(double intensity);
QString currentStateLabel(double intensity);

// ---- Scheduling section ----
// The custom-schedule row's subtitle at `hour` of the day.
QString scheduleStatusLine(const QList<SchedulePoint>& points, double hour);

// ---- Spectrum widget ----
// 0 at 6500 K and above, 1 at 1000 K and below; a non-number reads as 0.
double spectrumPosition(double kelvin);

} // namespace ScheduleViewLogic

// The one sentence about what the schedule engine is doing now.
namespace ScheduleStatusLine {
struct Inputs {
    bool scheduleIsRunning = false;
    bool isWarmNow = false;
    std::optional<QDateTime> nextOnset;
    bool usingWallClockFallback = false;
};
using Formatter = std::function<QString(const QDateTime&)>;
// "7:45 PM": the time of day as every schedule view writes it (clockString).
QString shortTime(const QDateTime& t);
QString sentence(const Inputs& inputs, const Formatter& formatter = shortTime);
} // namespace ScheduleStatusLine
