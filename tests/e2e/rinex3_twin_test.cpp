// A RINEX 3 observation file gives the same listing and residual file as its RINEX 2.11 twin: the simulator
// writes the same observations in both formats, and the runs must agree byte for byte.
#include <gtest/gtest.h>

#include "e2e/run_support.h"

namespace varno::test {
namespace {

struct Outputs {
    RunResult run;
    std::string listing, residuals;
};

Outputs simulateAndRun(const std::string& options) {
    TempDir dir;
    RunResult sim = runIn(dir.path(), simPath() + " " + options + " .");
    EXPECT_EQ(sim.status, 0) << sim.err;
    Outputs o{runIn(dir.path(), varnoPath()), readFile(dir.file("varno.lst")), readFile(dir.file("varno.res"))};
    return o;
}

TEST(Rinex3Twins, ListingAndResidualsMatchTheRinex2Run) {
    const struct {
        const char* scenario;
        const char* twin;
    } cases[] = {
        {"", "--format=rinex3"},                                          // clean 2 km
        {"--glonass=5,9 --galileo=11,12", "--format=rinex3"},             // other systems in every epoch
        {"--blank-p1=0.2 --types1=C1,L1,P1,L2,P2", "--format=rinex3"},    // C1W missing: C1C per value
        {"--tag-offset2=0.25 --events1=1200", "--format2=rinex3"},        // RINEX 2 at point 1, RINEX 3 at point 2
        {"--types=L1,C1,P1,P2,L2,S1,S2,D1", "--format1=rinex4 --format2=rinex3"},
    };
    for (const auto& c : cases) {
        const Outputs two = simulateAndRun(c.scenario);
        const Outputs three = simulateAndRun(std::string(c.scenario) + " " + c.twin);
        ASSERT_EQ(two.run.status, 0) << c.scenario << "\n" << two.run.out << two.run.err;
        EXPECT_EQ(three.run.status, 0) << c.twin << "\n" << three.run.err;
        EXPECT_EQ(three.run.out, two.run.out) << c.scenario << " " << c.twin;
        EXPECT_EQ(three.listing, two.listing) << c.scenario << " " << c.twin;
        EXPECT_EQ(three.residuals, two.residuals) << c.scenario << " " << c.twin;
    }
}

}  // namespace
}  // namespace varno::test
