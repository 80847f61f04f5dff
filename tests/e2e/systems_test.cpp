// Double differences of several systems: G alone as without the option, each system alone and all of them near
// the truth, satellites named with their letter in the residual file.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "e2e/run_support.h"

namespace varno::test {
namespace {

// The three numbers after "key = " in the simulator's truth file, or after the listing's adjusted-marker line.
std::array<double, 3> numbersAfter(const std::string& text, const std::string& key) {
    std::istringstream in(text.substr(text.find(key) + key.size()));
    std::array<double, 3> v{};
    in >> v[0] >> v[1] >> v[2];
    return v;
}

TEST(Systems, EverySystemAloneAndTogetherNearTheTruthAndGpsAloneAsBefore) {
    TempDir dir;
    const RunResult sim = runIn(dir.path(), simPath() + " --systems=G,E,C,J --format=rinex3 --orbit-version=d "
                                                        "--lat1=35 --lon1=120 --seed=5 --interval=5 .");
    ASSERT_EQ(sim.status, 0) << sim.err;
    const std::array<double, 3> truth = numbersAfter(readFile(dir.file("truth")), "point2 =");
    std::string plainListing, plainResiduals;
    for (const char* systems : {"", "G", "E", "C", "all"}) {
        const std::string option = *systems ? std::string(" --systems=") + systems : "";
        const RunResult run = runIn(dir.path(), varnoPath() + option);
        ASSERT_EQ(run.status, 0) << option << "\n" << run.err;
        const std::string listing = readFile(dir.file("varno.lst"));
        const std::string residuals = readFile(dir.file("varno.res"));
        const std::array<double, 3> p2 = numbersAfter(listing, "adjusted point 2 marker and l1 phase center\n");
        const double error = std::hypot(p2[0] - truth[0], p2[1] - truth[1], p2[2] - truth[2]);
        EXPECT_LT(error, 0.5) << option;
        if (!*systems) {
            plainListing = listing;
            plainResiduals = residuals;
        } else if (std::string(systems) == "G") {
            EXPECT_EQ(listing, plainListing);
            EXPECT_EQ(residuals, plainResiduals);
        } else {
            // One column wider: a blank and the satellite's id.
            const std::string first = residuals.substr(0, residuals.find('\n'));
            ASSERT_EQ(first.size(), 28U) << option;
            EXPECT_EQ(first[24], ' ');
            EXPECT_NE(std::string("GECJ").find(first[25]), std::string::npos) << first;
            // Every line so, whichever thread wrote it (a pass of this many epochs is cut into parts).
            std::istringstream lines(residuals);
            for (std::string line; std::getline(lines, line);) ASSERT_EQ(line.size(), 28U) << option << ": " << line;
        }
    }
}

// Point 2 sees the sky above 35 degrees only, and of the three GPS satellites there a building hides G08 and
// G24: one GPS satellite forms no double difference, while Galileo, BeiDou and QZSS keep the solution alive.
TEST(Systems, DenseMaskAtPoint2StopsGpsAloneAndAllCompletesWithinItsPrecision) {
    TempDir dir;
    const RunResult sim =
        runIn(dir.path(), simPath() + " --systems=G,E,C,J --format=rinex3 --orbit-version=d --lat1=35 --lon1=120 "
                                      "--mask2=35 --drop-sats2=8,24 --start=2006-08-26T11:15:00 --duration=1800 .");
    ASSERT_EQ(sim.status, 0) << sim.err;
    const RunResult gps = runIn(dir.path(), varnoPath());
    EXPECT_EQ(gps.status, 46);
    EXPECT_NE(gps.err.find("stop 87854: no double difference could be formed"), std::string::npos) << gps.err;

    // The solutions epoch by epoch use GPS alone, so the check that point 2 stood still cannot be made: said.
    const RunResult all = runIn(dir.path(), varnoPath() + " --systems all --summary summary.json --require-static");
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_NE(all.err.find("the check that point 2 stood still could not be made"), std::string::npos) << all.err;
    const std::string summary = readFile(dir.file("summary.json"));
    const std::array<double, 3> truth = numbersAfter(readFile(dir.file("truth")), "point2 =");
    const std::array<double, 3> p2 =
        numbersAfter(readFile(dir.file("varno.lst")), "point 2 marker and l1 phase center\n");
    const char* sigmas[] = {"\"sigma_x_m\":", "\"sigma_y_m\":", "\"sigma_z_m\":"};
    for (int c = 0; c < 3; ++c) {
        const double sigma = numbersAfter(summary, sigmas[c])[0];
        EXPECT_GT(sigma, 0.0) << sigmas[c];
        EXPECT_LT(std::fabs(p2[c] - truth[c]), 3.0 * sigma) << sigmas[c];
    }
}

// Two receivers 1 m apart with their own navigation file: each system alone agrees with GPS within three times their
// combined formal precision, and all of them land at least as close to the carrier-phase truth as GPS alone.
TEST(Systems, RealPairEachSystemAgreesWithGpsAndAllIsAtLeastAsClose) {
    const std::filesystem::path set = dataDir("sept-base-rover-1m-1hz");
    if (!std::filesystem::exists(set)) GTEST_SKIP();
    const std::array<double, 3> truth{-3817681.3807, 3562839.9785, 3650158.3760};
    TempDir dir;
    std::array<double, 3> gps{}, gpsSigma{};
    for (const char* systems : {"G", "E", "C", "all"}) {
        const RunResult run = runIn(dir.path(), varnoPath() + " -C " + set.string() + " -o " + dir.path().string() +
                                                    " --point1=base.obs --point2=rover.obs --nav=base.nav " +
                                                    "--troposphere --elevation-mask=10 --weights=elevation " +
                                                    "--summary=" + dir.file("s.json") + " --systems=" + systems);
        ASSERT_EQ(run.status, 0) << systems << "\n" << run.err;
        const std::string summary = readFile(dir.file("s.json"));
        const std::array<double, 3> p2 =
            numbersAfter(readFile(dir.file("varno.lst")), "adjusted point 2 marker and l1 phase center\n");
        std::array<double, 3> sigma{};
        for (int c = 0; c < 3; ++c) sigma[c] = numbersAfter(summary, std::string("\"sigma_") + "xyz"[c] + "_m\":")[0];
        if (std::string(systems) == "G") {
            gps = p2;
            gpsSigma = sigma;
            continue;
        }
        for (int c = 0; c < 3; ++c)
            EXPECT_LT(std::fabs(p2[c] - gps[c]), 3.0 * std::hypot(sigma[c], gpsSigma[c])) << systems << " " << c;
        if (std::string(systems) == "all") {
            EXPECT_LE(distance(p2, truth), distance(gps, truth));
            EXPECT_NE(summary.find("\"system\": \"J\""), std::string::npos);  // QZSS records of health 1 serve
        }
    }
}

}  // namespace
}  // namespace varno::test
