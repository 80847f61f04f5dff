#include <cmath>
#include <random>

#include "results/results.h"
#include "test_support.h"

namespace varno {
namespace {

constexpr double kQuarterTurn = 1.5707963267948966;

TEST(FormalPrecision, CovarianceFromUnitVarianceRotationAndLength) {
    // vᵀv = 40 over 13 observations: σ0² = 4.
    const std::array<double, 9> inverse{1e-4, 0, 0, 0, 4e-4, 0, 0, 0, 9e-4};
    const FormalPrecision p = formalPrecision(inverse, 40.0, 13, kQuarterTurn, 0.0, {2000.0, 0.0, 0.0});
    ASSERT_TRUE(p.available);
    EXPECT_EQ(p.degreesOfFreedom, 10);
    EXPECT_DOUBLE_EQ(p.sigma0, 2.0);
    EXPECT_DOUBLE_EQ(p.sigmaXyz[0], 0.02);
    EXPECT_DOUBLE_EQ(p.sigmaXyz[1], 0.04);
    EXPECT_DOUBLE_EQ(p.sigmaXyz[2], 0.06);
    // At the north pole on the zero meridian up is Z, east is Y and north is −X.
    EXPECT_NEAR(p.sigmaNeu[0], 0.02, 1e-15);
    EXPECT_NEAR(p.sigmaNeu[1], 0.04, 1e-15);
    EXPECT_NEAR(p.sigmaNeu[2], 0.06, 1e-15);
    EXPECT_DOUBLE_EQ(p.sigmaLength, 0.02);
}

TEST(FormalPrecision, LengthSigmaFollowsTheBaselineDirectionAndCorrelation) {
    // Fully correlated X and Y of equal variance: a baseline along (1, −1) has no length uncertainty.
    const std::array<double, 9> inverse{1e-4, 1e-4, 0, 1e-4, 1e-4, 0, 0, 0, 1e-4};
    const FormalPrecision p = formalPrecision(inverse, 10.0, 13, 0.7, 0.3, {1000.0, -1000.0, 0.0});
    EXPECT_NEAR(p.sigmaLength, 0.0, 1e-12);
    const FormalPrecision along = formalPrecision(inverse, 10.0, 13, 0.7, 0.3, {1000.0, 1000.0, 0.0});
    EXPECT_NEAR(along.sigmaLength, std::sqrt(2e-4), 1e-15);
    // The rotation keeps the trace.
    EXPECT_NEAR(p.covarianceNeu[0] + p.covarianceNeu[4] + p.covarianceNeu[8], 3e-4, 1e-18);
}

TEST(FormalPrecision, NotAvailableWithoutRedundancyOrSolution) {
    const std::array<double, 9> inverse{1, 0, 0, 0, 1, 0, 0, 0, 1};
    EXPECT_FALSE(formalPrecision(inverse, 1.0, 3, 0, 0, {1, 0, 0}).available);
    EXPECT_FALSE(formalPrecision({}, 1.0, 100, 0, 0, {1, 0, 0}).available);
    EXPECT_TRUE(formalPrecision(inverse, 1.0, 4, 0, 0, {1, 0, 0}).available);
    EXPECT_TRUE(std::isnan(formalPrecision(inverse, 1.0, 4, 0, 0, {0, 0, 0}).sigmaLength));
}

TEST(FormalPrecision, EquivalentSigmasGiveRadiiHoldingNinetyFivePercent) {
    const std::array<double, 9> round{4e-4, 0, 0, 0, 4e-4, 0, 0, 0, 4e-4};
    const FormalPrecision equal = formalPrecision(round, 10.0, 13, 0.7, 0.3, {1000.0, 0.0, 0.0});
    EXPECT_NEAR(equal.sigmaHorizontal, equal.sigmaNeu[0], 1e-15);
    EXPECT_NEAR(equal.sigmaThreeD, equal.sigmaNeu[0], 1e-15);

    // North, east, up sigmas 0.02, 0.04, 0.06 (as above): count random errors inside the exact 95 % radii.
    const std::array<double, 9> inverse{1e-4, 0, 0, 0, 4e-4, 0, 0, 0, 9e-4};
    const FormalPrecision p = formalPrecision(inverse, 40.0, 13, kQuarterTurn, 0.0, {2000.0, 0.0, 0.0});
    const double rms3 = std::sqrt((4e-4 + 16e-4 + 36e-4) / 3.0);
    EXPECT_GT(p.sigmaThreeD, rms3);  // the isotropic formula would hold only about 93 %
    const double r2 = p.sigmaHorizontal * std::sqrt(5.991464547107979);
    const double r3 = p.sigmaThreeD * std::sqrt(7.814727903251178);
    std::mt19937_64 random(7);
    std::normal_distribution<double> unit;
    const int draws = 400000;
    int inside2 = 0, inside3 = 0;
    for (int i = 0; i < draws; ++i) {
        const double n = 0.02 * unit(random), e = 0.04 * unit(random), u = 0.06 * unit(random);
        inside2 += std::hypot(n, e) <= r2;
        inside3 += std::sqrt(n * n + e * e + u * u) <= r3;
    }
    EXPECT_NEAR(static_cast<double>(inside2) / draws, 0.95, 0.002);
    EXPECT_NEAR(static_cast<double>(inside3) / draws, 0.95, 0.002);
}

}  // namespace
}  // namespace varno
