// Rendering cost of the sound cues: each is rendered once per process, on the
// thread of the first caller, so this is the delay the first play of a cue adds.
#include "sound/SoundCueRecipes.h"
#include "sound/SoundCueSynth.h"

#include <benchmark/benchmark.h>

namespace {
constexpr double kRate = 44100.0;
constexpr uint64_t kSeed = 0x5EEDC0DE;

void renderAllCues(benchmark::State& state) {
    size_t samples = 0;
    for (auto _ : state) {
        for (SoundCue cue : allSoundCues) {
            const std::vector<float> out = SoundCueSynth::render(
                SoundCueRecipes::recipe(cue), kRate, cue == SoundCue::microWin ? 0.4 : 1.0, kSeed);
            samples += out.size();
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetLabel("all ten, target < 100 ms");
    state.counters["samples/s"] = benchmark::Counter(double(samples), benchmark::Counter::kIsRate);
}
BENCHMARK(renderAllCues)->Unit(benchmark::kMillisecond);

void renderOneCue(benchmark::State& state) {
    const SoundCue cue = allSoundCues[size_t(state.range(0))];
    const SoundCueRecipe recipe = SoundCueRecipes::recipe(cue);
    state.SetLabel(rawValue(cue).toStdString() + ", target < 16 ms");
    for (auto _ : state) {
        const std::vector<float> out = SoundCueSynth::render(recipe, kRate, 1.0, kSeed);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(renderOneCue)->DenseRange(0, 9)->Unit(benchmark::kMicrosecond);
} // namespace

BENCHMARK_MAIN();
