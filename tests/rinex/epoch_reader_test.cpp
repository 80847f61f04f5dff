#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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
using test::header;
using test::kBlankValue;
using test::obsLine;

// A receiver file opened, scanned and positioned at its first epoch line, as the adjustment reads it.
struct Receiver {
    Receiver(const test::TempDir& dir, const std::string& name, const std::string& text)
        : file(dir.write(name, text)) {
        oscan(file, testRun.jd0, testSats, summary);
        skipHeader(file);
    }
    bool get(double t) { return oget(file, summary, testSats, testSats.size(), t, record); }
    TextFile file;
    ObsFileSummary summary;
    EpochRecord record;
};

class ReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        captureOutput();
        testRun.jd0 = setjd0(2006, 1, 1);
        newprn(testSats);
    }
    test::TempDir dir;
};

int slotOf(int prn) {
    int slot = 0;
    EXPECT_TRUE(getprn(testSats, SatId::gps(prn), slot)) << "PRN " << prn;
    return slot;
}

TEST_F(ReaderTest, SkipHeaderLeavesTheFirstEpochLineNext) {
    TextFile file(dir.write("a.rnx", header({"C1"}) + dataEpochs(0, 30, 2, {"G01"}, 1)));
    Record line;
    file.next(line, 80);
    skipHeader(file);  // rewinds first
    ASSERT_TRUE(file.next(line, 80));
    EXPECT_EQ(line.text().substr(0, 26), "  6  1  1  0  0  0.0000000");
    TextFile headerOnly(dir.write("b.rnx", test::headerLine("", "COMMENT")));
    EXPECT_THROW(skipHeader(headerOnly), InputError);
}

TEST_F(ReaderTest, OneSecondAndThirtySecondReceiversStayInStep) {
    Receiver fast(dir, "point1.rnx", header({"C1"}) + dataEpochs(0, 1, 121, {"G01"}, 1));
    Receiver slow(dir, "point2.rnx", header({"C1"}) + dataEpochs(0, 30, 5, {"G01"}, 1));
    for (double t = 0; t <= 120; t += 30) {
        EXPECT_TRUE(fast.get(t)) << t;
        EXPECT_TRUE(slow.get(t)) << t;
        EXPECT_EQ(fast.record.epochTime, t);
        EXPECT_EQ(slow.record.epochTime, t);
        EXPECT_EQ(fast.record.syncState, 0);
        EXPECT_EQ(fast.record.present[1], 1);
    }
    // Past the last epoch both files end.
    EXPECT_FALSE(fast.get(150));
    EXPECT_FALSE(slow.get(150));
    EXPECT_EQ(fast.record.syncState, 2);
    EXPECT_EQ(slow.record.syncState, 2);
}

TEST_F(ReaderTest, ALaterEpochIsHeldUntilItsRequestComes) {
    // Epochs 0, 30.5, 90, 120: 30.5 is too late for 30 and passed over by 60; 90 is held through 60.
    std::string text = header({"C1"});
    for (double t : {0.0, 30.5, 90.0, 120.0}) text += epochAt(t, {"G01"}) + obsLine({20000000.0 + t});
    Receiver r(dir, "point1.rnx", text);
    const int slot = slotOf(1);
    EXPECT_TRUE(r.get(0));
    EXPECT_FALSE(r.get(30));
    EXPECT_EQ(r.record.syncState, 1);
    EXPECT_EQ(r.record.epochTime, 30.5);
    EXPECT_FALSE(r.get(60));  // reads on past 30.5, holds 90
    EXPECT_EQ(r.record.syncState, 1);
    EXPECT_EQ(r.record.epochTime, 90.0);
    const long line = r.file.lineNumber();
    EXPECT_FALSE(r.get(60.1));  // still ahead: nothing is read
    EXPECT_EQ(r.file.lineNumber(), line);
    EXPECT_TRUE(r.get(90));  // delivered without reading
    EXPECT_EQ(r.file.lineNumber(), line);
    EXPECT_EQ(r.record.syncState, 0);
    EXPECT_EQ(r.record.obs[static_cast<size_t>(slot)][1], 20000090.0);
    EXPECT_TRUE(r.get(120));
    EXPECT_EQ(r.record.obs[static_cast<size_t>(slot)][1], 20000120.0);
}

TEST_F(ReaderTest, EpochsWithinPointThreeSecondsMatch) {
    struct Case {
        double epoch;
        bool match;
    };
    for (const Case& c : {Case{30.25, true}, Case{29.75, true}, Case{30.35, false}, Case{29.65, false},
                        Case{30.3, true}, Case{29.7, true}}) {
        newprn(testSats);
        std::string text = header({"C1"}) + epochAt(0, {"G01"}) + obsLine({1.0});
        text += epochAt(c.epoch, {"G01"}) + obsLine({2.0}) + epochAt(60, {"G01"}) + obsLine({3.0});
        Receiver r(dir, "point1.rnx", text);
        EXPECT_TRUE(r.get(0));
        EXPECT_EQ(r.get(30), c.match) << c.epoch;
        // An early epoch is passed over and the next one held; a late one is held itself.
        EXPECT_EQ(r.record.epochTime, c.match ? c.epoch : (c.epoch < 30 ? 60.0 : c.epoch)) << c.epoch;
    }
}

TEST_F(ReaderTest, RequestAtTheEndedFilesLastEpochStops) {
    Receiver r(dir, "point1.rnx", header({"C1"}) + dataEpochs(0, 30, 2, {"G01"}, 1));
    EXPECT_TRUE(r.get(0));
    EXPECT_TRUE(r.get(30));
    EXPECT_FALSE(r.get(60));
    EXPECT_EQ(r.record.syncState, 2);
    EXPECT_STOP(r.get(30), 34591);
}

TEST_F(ReaderTest, PseudorangeFallsBackOnC1PerValue) {
    // Values: L1, L2, P1, C1, P2 with P1 blank, present, and 0.0005 (absent).
    const std::vector<std::string> withC1 = {"L1", "L2", "P1", "C1", "P2"};
    std::string text = header(withC1) + epochAt(0, {"G01", "G02", "G03"});
    text += obsLine({111.5, 222.5, kBlankValue, 20000000.123, 21000000.5});
    text += obsLine({111.5, 222.5, 20000001.5, 20000000.123, 21000000.5});
    text += test::obsText({"111.500", "222.500", "0.0005", "20000000.123"});
    text += dataEpochs(30, 30, 1, {"G01"}, 5);
    Receiver r(dir, "point1.rnx", text);
    ASSERT_TRUE(r.get(0));
    const auto& obs = r.record.obs;
    EXPECT_EQ(obs[1], (std::array<double, 4>{111.5, 20000000.123, 222.5, 21000000.5}));
    EXPECT_EQ(obs[2][1], 20000001.5);
    EXPECT_EQ(obs[3][1], 20000000.123);
    EXPECT_EQ(obs[3][3], kNoData);  // P2 field blank

    // Without C1 in the file a blank P1 stays absent, and dget refuses the satellite.
    newprn(testSats);
    std::string noC1 = header({"L1", "L2", "P1", "P2"}) + epochAt(0, {"G01"});
    noC1 += obsLine({111.5, 222.5, kBlankValue, 21000000.5}) + dataEpochs(30, 30, 1, {"G01"}, 4);
    Receiver p(dir, "point2.rnx", noC1);
    ASSERT_TRUE(p.get(0));
    EXPECT_EQ(p.record.obs[1][1], kNoData);
    double v[6] = {-1, -1, -1, -1, -1, -1};
    EXPECT_FALSE(dget(1, r.record, p.record, 1, v[0], v[1], v[2], v[3], v[4], v[5]));
    EXPECT_EQ(v[0], 111.5);  // both present: the values are written even when refused
    EXPECT_EQ(v[4], kNoData);
}

TEST_F(ReaderTest, SmallValuesAreAbsentAndLateTypesRead) {
    // P1 declared sixth, on the record's second line.
    std::string text = header({"L1", "L2", "C1", "S1", "S2", "P1"}) + epochAt(0, {"G01"});
    text += test::obsText({"0.0005", "-0.001", "20000000.123", "45.000", "40.000"});
    text += obsLine({20000009.0});
    text += dataEpochs(30, 30, 1, {"G01"}, 6);
    Receiver r(dir, "point1.rnx", text);
    ASSERT_TRUE(r.get(0));
    EXPECT_EQ(r.record.obs[1], (std::array<double, 4>{kNoData, 20000009.0, kNoData, kNoData}));
}

TEST_F(ReaderTest, SatellitesOutsideTheTableAndOtherSystemsAreSkipped) {
    const std::vector<std::string> six = {"L1", "L2", "C1", "P1", "P2", "S1"};
    std::string text = header(six) + epochAt(0, {"G05"}) + obsLine({1, 2, 3, 4, 5}) + obsLine({6});
    text += epochAt(30, {"R05", "G09", "G05"});
    text += obsLine({7, 7, 7, 7, 7}) + obsLine({7});  // GLONASS R05: two lines, not GPS 5
    text += obsLine({9, 9, 9, 9, 9}) + obsLine({9});
    text += obsLine({5, 5, 5, 5, 5}) + obsLine({5});
    Receiver r(dir, "point1.rnx", text);
    int n = 0;
    delprn(testSats, SatId::gps(9), n);  // dropped by the orbit loader
    ASSERT_EQ(testSats.size(), 1);
    ASSERT_TRUE(r.get(30));
    EXPECT_EQ(r.record.present[1], 1);
    // Slot 2 is beyond the run's count: the record holds no entry for it at all.
    EXPECT_TRUE(r.record.present.size() <= 2 || r.record.present[2] == 0);
    EXPECT_EQ(r.record.obs[1], (std::array<double, 4>{5, 5, 5, 5}));
}

TEST_F(ReaderTest, SatellitePresentAtOneReceiverOnly) {
    Receiver a(dir, "point1.rnx", header({"C1"}) + dataEpochs(0, 30, 2, {"G01", "G02"}, 1));
    Receiver b(dir, "point2.rnx", header({"C1"}) + dataEpochs(0, 30, 2, {"G02"}, 1));
    ASSERT_TRUE(a.get(0));
    ASSERT_TRUE(b.get(0));
    double v[6] = {-1, -1, -1, -1, -1, -1};
    EXPECT_FALSE(dget(1, a.record, b.record, 2, v[0], v[1], v[2], v[3], v[4], v[5]));
    EXPECT_EQ(v[1], -1);  // outputs untouched
    EXPECT_TRUE(dget(2, a.record, b.record, 2, v[0], v[1], v[2], v[3], v[4], v[5]));
    EXPECT_EQ(v[0], kNoData);  // only C1 declared: no phases
    EXPECT_EQ(v[1], 20000002.0);
    EXPECT_EQ(v[4], 20000002.0);
    EXPECT_STOP(dget(0, a.record, b.record, 2, v[0], v[1], v[2], v[3], v[4], v[5]), 87473);
    EXPECT_STOP(dget(3, a.record, b.record, 2, v[0], v[1], v[2], v[3], v[4], v[5]), 87473);
}

TEST_F(ReaderTest, BadEpochContentStops) {
    ObsFileSummary summary;
    summary.typeCount = 1;
    summary.typeIndex = {0, 0, 1, 0, 0};
    summary.jd0 = testRun.jd0;
    EpochRecord record;
    TextFile none(dir.write("a.rnx", epochAt(0, {}) + epochAt(30, {"G01"}) + obsLine({1.0})));
    EXPECT_STOP(oget(none, summary, testSats, 1, 0, record), 24303);
    TextFile zero(dir.write("b.rnx", epochAt(0, {"G00"}) + obsLine({1.0})));
    record = EpochRecord{};
    EXPECT_STOP(oget(zero, summary, testSats, 1, 0, record), 32646);
    EXPECT_EQ(listingText(), " zero prn number was not expected\n");
}

TEST_F(ReaderTest, UnreadableValueNamesFileLineAndColumns) {
    std::string text = header({"L1", "C1"}) + dataEpochs(0, 30, 2, {"G01"}, 2);
    text += epochAt(60, {"G01"}) + "         1.2x5    20000000.000  \n";
    Receiver r(dir, "point1.rnx", text + dataEpochs(90, 30, 1, {"G01"}, 2));
    EXPECT_TRUE(r.get(0));
    try {
        r.get(60);
        FAIL() << "no input error";
    } catch (const InputError& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find("point1.rnx:" + std::to_string(r.file.lineNumber()) + ":"), std::string::npos)
            << message;
        EXPECT_NE(message.find("columns 1-14"), std::string::npos) << message;
    }
}

TEST_F(ReaderTest, SatellitesOnContinuationLinesAndTypesOnLaterRecordLines) {
    // Fourteen entries, G12 fourteenth; eleven types: L1 first, C1 third, L2 sixth, P2 ninth, P1 eleventh.
    const std::vector<std::string> types = {"L1", "S1", "C1", "C2", "C5", "L2", "L5", "S2", "P2", "S5", "P1"};
    std::vector<std::string> sats = {"G01", "R01", "G02", "G03", "G04", "E05", "G05", "G06",
                                     "G07", "G08", "G09", "G10", "S20", "G12"};
    std::string text = header(types) + epochAt(0, sats);
    for (size_t k = 0; k < sats.size(); ++k) {
        const double v = 100.0 * static_cast<double>(k + 1);
        text += obsLine({v + 1, 40, v + 3, 1, 1}) + obsLine({v + 6, 1, 1, v + 9, 1}) + obsLine({v + 11});
    }
    text += dataEpochs(30, 30, 1, {"G01"}, 11);
    Receiver r(dir, "point1.rnx", text);
    ASSERT_TRUE(r.get(0));
    EXPECT_EQ(r.record.obs[static_cast<size_t>(slotOf(12))], (std::array<double, 4>{1401, 1411, 1406, 1409}));
    EXPECT_EQ(r.record.obs[static_cast<size_t>(slotOf(2))], (std::array<double, 4>{301, 311, 306, 309}));
    EXPECT_TRUE(r.get(30));
}

TEST_F(ReaderTest, NanValuesAreAbsent) {
    // nan, -NaN, and a +nan running into the indicator columns; C1 then serves for the absent P1.
    std::string text = header({"L1", "L2", "P1", "C1", "P2"}) + epochAt(0, {"G01"});
    text += test::obsText({"nan", "-NaN", "", "20000000.123"}).substr(0, 64) + "            +nan\n";
    text += dataEpochs(30, 30, 1, {"G01"}, 5);
    Receiver r(dir, "point1.rnx", text);
    ASSERT_TRUE(r.get(0));
    EXPECT_EQ(r.record.obs[1], (std::array<double, 4>{kNoData, 20000000.123, kNoData, kNoData}));
}

TEST_F(ReaderTest, TrailingBlankLinesAndMissingLastRecordLines) {
    std::string text = header({"L1", "L2", "C1", "P1", "P2", "S1", "C2", "P2", "L5", "S2", "P1"});
    text += dataEpochs(0, 30, 2, {"G01", "G02"}, 11);
    text.resize(text.size() - obsLine({1.0}).size());  // the last record's third line, holding P1
    Receiver r(dir, "point1.rnx", text + "\n\n");
    ASSERT_TRUE(r.get(0));
    ASSERT_TRUE(r.get(30));
    EXPECT_EQ(r.record.obs[static_cast<size_t>(slotOf(2))][1], 20000002.0);  // P1 missing: C1 serves
    EXPECT_FALSE(r.get(60));
    EXPECT_EQ(r.record.syncState, 2);
}

// Every corpus file that scans is read through to its end in steps of its interval; the reader either walks it
// or refuses it as input or with a stop, never anything else.
TEST_F(ReaderTest, CorpusFilesReadThrough) {
    const std::filesystem::path corpus = std::filesystem::path(varno::test::sharedDir()) / "corpus";
    if (!std::filesystem::exists(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        if (entry.path().filename().string().rfind("o2", 0) == 0) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const auto& path : files) {
        newprn(testSats);
        TextFile file(path.string());
        ObsFileSummary summary;
        try {
            oscan(file, testRun.jd0, testSats, summary);
        } catch (const StopRequest&) {
            continue;
        } catch (const InputError&) {
            continue;
        }
        skipHeader(file);
        EpochRecord record;
        const double step = std::max(1.0, std::round(summary.interval));
        int delivered = 0;
        std::string outcome;
        try {
            for (double t = summary.firstEpoch; t - summary.lastEpoch <= 0.2; t += step) {
                if (oget(file, summary, testSats, testSats.size(), t, record)) ++delivered;
                if (record.syncState == 2) break;
            }
            outcome = std::to_string(delivered) + " epochs delivered";
        } catch (const StopRequest& stop) {
            outcome = "stop " + std::to_string(stop.code);
        } catch (const InputError& error) {
            outcome = std::string("input error: ") + error.what();
        }
        std::cout << "[corpus reader] " << path.filename().string() << ": " << outcome << "\n";
    }
}

}  // namespace
}  // namespace varno
