#include "EDRDisplayGuardState.h"

#include <QLoggingCategory>
#include <algorithm>

Q_DECLARE_LOGGING_CATEGORY(lcOverlay)

double EDRDisplayGuardState::baselineOr(DisplayId display, double reading) const {
    auto it = baselines.find(display);
    return it == baselines.end() ? reading : it->second;
}

bool EDRDisplayGuardState::isElevated(DisplayId display, double reading) const {
    return reading > 1.0 && baselineOr(display, reading) + riseMargin < reading;
}

bool EDRDisplayGuardState::isSettled(DisplayId display, double reading) const {
    return reading <= baselineOr(display, reading) + restoreMargin;
}

void EDRDisplayGuardState::reconcile(const EDRReadings& readings) {
    if (readings.empty()) return;
    auto present = [&](DisplayId id) {
        return std::any_of(readings.begin(), readings.end(),
                           [id](const auto& r) { return r.first == id; });
    };
    for (auto it = baselines.begin(); it != baselines.end();) {
        if (!present(it->first)) {
            suspendedDisplays.erase(it->first);
            it = baselines.erase(it);
        } else {
            ++it;
        }
    }
    // A held display without a baseline cannot be judged any more; forget it too.
    std::erase_if(suspendedDisplays, [&](DisplayId id) { return !present(id); });
    for (const auto& [id, headroom] : readings)
        baselines.try_emplace(id, headroom);
}

std::vector<DisplayId> EDRDisplayGuardState::newlyElevated(const EDRReadings& readings) const {
    std::vector<DisplayId> out;
    for (const auto& [id, headroom] : readings)
        if (!suspendedDisplays.contains(id) && isElevated(id, headroom)) out.push_back(id);
    return out;
}

void EDRDisplayGuardState::rebaseline(const EDRReadings& readings) {
    for (const auto& [id, headroom] : readings)
        if (!suspendedDisplays.contains(id)) baselines[id] = headroom;
}

void EDRDisplayGuardState::reseed(const EDRReadings& readings) {
    suspendedDisplays.clear();
    for (const auto& [id, headroom] : readings)
        baselines[id] = headroom;
}
