#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <vector>

// The device side of the sound cues: an output engine with a few voices, each able
// to play one mono float buffer at a time. Every call is made on one worker thread
// (the sound cue output's), so a backend needs no lock of its own for these; it is
// also destroyed there.
class SoundCueAudioBackend {
public:
    using Samples = std::shared_ptr<const std::vector<float>>;

    virtual ~SoundCueAudioBackend() = default;

    // Called when the output device changes (on any thread); the owner then drops
    // the voices and stops the engine. Set once, before the first call below.
    void setConfigurationChangeHandler(std::function<void()> handler) {
        m_onConfigurationChange = std::move(handler);
    }

    // Number of voices made so far (0 before the first cue and after dropVoices).
    virtual int voiceCount() const = 0;
    // Makes `count` voices at `sampleRate` Hz, mono, only when there are none.
    virtual void makeVoicesIfNeeded(int count, double sampleRate) = 0;
    // Forgets every voice; the next cue makes fresh ones.
    virtual void dropVoices() = 0;

    virtual bool isRunning() const = 0;
    // Opens the device and starts the engine; false with a readable reason on failure.
    virtual bool start(QString* error) = 0;
    // Stops every voice, then the engine. Voices stay made.
    virtual void stop() = 0;

    // Plays `samples` on voice `voice` at `volume` (0..1), at once, cutting off
    // whatever that voice was playing. An index out of range is ignored.
    virtual void schedule(Samples samples, int voice, double volume) = 0;

protected:
    void notifyConfigurationChange() {
        if (m_onConfigurationChange) m_onConfigurationChange();
    }

private:
    std::function<void()> m_onConfigurationChange;
};
