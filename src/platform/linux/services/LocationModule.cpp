// The location module: the desktop's positioning service through Qt Positioning.
#include "platform/linux/services/QtPositionSource.h"
#include "platform/linux/services/ServiceModule.h"

namespace {
class LocationModule final : public ServiceModule {
public:
    std::unique_ptr<PositionSource> makePositionSource() override {
        return QtPositionSource::create();
    }
};
} // namespace

HALCYRA_SERVICE_MODULE_EXPORT {
    static LocationModule module;
    return &module;
}
