#include "onboarding/WarmthSweep.h"

#include <algorithm>

double WarmthSweep::smoothstep(double f) {
    const double t = std::clamp(f, 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

double WarmthSweep::clampKelvin(double kelvin) {
    return std::clamp(kelvin, minKelvin, maxKelvin);
}

int WarmthSweep::phaseLength(int phase) {
    if (phase < 0 || phase >= int(phaseLengths.size())) return 0;
    return phaseLengths[size_t(phase)];
}

WarmthSweep::Frame WarmthSweep::sweepValue(int phase, int frame) {
    const double f = frame;
    if (phase == 1) {
        const double s = smoothstep(f / 120.0);
        return {clampKelvin(6500.0 - 4700.0 * s), 4.0 * s};
    }
    if (phase == 2) {
        const double s = smoothstep(f / 120.0);
        return {clampKelvin(1800.0 + 4700.0 * s), 4.0 * (1.0 - s)};
    }
    const double s = smoothstep(f / 90.0);
    return {clampKelvin(6500.0 - 3000.0 * s), 4.0 * s};
}

WarmthSweep::Frame WarmthSweep::openingValue(double k0, double i0, int frame) {
    const double s = smoothstep(frame / 30.0);
    return {clampKelvin(k0 + (6500.0 - k0) * s), i0 * (1.0 - s)};
}
