// The optional accuracy models on simulated scenarios built to show each one's effect: a troposphere that differs
// between the receivers, satellites down to the horizon, and code noise that grows towards it.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "e2e/run_support.h"

namespace varno::test {
namespace {

std::array<double, 3> truePoint2(const TempDir& dir) {
    for (const std::string& line : lines(readFile(dir.file("truth")))) {
        if (line.rfind("point2 = ", 0) == 0) {
            std::istringstream in(line.substr(9));
            std::array<double, 3> p{};
            in >> p[0] >> p[1] >> p[2];
            return p;
        }
    }
    ADD_FAILURE() << "no point2 in truth";
    return {};
}

// North, east, up error of the run with `options` in a directory the simulator filled.
std::array<double, 3> errorWith(const TempDir& dir, const std::string& options) {
    RunResult run = runIn(dir.path(), varnoPath() + " -q " + options);
    EXPECT_EQ(run.status, 0) << options << "\n" << run.err;
    const std::string listing = readFile(dir.file("varno.lst"));
    auto marker = adjustedMarker(listing);
    if (!marker) {
        ADD_FAILURE() << listing;
        return {};
    }
    return neu(truePoint2(dir), *marker);
}

void simulate(const TempDir& dir, const std::string& options) {
    RunResult sim = runIn(dir.path(), simPath() + " " + options + " .");
    ASSERT_EQ(sim.status, 0) << sim.err;
}

TEST(AccuracyModels, TroposphereRemovesTheBiasOfA500MetreHeightDifference) {
    TempDir dir;
    simulate(dir, "--baseline=20000 --dheight=500 --zenith-delay=auto --noise=0.05");
    const auto plain = errorWith(dir, "");
    const auto modelled = errorWith(dir, "--troposphere");
    std::cout << "[ figures  ] up error " << plain[2] << " m without, " << modelled[2] << " m with the model\n";
    EXPECT_LT(plain[2], -0.3);  // the lower receiver's extra delay pulls point 2 down
    EXPECT_LT(std::fabs(modelled[2]), 0.08);
    EXPECT_NE(readFile(dir.file("varno.lst")).find(" troposphere model used: "), std::string::npos);
}

TEST(AccuracyModels, ElevationMaskKeepsLowSatellitesOut) {
    TempDir dir;
    simulate(dir, "--mask=0 --duration=3600");
    errorWith(dir, "");
    const std::size_t all = lines(readFile(dir.file("varno.res"))).size();
    errorWith(dir, "--elevation-mask 20");
    const std::vector<std::string> kept = lines(readFile(dir.file("varno.res")));
    EXPECT_LT(kept.size(), all * 9 / 10);
    double lowest = 90.0;
    for (const std::string& line : kept) lowest = std::min(lowest, std::stod(line.substr(18, 6)));
    // The residual file gives the elevation at point 2's phase centre at the end of the adjustment: a hair of
    // movement can take a satellite formed at 20.00 degrees just under it.
    EXPECT_GE(lowest, 19.99);
    EXPECT_NE(readFile(dir.file("varno.lst")).find(" elevation mask 20 degrees at both receivers"), std::string::npos);
}

// Correlated weights, the same variances with each epoch's shared reference, do at least as well.
TEST(AccuracyModels, ElevationWeightsCutTheErrorWhenLowSatellitesAreNoisier) {
    double plainSquares = 0.0, weightedSquares = 0.0, correlatedSquares = 0.0;
    for (int seed = 1; seed <= 6; ++seed) {
        TempDir dir;
        simulate(dir, "--seed=" + std::to_string(seed) + " --mask=0 --noise=0.2 --noise-elevation=0.6 --duration=3600");
        const auto plain = errorWith(dir, "");
        const auto weighted = errorWith(dir, "--weights elevation");
        const auto correlated = errorWith(dir, "--weights correlated");
        for (int c = 0; c < 3; ++c) {
            plainSquares += plain[c] * plain[c];
            weightedSquares += weighted[c] * weighted[c];
            correlatedSquares += correlated[c] * correlated[c];
        }
        if (seed == 1) {
            EXPECT_NE(readFile(dir.file("varno.lst")).find(" correlated weights: "), std::string::npos);
        }
    }
    std::cout << "[ figures  ] rms 3-D error " << std::sqrt(plainSquares / 6) << " m equal, "
              << std::sqrt(weightedSquares / 6) << " m elevation, " << std::sqrt(correlatedSquares / 6)
              << " m correlated weights\n";
    EXPECT_LT(weightedSquares, 0.8 * 0.8 * plainSquares);
    EXPECT_LT(correlatedSquares, weightedSquares);
}

}  // namespace
}  // namespace varno::test
