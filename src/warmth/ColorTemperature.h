#pragma once

#include <optional>

// Red, green and blue gains in 0..1 after the intensity blend and before the
// brightness factor. (1, 1, 1) leaves the display's own colours.
struct DisplayTint {
    double r = 1.0;
    double g = 1.0;
    double b = 1.0;
    bool operator==(const DisplayTint&) const = default;
    static constexpr DisplayTint identity() { return {1.0, 1.0, 1.0}; }
};

struct RGBGains {
    double r;
    double g;
    double b;
    bool operator==(const RGBGains&) const = default;
};

namespace ColorTemperature {
// Channel gains of a black body at `kelvin`; 6500 K and above (and NaN) is neutral.
RGBGains rgb(double kelvin);
// The gains weakened towards white by the stored intensity (0..4, 4 = full effect).
DisplayTint blendedTint(double kelvin, double intensity);
} // namespace ColorTemperature

// The tint on screen now, shared by the gamma writer and the schedule handler.
// Every access takes one lock; it starts absent until the first push or reset.
namespace DisplayedWarmth {
std::optional<DisplayTint> recorded();
void setRecorded(const DisplayTint& tint);
// For tests: back to "nothing pushed since launch".
void resetForTesting();
} // namespace DisplayedWarmth
