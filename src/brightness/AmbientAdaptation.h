#pragma once

// The pure rules of room-light adaptation: the room's colour temperature estimated
// from lux, the dimming factor and target, and the warmth shift.
namespace AmbientAdaptation {
// The room's colour temperature by lux band (kelvin).
double estimatedCCT(double lux);
// The factor that scales the user's own brightness in a room this dark.
double dimFactor(double lux);
// The dimmed brightness for a manual level: scaled by the factor, held at or above a
// floor of 0.3 that never raises a manual level already below it, and at most 1.
double dimTarget(double manualBrightness, double lux);
// The warmth shift in mired: 120 at 1 lux and below, 0 at 300 lux and above,
// smoothstep in log lux between.
double warmthShiftMired(double lux);
// The manual temperature moved warmer by `shiftMired`, never below 500 K and never
// cooler than the manual value.
double shiftedTemperature(double manualKelvin, double shiftMired);

inline constexpr double brightnessFloor = 0.3;
inline constexpr double maxShiftMired = 120.0;
} // namespace AmbientAdaptation
