// Whole runs on simulated scenarios whose truth is known. The simulator computes its pseudoranges with its own
// orbit and signal model, so a mistake shared with the program's model cannot hide.
#include <gtest/gtest.h>

#include "e2e/run_support.h"

namespace varno::test {
namespace {

struct Outcome {
    RunResult run;
    std::string listing;
    std::array<double, 3> truth{};
    std::optional<std::array<double, 3>> marker;
    std::array<double, 3> error{};  // north, east, up of the adjusted marker minus the truth
};

std::array<double, 3> truthPoint(const std::string& truthText, const std::string& key) {
    for (const std::string& line : lines(truthText)) {
        if (line.rfind(key + " = ", 0) == 0) {
            std::istringstream in(line.substr(key.size() + 3));
            std::array<double, 3> p{};
            in >> p[0] >> p[1] >> p[2];
            return p;
        }
    }
    ADD_FAILURE() << "no " << key << " in truth";
    return {};
}

Outcome simulateAndRun(const TempDir& dir, const std::string& options) {
    RunResult sim = runIn(dir.path(), simPath() + " " + options + " .");
    EXPECT_EQ(sim.status, 0) << sim.err;
    Outcome o;
    o.run = runIn(dir.path(), varnoPath());
    o.listing = readFile(dir.file("varno.lst"));
    o.truth = truthPoint(readFile(dir.file("truth")), "point2");
    o.marker = adjustedMarker(o.listing);
    if (o.marker) o.error = neu(o.truth, *o.marker);
    return o;
}

void expectWithin(const Outcome& o, double tolerance) {
    ASSERT_EQ(o.run.status, 0) << o.run.out << o.run.err << o.listing;
    ASSERT_TRUE(o.marker.has_value()) << o.listing;
    std::cout << "[ figures  ] final minus truth N " << o.error[0] << " E " << o.error[1] << " U " << o.error[2]
              << " m\n";
    for (int i = 0; i < 3; ++i) EXPECT_LT(std::abs(o.error[i]), tolerance) << "component " << i << "\n" << o.listing;
}

// The "max shift" lines of the five solutions: n of each.
std::vector<int> solutionCounts(const std::string& listing) {
    std::vector<int> counts;
    for (const std::string& line : lines(listing)) {
        if (line.rfind("max shift = ", 0) == 0) counts.push_back(std::stoi(line.substr(38, 7)));
    }
    return counts;
}

TEST(Scenario, CleanTwoKilometreBaselineRecoversPoint2) {
    TempDir dir;
    Outcome o = simulateAndRun(dir, "");
    expectWithin(o, 0.10);
    EXPECT_EQ(solutionCounts(o.listing).size(), 5u);
    EXPECT_EQ(o.run.out,
              "  begin scatter & formobs\n  begin gather\n  iteration -- 1\n  iteration -- 2\n"
              "  iteration -- 3\n  iteration -- 4\n");
    EXPECT_TRUE(leftovers(dir.path()).empty());
}

TEST(Scenario, OutliersAreTrimmed) {
    TempDir dir;
    Outcome o = simulateAndRun(dir, "--outlier-rate=0.01 --outlier-size=40");
    expectWithin(o, 0.10);
    std::vector<int> counts = solutionCounts(o.listing);
    ASSERT_EQ(counts.size(), 5u);
    EXPECT_LT(counts[4], counts[0]);  // the trimmed solutions leave the outliers out
}

// Over 300 km the two receivers see the satellites under different angles, the common sky is smaller and the
// geometry of the double differences weaker; the simulation has no ionosphere and troposphere, so only the noise
// remains. At 0.5 m code noise (1 m double-difference noise), a vertical dilution of about 3 and some 240
// epochs, one standard deviation of the up component is about 0.1 m (north and east less): the budget is three
// of them, 0.3 m per component. At 1 cm noise the same baseline must come out at the millimetre level, which
// checks the travel time and earth rotation of the model where they matter most.
TEST(Scenario, ThreeHundredKilometreBaselineStaysWithinTheNoiseBudget) {
    TempDir dir;
    Outcome o = simulateAndRun(dir, "--baseline=300000");
    expectWithin(o, 0.3);
    TempDir quiet;
    Outcome exact = simulateAndRun(quiet, "--baseline=300000 --noise=0.01");
    expectWithin(exact, 0.01);
}

// With 0.5 m noise the two runs draw different noise, and the up component of a 2 h solution scatters by about
// 0.1 m (double-difference noise 1 m, vertical dilution about 2.5, some 240 epochs): a comparison at that noise
// could not tell a wrong epoch pairing from bad luck. The twins are therefore compared at 1 cm noise, where the
// answer is pinned to the millimetre and any mismatch of epochs or clocks shows.
constexpr const char* kQuiet = "--noise=0.01 ";

// Each variant must land on the clean twin's answer (simulated once) and on the truth.
TEST(Scenario, MixedRatesAndOffsetTimeTagsGiveTheCleanTwinsAnswer) {
    TempDir clean;
    Outcome twin = simulateAndRun(clean, kQuiet);
    ASSERT_TRUE(twin.marker.has_value());
    // Tags exactly 0.3 s off the grid are still within the tolerance (they once stopped the run with 36649).
    for (const char* variant : {"--interval1=1 --interval2=30", "--tag-offset1=-0.25 --tag-offset2=0.25",
                                "--tag-offset1=-0.3 --tag-offset2=0.3"}) {
        SCOPED_TRACE(variant);
        TempDir dir;
        Outcome o = simulateAndRun(dir, std::string(kQuiet) + variant);
        expectWithin(o, 0.01);
        ASSERT_TRUE(o.marker.has_value());
        EXPECT_LT(distance(*o.marker, *twin.marker), 0.01);
    }
}

TEST(Scenario, TimeTagsBeyondTheToleranceFormNoObservationAndLeaveNothingBehind) {
    TempDir dir;
    Outcome o = simulateAndRun(dir, "--tag-offset2=0.35");
    EXPECT_EQ(o.run.out, "  begin scatter & formobs\n  begin gather\n no observation equations -- fatal termination\n"
                         "STOP 87854\n");
    EXPECT_EQ(o.run.status, 87854 & 0xFF);
    EXPECT_EQ(lines(o.listing).back(), " no observation equations -- fatal termination");
    EXPECT_TRUE(leftovers(dir.path()).empty());
}

TEST(Scenario, MessyFilesStillGiveTheAnswer) {
    // Gaps, an event record with comment lines, power-failure epochs, C1 only against six types with two-line
    // records, blank P1 with C1 present, zero values, CRLF files.
    TempDir dir;
    Outcome o = simulateAndRun(dir,
                               "--gaps2=600-900 --events1=1200 --power-fail2=1800 --types1=C1 "
                               "--types2=L1,L2,C1,P1,P2,S1 --blank-p1=0.2 --zero-code2=0.05 --crlf=all");
    expectWithin(o, 0.12);
}

TEST(Scenario, SatellitesWithoutOrbitOrOfOtherSystemsArePassedOver) {
    // R05 shares its number with G05: taken as GPS it would mix two satellites' ranges into one.
    TempDir dir;
    Outcome o = simulateAndRun(dir, "--drop-sats1=22 --orbit-omit=17 --glonass=5");
    expectWithin(o, 0.10);
    EXPECT_NE(o.listing.find("lodorb reset number of sats ==>   9"), std::string::npos) << o.listing;
}

TEST(Scenario, ModernFilesGiveTheAnswer) {
    // Up to 24 entries an epoch (continuation lines) with GLONASS, Galileo and SBAS interleaved, eleven types with
    // P1 last (three record lines), nan values, trailing blank lines, and gaps of 8 % of point 1's epochs, which
    // must not lengthen its interval.
    TempDir dir;
    Outcome o = simulateAndRun(dir,
                               "--max-sats=24 --mask=0 --glonass=1,2,3,4,5 --galileo=11,12 --sbas=20 --interleave=1 "
                               "--types=C1,L1,L2,C2,C5,L5,P2,S1,S2,S5,P1 --nan-rate=0.01 --end-blanks=2 "
                               "--gaps1=600-900,3000-3300");
    expectWithin(o, 0.25);
    EXPECT_NE(o.listing.find("file1  start/stop, intrvl  36000.00  43200.00     30.00"), std::string::npos)
        << o.listing;
}

TEST(Scenario, Point2MissingFromPosStartsFromItsHeaderPosition) {
    TempDir dir;
    Outcome o = simulateAndRun(dir, "--pos-omit2=1 --approx-error2=3,-2,4");
    expectWithin(o, 0.10);
    EXPECT_NE(o.listing.find(" info    --PT02 -- id not found in pos file"), std::string::npos);
}

TEST(Scenario, RunningTwiceGivesIdenticalFiles) {
    TempDir dir;
    Outcome first = simulateAndRun(dir, "");
    ASSERT_EQ(first.run.status, 0);
    std::string residuals = readFile(dir.file("varno.res"));
    RunResult second = runIn(dir.path(), varnoPath());
    ASSERT_EQ(second.status, 0);
    EXPECT_EQ(readFile(dir.file("varno.lst")), first.listing);
    EXPECT_EQ(readFile(dir.file("varno.res")), residuals);
}

}  // namespace
}  // namespace varno::test
