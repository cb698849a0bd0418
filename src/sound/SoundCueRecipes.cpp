#include "sound/SoundCueRecipes.h"

namespace {
SoundCueLayer noise(double offset, double attack, double decay, double peak, SoundCueFilter filter,
                    double frequency, double q) {
    return SoundCueNoise{offset, attack, decay, peak, filter, frequency, q};
}

SoundCueLayer tone(double offset, double attack, double decay, double peak, double frequency) {
    SoundCueTone t;
    t.offset = offset;
    t.attack = attack;
    t.decay = decay;
    t.peak = peak;
    t.waveform = SoundCueWaveform::sine;
    t.frequency = frequency;
    return t;
}

constexpr SoundCueFilter bandpass = SoundCueFilter::bandpass;
constexpr SoundCueFilter lowpass = SoundCueFilter::lowpass;
} // namespace

namespace SoundCueRecipes {

const std::vector<SoundCueLayer>& toggle() {
    static const std::vector<SoundCueLayer> layers{
        noise(0, 0.001, 0.016, 0.12, bandpass, 2200, 1.6),
        noise(0.024, 0.001, 0.020, 0.10, bandpass, 3800, 1.6),
    };
    return layers;
}

const std::vector<SoundCueLayer>& tick() {
    static const std::vector<SoundCueLayer> layers{
        noise(0, 0.001, 0.018, 0.14, bandpass, 5400, 1.8),
        tone(0, 0.001, 0.012, 0.018, 2600),
    };
    return layers;
}

const std::vector<SoundCueLayer>& release() {
    static const std::vector<SoundCueLayer> layers{
        noise(0, 0.001, 0.016, 0.12, bandpass, 4600, 1.8),
        tone(0.006, 0.001, 0.050, 0.02, 3200),
    };
    return layers;
}

const std::vector<SoundCueLayer>& press() {
    static const std::vector<SoundCueLayer> layers{
        noise(0, 0.001, 0.020, 0.13, bandpass, 1700, 1.4),
    };
    return layers;
}

const std::vector<SoundCueLayer>& success() {
    static const std::vector<SoundCueLayer> layers{
        tone(0, 0.004, 0.09, 0.06, 880),
        tone(0.06, 0.004, 0.10, 0.06, 1108.73),
        tone(0.12, 0.004, 0.18, 0.07, 1318.51),
    };
    return layers;
}

const std::vector<SoundCueLayer>& page() {
    static const std::vector<SoundCueLayer> layers{
        noise(0, 0.006, 0.08, 0.11, lowpass, 1800, 0.7),
        noise(0.04, 0.004, 0.065, 0.08, bandpass, 4200, 1.2),
        tone(0.075, 0.002, 0.045, 0.02, 2400),
    };
    return layers;
}

const std::vector<SoundCueLayer>& chime() {
    static const std::vector<SoundCueLayer> layers{
        tone(0, 0.006, 0.22, 0.09, 1046.5),
        tone(0.09, 0.006, 0.26, 0.08, 1568),
    };
    return layers;
}

SoundCueRecipe recipe(SoundCue cue) {
    switch (cue) {
    case SoundCue::toggleOn:
    case SoundCue::toggleOff:
        return {0.4, toggle(), std::nullopt};
    case SoundCue::hover:
    case SoundCue::pinned:
        return {0.4, tick(), std::nullopt};
    case SoundCue::sliderRelease:
    case SoundCue::releaseUp:
        return {0.4, release(), std::nullopt};
    case SoundCue::presetApplied:
        return {0.5, chime(), SoundCueShimmer{0.12, 0.25, 0.18, 4000}};
    case SoundCue::settingsOpened:
        return {0.38, page(), std::nullopt};
    case SoundCue::microWin:
        return {0.5, success(), SoundCueShimmer{0.10, 0.22, 0.16, 4500}};
    case SoundCue::pressDown:
        return {0.4, press(), std::nullopt};
    }
    return {0.4, {}, std::nullopt};
}

} // namespace SoundCueRecipes
