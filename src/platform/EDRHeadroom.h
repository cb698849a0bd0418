#pragma once

#include "platform/DisplayGamma.h"

#include <utility>
#include <vector>

// Each screen's current extended-dynamic-range headroom: the largest colour component
// it may show now, 1.0 when it shows no extended range.
class EDRHeadroom {
public:
    virtual ~EDRHeadroom() = default;
    // One entry per screen, in the system's screen order.
    virtual std::vector<std::pair<DisplayId, double>> headroomsByDisplay() = 0;
    // False when no screen's headroom can ever change (no source for it): watching
    // it would only cost wake-ups.
    virtual bool canChange() const { return true; }
};
