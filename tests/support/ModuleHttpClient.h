#pragma once

#include "platform/Platform.h"
#include "platform/linux/services/QtHttpClient.h"

// The network module is not beside the test binaries: a test that talks to a local
// server links the module's client in (halcyra_services_static) and has the platform
// hand it out.
inline void useModuleHttpClient() {
    Platform::instance().setHttpClientMaker([] { return std::make_unique<QtHttpClient>(); });
}
