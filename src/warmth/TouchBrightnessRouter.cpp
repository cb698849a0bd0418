#include "TouchBrightnessRouter.h"

#include <QLoggingCategory>
#include <algorithm>
#include <cmath>

Q_DECLARE_LOGGING_CATEGORY(lcOverlay)

void TouchBrightnessRouter::notePinned(qint64 nowMs) {
    lastAssertAtMs = nowMs;
    stableTicks = 0;
    lastReading = 1.0f;
}

TouchBrightnessRouter::Action TouchBrightnessRouter::evaluate(float current, qint64 nowMs) {
    if (threshold <= current) {
        stableTicks = 0;
        lastReading = current;
        return Action::idle();
    }
    if (lastAssertAtMs && double(nowMs - *lastAssertAtMs) / 1000.0 < settleWindow) {
        stableTicks = 0;
        lastReading = current;
        return Action::repin();
    }
    if (std::fabs(current - lastReading) <= stableEpsilon)
        stableTicks += 1;
    else
        stableTicks = 1;
    lastReading = current;
    if (stableTicks >= ticksToConfirm) {
        stableTicks = 0;
        return Action::route(current);
    }
    return Action::pending();
}
