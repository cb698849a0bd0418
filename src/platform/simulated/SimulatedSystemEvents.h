#pragma once

#include "platform/SystemEvents.h"

// Events happen only when a test or a diagnostic says so.
class SimulatedSystemEvents final : public SystemEvents {
    Q_OBJECT
public:
    using SystemEvents::SystemEvents;
    void simulateSleep() { emit willSleep(); }
    void simulateWake() { emit didWake(); }
    void simulateScreensSleep() { emit screensDidSleep(); }
    void simulateScreensWake() { emit screensDidWake(); }
    void simulateScreensaverStart() { emit screensaverDidStart(); }
    void simulateScreensaverStop() { emit screensaverDidStop(); }
    void simulateClockChange() { emit clockDidChange(); }
    void simulateTimeZoneChange() { emit timeZoneDidChange(); }
};
