#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "adjust/adjust.h"
#include "adjust_fixture.h"
#include "rinex/rinex.h"
#include "test_support.h"
#include "timebase/timebase.h"
#include "test_run.h"

namespace varno {
namespace {

using test::AdjustScenario;
using test::FormobRun;

TEST(Formob, GathersBySlotThenEpochAndSolvesOnce) {
    captureOutput();
    AdjustScenario s;
    const StationPair before = s.pair;
    FormobRun run(s, 5, {1, 2, 3, 4}, 120.0);
    GatherFile gather;
    double rms = -1.0;
    formob(testRun, s.orbit, s.pair, s.satCount, run.inputs, gather, rms);

    const std::string listing = listingText();
    ASSERT_EQ(listing.substr(0, 31), " opened 5 scatter/gather files\n");
    const std::string shiftLine = listing.substr(31);
    EXPECT_EQ(shiftLine.substr(0, 12), "max shift = ");
    EXPECT_EQ(shiftLine.substr(26, 16), " m.   n =     15");
    EXPECT_EQ(shiftLine.size(), 64u);
    EXPECT_EQ(consoleText(), "  begin scatter & formobs\n  begin gather\n");
    EXPECT_TRUE(std::filesystem::is_empty(run.scratch.path()));
    EXPECT_GE(rms, 0.0);
    EXPECT_NE(s.pair.p2Marker, before.p2Marker);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(s.pair.p2L1[c] - before.p2L1[c], s.pair.p2Marker[c] - before.p2Marker[c]);

    // Start and end records for every slot, the reference's block and slot 5's empty.
    gather.rewind();
    std::vector<int> slots;
    std::vector<ScratchRecord> observations;
    ScratchRecord r;
    while (gather.read(r)) {
        slots.push_back(r.slot);
        if (r.slot >= 1 && r.slot <= 5) observations.push_back(r);
    }
    std::vector<int> expected{0, 99};
    for (int k = 2; k <= 4; ++k) {
        expected.push_back(0);
        for (int e = 0; e < 5; ++e) expected.push_back(k);
        expected.push_back(99);
    }
    expected.insert(expected.end(), {0, 99});
    EXPECT_EQ(slots, expected);
    ASSERT_EQ(observations.size(), 15u);
    for (std::size_t i = 0; i < observations.size(); ++i) {
        const ScratchRecord& o = observations[i];
        EXPECT_EQ(o.values[0], AdjustScenario::kT0 + 30.0 * static_cast<double>(i % 5));
        EXPECT_EQ(o.values[0], o.values[1]);
        EXPECT_EQ(o.values[6], (o.values[5] - o.values[4]) - (o.values[3] - o.values[2]));
        EXPECT_EQ(o.values[7], 1.0);  // the weight, without elevation weights
        for (int j = 8; j < 11; ++j) EXPECT_EQ(o.values[static_cast<std::size_t>(j)], 0.0);
    }
}

TEST(Formob, FileEndingBeforeTheSpanEndsTheLoop) {
    captureOutput();
    AdjustScenario s;
    FormobRun run(s, 4, {1, 2, 3, 4}, 600.0);
    GatherFile gather;
    double rms = 0.0;
    formob(testRun, s.orbit, s.pair, s.satCount, run.inputs, gather, rms);
    EXPECT_NE(listingText().find("\n eof = 2 2\nmax shift = "), std::string::npos) << listingText();
    EXPECT_NE(listingText().find(" m.   n =     12"), std::string::npos);
}

// The files are read ahead of the forming: a broken line after the epoch at which the orbit runs out (and the run
// stops) must neither stop the run nor write a line.
TEST(Formob, WhatTheReadingAheadMeetsWaitsForTheEpochsBeforeIt) {
    captureOutput();
    AdjustScenario s;
    s.cutOrbitAt(AdjustScenario::kT0 + 100.0);  // epoch 4 (kT0 + 120) is beyond the orbit
    FormobRun run(s, 10, {1, 2, 3, 4}, 9 * test::kEpochStep);
    std::string broken = test::rinexText(s, s.pair.p2L1, -75.0, 0.0, 10, {1, 2, 3, 4});
    const std::size_t at = broken.find("\n 06  8 26  1  3  0.0000000");  // epoch 6
    ASSERT_NE(at, std::string::npos);
    broken.replace(at + 1, 3, "XXX");
    run.obs2.open(run.dir.write("point2.rnx", broken));
    GatherFile gather;
    double rms = 0.0;
    EXPECT_STOP(formob(testRun, s.orbit, s.pair, s.satCount, run.inputs, gather, rms), 34553);
    EXPECT_NE(listingText().find(" oterp error in comdtr-- 3"), std::string::npos) << listingText();
    EXPECT_EQ(listingText().find("last valid data header"), std::string::npos) << listingText();
}

TEST(Formob, OnlyTheReferenceSeenStopsAndLeavesNoScatterFile) {
    captureOutput();
    AdjustScenario s;
    FormobRun run(s, 3, {1, 5}, 60.0);  // slot 5 is present but flies with the reference: still one equation each
    FormobRun lone(s, 3, {1}, 60.0);
    GatherFile gather;
    double rms = 0.0;
    EXPECT_STOP(formob(testRun, s.orbit, s.pair, s.satCount, lone.inputs, gather, rms), 87854);
    EXPECT_EQ(listingText(), " opened 5 scatter/gather files\n no observation equations -- fatal termination\n");
    EXPECT_EQ(consoleText(),
              "  begin scatter & formobs\n  begin gather\n no observation equations -- fatal termination\n");
    EXPECT_TRUE(std::filesystem::is_empty(lone.scratch.path()));

    // Equations whose coefficients are all zero cannot be solved.
    captureOutput();
    GatherFile gather2;
    EXPECT_STOP(formob(testRun, s.orbit, s.pair, s.satCount, run.inputs, gather2, rms), 87855);
    EXPECT_NE(listingText().find(" normal equations singular -- fatal termination\n"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(run.scratch.path()));
}

TEST(Formob, PhaseCentresWithoutGeodeticCoordinatesStop) {
    captureOutput();
    AdjustScenario s;
    FormobRun run(s, 3, {1, 2, 3, 4}, 60.0);
    GatherFile gather;
    double rms = 0.0;
    StationPair bad1 = s.pair;
    bad1.p1L1 = {0.0, 0.0, 0.0};
    EXPECT_STOP(formob(testRun, s.orbit, bad1, s.satCount, run.inputs, gather, rms), 25551);
    StationPair bad2 = s.pair;
    bad2.p2L1 = {0.0, 0.0, 0.0};
    EXPECT_STOP(formob(testRun, s.orbit, bad2, s.satCount, run.inputs, gather, rms), 25552);
    EXPECT_TRUE(std::filesystem::is_empty(run.scratch.path()));
}

}  // namespace
}  // namespace varno
