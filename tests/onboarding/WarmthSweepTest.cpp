#include "onboarding/WarmthSweep.h"
#include "onboarding/OnboardingSpring.h"

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

TEST(OnboardingSpring, SwingsPastItsTargetOnceAndSettlesCarryingItsSpeedIntoANewTarget) {
    struct Case {
        double response, damping, overshoot, settlesBy;
    };
    // The overshoot of a damped spring: exp(−π·ζ/√(1−ζ²)).
    const Case cases[] = {
        {0.35, 0.72, 0.038, 0.6}, {0.5, 0.8, 0.015, 0.8}, {0.42, 0.62, 0.081, 0.8}};
    for (const Case& c : cases) {
        OnboardingSpring spring(c.response, c.damping, 6);
        spring.retarget(22);
        EXPECT_NEAR(spring.value(), 6, 1e-9);
        EXPECT_NEAR(spring.velocity(), 0, 1e-9);
        double peak = 0, settledAt = -1;
        for (int frame = 1; frame <= 120; ++frame) {
            spring.advance(1.0 / 60);
            peak = std::max(peak, spring.value());
            if (settledAt < 0 && spring.settled()) settledAt = frame / 60.0;
        }
        EXPECT_NEAR((peak - 22) / 16, c.overshoot, 0.006) << c.response;
        EXPECT_GT(settledAt, 0.2) << c.response;
        EXPECT_LT(settledAt, c.settlesBy) << c.response;
        EXPECT_NEAR(spring.value(), 22, 1e-3);
    }
    // A new target mid-swing: no jump in place or speed.
    OnboardingSpring spring(0.35, 0.72);
    spring.retarget(1);
    spring.advance(0.1);
    const double x = spring.value(), v = spring.velocity();
    ASSERT_GT(v, 0.5);
    spring.retarget(0);
    EXPECT_NEAR(spring.value(), x, 1e-9);
    EXPECT_NEAR(spring.velocity(), v, 1e-9);
    spring.reset(3);
    EXPECT_TRUE(spring.settled());
    EXPECT_EQ(spring.value(), 3);
}
