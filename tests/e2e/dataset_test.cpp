// Whole runs on the real datasets, read in place. Each dataset's provenance note states the result a correct
// program gives (from its own model) and an independent carrier-phase truth; the run must land on the first
// within a few centimetres and on the second within the note's tolerance.
#include <gtest/gtest.h>

#include "e2e/run_support.h"

namespace varno::test {
namespace {

struct Dataset {
    const char* name;
    std::array<double, 3> expected;  // final point 2 stated for the program's model
    std::array<double, 3> truth;     // independent carrier-phase solution
    double truthTolerance;           // m, 3-D
};

const Dataset kDatasets[] = {
    {"gsi-3040-0759-3km", {-3976219.2047, 3382371.7554, 3652511.4216}, {-3976219.1868, 3382371.6037, 3652511.1406},
     0.5},
    {"upc1-upc2-38m-1hz", {4789031.3577, 176583.3635, 4195014.9185}, {4789031.3113, 176583.4024, 4195015.1108}, 0.5},
    {"garr-upc1-20km-mixedrate", {4789013.1046, 176610.0994, 4195034.9227}, {4789012.6239, 176610.1368, 4195034.4438},
     1.0},
    {"garr-mata-51km", {4776835.8627, 202619.1757, 4207574.9863}, {4776835.5947, 202618.9991, 4207574.6399}, 0.6},
    {"ebre-creu-288km", {4715420.0722, 273178.5595, 4271947.1810}, {4715420.2823, 273177.8821, 4271946.7643}, 1.0},
};

class DatasetRun : public ::testing::TestWithParam<Dataset> {};

TEST_P(DatasetRun, CompletesOnTheStatedResultAndNearTheTruth) {
    const Dataset& d = GetParam();
    if (!std::filesystem::exists(dataDir(d.name))) GTEST_SKIP() << "dataset not present: " << d.name;
    TempDir dir;
    copyRunFiles(dataDir(d.name), dir.path());
    RunResult r = runIn(dir.path(), varnoPath());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    std::string listing = readFile(dir.file("varno.lst"));
    std::vector<std::string> all = lines(listing);
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.front(), " Pseudorange Program -- L1 only -- 2006aug26");
    EXPECT_EQ(all.back(), " End of Processing");
    auto marker = adjustedMarker(listing);
    ASSERT_TRUE(marker.has_value()) << listing;
    EXPECT_LT(distance(*marker, d.expected), 0.05) << listing;
    EXPECT_LT(distance(*marker, d.truth), d.truthTolerance) << listing;
    EXPECT_TRUE(leftovers(dir.path()).empty());
    std::array<double, 3> offset = neu(d.truth, *marker);
    std::cout << "[ figures  ] " << d.name << ": final minus truth N " << offset[0] << " E " << offset[1] << " U "
              << offset[2] << " m, 3-D " << distance(*marker, d.truth) << " m\n";
}

// The same data with the navigation files the orbit was tabulated from (--nav): point 2 within 1 cm of the run with
// the orbit (3 cm at 288 km); the satellites lacking a record somewhere are those the orbit left out.
TEST_P(DatasetRun, NavigationFilesGiveTheResultOfTheirTabulatedOrbit) {
    const Dataset& d = GetParam();
    if (!std::filesystem::exists(dataDir(d.name))) GTEST_SKIP() << "dataset not present: " << d.name;
    std::string navs;
    for (const auto& entry : std::filesystem::directory_iterator(dataDir(d.name))) {
        const std::string ext = entry.path().extension().string();
        if (ext.size() == 4 && ext.back() == 'n') navs += " --nav " + entry.path().string();
    }
    ASSERT_FALSE(navs.empty());
    TempDir dir;
    copyRunFiles(dataDir(d.name), dir.path());
    ASSERT_EQ(runIn(dir.path(), varnoPath()).status, 0);
    const auto sp3 = adjustedMarker(readFile(dir.file("varno.lst")));
    RunResult r = runIn(dir.path(), varnoPath() + navs);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string listing = readFile(dir.file("varno.lst"));
    EXPECT_EQ(lines(listing)[1], " orbit -- broadcast ephemerides, files 2");
    const auto nav = adjustedMarker(listing);
    ASSERT_TRUE(sp3.has_value() && nav.has_value()) << listing;
    EXPECT_LT(distance(*sp3, *nav), std::string(d.name) == "ebre-creu-288km" ? 0.03 : 0.01) << listing;
    std::cout << "[ figures  ] " << d.name << ": --nav minus orbit " << distance(*sp3, *nav) * 1000 << " mm\n";
}

INSTANTIATE_TEST_SUITE_P(RealData, DatasetRun, ::testing::ValuesIn(kDatasets),
                         [](const ::testing::TestParamInfo<Dataset>& info) {
                             std::string name = info.param.name;
                             for (char& c : name) {
                                 if (c == '-') c = '_';
                             }
                             return name;
                         });

TEST(DatasetRerun, SecondRunInTheSameDirectoryGivesIdenticalFiles) {
    if (!std::filesystem::exists(dataDir("gsi-3040-0759-3km"))) GTEST_SKIP();
    TempDir dir;
    copyRunFiles(dataDir("gsi-3040-0759-3km"), dir.path());
    ASSERT_EQ(runIn(dir.path(), varnoPath()).status, 0);
    std::string listing = readFile(dir.file("varno.lst"));
    std::string residuals = readFile(dir.file("varno.res"));
    ASSERT_EQ(runIn(dir.path(), varnoPath()).status, 0);
    EXPECT_EQ(readFile(dir.file("varno.lst")), listing);
    EXPECT_EQ(readFile(dir.file("varno.res")), residuals);
    // One residual line of 27 columns per double difference.
    std::vector<std::string> res = lines(residuals);
    EXPECT_EQ(res.size(), 828u);
    for (const std::string& line : res) EXPECT_EQ(line.size(), 27u) << line;
}

// The set-up part of the listing, line by line: spans, orbit window, station lookups, the coordinate dump without
// an offset file (phase centres equal to markers, zero antenna records) and the baseline line.
TEST(DatasetListing, SetUpLinesFollowTheirLayoutsToTheColumn) {
    if (!std::filesystem::exists(dataDir("gsi-3040-0759-3km"))) GTEST_SKIP();
    TempDir dir;
    copyRunFiles(dataDir("gsi-3040-0759-3km"), dir.path());
    ASSERT_EQ(runIn(dir.path(), varnoPath()).status, 0);
    const std::vector<std::string> expected = {
        " Pseudorange Program -- L1 only -- 2006aug26",
        " orbit ref sys/source -- WGS84 BCT BRDC",
        "orbit strt/stop,delt,neph   85500.00  97200.00 900.00    14",
        " station id -- 3040",
        "file1  start/stop, intrvl  86400.00  89970.00     30.00",
        " station id -- 0759",
        "file2  start/stop, intrvl  86400.00  89970.01     30.00",
        "common start/stop, intrvl    86400.    89970.       30.",
        "lodorb start/stop  85500.00  97200.00",
        " satellites and epochs 12 14",
        " precise position found for 3040",
        " precise position found for 0759",
        " coordinate dump",
        " -3978241.9583  3382840.2342  3649900.8531",
        " -3978241.9583  3382840.2342  3649900.8531",
        " -3976219.5079  3382372.5669  3652512.9846",
        " -3976219.5079  3382372.5669  3652512.9846",
        "        0.0000        0.0000        0.0000        0.0000",
        "        0.0000        0.0000        0.0000        0.0000",
        "baseline =      3336.5026 m.    interval =   0.99 hr.",
        " no troposphere model used",
        " 2 entries in reference satellite table",
    };
    std::vector<std::string> listing = lines(readFile(dir.file("varno.lst")));
    ASSERT_GE(listing.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(listing[i], expected[i]) << "line " << i + 1;
}

// A receiver's own RINEX 3 observation and navigation files, without any precise orbit.
TEST(DatasetNavigation, ReceiversOwnFilesRunWithTheirNavigationFile) {
    const std::filesystem::path set = dataDir("sept-base-rover-1m-1hz");
    if (!std::filesystem::exists(set)) GTEST_SKIP();
    TempDir dir;
    RunResult r = runIn(dir.path(), varnoPath() + " --point1 " + (set / "base.obs").string() + " --point2 " +
                                        (set / "rover.obs").string() + " --pos " + (set / "pos").string() +
                                        " --nav " + (set / "base.nav").string());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::vector<std::string> all = lines(readFile(dir.file("varno.lst")));
    EXPECT_EQ(all.back(), " End of Processing");
    EXPECT_EQ(all[4], " ephemerides GLONASS -- records 19 satellites 10");
}

}  // namespace
}  // namespace varno::test
