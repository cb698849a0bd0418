#include "LocationService.h"

#include "platform/LinuxLocationService.h"
#include "platform/SimulatedLocationService.h"

std::unique_ptr<LocationService> LocationService::createDefault(QObject* parent) {
    if (qEnvironmentVariable("HALCYRA_PLATFORM") != QLatin1String("simulated")) {
        if (auto real = LinuxLocationService::create(parent)) return real;
    }
    return std::make_unique<SimulatedLocationService>(parent);
}
