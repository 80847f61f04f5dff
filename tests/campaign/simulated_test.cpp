// The simulated campaign end to end: varno-sim campaign, then varno-campaign run and adjust, against the truth.
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>

#include "e2e/run_support.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct Outcome {
    json report;
    std::map<std::string, std::array<double, 3>> truth;
};

Outcome simulateAndAdjust(const varno::test::TempDir& dir, const std::string& options) {
    const std::string campaign = std::string(VARNO_BINARY_DIR) + "/varno-campaign";
    const auto made = varno::test::runIn(dir.path(), varno::test::simPath() + " campaign " + options + " sim");
    EXPECT_EQ(made.status, 0) << made.err;
    varno::test::runIn(dir.path() / "sim", campaign + " run campaign.toml -j 2");
    const auto adjusted = varno::test::runIn(dir.path() / "sim", campaign + " adjust campaign.toml --crs EPSG:25831");
    EXPECT_EQ(adjusted.status, 0) << adjusted.err;
    Outcome o;
    o.report = json::parse(varno::test::readFile((dir.path() / "sim" / "campaign-work" / "campaign.json").string()));
    for (const auto& line : varno::test::lines(varno::test::readFile((dir.path() / "sim" / "truth").string()))) {
        std::istringstream fields(line);
        std::string id;
        std::array<double, 3> xyz{};
        if (line[0] != '#' && fields >> id >> xyz[0] >> xyz[1] >> xyz[2]) o.truth[id] = xyz;
    }
    return o;
}

TEST(SimulatedCampaign, TruthWithinThreeSigmaAndTheBlunderFlagged) {
    if (!fs::exists(varno::test::simPath())) GTEST_SKIP() << "varno-sim not built";
    if (std::system("parallel --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "GNU parallel not installed";
    varno::test::TempDir clean, blundered;
    const Outcome o = simulateAndAdjust(clean, "");
    EXPECT_TRUE(o.report["global_test"]["passed"].get<bool>());
    EXPECT_EQ(o.report["stations"].size(), 11u);
    for (const auto& s : o.report["stations"])
        for (const char* axis : {"x", "y", "z"}) {
            const double error = s[std::string(axis) + "_m"].get<double>() - o.truth.at(s["id"])[*axis - 'x'];
            EXPECT_LT(std::fabs(error), 3 * s[std::string("sigma_") + axis + "_m"].get<double>() + 1e-4)
                << s["id"] << " " << axis;
        }
    for (const auto& b : o.report["baselines"]) EXPECT_FALSE(b["flagged"].get<bool>()) << b["job"];
    // A loop of twelve fails its 95 % test now and then: none may be far out.
    for (const auto& l : o.report["loops"]) EXPECT_LT(l["ratio"].get<double>(), 4.0);

    const Outcome b = simulateAndAdjust(blundered, "--blunder");
    std::vector<std::string> flagged;
    for (const auto& x : b.report["baselines"])
        if (x["flagged"].get<bool>()) flagged.push_back(x["job"]);
    EXPECT_EQ(flagged, std::vector<std::string>{"S2-C003-P006"});
    EXPECT_FALSE(b.report["global_test"]["passed"].get<bool>());
}

}  // namespace
