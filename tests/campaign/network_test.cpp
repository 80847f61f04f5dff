#include <gtest/gtest.h>

#include <cmath>

#include "campaign/campaign.h"

namespace varno::campaign {
namespace {

// Four stations near Barcelona: two controls and two new points; truth in metres.
const std::map<std::string, Vec3> kTruth = {{"CTLA", {4789000.0, 176600.0, 4195000.0}},
                                            {"CTLB", {4790500.0, 180000.0, 4193500.0}},
                                            {"NEWC", {4787000.0, 178500.0, 4197000.0}},
                                            {"NEWD", {4791000.0, 177000.0, 4194000.0}}};

Baseline baseline(const std::string& from, const std::string& to, Vec3 error = {}) {
    Baseline b;
    b.job = from + "-" + to;
    b.from = from;
    b.to = to;
    for (int k = 0; k < 3; ++k) {
        b.vector[k] = kTruth.at(to)[k] - kTruth.at(from)[k] + error[k];
        b.covariance[k][k] = 0.01 * 0.01;
    }
    b.covariance[0][1] = b.covariance[1][0] = 0.3e-4;
    return b;
}

Campaign network() {
    Campaign c;
    c.held = "CTLA";
    for (const char* id : {"CTLA", "CTLB"}) c.controls[id] = {id, kTruth.at(id), {0.003, 0.003, 0.003}};
    return c;
}

TEST(ChiSquareQuantile, MatchesTables) {
    EXPECT_NEAR(chiSquareQuantile(0.95, 3), 7.814728, 1e-6);
    EXPECT_NEAR(chiSquareQuantile(0.025, 30), 16.790772, 1e-6);
    EXPECT_NEAR(chiSquareQuantile(0.975, 30), 46.979242, 1e-6);
    EXPECT_NEAR(chiSquareQuantile(0.5, 1), 0.454936, 1e-6);
}

TEST(LoopMisclosures, SumTheSignedVectorsOfEachIndependentLoop) {
    // A triangle with 60 mm in X planted in one leg, and a baseline measured twice.
    const std::vector<Baseline> b{baseline("CTLA", "NEWC"), baseline("NEWC", "NEWD", {0.06, 0, 0}),
                                  baseline("CTLA", "NEWD"), baseline("NEWD", "CTLB"), baseline("NEWD", "CTLB")};
    const auto loops = loopMisclosures(b);
    ASSERT_EQ(loops.size(), 2u);
    EXPECT_EQ(loops[0].stations, (std::vector<std::string>{"NEWC", "NEWD", "CTLA", "NEWC"}));
    EXPECT_NEAR(loops[0].misclosure[0], 0.06, 1e-9);
    EXPECT_NEAR(loops[0].misclosureMm, 60, 1e-6);
    EXPECT_NEAR(loops[0].sigmaMm, std::sqrt(3) * 10, 1e-6);
    EXPECT_FALSE(loops[0].passed);
    EXPECT_NEAR(loops[1].misclosureMm, 0, 1e-6);
    EXPECT_TRUE(loops[1].passed);
}

TEST(AdjustNetwork, ExactBaselinesGiveTheTruthAndABlunderIsFlagged) {
    std::vector<Baseline> b{baseline("CTLA", "NEWC"), baseline("CTLA", "NEWD"), baseline("NEWC", "NEWD"),
                            baseline("NEWD", "CTLB"), baseline("NEWC", "CTLB"), baseline("CTLA", "CTLB")};
    NetworkResult r = adjustNetwork(network(), b);
    ASSERT_TRUE(r.constrainedDone);
    EXPECT_EQ(r.minimal.global.redundancy, 18 - 9);
    EXPECT_NEAR(r.minimal.global.sumSquares, 0, 1e-12);
    for (const AdjustedStation& s : r.constrained.stations)
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(s.xyz[k], kTruth.at(s.id)[k], 1e-6) << s.id;
    EXPECT_TRUE(r.controlFit.passed);
    EXPECT_EQ(r.relative.size(), 6u);

    b[2] = baseline("NEWC", "NEWD", {0, 0, 0.25});
    r = adjustNetwork(network(), b);
    EXPECT_FALSE(r.minimal.global.passed);
    double largest = 0;
    std::string worst;
    for (const AdjustedBaseline& a : r.minimal.baselines)
        if (a.wTest > largest) largest = a.wTest, worst = a.job;
    EXPECT_EQ(worst, "NEWC-NEWD");
    EXPECT_GT(largest, 3.29);
}

TEST(AdjustNetwork, HeldStationMustBeReached) {
    const std::vector<Baseline> b{baseline("NEWC", "NEWD")};
    EXPECT_THROW(adjustNetwork(network(), b), CampaignError);
}

}  // namespace
}  // namespace varno::campaign
