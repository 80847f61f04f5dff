// Double differences of several systems: G alone as without the option, each system alone and all of them near
// the truth, satellites named with their letter in the residual file.
#include <gtest/gtest.h>

#include <cmath>
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

}  // namespace
}  // namespace varno::test
