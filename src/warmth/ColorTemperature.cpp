#include "ColorTemperature.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace {

double clampGain(double value) {
    value = std::min(value, 1.0);
    return value < 0.0 ? 0.0 : value;
}

std::mutex& warmthLock() {
    static std::mutex lock;
    return lock;
}

std::optional<DisplayTint>& warmthRecord() {
    static std::optional<DisplayTint> record;
    return record;
}

} // namespace

namespace ColorTemperature {

RGBGains rgb(double kelvin) {
    if (std::isnan(kelvin) || kelvin >= 6500.0) return {1.0, 1.0, 1.0};
    const double t = kelvin <= 100.0 ? 1.0 : kelvin / 100.0;
    const double green = clampGain((99.4708025861 * std::log(t) - 161.1195681661) / 255.0);
    double blue = 0.0;
    if (t > 19.0) blue = clampGain((138.5177312231 * std::log(t - 10.0) - 305.0447927307) / 255.0);
    return {1.0, green, blue};
}

DisplayTint blendedTint(double kelvin, double intensity) {
    const RGBGains c = rgb(kelvin);
    double s;
    if (intensity > 4.0) {
        s = 1.0;
    } else {
        s = intensity * 0.25;
        if (!(s >= 0.0)) s = 0.0; // negative or NaN
    }
    return {1.0 - s * (1.0 - c.r), 1.0 - s * (1.0 - c.g), 1.0 - s * (1.0 - c.b)};
}

} // namespace ColorTemperature

namespace DisplayedWarmth {

std::optional<DisplayTint> recorded() {
    std::lock_guard lock(warmthLock());
    return warmthRecord();
}

void setRecorded(const DisplayTint& tint) {
    std::lock_guard lock(warmthLock());
    warmthRecord() = tint;
}

void resetForTesting() {
    std::lock_guard lock(warmthLock());
    warmthRecord().reset();
}

} // namespace DisplayedWarmth
