#pragma once

#include "core/Clock.h"
#include "sound/SoundCueEngine.h"

#include <QList>
#include <memory>

// A sound cue engine whose every cue is allowed and lands in a list instead of a
// speaker. Its clock stands still unless a test moves it (the hover throttle reads it).
class CueRecorder {
public:
    CueRecorder() {
        SoundCueProbes probes;
        probes.masterSwitchIsOn = [] { return true; };
        probes.focus = [] { return SoundCueFocusState::inactive; };
        probes.outputIsMuted = [] { return false; };
        probes.voiceOverIsRunning = [] { return false; };
        probes.masterVolume = [] { return 1.0; };
        auto output = std::make_unique<Output>(&played);
        engine = std::make_unique<SoundCueEngine>(probes, std::move(output), 8000.0, clock);
    }

    int count(SoundCue cue) const { return int(played.count(cue)); }

    QList<SoundCue> played;
    ManualClock clock;
    std::unique_ptr<SoundCueEngine> engine;

private:
    struct Output : SoundCueOutputting {
        explicit Output(QList<SoundCue>* into) : list(into) {}
        void emitCue(SoundCue cue, SoundCueAudioBackend::Samples, double, double) override {
            list->append(cue);
        }
        QList<SoundCue>* list;
    };
};
