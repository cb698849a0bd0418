#pragma once

#include <QtGlobal>
#include <algorithm>
#include <cmath>
#include <vector>

// The conversions every gamma backend shares, so one tint looks the same on each:
// a table of levels 0…1 to 16-bit ramp entries and back, by linear interpolation.
namespace GammaRampSampling {

// A level as a ramp entry: NaN is black, the rest clamped to 0…1, rounded half away
// from zero (as std::lround) without a library call per entry.
inline quint16 rampLevel(double v) {
    v = std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 1.0);
    const double x = v * 65535.0;
    const int whole = int(x);
    return quint16(whole + (x - whole >= 0.5 ? 1 : 0));
}

// A table of levels as a ramp of `size` 16-bit entries.
inline std::vector<quint16> rampFromTable(const std::vector<float>& table, int size) {
    std::vector<quint16> out(size);
    const int n = int(table.size());
    for (int j = 0; j < size; ++j) {
        const double pos = size > 1 ? double(j) * double(n - 1) / double(size - 1) : 0.0;
        const int lo = std::min(int(pos), n - 1);
        const int hi = std::min(lo + 1, n - 1);
        const double f = pos - lo;
        // On a table entry, that entry alone: a NaN or an infinity beside it must not
        // blacken it through a weight of 0.
        out[j] = rampLevel(f == 0 ? double(table[lo]) : table[lo] * (1.0 - f) + table[hi] * f);
    }
    return out;
}

// A ramp read back from a display, as a table of `size` levels.
inline std::vector<float> tableFromRamp(const std::vector<quint16>& ramp, int size) {
    std::vector<float> out(size);
    const int n = int(ramp.size());
    for (int j = 0; j < size; ++j) {
        const double pos = size > 1 ? double(j) * double(n - 1) / double(size - 1) : 0.0;
        const int lo = std::min(int(pos), n - 1);
        const int hi = std::min(lo + 1, n - 1);
        const double f = pos - lo;
        out[j] = float((ramp[lo] * (1.0 - f) + ramp[hi] * f) / 65535.0);
    }
    return out;
}

} // namespace GammaRampSampling
