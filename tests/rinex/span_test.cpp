#include <gtest/gtest.h>

#include <cstdio>

#include "rinex/rinex.h"
#include "rinex_fixtures.h"
#include "test_support.h"
#include "test_run.h"

namespace varno {
namespace {

using test::dataEpochs;
using test::header;

// SP3 header lines 1 and 2 in their columns.
std::string orbitHeader(int year, int month, int day, int hour, int minute, double second, int epochs,
                        double delta) {
    char buf[200];
    std::snprintf(buf, sizeof buf, "#aP%4d%3d%3d%3d%3d%12.8f%8d ORBIT WGS84 BCT BRDC\n## 1316 517500.00000000%15.8f\n",
                  year, month, day, hour, minute, second, epochs, delta);
    return buf;
}

// The orbit of most cases: 1 January 2006 from 00:00:00, 900 s, 96 epochs (0 .. 85500).
const std::string kDayOrbit = orbitHeader(2006, 1, 1, 0, 0, 0.0, 96, 900.0);

// A receiver file at `step` s from `first` to `last` (seconds of 1 January 2006) with satellites `sats`.
std::string receiver(double first, double last, double step, const std::vector<std::string>& sats = {"G01", "G02"},
                     const std::string& marker = "PT01") {
    const int epochs = static_cast<int>((last - first) / step + 0.5) + 1;
    return header({"L1", "C1", "L2", "P2"}, marker) + dataEpochs(first, step, epochs, sats, 4);
}

class ReconTest : public ::testing::Test {
protected:
    void SetUp() override {
        captureOutput();
        testRun.jd0 = 0;
        newprn(testSats);
    }
    void run(const std::string& orbitText, const std::string& text1, const std::string& text2) {
        TextFile orbit(dir.write("orbit.sp3", orbitText));
        TextFile obs1(dir.write("point1.rnx", text1));
        TextFile obs2(dir.write("point2.rnx", text2));
        recon(orbit, obs1, obs2, testSats, plan, summary1, summary2, pair);
        Record line;
        ASSERT_TRUE(obs1.next(line, 80));
        EXPECT_TRUE(line.startsWith(61, "RINEX VERSION / TYPE")) << "point 1 file not rewound";
        ASSERT_TRUE(obs2.next(line, 80));
        EXPECT_TRUE(line.startsWith(61, "RINEX VERSION / TYPE")) << "point 2 file not rewound";
    }
    // The last line of the listing.
    static std::string lastLine() {
        std::string text = listingText();
        if (text.empty()) return "";
        text.pop_back();
        return text.substr(text.rfind('\n') + 1);
    }
    test::TempDir dir;
    SpanPlan plan;
    ObsFileSummary summary1, summary2;
    StationPair pair;
};

TEST_F(ReconTest, CommonSpanAndOrbitWindowOfAGoodRun) {
    pair.p1L1 = {1.0, 2.0, 3.0};
    run(kDayOrbit, receiver(3600, 7200, 30), receiver(3630, 9000, 30, {"G02", "G07"}, "PT02"));
    EXPECT_EQ(listingText(),
              " orbit ref sys/source -- WGS84 BCT BRDC\n"
              "orbit strt/stop,delt,neph       0.00  85500.00 900.00    96\n"
              " station id -- PT01\n"
              "file1  start/stop, intrvl   3600.00   7200.00     30.00\n"
              " station id -- PT02\n"
              "file2  start/stop, intrvl   3630.00   9000.00     30.00\n"
              "common start/stop, intrvl     3630.     7200.       30.\n"
              "lodorb start/stop      0.00  15300.00\n"
              " satellites and epochs 3 18\n");
    EXPECT_EQ((std::array<double, 7>{double(plan.satCount), double(plan.orbitEpochs), plan.orbitStart,
                                     plan.orbitStop, plan.dataStart, plan.dataEnd, plan.interval}),
              (std::array<double, 7>{3, 18, 0, 15300, 3630, 7200, 30}));
    EXPECT_EQ(plan.jd0, 53736);
    EXPECT_EQ(summary2.stationId, "PT02");
    EXPECT_EQ(pair.p1Marker, (std::array<double, 3>{-3978242.4348, 3382841.1715, 3649902.7667}));
    EXPECT_EQ(pair.p2Marker, pair.p1Marker);
    EXPECT_EQ(pair.p1L1, (std::array<double, 3>{}));
    // Point 2's new satellite follows those of point 1.
    EXPECT_EQ(invprn(testSats, 3).number, 7);
}

TEST_F(ReconTest, CommonIntervalIsTheLargerMeanRounded) {
    struct Case {
        double step1, step2, interval;
    };
    for (const Case& c : {Case{1.0, 30.0, 30.0}, Case{1.0, 2.4, 2.0}, Case{2.5, 2.5, 3.0}}) {
        newprn(testSats);
        run(kDayOrbit, receiver(3600, 3900, c.step1), receiver(3600, 3900, c.step2));
        EXPECT_EQ(plan.interval, c.interval) << c.step1 << " and " << c.step2;
    }
}

TEST_F(ReconTest, CommonStartMovesToTheNearestMultipleOfTheInterval) {
    run(kDayOrbit, receiver(3615.2, 7215.2, 30), receiver(3600, 7200, 30));
    EXPECT_EQ(plan.dataStart, 3630.0);  // NINT(120.5067) = 121
    newprn(testSats);
    run(kDayOrbit, receiver(3614.9, 7214.9, 30), receiver(3600, 7200, 30));
    EXPECT_EQ(plan.dataStart, 3600.0);
}

TEST_F(ReconTest, SpansThatDoNotOverlapAreRefused) {
    EXPECT_STOP(run(kDayOrbit, receiver(3600, 7200, 30), receiver(7200, 9000, 30)), 43587);
    EXPECT_EQ(lastLine(), " receiver data do not overlap -- fatal");
    EXPECT_NE(listingText().find("common start/stop, intrvl     7200.     7200.       30.\n"), std::string::npos);
    // Overlapping by 10 s, which the 30 s grid rounds away.
    captureOutput();
    newprn(testSats);
    EXPECT_STOP(run(kDayOrbit, receiver(3600, 3640, 1), receiver(3630, 9000, 30)), 43587);
    EXPECT_EQ(lastLine(), " receiver data do not overlap -- fatal");
}

TEST_F(ReconTest, OrbitMustCoverTheCommonSpanWithinPointTwoSeconds) {
    const std::string data = receiver(3600, 7200, 30);
    // Start side: the orbit begins 0.15 s after the common start (passes) or 0.25 s after it (refused).
    run(orbitHeader(2006, 1, 1, 1, 0, 0.15, 20, 900.0), data, data);
    EXPECT_EQ(plan.orbitStart, 3600.15);
    captureOutput();
    newprn(testSats);
    EXPECT_STOP(run(orbitHeader(2006, 1, 1, 1, 0, 0.25, 20, 900.0), data, data), 43588);
    EXPECT_EQ(listingText().substr(listingText().find(" orbit interval")),
              " orbit interval too short -- fatal\norbit start/stop      3600.    20700.\n");
    // Stop side: the orbit ends 0.15 s before the common stop (passes) or 0.25 s before it (refused).
    newprn(testSats);
    run(orbitHeader(2006, 1, 1, 0, 29, 59.85, 7, 900.0), data, data);
    EXPECT_EQ(plan.orbitStop, 7199.85);
    EXPECT_EQ(plan.orbitEpochs, 7);
    newprn(testSats);
    EXPECT_STOP(run(orbitHeader(2006, 1, 1, 0, 29, 59.75, 7, 900.0), data, data), 43588);
}

TEST_F(ReconTest, IntervalsBelowHalfASecondAreRefused) {
    EXPECT_STOP(run(kDayOrbit, receiver(3600, 3610, 0.4), receiver(3600, 3610, 0.4)), 43586);
    EXPECT_EQ(lastLine(), " data interval below 1 s -- fatal");
    EXPECT_EQ(listingText().find("common"), std::string::npos);
    newprn(testSats);
    run(kDayOrbit, receiver(3600, 3610, 0.4), receiver(3600, 3610, 1.0));
    EXPECT_EQ(plan.interval, 1.0);
}

TEST_F(ReconTest, UnusableOrbitHeader) {
    const std::string data = receiver(3600, 7200, 30);
    EXPECT_STOP(run(orbitHeader(1899, 12, 31, 0, 0, 0.0, 96, 900.0), data, data), 34587);
    EXPECT_THROW(run(orbitHeader(2006, 1, 1, 0, 0, 0.0, 96, 0.0), data, data), InputError);
    EXPECT_THROW(run(kDayOrbit.substr(0, kDayOrbit.find('\n') + 1), data, data), InputError);
}

TEST_F(ReconTest, RealReceiverPair) {
    const std::string base = varno::test::sharedDir() + "/data/gsi-3040-0759-3km/";
    if (!test::readFile(base + "orbit.sp3").size()) GTEST_SKIP() << "no data set at " << base;
    TextFile orbit(base + "orbit.sp3");
    TextFile obs1(base + "point1.rnx");
    TextFile obs2(base + "point2.rnx");
    recon(orbit, obs1, obs2, testSats, plan, summary1, summary2, pair);
    // Point 2's last epoch is tagged 00:59:30.005.
    EXPECT_EQ(listingText(),
              " orbit ref sys/source -- WGS84 BCT BRDC\n"
              "orbit strt/stop,delt,neph   85500.00  97200.00 900.00    14\n"
              " station id -- 3040\n"
              "file1  start/stop, intrvl  86400.00  89970.00     30.00\n"
              " station id -- 0759\n"
              "file2  start/stop, intrvl  86400.00  89970.01     30.00\n"
              "common start/stop, intrvl    86400.    89970.       30.\n"
              "lodorb start/stop  85500.00  97200.00\n"
              " satellites and epochs 12 14\n");
    std::vector<int> prns;
    for (const SatId& sat : testSats.satellites()) prns.push_back(sat.number);
    EXPECT_EQ(prns,
              (std::vector<int>{3, 7, 8, 11, 19, 20, 24, 27, 28, 1, 4, 23}));
    EXPECT_EQ(plan.orbitEpochs, 14);
}

}  // namespace
}  // namespace varno
