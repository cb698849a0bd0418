#pragma once

#include "sound/SoundCueRecipes.h"

#include <cstdint>
#include <vector>

// Turns a recipe into mono float samples. Pure: the result depends only on the
// arguments, so a fixed seed renders the same noise every time.
namespace SoundCueSynth {

// SplitMix64; one state carried from one noise layer to the next.
class Random {
public:
    explicit Random(uint64_t seed) : m_state(seed) {}
    uint64_t nextBits();
    // Uniform in [0, 1) with 53 bits.
    double next();

private:
    uint64_t m_state;
};

// Direct form I biquad. Band-pass takes a plain Q; low- and high-pass read Q in
// decibels.
class Biquad {
public:
    Biquad(SoundCueFilter type, double frequency, double q, double sampleRate);
    double process(double x);

private:
    double m_b0 = 0, m_b1 = 0, m_b2 = 0, m_a1 = 0, m_a2 = 0;
    double m_x1 = 0, m_x2 = 0, m_y1 = 0, m_y2 = 0;
};

std::vector<float> render(const SoundCueRecipe& recipe, double sampleRate, double volume,
                          uint64_t seed);

// End time of the latest layer, including its 50 ms of slack; 0 without layers.
double sourceEnd(const std::vector<SoundCueLayer>& layers);
// Time the echo needs to fall by 60 dB plus one delay; 0 without feedback.
double echoTail(const std::optional<SoundCueShimmer>& shimmer);
// The number of samples a recipe renders to.
size_t sampleCount(const SoundCueRecipe& recipe, double sampleRate);

// Exponential attack and decay envelope, t seconds after the layer's start.
double envelope(double t, double attack, double decay, double peak);

void renderTone(const SoundCueTone& tone, std::vector<double>& mix, long long start,
                double sampleRate);
void renderNoise(const SoundCueNoise& noise, std::vector<double>& mix, long long start,
                 double sampleRate, Random& random);
void applyShimmer(const SoundCueShimmer& shimmer, std::vector<double>& mix, double sampleRate);

// Soft-knee limiter (threshold -8 dB, knee 6 dB, ratio 12) after a fixed 12 dB of
// make-up gain; the result lies in -1..1.
double limit(double sample);

} // namespace SoundCueSynth
