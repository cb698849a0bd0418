#pragma once

#include "sound/SoundCue.h"

#include <optional>
#include <variant>
#include <vector>

// A cue is described, not recorded: a master gain, a few layers of tone or filtered
// noise each with its own onset and envelope, and an optional shimmer echo.
// Times are in seconds, peaks are linear amplitudes.

enum class SoundCueFilter { lowpass, bandpass, highpass };
enum class SoundCueWaveform { sine, triangle, square, sawtooth };

struct SoundCueTone {
    double offset = 0;
    double attack = 0;
    double decay = 0;
    double peak = 0;
    SoundCueWaveform waveform = SoundCueWaveform::sine;
    double frequency = 440;
    double detune = 0;               // cents
    std::optional<double> glideTo;   // Hz
    std::optional<double> glideTime; // s
};

struct SoundCueNoise {
    double offset = 0;
    double attack = 0;
    double decay = 0;
    double peak = 0;
    SoundCueFilter filterType = SoundCueFilter::bandpass;
    double filterFrequency = 1000;
    double filterQ = 1;
};

using SoundCueLayer = std::variant<SoundCueTone, SoundCueNoise>;

struct SoundCueShimmer {
    double delay = 0;
    double feedback = 0; // 0..1
    double wet = 0;      // mix level of the echo
    double lowpass = 0;  // Hz, cut-off of the echo's filter
};

struct SoundCueRecipe {
    double masterGain = 1;
    std::vector<SoundCueLayer> layers;
    std::optional<SoundCueShimmer> shimmer;
};

// The seven layer lists the ten cues share, and the recipe of each cue.
namespace SoundCueRecipes {
const std::vector<SoundCueLayer>& toggle();
const std::vector<SoundCueLayer>& tick();
const std::vector<SoundCueLayer>& release();
const std::vector<SoundCueLayer>& press();
const std::vector<SoundCueLayer>& success();
const std::vector<SoundCueLayer>& page();
const std::vector<SoundCueLayer>& chime();

SoundCueRecipe recipe(SoundCue cue);
} // namespace SoundCueRecipes
