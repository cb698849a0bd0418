#pragma once

#include "platform/LocationService.h"

#include <QString>
#include <functional>

// The desktop's positioning service as the service module offers it: plain callbacks
// instead of signals, so that nothing of the binary's is needed to make one.
class PositionSource {
public:
    struct Handlers {
        std::function<void(const LocationFix&)> position;
        std::function<void(const LocationError&)> failure;
    };
    virtual ~PositionSource() = default;
    virtual QString name() const = 0;
    // Set once, before the first start.
    virtual void setHandlers(Handlers handlers) = 0;
    virtual void setDesiredAccuracy(double metres) = 0;
    virtual void startUpdates() = 0;
    virtual void stopUpdates() = 0;
    // One fresh position, in addition to any running updates.
    virtual void requestUpdate() = 0;
};
