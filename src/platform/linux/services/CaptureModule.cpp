// The capture module: screen casts seen in PipeWire's graph.
#include "platform/linux/services/PipeWireScreenCaptureProbe.h"
#include "platform/linux/services/ServiceModule.h"

namespace {
class CaptureModule final : public ServiceModule {
public:
    std::unique_ptr<ScreenCaptureProbe> makeScreenCaptureProbe() override {
        return std::make_unique<PipeWireScreenCaptureProbe>();
    }
};
} // namespace

HALCYRA_SERVICE_MODULE_EXPORT {
    static CaptureModule module;
    return &module;
}
