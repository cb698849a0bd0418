// The network module: requests to the application's web services through Qt Network.
#include "platform/linux/services/QtHttpClient.h"
#include "platform/linux/services/ServiceModule.h"

namespace {
class NetworkModule final : public ServiceModule {
public:
    std::unique_ptr<HttpClient> makeHttpClient() override {
        return std::make_unique<QtHttpClient>();
    }
};
} // namespace

HALCYRA_SERVICE_MODULE_EXPORT {
    static NetworkModule module;
    return &module;
}
