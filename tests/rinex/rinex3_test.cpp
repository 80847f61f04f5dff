#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "rinex/rinex.h"
#include "rinex_fixtures.h"
#include "test_support.h"
#include "test_run.h"

namespace varno {
namespace {

using test::headerLine;

// A RINEX 3 header: version line, marker, position, then `typeLines` (SYS / # / OBS TYPES contents).
std::string header3(const std::vector<std::string>& typeLines, const std::string& version = "3.04",
                    char type = 'O') {
    char first[64];
    std::snprintf(first, sizeof first, "%9s%11s%c%19s%s", version.c_str(), "", type, "", "M");
    std::string text = headerLine(first, "RINEX VERSION / TYPE");
    text += headerLine("SITE                LONG NAME", "MARKER NAME");
    text += headerLine("  3766123.3132 -4567433.4630 -2367323.8334", "APPROX POSITION XYZ");
    for (const std::string& l : typeLines) text += headerLine(l, "SYS / # / OBS TYPES");
    return text + headerLine("", "END OF HEADER");
}

std::string epoch3(double secondOfDay, int count, int flag = 0) {
    const int whole = static_cast<int>(secondOfDay);
    char buf[80];
    std::snprintf(buf, sizeof buf, "> 2006 01 01 %02d %02d%11.7f  %d%3d      %15.12f", whole / 3600, whole / 60 % 60,
                  secondOfDay - whole / 60 * 60, flag, count, 0.0);
    return std::string(buf) + "\n";
}

// A satellite line: id, then each value F14.3 with blank indicators, or 16 blanks for NaN.
std::string sat3(const std::string& id, const std::vector<double>& values) {
    return id + test::obsLine(values);
}

const std::vector<std::string> kTypes = {"G    5 C1C L1C C1W L2W C2W", "R    2 C1C L1C"};

class Rinex3Test : public ::testing::Test {
protected:
    void SetUp() override {
        captureOutput();
        testRun.jd0 = setjd0(2006, 1, 1);
        newprn(testSats);
    }
    void scan(const std::string& text) {
        file.open(dir.write("point2.rnx", text));
        oscan(file, testRun.jd0, testSats, summary);
    }
    std::vector<int> prns() const {
        std::vector<int> prns;
        for (const SatId& sat : testSats.satellites()) prns.push_back(sat.number);
        return prns;
    }
    std::string refusal(const std::string& text) {
        try {
            scan(text);
        } catch (const InputError& e) {
            return e.what();
        }
        return "accepted";
    }
    test::TempDir dir;
    TextFile file;
    ObsFileSummary summary;
};

TEST_F(Rinex3Test, GpsTypeListAcrossContinuationLinesGivesTheRoles) {
    const double nan = test::kBlankValue;
    scan(header3({"R    4 C1C L1C C1P C2P", "G   16 S1C C1C L1C D1C C2X L2X S2X C5X L5X S5X D2X D5X C1Y",
                  "       L2P C2P L2W"}) +
         epoch3(0, 1) + sat3("G05", {1, 2, 3}) + epoch3(30, 1) + sat3("G05", {nan}));
    EXPECT_EQ(summary.stationId, "SITE");
    EXPECT_EQ(summary.typeCount, 16);
    EXPECT_EQ(summary.typeIndex, (ObsTypeIndex{2, 3, 13, 16, 15}));  // C1Y as P1, L2W before L2P
    // Every system's list is kept.
    EXPECT_EQ(summary.typesOf(GnssSystem::glonass), (std::vector<std::string>{"C1C", "L1C", "C1P", "C2P"}));
    EXPECT_EQ(summary.typesOf(GnssSystem::gps).size(), 16u);
    EXPECT_EQ(summary.typesOf(GnssSystem::gps)[15], "L2W");
    EXPECT_TRUE(summary.typesOf(GnssSystem::galileo).empty());
    EXPECT_TRUE(summary.rinex3);
    EXPECT_FALSE(summary.twoLineRecords);
    EXPECT_DOUBLE_EQ(summary.x, 3766123.3132);
    EXPECT_EQ(listingText(), " station id -- SITE\n");
}

TEST_F(Rinex3Test, OtherVersionsAndFileTypesAreRefusedNamingTheLine) {
    const std::string data = epoch3(0, 1) + sat3("G05", {1}) + epoch3(30, 1) + sat3("G05", {1});
    EXPECT_NE(refusal(header3(kTypes, "5.00") + data).find("point2.rnx:1: expected a RINEX observation file of "
                                                           "version 2, 3 or 4 in columns 1-9, found version 5.00"),
              std::string::npos);
    EXPECT_NE(refusal(header3(kTypes, "3.04", 'N') + data).find(":1: expected observation data (O in column 21), "
                                                                "found a navigation file"),
              std::string::npos);
    EXPECT_NE(refusal(header3(kTypes, "3.05", 'M') + data).find("meteorological"), std::string::npos);
    EXPECT_NE(refusal(header3({"G   14 C1C L1C C1W L2W C2W S1C S2W C1C L1C C1W L2W C2W S1C"}) + data)
                  .find("point2.rnx:5: expected the rest of the SYS / # / OBS TYPES list of system G"),
              std::string::npos);
    EXPECT_EQ(refusal(header3(kTypes, "4.00") + data), "accepted");
}

TEST_F(Rinex3Test, ScanTakesGpsSatellitesOfValidEpochsAndPassesOverEvents) {
    const std::string text = header3(kTypes) + epoch3(0, 2, 4) + "COMMENT ONE\nCOMMENT TWO\n" +
                             headerLine("ONE LINE MORE THAN COUNTED", "COMMENT") + epoch3(0, 3) +
                             sat3("R07", {1, 2}) + sat3("G12", {1}) + sat3("G 5", {1}) + epoch3(30, 1) +
                             sat3("G31", {1}) + epoch3(45, 1, 6) + sat3("G09", {1}) + epoch3(60, 2) +
                             sat3("E03", {1}) + sat3("G12", {1}) + "\n";
    scan(text);
    EXPECT_EQ(prns(), (std::vector<int>{12, 5, 31}));
    EXPECT_DOUBLE_EQ(summary.firstEpoch, 0.0);
    EXPECT_DOUBLE_EQ(summary.lastEpoch, 60.0);
    EXPECT_DOUBLE_EQ(summary.interval, 30.0);
}

TEST_F(Rinex3Test, EpochReaderDeliversTheRolesWithTheFallbackPerValue) {
    const double nan = test::kBlankValue;
    // C1C L1C C1W L2W C2W; G07 has no C1W value, G12 a line cut after its first value, R05 is not GPS.
    scan(header3(kTypes) + epoch3(0, 4) + sat3("R05", {5, 5}) + sat3("G05", {21.5, 1.25, 20.5, 2.5, 22.5}) +
         sat3("G07", {23.5, 3.5, nan, 0.0005, 24.5}) + sat3("G12", {25.5}) + epoch3(30, 1) + sat3("G05", {1}));
    skipHeader(file);
    EpochRecord record;
    ASSERT_TRUE(oget(file, summary, testSats, 3, 0.0, record));
    using Obs = std::array<double, 4>;
    EXPECT_EQ(record.obs[1], (Obs{1.25, 20.5, 2.5, 22.5}));
    EXPECT_EQ(record.obs[2], (Obs{3.5, 23.5, kNoData, 24.5}));
    EXPECT_EQ(record.obs[3], (Obs{kNoData, 25.5, kNoData, kNoData}));
    EXPECT_FALSE(oget(file, summary, testSats, 3, 29.0, record));
    EXPECT_EQ(record.syncState, 1);
    EXPECT_TRUE(oget(file, summary, testSats, 3, 30.0, record));
    EXPECT_EQ(record.present[1] + record.present[2] + record.present[3], 1);
}

TEST_F(Rinex3Test, ScanStopsAsTheRinex2ScanDoes) {
    const std::string one = sat3("G05", {1});
    const std::string two = epoch3(0, 1) + one + epoch3(30, 1) + one;
    std::string cutEpoch = epoch3(60, 1);
    cutEpoch.replace(19, 2, "xx");
    std::string year1899 = epoch3(0, 1);
    year1899.replace(2, 4, "1899");
    struct Case {
        std::string text;
        bool fullTable;  // PRNs 33 to 64 already hold every slot
        int code;
    };
    const Case cases[] = {
        {header3({"G    0"}) + two, false, 34989},
        {header3(kTypes) + epoch3(0, 0) + two, false, 24307},
        {header3(kTypes) + two + epoch3(60, 0), false, 24308},
        {header3(kTypes) + epoch3(0, 1) + one, false, 24309},
        {header3(kTypes) + two, true, 32898},
        {header3(kTypes) + epoch3(0, 1) + sat3("G33", {1}) + epoch3(30, 2) + sat3("G64", {1}) + one, true, 32899},
        {header3(kTypes) + two + cutEpoch + one, false, 66663},
        {header3(kTypes) + year1899 + one + two, false, 34589},
    };
    for (const Case& c : cases) {
        newprn(testSats);
        int slot = 0;
        for (int prn = 33; c.fullTable && prn <= 64; ++prn) putprn(testSats, SatId::gps(prn), slot);
        EXPECT_STOP(scan(c.text), c.code);
    }
}

TEST_F(Rinex3Test, EpochReaderStops) {
    summary.rinex3 = true;
    summary.typeIndex = {0, 0, 1, 0, 0};
    summary.jd0 = testRun.jd0;
    TextFile none(dir.write("a.rnx", epoch3(0, 0) + epoch3(30, 1) + sat3("G05", {1})));
    EpochRecord record;
    EXPECT_STOP(oget(none, summary, testSats, 1, 0, record), 24303);
    TextFile zero(dir.write("b.rnx", epoch3(0, 1) + sat3("G00", {1})));
    record = EpochRecord{};
    EXPECT_STOP(oget(zero, summary, testSats, 1, 0, record), 32646);
    TextFile ended(dir.write("c.rnx", epoch3(0, 1) + sat3("G05", {1}) + epoch3(30, 1) + sat3("G05", {1})));
    record = EpochRecord{};
    EXPECT_TRUE(oget(ended, summary, testSats, 1, 0, record));
    EXPECT_TRUE(oget(ended, summary, testSats, 1, 30, record));
    EXPECT_FALSE(oget(ended, summary, testSats, 1, 60, record));
    EXPECT_STOP(oget(ended, summary, testSats, 1, 30, record), 34591);
}

TEST_F(Rinex3Test, EpochsExactlyPointThreeSecondsOffAreInStep) {
    summary.rinex3 = true;
    summary.typeIndex = {0, 0, 1, 0, 0};
    summary.jd0 = testRun.jd0;
    for (double epoch : {29.7, 30.3}) {
        TextFile file(dir.write("a.rnx", epoch3(epoch, 1) + sat3("G05", {1})));
        EpochRecord record;
        EXPECT_TRUE(oget(file, summary, testSats, 1, 30, record)) << epoch;
        EXPECT_EQ(record.syncState, 0) << epoch;
    }
}

TEST(Rinex3Corpus, RealFilesAreScanned) {
    const std::filesystem::path corpus = std::filesystem::path(varno::test::sharedDir()) / "corpus";
    if (!std::filesystem::exists(corpus)) GTEST_SKIP() << "corpus not present";
    for (const char* name : {"o3_sptu0150.16o", "o3_pixel6.23o"}) {
        captureOutput();
        testRun.jd0 = setjd0(2016, 1, 15);
        newprn(testSats);
        TextFile file((corpus / name).string());
        ObsFileSummary summary;
        EXPECT_NO_THROW(oscan(file, testRun.jd0, testSats, summary)) << name;
        EXPECT_GT(summary.lastEpoch, summary.firstEpoch) << name;
        EXPECT_GT(testSats.size(), 3) << name;
    }
}

}  // namespace
}  // namespace varno
