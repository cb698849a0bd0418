#include "sound/SoundCueSynth.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {
constexpr double kFloor = 0.0001; // -80 dB: where the envelopes start and end
constexpr double kSlack = 0.05;   // s of room after each layer and after the cue
// Bounds the buffer of a malformed recipe; the real cues last about a second.
constexpr double kLongestCue = 30.0;

double finiteOr(double v, double fallback) {
    return std::isfinite(v) ? v : fallback;
}

struct LayerTiming {
    double offset, attack, decay;
};

LayerTiming timing(const SoundCueLayer& layer) {
    return std::visit(
        [](const auto& l) {
            return LayerTiming{l.offset, l.attack, l.decay};
        },
        layer);
}

// Start index of a layer: sample rate times offset, halves away from zero.
long long startIndex(double offset, double sampleRate) {
    const double s = std::round(sampleRate * finiteOr(offset, 0.0));
    return (long long)std::clamp(s, -1e12, 1e12);
}

size_t layerLength(double seconds, double sampleRate) {
    const double n = std::ceil(sampleRate * std::max(finiteOr(seconds, 0.0), 0.0));
    return (size_t)std::min(n, sampleRate * kLongestCue);
}

// Unit-amplitude waveform at a phase measured in cycles.
double wave(SoundCueWaveform shape, double cycles) {
    const double p = cycles - std::floor(cycles);
    switch (shape) {
    case SoundCueWaveform::sine:
        return std::sin(2.0 * std::numbers::pi * cycles);
    case SoundCueWaveform::triangle:
        return p < 0.25 ? 4.0 * p : (p < 0.75 ? 2.0 - 4.0 * p : 4.0 * p - 4.0);
    case SoundCueWaveform::square:
        return p < 0.5 ? 1.0 : -1.0;
    case SoundCueWaveform::sawtooth:
        return p < 0.5 ? 2.0 * p : 2.0 * p - 2.0;
    }
    return 0.0;
}
} // namespace

namespace SoundCueSynth {

uint64_t Random::nextBits() {
    m_state += 0x9E3779B97F4A7C15ull;
    uint64_t z = m_state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double Random::next() {
    return double(nextBits() >> 11) * 0x1.0p-53;
}

Biquad::Biquad(SoundCueFilter type, double frequency, double q, double sampleRate) {
    const double fc = std::clamp(finiteOr(frequency, 0.000001), 0.000001, sampleRate / 2.0 - 1.0);
    const double w0 = 2.0 * std::numbers::pi * fc / sampleRate;
    const double cosw = std::cos(w0);
    double alpha = 0, b0 = 0, b1 = 0, b2 = 0;
    switch (type) {
    case SoundCueFilter::bandpass:
        alpha = std::sin(w0) / (2.0 * std::max(q, 0.000001));
        b0 = alpha;
        b1 = 0.0;
        b2 = -alpha;
        break;
    case SoundCueFilter::lowpass:
        alpha = std::sin(w0) / (2.0 * std::pow(10.0, q / 20.0));
        b0 = b2 = (1.0 - cosw) / 2.0;
        b1 = 1.0 - cosw;
        break;
    case SoundCueFilter::highpass:
        alpha = std::sin(w0) / (2.0 * std::pow(10.0, q / 20.0));
        b0 = b2 = (1.0 + cosw) / 2.0;
        b1 = -(1.0 + cosw);
        break;
    }
    const double a0 = 1.0 + alpha;
    m_b0 = b0 / a0;
    m_b1 = b1 / a0;
    m_b2 = b2 / a0;
    m_a1 = 2.0 * cosw / a0;
    m_a2 = (1.0 - alpha) / a0;
}

double Biquad::process(double x) {
    const double y = m_b0 * x + m_b1 * m_x1 + m_b2 * m_x2 + m_a1 * m_y1 - m_a2 * m_y2;
    m_x2 = m_x1;
    m_x1 = x;
    m_y2 = m_y1;
    m_y1 = y;
    return y;
}

double envelope(double t, double attack, double decay, double peak) {
    if (!(peak > 0.0)) return 0.0;
    if (attack > 0.0 && t >= 0.0 && t <= attack) {
        const double x = std::clamp(t / attack, 0.0, 1.0);
        return kFloor * std::pow(peak / kFloor, x);
    }
    const double since = t - std::max(attack, 0.0);
    if (decay > 0.0 && since < decay) {
        const double x = std::clamp(since / decay, 0.0, 1.0);
        return peak * std::pow(kFloor / peak, x);
    }
    return 0.0;
}

double sourceEnd(const std::vector<SoundCueLayer>& layers) {
    double end = 0.0;
    for (const SoundCueLayer& layer : layers) {
        const LayerTiming t = timing(layer);
        end = std::max(end, t.offset + t.attack + t.decay + kSlack);
    }
    return finiteOr(end, 0.0);
}

double echoTail(const std::optional<SoundCueShimmer>& shimmer) {
    if (!shimmer || !(shimmer->feedback > 0.0)) return 0.0;
    const double delay = std::max(finiteOr(shimmer->delay, 0.0), 0.0);
    if (shimmer->feedback >= 1.0) return delay;
    return delay * (std::ceil(std::log(0.001) / std::log(shimmer->feedback)) + 1.0);
}

size_t sampleCount(const SoundCueRecipe& recipe, double sampleRate) {
    const double seconds = sourceEnd(recipe.layers) + echoTail(recipe.shimmer) + kSlack;
    const double n = std::ceil(sampleRate * seconds);
    if (!std::isfinite(n) || n < 1.0) return 1;
    return (size_t)std::min(n, std::ceil(sampleRate * kLongestCue));
}

void renderTone(const SoundCueTone& tone, std::vector<double>& mix, long long start,
                double sampleRate) {
    const size_t count = layerLength(tone.attack + tone.decay, sampleRate);
    const double base = tone.frequency * std::pow(2.0, tone.detune / 1200.0);
    const bool glides = tone.glideTo && tone.glideTime && *tone.glideTime > 0.0 && base > 0.0 &&
                        *tone.glideTo > 0.0;
    const double target = glides ? *tone.glideTo * std::pow(2.0, tone.detune / 1200.0) : base;
    double cycles = 0.0; // accumulated only while the pitch glides
    for (size_t k = 0; k < count; ++k) {
        const double t = double(k) / sampleRate;
        double phase;
        if (glides) {
            phase = cycles;
            // Exponential sweep: equal musical steps per unit of time.
            const double f =
                t < *tone.glideTime ? base * std::pow(target / base, t / *tone.glideTime) : target;
            cycles += f / sampleRate;
        } else {
            phase = base * t;
        }
        const long long i = start + (long long)k;
        if (i < 0 || i >= (long long)mix.size()) continue;
        mix[size_t(i)] +=
            wave(tone.waveform, phase) * envelope(t, tone.attack, tone.decay, tone.peak);
    }
}

void renderNoise(const SoundCueNoise& noise, std::vector<double>& mix, long long start,
                 double sampleRate, Random& random) {
    const size_t count =
        std::max<size_t>(layerLength(noise.attack + noise.decay + kSlack, sampleRate), 1);
    Biquad filter(noise.filterType, noise.filterFrequency, noise.filterQ, sampleRate);
    for (size_t k = 0; k < count; ++k) {
        // The generator and the filter advance even where the layer is cut off, so
        // later layers draw the same numbers whatever the buffer's length.
        const double y = filter.process(2.0 * random.next() - 1.0);
        const long long i = start + (long long)k;
        if (i < 0 || i >= (long long)mix.size()) continue;
        mix[size_t(i)] +=
            y * envelope(double(k) / sampleRate, noise.attack, noise.decay, noise.peak);
    }
}

void applyShimmer(const SoundCueShimmer& shimmer, std::vector<double>& mix, double sampleRate) {
    const double d = std::round(finiteOr(shimmer.delay, 0.0) * sampleRate);
    const size_t length = (size_t)std::clamp(d, 1.0, sampleRate * kLongestCue);
    std::vector<double> line(length, 0.0);
    Biquad filter(SoundCueFilter::lowpass, shimmer.lowpass, 1.0, sampleRate);
    size_t index = 0;
    for (double& sample : mix) {
        const double y = filter.process(line[index]);
        line[index] = sample + shimmer.feedback * y;
        sample += shimmer.wet * y;
        if (++index == length) index = 0;
    }
}

double limit(double sample) {
    const double v = 4.0 * sample;
    if (v == 0.0 || std::isnan(v)) return 0.0;
    if (std::isinf(v)) return v > 0 ? 1.0 : -1.0;
    const double level = 20.0 * std::log10(std::abs(v));
    const double over = level + 8.0;
    double out;
    if (over <= -3.0)
        out = level;
    else if (over >= 3.0)
        out = over / 12.0 - 8.0;
    else
        out = level - 0.9166666666666666 * (over + 3.0) * (over + 3.0) / 12.0;
    return std::clamp(v * std::pow(10.0, (out - level) / 20.0), -1.0, 1.0);
}

std::vector<float> render(const SoundCueRecipe& recipe, double sampleRate, double volume,
                          uint64_t seed) {
    if (!(sampleRate > 0.0) || !std::isfinite(sampleRate)) return {0.0f};
    std::vector<double> mix(sampleCount(recipe, sampleRate), 0.0);
    Random random(seed);
    for (const SoundCueLayer& layer : recipe.layers) {
        if (const auto* tone = std::get_if<SoundCueTone>(&layer))
            renderTone(*tone, mix, startIndex(tone->offset, sampleRate), sampleRate);
        else if (const auto* noise = std::get_if<SoundCueNoise>(&layer))
            renderNoise(*noise, mix, startIndex(noise->offset, sampleRate), sampleRate, random);
    }
    const double v = std::isnan(volume) ? 0.0 : std::clamp(volume, 0.0, 1.0);
    const double gain = recipe.masterGain * v;
    for (double& sample : mix)
        sample *= gain;
    if (recipe.shimmer) applyShimmer(*recipe.shimmer, mix, sampleRate);
    std::vector<float> out(mix.size());
    for (size_t i = 0; i < mix.size(); ++i)
        out[i] = float(limit(mix[i]));
    return out;
}

} // namespace SoundCueSynth
