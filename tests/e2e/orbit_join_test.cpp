// A day of data with the orbit files of the day before, the day and the day after, against the same orbit as
// one file.
#include <gtest/gtest.h>

#include <unistd.h>

#include "e2e/run_support.h"
#include "run/run.h"

namespace varno::test {
namespace {

struct RunOutputs {
    int status = -1;
    std::string listing, residuals;
};

RunOutputs runHere(const TempDir& dir, const RunOptions& options) {
    const std::filesystem::path back = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    captureOutput();
    RunOutputs r;
    r.status = runVarno(options);
    std::filesystem::current_path(back);
    r.listing = readFile(dir.file("varno.lst"));
    r.residuals = readFile(dir.file("varno.res"));
    return r;
}

TEST(OrbitFiles, DayOfDataWithThreeDailyOrbitsEqualsOneJoinedOrbit) {
    TempDir dir;
    // SP3-d with other systems mixed in and one satellite's clock unknown at one epoch.
    RunResult sim = runIn(dir.path(), simPath() +
                                          " --start=2006-08-26T00:00:00 --duration=86370 --orbit-daily=yes"
                                          " --orbit-margin=3600 --orbit-version=d --orbit-others=100"
                                          " --orbit-bad-clock=5 .");
    ASSERT_EQ(sim.status, 0) << sim.err;
    const RunOutputs joined = runHere(dir, RunOptions{});
    ASSERT_EQ(joined.status, 0) << joined.listing;
    EXPECT_NE(joined.listing.find(" no usable orbit for prn 5 -- dropped\n"), std::string::npos);

    RunOptions daily;
    daily.orbits = {"orbit-20060825.sp3", "orbit-20060826.sp3", "orbit-20060827.sp3"};
    const RunOutputs split = runHere(dir, daily);
    EXPECT_EQ(split.status, 0);
    EXPECT_EQ(split.listing, joined.listing);
    EXPECT_EQ(split.residuals, joined.residuals);

    // Without the day after, the data run past the orbit: the stop says which file is missing.
    daily.orbits.pop_back();
    const RunOutputs shortRun = runHere(dir, daily);
    EXPECT_EQ(shortRun.status, 43588 & 0xFF);
}

TEST(OrbitFiles, SameOrbitAsSp3aAndAsSp3dWithOtherSystemsGivesTheSameRun) {
    TempDir a, d;
    ASSERT_EQ(runIn(a.path(), simPath() + " --orbit-zero=9 .").status, 0);
    ASSERT_EQ(runIn(d.path(), simPath() + " --orbit-zero=9 --orbit-version=d --orbit-others=90 .").status, 0);
    const RunOutputs fromA = runHere(a, RunOptions{});
    const RunOutputs fromD = runHere(d, RunOptions{});
    ASSERT_EQ(fromA.status, 0) << fromA.listing;
    EXPECT_NE(fromA.listing.find(" no usable orbit for prn 9 -- dropped\n"), std::string::npos);
    EXPECT_EQ(fromD.listing, fromA.listing);
    EXPECT_EQ(fromD.residuals, fromA.residuals);
}

TEST(OrbitFiles, FirstSignalBeforeTheOrbitNamesTheMissingDayOnStandardError) {
    TempDir dir;
    ASSERT_EQ(runIn(dir.path(), simPath() + " --orbit-margin=0 --start=2006-08-26T00:00:00 .").status, 0);
    RunResult run = runIn(dir.path(), varnoPath());
    EXPECT_EQ(run.out.substr(run.out.rfind("STOP")), "STOP 34553\n");
    // After the stop's general explanation, the line that names the missing day.
    EXPECT_EQ(run.err.rfind("varno: stop 34553: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find("\nvarno: the orbit covers 2006-08-26 00:00:00 to 2006-08-26 02:00:00 but the data need a "
                           "satellite position at 2006-08-25 23:59:59.9"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("the orbit file of the day before (2006-08-25) is missing"), std::string::npos);
}

}  // namespace
}  // namespace varno::test
