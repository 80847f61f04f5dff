#include <cmath>
#include <functional>
#include <string>

#include "models/models.h"
#include "models/orbit_fixture.h"
#include "station/station.h"
#include "test_support.h"
#include "test_run.h"

namespace varno {
namespace {

using test::ModelState;

// Point 1 on the equator at longitude 0: up is +X and north is +Z, so a satellite at elevation e and distance R
// stands at point 1 + R·(sin e, 0, cos e).
constexpr double kA = 6378137.0;
constexpr double kDistance = 2.0e7;
constexpr double kGrid = 300.0;  // orbit tabulation interval of the samples-on-nodes tables

ModelState atElevation(double degrees) {
    const double e = degrees / GpsConstants::degreesPerRadian;
    return {kA + kDistance * std::sin(e), 0.0, kDistance * std::cos(e), 0.0};
}

// Elevation (degrees) of every slot at every time; the table is tabulated every 300 s from 0, so 300 s samples
// from 0 fall on its nodes and see these values exactly.
using ElevationPlan = std::function<double(int slot, double t)>;

class RefSat : public ::testing::Test {
protected:
    void SetUp() override {
        captureOutput();
        openrs(testRefs);
        pair.p1L1 = {kA, 0.0, 0.0};
        pair.p2L1 = {kA, 1000.0, 0.0};
    }
    void plan(const std::vector<int>& prns, int epochs, const ElevationPlan& elevation) {
        test::setPrns(prns);
        orbit = test::makeOrbit(static_cast<int>(prns.size()), 0.0, kGrid, epochs,
                                [&](int slot, double t) { return atElevation(elevation(slot, t)); });
    }
    int lookup(double t) {
        int slot = -1;
        EXPECT_TRUE(getrs(testRefs, slot, t)) << "t = " << t;
        return slot;
    }
    test::TestOrbit orbit;
    StationPair pair;
};

TEST_F(RefSat, MakrstExampleGivesTwoEntriesAndItsDump) {
    // Highest at the samples 0, 300, 600, 900: A, A, B, B.
    plan({7, 19}, 21, [](int slot, double t) {
        const bool early = t < 450.0;
        return slot == 1 ? (early ? 60.0 : 20.0) : (early ? 30.0 : 70.0);
    });
    makrst(testTables, testSats, 0.0, 1000.0, 30.0, pair, orbit, 2);
    EXPECT_EQ(listingText(),
              " 2 entries in reference satellite table\n"
              " dump ref. sat. table  nrs = 2\n"
              "   300.00     7\n"
              "  1000.00    19      700.00\n");
    EXPECT_EQ(lookup(-500.0), 1);
    EXPECT_EQ(lookup(300.2), 1);
    EXPECT_EQ(lookup(300.3), 2);
    EXPECT_EQ(lookup(1000.2), 2);
    int slot = -1;
    EXPECT_FALSE(getrs(testRefs, slot, 1000.3));
}

TEST_F(RefSat, MakrstReferenceReturningGivesThreeEntries) {
    // A, B, B, A, A: the last entry stretches from the last sample (1200) to the stop time.
    plan({3, 8}, 21, [](int slot, double t) {
        const bool middle = t > 150.0 && t < 750.0;
        return slot == 1 ? 45.0 : (middle ? 50.0 : 40.0);
    });
    makrst(testTables, testSats, 0.0, 1250.0, 30.0, pair, orbit, 2);
    const RefSatTable& table = testRefs;
    ASSERT_EQ(table.nrs, 3);
    EXPECT_EQ(table.refSlot[1], 1);
    EXPECT_EQ(table.refSlot[2], 2);
    EXPECT_EQ(table.refSlot[3], 1);
    EXPECT_EQ(table.endTime[1], 0.0);
    EXPECT_EQ(table.endTime[2], 600.0);
    EXPECT_EQ(table.endTime[3], 1250.0);
}

TEST_F(RefSat, MakrstOneSatelliteHighestCoversEveryTime) {
    plan({11, 4, 30}, 21, [](int slot, double t) { return slot == 2 ? 80.0 - t / 100.0 : 10.0 + slot; });
    makrst(testTables, testSats, 300.0, 3000.0, 1.0, pair, orbit, 3);
    int n = 0;
    sizers(testRefs, n);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(testRefs.endTime[1], 3000.0);
    EXPECT_EQ(lookup(-1.0e6), 2);
    EXPECT_EQ(lookup(1.0e9), 2);
}

TEST_F(RefSat, MakrstTieKeepsTheLowerSlot) {
    plan({21, 9, 13}, 21, [](int slot, double) { return slot == 1 ? 20.0 : 55.0; });
    makrst(testTables, testSats, 0.0, 900.0, 30.0, pair, orbit, 3);
    EXPECT_EQ(lookup(600.0), 2);
}

TEST_F(RefSat, MakrstStopsWhenNoSatelliteIsAboveTheHorizon) {
    // Exactly on the horizon is not above it.
    plan({21, 9}, 21, [](int slot, double t) { return slot == 1 ? 0.0 : (t < 500.0 ? 10.0 : -5.0); });
    EXPECT_STOP(makrst(testTables, testSats, 0.0, 900.0, 30.0, pair, orbit, 2), 32875);
    EXPECT_EQ(listingText(), "");
}

TEST_F(RefSat, MakrstPointOneWithoutGeodeticPositionStops) {
    plan({21, 9}, 21, [](int, double) { return 40.0; });
    pair.p1L1 = {10000.0, 0.0, 10000.0};  // the iteration does not converge there
    EXPECT_STOP(makrst(testTables, testSats, 0.0, 900.0, 30.0, pair, orbit, 2), 93278);
}

TEST_F(RefSat, MakrstOrbitFailureNamesErrorPrnAndTime) {
    test::setPrns({21, 9});
    orbit = test::makeOrbit(2, 0.0, kGrid, 21, [](int slot, double t) {  // slot 2 has no orbit
        return slot == 2 ? ModelState{} : atElevation(40.0 + 0.0 * t);
    });
    EXPECT_STOP(makrst(testTables, testSats, 600.0, 900.0, 30.0, pair, orbit, 2), 34958);
    EXPECT_EQ(listingText(), " oterp error in makrst-- 2 9 600\n");

    captureOutput();
    plan({21, 9}, 21, [](int, double) { return 40.0; });
    EXPECT_STOP(makrst(testTables, testSats, 5400.0, 6600.0, 30.0, pair, orbit, 2), 34958);  // the orbit ends at 6000
    EXPECT_EQ(listingText(), " oterp error in makrst-- 3 21 6300\n");
}

TEST_F(RefSat, MakrstSlotBeyondThePrnTableStops) {
    plan({21, 9}, 21, [](int, double) { return 40.0; });
    EXPECT_STOP(makrst(testTables, testSats, 0.0, 900.0, 30.0, pair, orbit, 3), 74358);
}

TEST_F(RefSat, MakrstOverflowNamesTheSample) {
    // The reference changes at every sample: the 101st sample needs a 101st entry.
    plan({21, 9}, 110, [](int slot, double t) {
        const bool even = static_cast<long>(t / kGrid) % 2 == 0;
        return (slot == 1) == even ? 50.0 : 30.0;
    });
    EXPECT_STOP(makrst(testTables, testSats, 0.0, 32000.0, 30.0, pair, orbit, 2), 87435);
    EXPECT_EQ(listingText(), " ref sat table overflow at 30000\n");
    EXPECT_EQ(testRefs.nrs, kMaxRefEntries);
}

TEST_F(RefSat, MakrstWithoutAnySampleStopsRatherThanFilingNoSatellite) {
    plan({21, 9}, 21, [](int, double) { return 40.0; });
    EXPECT_STOP(makrst(testTables, testSats, 900.2, 900.0, 30.0, pair, orbit, 2), 32875);
    EXPECT_EQ(testRefs.nrs, 0);
    EXPECT_STOP(makrst(testTables, testSats, 0.0, 900.0, 0.0, pair, orbit, 2), 32875);
    // A start within 0.1 s after the stop still gives one sample.
    makrst(testTables, testSats, 900.1, 900.0, 30.0, pair, orbit, 2);
    EXPECT_EQ(testRefs.nrs, 1);
    EXPECT_EQ(testRefs.endTime[1], 900.0);
}

TEST_F(RefSat, MakrstSamplingStepFollowsTheDataInterval) {
    struct Case {
        double interval;
        double step;
    };
    for (const Case c : {Case{1.0, 300.0}, Case{30.0, 300.0}, Case{120.0, 360.0}, Case{200.0, 400.0},
                         Case{600.0, 600.0}, Case{1000.0, 1000.0}}) {
        SCOPED_TRACE("interval " + std::to_string(c.interval));
        // Satellites moving linearly: A is the higher before 2.5 steps, B after, so A's entry ends at the
        // second step.
        const double crossing = 2.5 * c.step;
        test::setPrns({21, 9});
        orbit = test::makeOrbit(2, 0.0, kGrid, 21, [&](int slot, double t) {
            const double along = slot == 1 ? 1000.0 * t : 1000.0 * (2.0 * crossing - t);
            return ModelState{kA + kDistance, 0.0, along, 0.0};
        });
        captureOutput();
        makrst(testTables, testSats, 0.0, 4.0 * c.step, c.interval, pair, orbit, 2);
        const RefSatTable& table = testRefs;
        ASSERT_EQ(table.nrs, 2);
        EXPECT_EQ(table.endTime[1], 2.0 * c.step);
        EXPECT_EQ(table.endTime[2], 4.0 * c.step);
    }
}

TEST_F(RefSat, PutrsExtendsAddsAndRefusesWhenFull) {
    int n = -1;
    EXPECT_TRUE(putrs(testRefs, 3, 100.0, n));
    EXPECT_EQ(n, 1);
    EXPECT_TRUE(putrs(testRefs, 3, 400.0, n));
    EXPECT_EQ(n, 1);
    EXPECT_EQ(testRefs.endTime[1], 400.0);
    for (int i = 2; i <= kMaxRefEntries; ++i) EXPECT_TRUE(putrs(testRefs, i % 2 == 0 ? 1 : 3, 400.0 + i, n));
    EXPECT_EQ(n, kMaxRefEntries);
    EXPECT_FALSE(putrs(testRefs, 2, 900.0, n));
    EXPECT_EQ(n, kMaxRefEntries);
    EXPECT_EQ(testRefs.endTime[kMaxRefEntries], 400.0 + kMaxRefEntries);
    // The last satellite again still extends a full table.
    EXPECT_TRUE(putrs(testRefs, 1, 950.0, n));
    EXPECT_EQ(testRefs.endTime[kMaxRefEntries], 950.0);
    openrs(testRefs);
    sizers(testRefs, n);
    EXPECT_EQ(n, 0);
}

TEST_F(RefSat, GetrsOnEmptyTableStops) {
    int slot = 0;
    EXPECT_STOP(getrs(testRefs, slot, 0.0), 13598);
}

TEST_F(RefSat, GetrsCursorNearAnEntryEnd) {
    int n = 0;
    putrs(testRefs, 1, 300.0, n);
    putrs(testRefs, 2, 600.0, n);
    putrs(testRefs, 3, 1000.0, n);
    // Cursor on entry 2: from the previous end (included) onwards the lookup stays on entry 2.
    EXPECT_EQ(lookup(500.0), 2);
    EXPECT_EQ(lookup(300.0), 2);
    EXPECT_EQ(lookup(300.2), 2);
    // Cursor on entry 1: the same times up to 0.2 s after its end belong to entry 1.
    EXPECT_EQ(lookup(100.0), 1);
    EXPECT_EQ(lookup(300.2), 1);
    EXPECT_EQ(lookup(300.0), 1);
    EXPECT_EQ(lookup(300.3), 2);
    EXPECT_EQ(testRefs.cursor, 2);
}

TEST_F(RefSat, GetrsBehindCursorRestartsAndBeyondEndFails) {
    int n = 0;
    putrs(testRefs, 1, 300.0, n);
    putrs(testRefs, 2, 600.0, n);
    putrs(testRefs, 3, 1000.0, n);
    EXPECT_EQ(lookup(900.0), 3);
    EXPECT_EQ(lookup(599.9), 2);  // before entry 2's end: restart from entry 1
    EXPECT_EQ(lookup(1000.2), 3);
    int slot = -1;
    EXPECT_FALSE(getrs(testRefs, slot, 1000.3));
    EXPECT_EQ(slot, -1);
    EXPECT_EQ(testRefs.cursor, 3);
    EXPECT_EQ(lookup(50.0), 1);
}

TEST_F(RefSat, DumprsFormatsEntriesAndStopsOnUnknownSlot) {
    test::setPrns({5, 31});
    int n = 0;
    putrs(testRefs, 2, 86399.5, n);
    putrs(testRefs, 1, 123456.78, n);
    putrs(testRefs, 2, 1234567.0, n);
    dumprs(testTables, testSats);
    EXPECT_EQ(listingText(),
              " dump ref. sat. table  nrs = 3\n"
              " 86399.50    31\n"
              "123456.78     5    37057.28\n"
              "*********    31  1111110.22\n");
    putrs(testRefs, 3, 1234600.0, n);
    EXPECT_STOP(dumprs(testTables, testSats), 74358);
}

}  // namespace
}  // namespace varno
