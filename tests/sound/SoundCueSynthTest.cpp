#include "sound/SoundCueSynth.h"
#include "sound/SoundCueRecipes.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {
constexpr double kRate = 44100.0;
constexpr uint64_t kSeed = 0x5EEDC0DE;

double renderVolume(SoundCue cue) {
    return cue == SoundCue::microWin ? 0.4 : 1.0;
}

std::vector<float> renderCue(SoundCue cue, uint64_t seed = kSeed) {
    return SoundCueSynth::render(SoundCueRecipes::recipe(cue), kRate, renderVolume(cue), seed);
}
} // namespace

// Expected values come from a separate double-precision model of the recipes,
// written from their description rather than from this code.
TEST(SoundCueSynth, RecipesRenderTheirLengthsAndSamples) {
    struct Sample {
        size_t index;
        float value;
    };
    struct Row {
        SoundCue cue;
        size_t count;
        std::vector<Sample> samples;
    };
    const Row rows[] = {
        {SoundCue::toggleOn,
         6395,
         {{7, -0.000127643871},
          {40, 0.0161654931},
          {44, -0.0690922067},
          {300, 0.00171535776},
          {2131, 0}}},
        {SoundCue::hover,
         5248,
         {{7, 0.000254035287},
          {40, -0.00103495806},
          {73, 0.090500623},
          {300, -0.00533080893},
          {1749, 0}}},
        {SoundCue::sliderRelease,
         6924,
         {{7, 3.12583834e-05},
          {40, -0.014407333},
          {89, 0.0554198697},
          {300, -0.00448408863},
          {2308, 0.000262405345}}},
        {SoundCue::presetApplied,
         51862,
         {{7, 0.000206936165},
          {40, -0.000175476584},
          {284, -0.177171946},
          {300, 0.119429737},
          {17287, 0.00211882009}}},
        {SoundCue::settingsOpened,
         9791,
         {{7, -7.12111505e-05},
          {40, 0.000164102414},
          {300, 0.0140639264},
          {333, 0.0706849098},
          {3263, 0.00205375976}}},
        {SoundCue::microWin,
         44277,
         {{7, 7.93224463e-05},
          {40, -0.000325716566},
          {300, -0.00335806678},
          {5468, 0.0556499287},
          {14759, 0.00160889549}}},
        {SoundCue::pressDown,
         5337,
         {{7, -0.000151471642},
          {40, 0.0360491574},
          {85, -0.0617421158},
          {300, 0.00427374383},
          {1779, 0}}},
    };
    for (const Row& row : rows) {
        const std::vector<float> out = renderCue(row.cue);
        ASSERT_EQ(out.size(), row.count) << rawValue(row.cue).toStdString();
        EXPECT_EQ(SoundCueSynth::sampleCount(SoundCueRecipes::recipe(row.cue), kRate), row.count);
        for (const Sample& s : row.samples)
            EXPECT_NEAR(out[s.index], s.value, 1e-6 + std::abs(s.value) * 1e-5)
                << rawValue(row.cue).toStdString() << " sample " << s.index;
    }
    // The cues that share a sound render the same samples.
    EXPECT_EQ(renderCue(SoundCue::toggleOff), renderCue(SoundCue::toggleOn));
    EXPECT_EQ(renderCue(SoundCue::pinned), renderCue(SoundCue::hover));
    EXPECT_EQ(renderCue(SoundCue::releaseUp), renderCue(SoundCue::sliderRelease));

    // Timing arithmetic of the longest cue: 0.406 s of sources plus a 0.72 s echo.
    const SoundCueRecipe chime = SoundCueRecipes::recipe(SoundCue::presetApplied);
    EXPECT_NEAR(SoundCueSynth::sourceEnd(chime.layers), 0.406, 1e-12);
    EXPECT_NEAR(SoundCueSynth::echoTail(chime.shimmer), 0.72, 1e-12);
}

TEST(SoundCueSynth, RenderingIsDeterministicAndTheSeedMovesOnlyNoise) {
    for (SoundCue cue : allSoundCues)
        EXPECT_EQ(renderCue(cue), renderCue(cue));
    // Noise cues change with the seed; the all-tone cues do not.
    EXPECT_NE(renderCue(SoundCue::toggleOn, 1), renderCue(SoundCue::toggleOn, 2));
    EXPECT_EQ(renderCue(SoundCue::microWin, 1), renderCue(SoundCue::microWin, 2));
    EXPECT_EQ(renderCue(SoundCue::presetApplied, 1), renderCue(SoundCue::presetApplied, 2));
}

TEST(SoundCueSynth, NoiseGeneratorDrawsSplitMix64) {
    SoundCueSynth::Random random(kSeed);
    EXPECT_EQ(random.nextBits(), 0x7d199c3b678cf977ull);
    EXPECT_EQ(random.nextBits(), 0x96fdbdae76b17fe5ull);
    EXPECT_EQ(random.nextBits(), 0x222d2e3510c4ca5cull);
    SoundCueSynth::Random uniform(kSeed);
    EXPECT_DOUBLE_EQ(uniform.next(), 0.4886720318823342);
    EXPECT_DOUBLE_EQ(uniform.next(), 0.5898092795311579);
    EXPECT_DOUBLE_EQ(uniform.next(), 0.1335018996767473);
    SoundCueSynth::Random zero(0);
    EXPECT_EQ(zero.nextBits(), 0xe220a8397b1dcdafull); // the generator's published first draw
}

TEST(SoundCueSynth, CutOffNoiseStillAdvancesTheGenerator) {
    SoundCueNoise noise;
    noise.attack = 0.001;
    noise.decay = 0.02;
    noise.peak = 0.1;
    std::vector<double> tiny(10, 0.0), full(4000, 0.0);
    SoundCueSynth::Random a(kSeed), b(kSeed);
    SoundCueSynth::renderNoise(noise, tiny, 0, kRate, a);
    SoundCueSynth::renderNoise(noise, full, 0, kRate, b);
    EXPECT_EQ(a.nextBits(), b.nextBits());
    for (size_t i = 0; i < tiny.size(); ++i)
        EXPECT_EQ(tiny[i], full[i]);
    // A layer that starts before the buffer is cut at the front the same way.
    std::vector<double> late(4000, 0.0);
    SoundCueSynth::Random c(kSeed);
    SoundCueSynth::renderNoise(noise, late, -5, kRate, c);
    EXPECT_EQ(late[0], full[5]);
}

TEST(SoundCueSynth, LimiterStaysWithinBounds) {
    using SoundCueSynth::limit;
    EXPECT_EQ(limit(0.0), 0.0);
    EXPECT_EQ(limit(std::numeric_limits<double>::quiet_NaN()), 0.0);
    EXPECT_EQ(limit(std::numeric_limits<double>::infinity()), 1.0);
    EXPECT_EQ(limit(-std::numeric_limits<double>::infinity()), -1.0);
    double previous = -1.0;
    for (double x = -3.0; x <= 3.0; x += 0.0005) {
        const double y = limit(x);
        ASSERT_LE(std::abs(y), 1.0) << x;
        ASSERT_GE(y, previous - 1e-12) << x; // never turns back
        EXPECT_EQ(y == 0.0, x == 0.0);
        previous = y;
    }
    for (double x : {1e3, 1e9, 1e300, -1e300})
        EXPECT_LE(std::abs(limit(x)), 1.0);
    // Below the knee it is a plain 12 dB gain; the knee's two edges meet their
    // neighbours.
    EXPECT_DOUBLE_EQ(limit(0.01), 0.04);
    const double kneeLow = std::pow(10.0, -11.0 / 20.0) / 4.0;
    const double kneeHigh = std::pow(10.0, -5.0 / 20.0) / 4.0;
    EXPECT_NEAR(limit(kneeLow * (1 - 1e-9)), limit(kneeLow * (1 + 1e-9)), 1e-8);
    EXPECT_NEAR(limit(kneeHigh * (1 - 1e-9)), limit(kneeHigh * (1 + 1e-9)), 1e-8);
    EXPECT_NEAR(20 * std::log10(limit(kneeHigh)), 3.0 / 12.0 - 8.0, 1e-9);
    // Every cue's output lies within the bounds.
    for (SoundCue cue : allSoundCues)
        for (float s : renderCue(cue))
            ASSERT_LE(std::abs(s), 1.0f);
}

TEST(SoundCueSynth, EchoTailAndEdgeRecipes) {
    SoundCueRecipe empty;
    empty.masterGain = 1;
    std::vector<float> silent = SoundCueSynth::render(empty, kRate, 1.0, kSeed);
    EXPECT_EQ(silent.size(), size_t(std::ceil(kRate * 0.05)));
    for (float s : silent)
        EXPECT_EQ(s, 0.0f);

    SoundCueRecipe echo;
    echo.layers = SoundCueRecipes::press();
    echo.shimmer = SoundCueShimmer{0.1, 1.0, 0.2, 4000};
    EXPECT_DOUBLE_EQ(SoundCueSynth::echoTail(echo.shimmer), 0.1);
    echo.shimmer->feedback = 1.7;
    EXPECT_DOUBLE_EQ(SoundCueSynth::echoTail(echo.shimmer), 0.1);
    for (float s : SoundCueSynth::render(echo, kRate, 1.0, kSeed))
        ASSERT_LE(std::abs(s), 1.0f);
    // Without feedback there is no tail, but the echo is still heard.
    echo.shimmer->feedback = 0.0;
    EXPECT_DOUBLE_EQ(SoundCueSynth::echoTail(echo.shimmer), 0.0);
    SoundCueRecipe dry = echo;
    dry.shimmer.reset();
    const std::vector<float> wet = SoundCueSynth::render(echo, kRate, 1.0, kSeed);
    const std::vector<float> plain = SoundCueSynth::render(dry, kRate, 1.0, kSeed);
    ASSERT_EQ(wet.size(), plain.size());
    EXPECT_EQ(wet[4409], plain[4409]); // before the first echo
    EXPECT_NE(wet[4500], plain[4500]);

    // Volume is held to 0..1.
    const SoundCueRecipe tick = SoundCueRecipes::recipe(SoundCue::hover);
    EXPECT_EQ(SoundCueSynth::render(tick, kRate, 3.0, kSeed),
              SoundCueSynth::render(tick, kRate, 1.0, kSeed));
    for (float s : SoundCueSynth::render(tick, kRate, -1.0, kSeed))
        ASSERT_EQ(s, 0.0f);
}

TEST(SoundCueSynth, EnvelopeRisesAndFallsExponentially) {
    using SoundCueSynth::envelope;
    EXPECT_DOUBLE_EQ(envelope(0.0, 0.01, 0.1, 0.5), 0.0001);
    EXPECT_DOUBLE_EQ(envelope(0.01, 0.01, 0.1, 0.5), 0.5);
    EXPECT_NEAR(envelope(0.005, 0.01, 0.1, 0.5), std::sqrt(0.0001 * 0.5), 1e-15);
    EXPECT_NEAR(envelope(0.06, 0.01, 0.1, 0.5), std::sqrt(0.0001 * 0.5), 1e-15);
    EXPECT_EQ(envelope(0.11, 0.01, 0.1, 0.5), 0.0);
    EXPECT_DOUBLE_EQ(envelope(0.0, 0.0, 0.1, 0.5), 0.5); // no attack: starts at the peak
    EXPECT_EQ(envelope(0.005, 0.01, 0.1, 0.0), 0.0);
    EXPECT_EQ(envelope(0.005, 0.01, 0.1, -1.0), 0.0);
}
