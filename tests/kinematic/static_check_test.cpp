#include <gtest/gtest.h>

#include <cmath>

#include "kinematic/kinematic.h"

namespace varno {
namespace {

TEST(ChiSquare3Quantile, MatchesTabulatedPoints) {
    EXPECT_NEAR(chiSquare3Quantile(0.05), 7.8147, 1e-3);
    EXPECT_NEAR(chiSquare3Quantile(0.001), 16.2662, 1e-3);
}

TEST(CorrelationFactor, WhiteNoiseAnAr1SeriesAndTheFirstNonPositiveLag) {
    EXPECT_DOUBLE_EQ(correlationFactor({1.0}, 10), 1.0);
    // AR(1) with ρ = 0.9 over 10 samples: 1 + 2Σ(1 − k/10)·0.9^k.
    std::vector<double> rho{1.0};
    double expected = 1.0;
    for (int k = 1; k < 10; ++k) {
        rho.push_back(std::pow(0.9, k));
        expected += 2.0 * (1.0 - k / 10.0) * rho.back();
    }
    EXPECT_NEAR(correlationFactor(rho, 10), expected, 1e-9);
    // The sum stops at a lag without correlation; a later positive one does not count.
    EXPECT_NEAR(correlationFactor({1.0, 0.0, 0.9}, 10), 1.0, 1e-12);
}

// Windows of 100 epochs, each with the normal matrix of 100 unit-variance observations of every coordinate.
std::vector<WindowSolution> windows(int count, int moved, double by) {
    std::vector<WindowSolution> out;
    for (int i = 0; i < count; ++i) {
        WindowSolution w;
        w.start = 300.0 * i;
        w.end = w.start + 299.0;
        w.epochs = 100;
        w.normal = {100, 0, 0, 0, 100, 0, 0, 0, 100};
        w.departure = {0.05 * ((i % 3) - 1), 0.0, 0.05};
        if (i == moved) w.departure[2] = by;
        out.push_back(w);
    }
    return out;
}

TEST(StaticCheck, NamesTheWindowThatMovedAndAllowsForCorrelationAndSmallDepartures) {
    const std::array<double, 3> marker{1113644.0, -4841748.0, 3986424.0};
    const std::vector<std::vector<float>> white{{1.0f, -1.0f, 1.0f, -1.0f}};
    const StaticCheck still = staticCheck(windows(12, -1, 0), 100, 3.0, 1.0, white, marker, 2000.0);
    EXPECT_TRUE(still.done);
    EXPECT_TRUE(still.passed);

    const StaticCheck moved = staticCheck(windows(12, 7, 5.0), 100, 3.0, 1.0, white, marker, 2000.0);
    EXPECT_FALSE(moved.passed);
    EXPECT_DOUBLE_EQ(moved.largestStart, 2100.0);
    EXPECT_NEAR(moved.largestDeparture, 5.0, 0.01);
    // Z at this latitude is north and up only.
    EXPECT_NEAR(std::hypot(moved.largestNeu[0], moved.largestNeu[2]), 5.0, 0.01);

    // Residuals that follow each other over a window make it worth about one epoch: 3 m is then within the spread.
    std::vector<std::vector<float>> slow(1);
    for (int i = 0; i < 2000; ++i) slow[0].push_back(static_cast<float>(std::sin(i / 200.0)));
    EXPECT_FALSE(staticCheck(windows(12, 7, 3.0), 100, 3.0, 1.0, white, marker, 2000.0).passed);
    EXPECT_TRUE(staticCheck(windows(12, 7, 3.0), 100, 3.0, 1.0, slow, marker, 2000.0).passed);
    // A departure below a metre does not count, however small the spread.
    EXPECT_TRUE(staticCheck(windows(12, 7, 0.9), 100, 3.0, 1.0, white, marker, 2000.0).passed);
    // Over a long baseline the spread grows by 10 ppm: 5 m at 1000 km is within it.
    EXPECT_TRUE(staticCheck(windows(12, 7, 5.0), 100, 3.0, 1.0, white, marker, 1.0e6).passed);
    // One window cannot be compared with a solution it makes up itself.
    const StaticCheck one = staticCheck(windows(1, 0, 5.0), 100, 3.0, 1.0, white, marker, 2000.0);
    EXPECT_FALSE(one.done);
    EXPECT_TRUE(one.passed);
}

}  // namespace
}  // namespace varno
