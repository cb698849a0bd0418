#pragma once

// The backends whose libraries the first second does not need (Qt Multimedia and the
// sound server's client, PipeWire, GLib's settings, Qt Positioning, Qt Network), built
// into modules of their own that the application opens the first time one of them is
// asked for. The interfaces on both sides are header-only, so a module shares no symbol
// with the binary.
#include "platform/HttpClient.h"
#include "platform/NightLight.h"
#include "platform/OutputMuteProbe.h"
#include "platform/ScreenCaptureProbe.h"
#include "platform/SoundCueAudioBackend.h"
#include "platform/linux/services/PositionSource.h"

#include <QtGlobal>
#include <memory>

class ServiceModule {
public:
    // One module per group of libraries, so that the first use of one service loads
    // only what that service needs.
    enum class Part { sound, capture, gnome, location, network };

    virtual ~ServiceModule() = default;
    // True when the machine offers at least one audio output.
    virtual bool audioOutputAvailable() { return false; }
    virtual std::unique_ptr<SoundCueAudioBackend> makeSoundCueAudioBackend() { return nullptr; }
    virtual std::unique_ptr<OutputMuteProbe> makeOutputMuteProbe() { return nullptr; }
    virtual std::unique_ptr<ScreenCaptureProbe> makeScreenCaptureProbe() { return nullptr; }
    // GNOME's night-light setting (GSettings), to be used only where GNOME runs.
    virtual std::unique_ptr<NightLight> makeGnomeNightLightSetting() { return nullptr; }
    // Null where the machine offers no positioning source (said in the log).
    virtual std::unique_ptr<PositionSource> makePositionSource() { return nullptr; }
    virtual std::unique_ptr<HttpClient> makeHttpClient() { return nullptr; }
};

// Each module's one exported function: its process-wide instance.
#define HALCYRA_SERVICE_MODULE_ENTRY "halcyra_service_module"
using ServiceModuleEntry = ServiceModule* (*)();
#define HALCYRA_SERVICE_MODULE_EXPORT                                                              \
    extern "C" Q_DECL_EXPORT ServiceModule* halcyra_service_module()

// The modules' file names, by part (in lib/halcyra beside the binary's folder).
inline const char* serviceModuleFile(ServiceModule::Part part) {
    switch (part) {
    case ServiceModule::Part::sound:
        return "libhalcyra-sound.so";
    case ServiceModule::Part::capture:
        return "libhalcyra-capture.so";
    case ServiceModule::Part::gnome:
        return "libhalcyra-gnome.so";
    case ServiceModule::Part::location:
        return "libhalcyra-location.so";
    case ServiceModule::Part::network:
        break;
    }
    return "libhalcyra-network.so";
}
