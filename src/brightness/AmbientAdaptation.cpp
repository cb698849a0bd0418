#include "brightness/AmbientAdaptation.h"

#include <algorithm>
#include <cmath>

namespace AmbientAdaptation {

double estimatedCCT(double lux) {
    if (lux >= 0 && lux < 10) return 2700;
    if (lux >= 10 && lux < 100) return 3000;
    if (lux >= 100 && lux < 300) return 4000;
    if (lux >= 300 && lux < 500) return 5000;
    return 6500;
}

double dimFactor(double lux) {
    if (lux >= 0 && lux < 10) return 0.85;
    if (lux >= 10 && lux < 50) return 0.9;
    if (lux >= 50 && lux < 200) return 0.95;
    return 1.0;
}

double dimTarget(double manualBrightness, double lux) {
    const double scaled = manualBrightness * dimFactor(lux);
    // Dimming must never brighten: a manual level below the floor stays where it is.
    const double floor = std::min(brightnessFloor, manualBrightness);
    return std::min(1.0, std::max(scaled, floor));
}

double warmthShiftMired(double lux) {
    const double x = std::clamp(1.0 - std::log10(std::max(lux, 1.0)) / std::log10(300.0), 0.0, 1.0);
    return maxShiftMired * x * x * (3.0 - 2.0 * x);
}

double shiftedTemperature(double manualKelvin, double shiftMired) {
    const double shifted = 1'000'000.0 / (1'000'000.0 / manualKelvin + shiftMired);
    return std::min(manualKelvin, std::max(500.0, shifted));
}

} // namespace AmbientAdaptation
