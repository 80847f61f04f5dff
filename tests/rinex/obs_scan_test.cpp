#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iostream>

#include "rinex/rinex.h"
#include "rinex_fixtures.h"
#include "test_support.h"
#include "test_run.h"

namespace varno {
namespace {

using test::dataEpochs;
using test::epochAt;
using test::epochLine;
using test::header;
using test::headerLine;
using test::obsLine;

class ScanTest : public ::testing::Test {
protected:
    void SetUp() override {
        captureOutput();
        testRun.jd0 = setjd0(2006, 1, 1);
        newprn(testSats);
    }
    // Scans `text` written as a file.
    void scan(const std::string& text) {
        TextFile file(dir.write("point1.rnx", text));
        oscan(file, testRun.jd0, testSats, summary);
    }
    std::vector<int> prns() const {
        std::vector<int> prns;
        for (const SatId& sat : testSats.satellites()) prns.push_back(sat.number);
        return prns;
    }
    test::TempDir dir;
    ObsFileSummary summary;
};

TEST(Alook, FirstExactMatchAmongTheFirstNEntries) {
    const std::array<std::string, 9> list{"L1", "C1", "l2", "C1", "P2"};
    EXPECT_EQ(alook("C1", list, 5), 2);
    EXPECT_EQ(alook("L2", list, 5), 0);  // case counts
    EXPECT_EQ(alook("P2", list, 4), 0);  // beyond n
    EXPECT_EQ(alook("L1", list, 0), 0);
    EXPECT_EQ(alook("L1", list, -3), 0);
}

TEST_F(ScanTest, TypeIndexAndRecordLinesFollowTheDeclaredTypes) {
    struct Case {
        std::vector<std::string> types;
        ObsTypeIndex index;
    };
    const std::vector<Case> cases = {
        {{"L1", "C1", "L2", "P2"}, {0, 1, 2, 3, 4}},
        {{"L1", "L2", "P1", "C1", "P2"}, {4, 1, 3, 2, 5}},
        {{"C1", "L1"}, {0, 2, 1, 0, 0}},
        {{"L1", "L2", "C1", "P1", "P2", "S1"}, {3, 1, 4, 2, 5}},
    };
    for (const Case& c : cases) {
        summary = ObsFileSummary{};
        const int n = static_cast<int>(c.types.size());
        scan(header(c.types) + dataEpochs(0, 30, 3, {"G01", "G02"}, n));
        EXPECT_EQ(summary.typeIndex, c.index) << c.types[0] << " ... (" << n << " types)";
        EXPECT_EQ(summary.typeCount, n);
        EXPECT_EQ(summary.twoLineRecords, n > 5);
        EXPECT_DOUBLE_EQ(summary.lastEpoch, 60.0);  // records skipped by the right number of lines
    }
}

TEST_F(ScanTest, HeaderValuesAndStationLine) {
    scan(header({"L1", "C1"}, "3040") + dataEpochs(0, 30, 2, {"G01"}, 2));
    EXPECT_EQ(summary.stationId, "3040");
    EXPECT_DOUBLE_EQ(summary.x, -3978242.4348);
    EXPECT_DOUBLE_EQ(summary.y, 3382841.1715);
    EXPECT_DOUBLE_EQ(summary.z, 3649902.7667);
    EXPECT_EQ(listingText(), " station id -- 3040\n");
}

TEST_F(ScanTest, TypeCountOutsideOneToNine) {
    EXPECT_STOP(scan(headerLine("     0", "# / TYPES OF OBSERV") + headerLine("", "END OF HEADER")), 34989);
    std::string ten = "    10";
    for (int k = 0; k < 9; ++k) ten += "    L1";
    EXPECT_THROW(scan(headerLine(ten, "# / TYPES OF OBSERV") + headerLine("", "END OF HEADER")), InputError);
    // No END OF HEADER: the file ends inside the header.
    EXPECT_THROW(scan(headerLine("     1    C1", "# / TYPES OF OBSERV")), InputError);
}

TEST_F(ScanTest, FileOfAnotherKindSaysWhatItIs) {
    const std::string name = dir.file("point1.rnx");
    try {
        scan("#cP2010  7  1  0  0  0.00000000      96 ORBIT IGS05 HLM  IGS\n");
        ADD_FAILURE() << "an orbit file was scanned";
    } catch (const InputError& error) {
        EXPECT_EQ(std::string(error.what()), name + ":1: this is an SP3 orbit file, not an observation file");
    }
}

TEST_F(ScanTest, TwoDigitYears) {
    struct Case {
        int field, year;
    };
    for (const Case& c : {Case{79, 2079}, Case{80, 1980}, Case{6, 2006}}) {
        testRun.jd0 = setjd0(c.year, 3, 1);
        std::string text = header({"C1"});
        text += epochLine(c.field, 3, 1, 0, 0, 0.0, 0, {"G01"}) + obsLine({1.0});
        text += epochLine(c.field, 3, 2, 0, 0, 30.0, 0, {"G01"}) + obsLine({1.0});
        scan(text);
        EXPECT_DOUBLE_EQ(summary.firstEpoch, 0.0) << c.field;
        EXPECT_DOUBLE_EQ(summary.lastEpoch, 86430.0) << c.field;
    }
}

TEST_F(ScanTest, EventRecordsAreSkippedLineByLineAndNotCounted) {
    const std::vector<std::string> six = {"L1", "L2", "C1", "P1", "P2", "S1"};
    std::string text = header(six);
    text += epochLine(0, 0, 0, 0, 0, 0.0, 2, {}, 0);  // kinematic start, no records
    text += epochLine(6, 1, 1, 0, 0, 0.0, 3, {}, 1) + headerLine("NEW SITE", "MARKER NAME");
    text += dataEpochs(30, 30, 1, {"G01"}, 6);
    // Three comment lines, one line each although records span two lines here.
    text += epochLine(0, 0, 0, 0, 0, 0.0, 4, {}, 3);
    for (int k = 0; k < 3; ++k) text += headerLine("COMMENT LINE", "COMMENT");
    text += epochAt(60, {"G01"}, 1) + obsLine({1, 2, 3, 4, 5}) + obsLine({6});  // power failure: an epoch
    text += dataEpochs(90, 30, 1, {"G01"}, 6);
    scan(text);
    EXPECT_DOUBLE_EQ(summary.firstEpoch, 30.0);
    EXPECT_DOUBLE_EQ(summary.lastEpoch, 90.0);
    EXPECT_DOUBLE_EQ(summary.interval, 30.0);
    EXPECT_EQ(summary.stationId, "PT01");  // a special record is not header
}

TEST_F(ScanTest, MedianIntervalIsRoundedToFiveSecondsAboveFivePointOne) {
    struct Case {
        std::vector<double> times;
        double mean;
    };
    std::vector<double> gap;  // one hour at 30 s with the epoch at 1800 missing: 3600 / 119
    for (int e = 0; e <= 120; ++e) {
        if (e != 60) gap.push_back(30.0 * e);
    }
    std::vector<double> second;
    for (int e = 0; e <= 60; ++e) second.push_back(e);
    const std::vector<Case> cases = {
        {gap, 30.0},
        {second, 1.0},
        {{0.0, 5.1}, 5.1},          // not above 5.1: unrounded
        {{0.0, 2.4, 4.8}, 2.4},
        {{0.0, 7.4}, 5.0},
        {{0.0, 12.5}, 15.0},        // half away from zero
        {{0.0, 10.0, 30.0}, 10.0},  // spacings 10 and 20: the lower middle
        {{0.0, 30.0, 60.0, 150.0}, 30.0},  // a gap does not lengthen it
    };
    for (const Case& c : cases) {
        newprn(testSats);
        std::string text = header({"C1"});
        for (double t : c.times) text += epochAt(t, {"G01"}) + obsLine({1.0});
        scan(text);
        EXPECT_DOUBLE_EQ(summary.firstEpoch, c.times.front());
        EXPECT_DOUBLE_EQ(summary.lastEpoch, c.times.back());
        EXPECT_DOUBLE_EQ(summary.interval, c.mean) << c.times.size() << " epochs";
    }
}

TEST_F(ScanTest, PrnTableGainsGpsSatellitesInOrderOfFirstAppearance) {
    int slot = 0;
    putprn(testSats, SatId::gps(9), slot);  // seen in the other file already
    std::string text = header({"C1"});
    text += epochAt(0, {"G05", "R07", " 12", "G00", "G09"}) + std::string(5, '\n');
    text += epochAt(30, {"E11", "G03", "G05", "S20"}) + std::string(4, '\n');
    scan(text);
    EXPECT_EQ(prns(), (std::vector<int>{9, 5, 12, 3}));
}

TEST_F(ScanTest, SatelliteCountBelowOneStops) {
    EXPECT_STOP(scan(header({"C1"}) + epochAt(0, {})), 24307);
    EXPECT_STOP(scan(header({"C1"}) + dataEpochs(0, 30, 2, {"G01"}, 1) + epochAt(60, {})), 24308);
    // Thirteen satellites announced, the continuation line missing.
    EXPECT_THROW(scan(header({"C1"}) + epochAt(0, std::vector<std::string>(12, "G01"), 0, 13)), InputError);
}

TEST_F(ScanTest, FullPrnTableStops) {
    int slot = 0;
    for (int prn = 33; prn <= 64; ++prn) putprn(testSats, SatId::gps(prn), slot);
    EXPECT_STOP(scan(header({"C1"}) + dataEpochs(0, 30, 2, {"G01"}, 1)), 32898);
    EXPECT_EQ(listingText(), " station id -- PT01\n prn table overflow\n");
    captureOutput();
    // Satellites already held never overflow it.
    std::string text = header({"C1"}) + epochAt(0, {"G33"}) + "\n" + epochAt(30, {"G64", "G02"}) + "\n\n";
    EXPECT_STOP(scan(text), 32899);
    EXPECT_EQ(listingText(), " station id -- PT01\n prn table overflow\n");
}

TEST_F(ScanTest, ReadErrorAfterTheFirstEpochShowsTheLastValidEpoch) {
    std::string text = header({"C1"}) + dataEpochs(0, 30, 2, {"G01"}, 1);
    text += epochLine(0, 0, 0, 0, 0, 0.0, 4, {}, 1) + "COMMENT\n";
    text += " 06  1  1  0  1 xx.0000000  0  1G01\n" + obsLine({1.0});
    testing::internal::CaptureStderr();
    EXPECT_STOP(scan(text), 66663);
    const std::string fault = testing::internal::GetCapturedStderr();
    EXPECT_NE(fault.find("point1.rnx:13: expected a number second in columns 16-26"), std::string::npos) << fault;
    EXPECT_EQ(consoleText(), " read error encountered -- see .lst\n");
    EXPECT_EQ(listingText(), " station id -- PT01\n last valid data header was:\n  6  1  1  0  0   30.000 was OK\n");

    // A header line standing in the data without an event record before it is named as such.
    captureOutput();
    testing::internal::CaptureStderr();
    EXPECT_STOP(scan(header({"C1"}) + dataEpochs(0, 30, 2, {"G01"}, 1) + "A REMARK" + std::string(52, ' ') + "COMMENT\n"),
                66663);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("need an event record"), std::string::npos) << said;
}

TEST_F(ScanTest, FewerThanTwoEpochs) {
    EXPECT_STOP(scan(header({"C1"}) + dataEpochs(0, 30, 1, {"G01"}, 1)), 24309);
    EXPECT_EQ(listingText(), " station id -- PT01\n fewer than two epochs in observation file -- fatal\n");
    // No valid epoch at all: the search for the first one meets the end of the file.
    EXPECT_THROW(scan(header({"C1"}) + epochLine(0, 0, 0, 0, 0, 0.0, 4, {}, 1) + "COMMENT\n"), InputError);
}

TEST_F(ScanTest, FileEndingInsideARecordIsAnInputError) {
    EXPECT_THROW(scan(header({"C1"}) + dataEpochs(0, 30, 2, {"G01"}, 1) + epochAt(60, {"G01", "G02"}) + "\n"),
                 InputError);
}

// Eleven types on two type lines (P1 eleventh), records of three lines, fifteen satellites of four systems.
const std::vector<std::string> kElevenTypes = {"L1", "L2", "C1", "C2", "C5", "L5", "P2", "S1", "S2", "S5", "P1"};
const std::vector<std::string> kFifteen = {"G01", "R01", "G02", "E11", "G03", "G04", "S20", "G05",
                                           "G06", "G07", "G08", "R02", "G09", "E12", "G10"};

TEST_F(ScanTest, ContinuationLinesOfTypesAndSatellites) {
    scan(header(kElevenTypes) + dataEpochs(0, 30, 3, kFifteen, 11));
    EXPECT_EQ(summary.typeCount, 11);
    EXPECT_EQ(summary.typeIndex, (ObsTypeIndex{3, 1, 11, 2, 7}));
    EXPECT_DOUBLE_EQ(summary.lastEpoch, 60.0);
    EXPECT_DOUBLE_EQ(summary.interval, 30.0);
    EXPECT_EQ(prns(), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    // Types announced but not all listed before END OF HEADER.
    std::string shortList = test::headerLine("    11    L1    L2    C1    C2    C5    L5    P2    S1    S2",
                                             "# / TYPES OF OBSERV");
    EXPECT_THROW(scan(shortList + test::headerLine("", "END OF HEADER") + dataEpochs(0, 30, 2, {"G01"}, 11)),
                 InputError);
}

TEST_F(ScanTest, BlankLinesAtTheEndEndTheData) {
    scan(header({"C1"}) + dataEpochs(0, 30, 3, {"G01"}, 1) + "\n   \n\n");
    EXPECT_DOUBLE_EQ(summary.lastEpoch, 60.0);
    // Followed by an epoch, a blank line is still an epoch without satellites.
    EXPECT_STOP(scan(header({"C1"}) + dataEpochs(0, 30, 2, {"G01"}, 1) + "\n" + dataEpochs(60, 30, 1, {"G01"}, 1)),
                24308);
}

TEST_F(ScanTest, EventRecordLongerThanItsCountAndCycleSlipRecords) {
    const std::vector<std::string> six = {"L1", "L2", "C1", "P1", "P2", "S1"};
    std::string text = header(six) + dataEpochs(0, 30, 1, {"G01"}, 6);
    // A new-site record announcing one line and holding three.
    text += epochLine(0, 0, 0, 0, 0, 0.0, 3, {}, 1) + headerLine("NEW SITE", "MARKER NAME");
    text += headerLine("NEW SITE", "MARKER NUMBER") + headerLine("MOVED", "COMMENT");
    text += dataEpochs(30, 30, 1, {"G01"}, 6);
    // Cycle-slip records of thirteen satellites at 45 s: not an epoch.
    const std::vector<std::string> thirteen(13, "G07");
    text += epochAt(45, thirteen, 6);
    for (int k = 0; k < 13; ++k) text += obsLine({1, 1, 1, 1, 1}) + obsLine({1});
    text += dataEpochs(60, 30, 2, {"G01"}, 6);
    scan(text);
    EXPECT_DOUBLE_EQ(summary.lastEpoch, 90.0);
    EXPECT_DOUBLE_EQ(summary.interval, 30.0);
    EXPECT_EQ(prns(), (std::vector<int>{1}));
}

TEST_F(ScanTest, FileEndingInsideItsLastRecordAfterTheFirstLine) {
    std::string text = header(kElevenTypes) + dataEpochs(0, 30, 2, {"G01", "G02"}, 11);
    text.resize(text.size() - obsLine({1.0}).size());  // the last record's third line
    scan(text);
    EXPECT_DOUBLE_EQ(summary.lastEpoch, 30.0);
}

// Every observation file of the corpus scans normally, stops, or is refused as input; never anything else.
TEST_F(ScanTest, CorpusFilesEndCleanly) {
    const std::filesystem::path corpus = std::filesystem::path(varno::test::sharedDir()) / "corpus";
    if (!std::filesystem::exists(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("o2", 0) == 0 || name.rfind("o3", 0) == 0) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    EXPECT_GE(files.size(), 30u);
    for (const auto& path : files) {
        newprn(testSats);
        summary = ObsFileSummary{};
        std::string outcome;
        try {
            TextFile file(path.string());
            oscan(file, testRun.jd0, testSats, summary);
            outcome = "scanned: " + std::to_string(summary.firstEpoch) + " .. " + std::to_string(summary.lastEpoch) +
                      ", interval " + std::to_string(summary.interval) + ", " +
                      std::to_string(testSats.size()) + " satellites";
            EXPECT_LE(summary.firstEpoch, summary.lastEpoch) << path;
        } catch (const StopRequest& stop) {
            outcome = "stop " + std::to_string(stop.code);
            // A single epoch, and an epoch line that does not convert after the first (a stray comment line).
            EXPECT_TRUE(stop.code == 24309 || stop.code == 66663) << path << ": " << outcome;
        } catch (const InputError& error) {
            outcome = std::string("input error: ") + error.what();
            // One message naming the file and the line.
            const std::string prefix = path.string() + ":";
            const std::string message = error.what();
            EXPECT_EQ(message.rfind(prefix, 0), 0u) << message;
            const unsigned char after = message.size() > prefix.size() ? message[prefix.size()] : ' ';
            EXPECT_TRUE(std::isdigit(after)) << message;
        }
        std::cout << "[corpus] " << path.filename().string() << ": " << outcome << "\n";
    }
}

TEST_F(ScanTest, VersionsBeyondFourAreRefusedAtTheirFirstLine) {
    const std::string line = "     5.00           OBSERVATION DATA    M                   RINEX VERSION / TYPE\n";
    try {
        scan(line + header({"C1"}));
        FAIL() << "no error";
    } catch (const InputError& error) {
        EXPECT_NE(std::string(error.what())
                      .find(":1: expected a RINEX observation file of version 2, 3 or 4 in columns 1-9, found version 5.00"),
                  std::string::npos)
            << error.what();
    }
    const std::string older = "     2.11           OBSERVATION DATA    G (GPS)             RINEX VERSION / TYPE\n";
    EXPECT_STOP(scan(older + header({"C1"}) + dataEpochs(0, 30, 1, {"G01"}, 1)), 24309);
}

}  // namespace
}  // namespace varno
