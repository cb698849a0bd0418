// The sound module: cue output through Qt Multimedia and the sound server's mute switch.
#include "platform/linux/services/LinuxOutputMuteProbe.h"
#include "platform/linux/services/LinuxSoundCueAudioBackend.h"
#include "platform/linux/services/ServiceModule.h"

namespace {
class SoundModule final : public ServiceModule {
public:
    bool audioOutputAvailable() override { return LinuxSoundCueAudioBackend::outputAvailable(); }
    std::unique_ptr<SoundCueAudioBackend> makeSoundCueAudioBackend() override {
        return std::make_unique<LinuxSoundCueAudioBackend>();
    }
    std::unique_ptr<OutputMuteProbe> makeOutputMuteProbe() override {
        return std::make_unique<LinuxOutputMuteProbe>();
    }
};
} // namespace

HALCYRA_SERVICE_MODULE_EXPORT {
    static SoundModule module;
    return &module;
}
