// The GNOME module: its night-light setting through GSettings.
#include "platform/linux/services/GSettingsNightLight.h"
#include "platform/linux/services/ServiceModule.h"

namespace {
class GnomeModule final : public ServiceModule {
public:
    std::unique_ptr<NightLight> makeGnomeNightLightSetting() override {
        return std::make_unique<GSettingsNightLight>();
    }
};
} // namespace

HALCYRA_SERVICE_MODULE_EXPORT {
    static GnomeModule module;
    return &module;
}
