// Two baselines solved at the same time in two threads of one process: each run writes exactly the bytes it
// writes alone, every output file of it.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <tuple>

#include "e2e/run_support.h"
#include "run/run.h"

namespace varno::test {
namespace {

namespace fs = std::filesystem;

// A run of the files in `inputs` writing every output it has into `outputs`.
RunOptions everyOutput(const fs::path& inputs, const fs::path& outputs, bool broadcast = false) {
    RunOptions o;
    o.point1 = (inputs / "point1.rnx").string();
    o.point2 = (inputs / "point2.rnx").string();
    o.position = (inputs / "pos").string();
    o.offsets = (inputs / "off").string();
    if (broadcast) {
        o.navs = {(inputs / "brdc0770.10n").string()};
    } else {
        o.orbits = {(inputs / "orbit.sp3").string()};
    }
    o.outputDirectory = outputs.string();
    o.quiet = true;
    o.summary = "summary.json";
    o.plot = "residuals.svg";
    o.residualsCsv = "residuals.csv";
    o.kinematic = "track.csv";
    o.track = "track.geojson";
    o.plotTrack = "track.svg";
    return o;
}

// Every file a run left in `dir`, by name.
std::map<std::string, std::string> filesIn(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& e : fs::directory_iterator(dir)) {
        files[e.path().filename().string()] = readFile(e.path().string());
    }
    return files;
}

// Runs a and b alone, then both at once in two threads, and compares what each left behind.
void expectSameBytesSideBySide(const RunOptions& a, const RunOptions& b) {
    TempDir alone, together;
    RunOptions soloA = a, soloB = b, pairA = a, pairB = b;
    soloA.outputDirectory = (alone.path() / "a").string();
    soloB.outputDirectory = (alone.path() / "b").string();
    pairA.outputDirectory = (together.path() / "a").string();
    pairB.outputDirectory = (together.path() / "b").string();
    const RunOutcome outcomeA = solveBaseline(soloA);
    const RunOutcome outcomeB = solveBaseline(soloB);
    ASSERT_EQ(outcomeA.status, 0);
    ASSERT_EQ(outcomeB.status, 0);
    RunOutcome sideA, sideB;
    std::thread other([&] { sideB = solveBaseline(pairB); });
    sideA = solveBaseline(pairA);
    other.join();
    EXPECT_EQ(sideA.status, 0);
    EXPECT_EQ(sideB.status, 0);
    // Each run's solution: as alone, and as its listing and summary give it.
    for (const auto& [alone, together, options] :
         {std::tuple{&outcomeA, &sideA, &soloA}, std::tuple{&outcomeB, &sideB, &soloB}}) {
        ASSERT_TRUE(alone->solution && together->solution);
        const BaselineSolution& solution = *together->solution;
        EXPECT_EQ(solution.pair.p2Marker, alone->solution->pair.p2Marker);
        EXPECT_EQ(solution.adjustment.inverseNormal, alone->solution->adjustment.inverseNormal);
        const PostFitFigures& post = solution.adjustment.postFit;
        EXPECT_NE(readFile((fs::path(options->outputDirectory) / "varno.lst").string())
                      .find("post-fit rms =" + fmtF(post.rms, 9, 4) + " m.    n=" + fmtI(post.count, 6)),
                  std::string::npos);
        EXPECT_EQ(solution.summary.has_value(), !options->summary.empty());
        if (solution.summary) {
            EXPECT_EQ(solution.summary->point2, solution.pair.p2Marker);
        }
    }
    for (const auto& [alone, together] : {std::pair{soloA, pairA}, std::pair{soloB, pairB}}) {
        const auto files = filesIn(alone.outputDirectory);
        EXPECT_EQ(files.size(), alone.summary.empty() ? 2U : 8U);  // listing, residuals and the six results
        EXPECT_GT(files.at("varno.res").size(), 10000U);
        EXPECT_EQ(filesIn(together.outputDirectory), files);
    }
}

TEST(TwoRuns, ExampleAndSimulatedDayAtOnceGiveTheBytesOfEachAlone) {
    TempDir sim;
    const RunResult made = runIn(sim.path(), simPath() + " --duration=7200 --noise=0.5 .");
    ASSERT_EQ(made.status, 0) << made.err;
    const fs::path example = fs::path(VARNO_SOURCE_DIR) / "examples" / "baseline-2km";
    expectSameBytesSideBySide(everyOutput(example, {}), everyOutput(sim.path(), {}));
}

// A run of GPS alone (satellites named by number) beside one of every system (named "E12"), whose residual lines
// the parts of each pass write themselves (no results asked).
TEST(TwoRuns, RunsOfDifferentSystemsAtOnceNameTheirSatellitesAsAlone) {
    TempDir sim;
    const RunResult made =
        runIn(sim.path(), simPath() + " --systems=G,E,C,J --format=rinex3 --orbit-version=d --duration=7200 .");
    ASSERT_EQ(made.status, 0) << made.err;
    RunOptions every = everyOutput(sim.path(), {});
    every.systems = *parseSystems("all");
    every.summary = every.plot = every.residualsCsv = every.kinematic = every.track = every.plotTrack = "";
    expectSameBytesSideBySide(everyOutput(sim.path(), {}), every);
}

TEST(TwoRuns, RealBaselinesWithPreciseAndBroadcastOrbitsAtOnce) {
    const fs::path precise = dataDir("garr-upc1-20km-mixedrate");
    const fs::path broadcast = dataDir("upc1-upc2-38m-1hz");
    if (!fs::exists(precise) || !fs::exists(broadcast)) GTEST_SKIP() << "datasets not present";
    expectSameBytesSideBySide(everyOutput(precise, {}), everyOutput(broadcast, {}, true));
}

}  // namespace
}  // namespace varno::test
