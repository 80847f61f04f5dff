#include <cmath>
#include <vector>

#include "adjust/adjust.h"
#include "adjust/adjust_internal.h"
#include "adjust_fixture.h"
#include "test_support.h"
#include "test_run.h"

namespace varno {
namespace {

using test::AdjustScenario;

// Residuals 0 on the three non-reference satellites at two epochs, one of 0.5 m and an outlier of 50 m.
std::vector<ScratchRecord> trimmingRecords(const AdjustScenario& s) {
    return {s.observation(2, 0.0, 0.0),  s.observation(2, 30.0, 50.0), s.observation(2, 60.0, 0.0),
            s.observation(3, 0.0, 0.0),  s.observation(3, 30.0, 0.5),  s.observation(4, 0.0, 0.0),
            s.observation(4, 60.0, 0.0)};
}

TEST(Comrms, TrimsByThresholdAndLetsRejectedObservationsBackIn) {
    captureOutput();
    AdjustScenario s;
    GatherFile gather;
    test::fillGather(gather, trimmingRecords(s), s.satCount);
    const StationPair before = s.pair;

    double sigma = -1.0;
    comrms(gather, testRun, s.orbit, s.pair, 0.1, sigma, s.satCount);
    // Only the five zero residuals are kept: the solution is exactly zero and point 2 stays.
    EXPECT_EQ(listingText(), "max shift =       0.000000 m.   n =      5    rms =   0.0000 m.\n");
    EXPECT_EQ(sigma, 0.0);
    EXPECT_EQ(s.pair.p2Marker, before.p2Marker);

    comrms(gather, testRun, s.orbit, s.pair, 100.0, sigma, s.satCount);
    const std::string second = listingText().substr(listingText().find('\n') + 1);
    EXPECT_EQ(second.substr(0, 12), "max shift = ");
    EXPECT_EQ(second.substr(26, 9), " m.   n =");
    EXPECT_EQ(second.substr(35, 7), "      7");
    EXPECT_GT(sigma, 0.0);
    // Point 2 moved, marker and phase centre alike.
    EXPECT_NE(s.pair.p2Marker, before.p2Marker);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(s.pair.p2Marker[c] - before.p2Marker[c], s.pair.p2L1[c] - before.p2L1[c]);
    }
}

TEST(Comrms, ResidualEqualToThresholdIsKept) {
    captureOutput();
    AdjustScenario s;
    const std::vector<ScratchRecord> records = trimmingRecords(s);
    GatherFile gather;
    test::fillGather(gather, records, s.satCount);
    const double threshold = std::fabs(s.residualOf(records[4]));
    ASSERT_GT(threshold, 0.49);
    double sigma = 0.0;
    comrms(gather, testRun, s.orbit, s.pair, threshold, sigma, s.satCount);
    EXPECT_EQ(listingText().substr(35, 7), "      6");
}

TEST(Comrms, NoObservationWithinThresholdKeepsPositionAndSigma) {
    captureOutput();
    AdjustScenario s;
    GatherFile gather;
    test::fillGather(gather, {s.observation(2, 0.0, 0.5), s.observation(3, 0.0, -0.7)}, s.satCount);
    const StationPair before = s.pair;
    double sigma = 1.25;
    comrms(gather, testRun, s.orbit, s.pair, 0.1, sigma, s.satCount);
    EXPECT_EQ(listingText(), " no observation within threshold -- position kept\n");
    EXPECT_EQ(sigma, 1.25);
    EXPECT_EQ(s.pair.p2Marker, before.p2Marker);
    EXPECT_EQ(s.pair.p2L1, before.p2L1);
}

TEST(Comrms, EpochBeyondReferenceTableStops) {
    captureOutput();
    AdjustScenario s;
    GatherFile gather;
    ScratchRecord late = s.observation(3, 0.0, 0.0);
    late.values[0] = AdjustScenario::kRefEnd + 0.5;
    late.values[1] = AdjustScenario::kRefEnd + 0.75;
    test::fillGather(gather, {s.observation(2, 0.0, 0.0), late}, s.satCount);
    double sigma = 1.0;
    EXPECT_STOP(comrms(gather, testRun, s.orbit, s.pair, 10.0, sigma, s.satCount), 45397);
    EXPECT_EQ(listingText(), " 3 7500.5 7500.75\n");
}

TEST(Comrms, SingularEquationsStopInsteadOfReportingNonsense) {
    captureOutput();
    AdjustScenario s;
    GatherFile gather;
    // Slot 5 flies where the reference does: its coefficients are all zero.
    test::fillGather(gather, {s.observation(5, 0.0, 0.25), s.observation(5, 30.0, -0.25)}, s.satCount);
    double sigma = 1.0;
    EXPECT_STOP(comrms(gather, testRun, s.orbit, s.pair, 10.0, sigma, s.satCount), 87855);
    EXPECT_EQ(listingText(), " normal equations singular -- fatal termination\n");
}

TEST(SolveAndMove, SubtractsTheSolutionAndReportsIt) {
    captureOutput();
    NormalEquations ne;
    ne.matrix = {1, 0, 0, 0, 2, 0, 0, 0, 4};
    ne.rhs = {1, -4, 2};
    ne.sumSquares = 10.0;
    StationPair pair;
    pair.p2Marker = {100, 200, 300};
    pair.p2L1 = {101, 202, 303};
    double rms = 0;
    adjust_internal::solveAndMove(ne, 3, pair, rms);
    // x = (1, -2, 0.5); the rms divides 10 - |x|² by the count, not by the degrees of freedom.
    EXPECT_DOUBLE_EQ(rms, std::sqrt(4.75 / 3));
    EXPECT_EQ(listingText(), "max shift =       2.000000 m.   n =      3    rms =   1.2583 m.\n");
    EXPECT_EQ(pair.p2Marker, (std::array<double, 3>{99, 202, 299.5}));
    EXPECT_EQ(pair.p2L1, (std::array<double, 3>{100, 204, 302.5}));
}

TEST(SolveAndMove, SolutionLargerThanTheMisclosuresStops) {
    captureOutput();
    NormalEquations ne;
    ne.matrix = {0.01, 0, 0, 0, 0.01, 0, 0, 0, 0.01};
    ne.rhs = {1, 0, 0};
    ne.sumSquares = 1.0;  // x = (100, 0, 0): |x|² far above the sum of squares
    StationPair pair;
    double rms = 0;
    EXPECT_STOP(adjust_internal::solveAndMove(ne, 1, pair, rms), 87855);
    EXPECT_EQ(listingText(), " normal equations singular -- fatal termination\n");
    EXPECT_EQ(pair.p2Marker, (std::array<double, 3>{0, 0, 0}));
}

TEST(Comrms, SolutionReceivesTheInverseOfTheNormalMatrix) {
    captureOutput();
    AdjustScenario s;
    const std::vector<ScratchRecord> records = trimmingRecords(s);
    GatherFile gather;
    test::fillGather(gather, records, s.satCount);
    // The normal matrix of the five zero residuals kept at a threshold of 0.1 m, formed as the iteration does.
    NormalEquations n;
    const std::array<int, 3> k{1, 2, 3};
    for (const ScratchRecord& r : records) {
        if (std::fabs(s.residualOf(r)) > 0.1) continue;
        double dt1 = 0, dt2 = 0, rho1 = 0, rho2 = 0;
        std::array<double, 3> ur{}, uk{}, a{};
        comdtr(testRun, 1, s.pair, s.orbit, r.values[0], r.values[1], r.values[2], r.values[3], dt1, dt2);
        comrng(testRun, 1, s.pair, s.orbit, r.values[0], r.values[1], dt1, dt2, rho1, rho2, ur);
        comrng(testRun, r.slot, s.pair, s.orbit, r.values[0], r.values[1], dt1, dt2, rho1, rho2, uk);
        for (int c = 0; c < 3; ++c) a[c] = uk[c] - ur[c];
        nrmal2(n.matrix.data(), n.rhs.data(), a.data(), 0.0, 1.0, n.sumSquares, k.data(), 3, 3);
    }
    nrmsym(n.matrix.data(), 3);
    AdjustSolution solution;
    solution.count = -1;
    double sigma = 0.0;
    comrms(gather, testRun, s.orbit, s.pair, 0.1, sigma, s.satCount, nullptr, &solution);
    EXPECT_EQ(solution.count, 5);
    std::array<double, 9> product{};
    ab(n.matrix.data(), solution.inverseNormal.data(), product.data(), 3, 3, 3);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(product[j * 3 + i], i == j ? 1.0 : 0.0, 1e-6);
    }
    comrms(gather, testRun, s.orbit, s.pair, -1.0, sigma, s.satCount, nullptr, &solution);
    EXPECT_EQ(solution.count, 0);
    EXPECT_EQ(solution.inverseNormal, (std::array<double, 9>{}));
}

}  // namespace
}  // namespace varno
