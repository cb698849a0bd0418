#pragma once

#include <array>

// The scripted first-run walk of the displays' warmth: the stored warmth up to
// neutral, down to deep warm, back to neutral, and down to a settled evening warmth.
// Pure arithmetic, no state; the takeover asks it for one frame at a time.
struct WarmthSweep {
    struct Frame {
        double kelvin;
        double intensity; // on the stored 0..4 scale
    };

    // Frames of phases 0 to 3 at 60 frames a second.
    static constexpr std::array<int, 4> phaseLengths = {30, 120, 120, 90};
    static constexpr double settledKelvin = 3500.0;
    static constexpr double settledIntensity = 4.0;
    static constexpr double minKelvin = 1000.0;
    static constexpr double maxKelvin = 6500.0;

    // f·f·(3 − 2f) of f limited to 0..1.
    static double smoothstep(double f);
    static double clampKelvin(double kelvin);
    // A phase's length; a phase outside the table counts as already finished (0).
    static int phaseLength(int phase);

    // Phases 1 and 2 and every other value as phase 3 (the settle).
    static Frame sweepValue(int phase, int frame);
    // Phase 0: from the stored warmth (k0, i0) to neutral.
    static Frame openingValue(double k0, double i0, int frame);
};
