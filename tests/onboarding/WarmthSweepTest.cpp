#include "onboarding/WarmthSweep.h"

#include <gtest/gtest.h>

TEST(WarmthSweep, FramesOfEachPhaseAndTheirEnds) {
    struct Case {
        int phase, frame;
        double kelvin, intensity;
    };
    const Case cases[] = {
        {1, 0, 6500, 0},   {1, 60, 4150, 2}, {1, 120, 1800, 4}, {2, 120, 6500, 0}, {3, 90, 3500, 4},
        {3, 200, 3500, 4}, {0, 90, 3500, 4}, {7, 90, 3500, 4},  {1, -5, 6500, 0},  {2, 0, 1800, 4},
    };
    for (const Case& c : cases) {
        const auto f = WarmthSweep::sweepValue(c.phase, c.frame);
        EXPECT_NEAR(f.kelvin, c.kelvin, 1e-9) << c.phase << "/" << c.frame;
        EXPECT_NEAR(f.intensity, c.intensity, 1e-9) << c.phase << "/" << c.frame;
    }
    // The opening phase leaves the stored warmth for neutral; a stored 500 K shows
    // within the sweep's range.
    EXPECT_NEAR(WarmthSweep::openingValue(2000, 4, 0).kelvin, 2000, 1e-9);
    EXPECT_NEAR(WarmthSweep::openingValue(2000, 4, 30).kelvin, 6500, 1e-9);
    EXPECT_NEAR(WarmthSweep::openingValue(2000, 4, 30).intensity, 0, 1e-9);
    EXPECT_EQ(WarmthSweep::openingValue(500, 4, 0).kelvin, 1000);
    EXPECT_EQ(WarmthSweep::phaseLength(4), 0);
}
