#include "warmth/ColorTemperature.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <thread>

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();
}

TEST(ColorTemperature, KelvinTable) {
    struct Row {
        double k, r, g, b;
    };
    const Row rows[] = {
        {500, 1, 0, 0},           {1200, 1, 0.3375, 0},      {1800, 1, 0.4956, 0},
        {2000, 1, 0.5367, 0.0545}, {2500, 1, 0.6238, 0.2748}, {3400, 1, 0.7437, 0.5301},
        {4500, 1, 0.8531, 0.7350}, {5500, 1, 0.9313, 0.8716}, {6499, 1, 0.9965, 0.9805},
        {6500, 1, 1, 1},          {7000, 1, 1, 1},           {kInf, 1, 1, 1},
        {NAN, 1, 1, 1},           {100, 1, 0, 0},            {0, 1, 0, 0},
        {-50, 1, 0, 0},           {-kInf, 1, 0, 0},          {1900, 1, 0.5167, 0},
        {1904, 1, 0.5176, 0},
    };
    for (const Row& row : rows) {
        const RGBGains c = ColorTemperature::rgb(row.k);
        EXPECT_NEAR(c.r, row.r, 5e-5) << row.k;
        EXPECT_NEAR(c.g, row.g, 5e-5) << row.k;
        EXPECT_NEAR(c.b, row.b, 5e-5) << row.k;
    }
    EXPECT_GT(ColorTemperature::rgb(1905).b, 0.0);
}

TEST(ColorTemperature, IntensityBlend) {
    struct Row {
        double k, i, r, g, b;
    };
    const Row rows[] = {
        {3400, 1, 1, 0.9359, 0.8825}, {3400, 2, 1, 0.8719, 0.7650}, {3400, 4, 1, 0.7437, 0.5301},
        {3400, 5, 1, 0.7437, 0.5301}, {3400, -1, 1, 1, 1},          {500, 0, 1, 1, 1},
        {500, NAN, 1, 1, 1},          {1800, 4, 1, 0.4956, 0},
    };
    for (const Row& row : rows) {
        const DisplayTint t = ColorTemperature::blendedTint(row.k, row.i);
        EXPECT_NEAR(t.r, row.r, 5e-5) << row.k << " " << row.i;
        EXPECT_NEAR(t.g, row.g, 5e-5) << row.k << " " << row.i;
        EXPECT_NEAR(t.b, row.b, 5e-5) << row.k << " " << row.i;
    }
}

TEST(DisplayedWarmth, StartsAbsentAndIsReadWhole) {
    DisplayedWarmth::resetForTesting();
    EXPECT_FALSE(DisplayedWarmth::recorded());
    const DisplayTint a{1, 0.5, 0.25}, b{1, 1, 1};
    std::atomic<bool> torn{false};
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i) DisplayedWarmth::setRecorded(i % 2 ? a : b);
    });
    for (int i = 0; i < 20000; ++i) {
        const auto r = DisplayedWarmth::recorded();
        if (r && !(*r == a) && !(*r == b)) torn = true;
    }
    writer.join();
    EXPECT_FALSE(torn);
}
