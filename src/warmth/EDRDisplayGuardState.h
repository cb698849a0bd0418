#pragma once

#include "platform/DisplayGamma.h"

#include <map>
#include <set>
#include <utility>
#include <vector>

// One headroom reading per screen, in screen order: the largest colour component the
// screen may show now (1.0 = no extended range in use).
using EDRReadings = std::vector<std::pair<DisplayId, double>>;

// Per-display bookkeeping of the EDR guard: a display whose headroom rises well above
// the level seen when warmth was last applied is held at identity tables until the
// headroom settles, so bright HDR content is not flattened into white.
struct EDRDisplayGuardState {
    static constexpr double riseMargin = 0.5;
    static constexpr double restoreMargin = 0.15;

    std::map<DisplayId, double> baselines;
    std::set<DisplayId> suspendedDisplays;

    // A display without a baseline is measured against its own reading.
    double baselineOr(DisplayId display, double reading) const;
    bool isElevated(DisplayId display, double reading) const;
    bool isSettled(DisplayId display, double reading) const;

    // Forgets displays that are gone; a new display's first reading is its baseline.
    void reconcile(const EDRReadings& readings);
    // Displays risen past their baseline that are not held yet, in reading order.
    std::vector<DisplayId> newlyElevated(const EDRReadings& readings) const;
    // The current reading becomes the baseline of every display not held.
    void rebaseline(const EDRReadings& readings);
    // Releases every held display and takes the current readings as baselines.
    void reseed(const EDRReadings& readings);
};
