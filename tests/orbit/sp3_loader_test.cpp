#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "orbit/orbit.h"
#include "sp3_fixture.h"
#include "test_support.h"
#include "timebase/timebase.h"
#include "test_run.h"

namespace varno {
namespace {

using test::TempDir;

// 22 header lines: lines 1-2 are not read by the loader, line 3 carries the count and the first 17 numbers.
std::string header(const std::vector<int>& sats, int count) {
    std::string text = "#aP2005  4  1  0  0  0.00000000      96 ORBIT WGS84 FIT TEST\n";
    text += "## 1316 432000.00000000   900.00000000 53461 0.0000000000000\n";
    for (int line = 0; line < 2; ++line) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "+   %2d   ", line == 0 ? count : 0);
        text += line == 0 ? buf : "+        ";
        for (int i = 0; i < 17; ++i) {
            size_t k = static_cast<size_t>(17 * line + i);
            std::snprintf(buf, sizeof buf, "%3d", k < sats.size() ? sats[k] : 0);
            text += buf;
        }
        text += "\n";
    }
    for (int i = 0; i < 18; ++i) text += "/* filler line\n";
    return text;
}

std::string epochLine(int hour, int minute, const std::string& seconds = " 0.00000000") {
    char buf[64];
    std::snprintf(buf, sizeof buf, "*  2005  4  1 %2d %2d %s", hour, minute, seconds.c_str());
    return std::string(buf) + "\n";
}

// Test value of satellite `prn` at epoch `k` (0-based, 900 s apart): km and microseconds, six decimals.
double kmValue(int prn, int k, int axis) { return 1000.0 * prn + 10.0 * k + axis + 0.123456; }

std::string positionLine(int prn, double x, double y, double z, double clock, char tag = 'P') {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%c%3d%14.6f%14.6f%14.6f%14.6f", tag, prn, x, y, z, clock);
    return std::string(buf) + "\n";
}

// A complete file: `epochs` epochs 900 s apart from 00:00 with one record per listed satellite.
std::string orbitFile(const std::vector<int>& sats, int epochs) {
    std::string text = header(sats, static_cast<int>(sats.size()));
    for (int k = 0; k < epochs; ++k) {
        text += epochLine(k * 15 / 60, k * 15 % 60);
        for (int prn : sats) {
            text += positionLine(prn, kmValue(prn, k, 1), kmValue(prn, k, 2), -kmValue(prn, k, 3), 0.5 * k + 1.0);
        }
    }
    return text + "EOF\n";
}

void setPrns(const std::vector<int>& prns) {
    newprn(testSats);
    for (int prn : prns) {
        int slot = 0;
        putprn(testSats, SatId::gps(prn), slot);
    }
}

struct Loaded {
    OrbitTable table;
    int satCount = 0;
};

// Loads `text` with jd0 = 2005-04-01 for the window [start, stop] of `epochs` epochs.
Loaded load(const std::string& text, int epochs, double start, double stop) {
    TempDir dir;
    TextFile file(dir.write("orbit.sp3", text));
    testRun.jd0 = setjd0(2005, 4, 1);
    Loaded out;
    numprn(testSats, out.satCount);
    test::loadForPrnTable(file, out.table, out.satCount, epochs, start, stop);
    return out;
}

double xOf(const OrbitTable& t, int slot, int k) { return t.at(t.xBase + (slot - 1) * t.epochCount + (k - 1)); }
double clockOf(const OrbitTable& t, int slot, int k) {
    return t.at(t.clockBase + (slot - 1) * t.epochCount + (k - 1));
}

class LodorbTest : public ::testing::Test {
protected:
    void SetUp() override {
        captureOutput();
        testRun.jd0 = 0;
        newprn(testSats);
    }
};

TEST_F(LodorbTest, PrunesUnlistedSatellitesInPrnOrderWithTheCountAfterEachRemoval) {
    // The header count is 2: PRN 12, written third, does not count as listed. PRN 40 is never looked at.
    setPrns({7, 3, 12, 40, 5});
    std::string text = orbitFile({3, 7, 12}, 9);
    text.replace(text.find("+    3"), 6, "+    2");
    Loaded got = load(text, 9, 0, 7200);
    EXPECT_EQ(listingText(),
              "lodorb reset number of sats ==>   4\n"
              "lodorb reset number of sats ==>   3\n");
    EXPECT_EQ(got.satCount, 3);
    ASSERT_EQ(testSats.size(), 3);
    EXPECT_EQ(invprn(testSats, 1).number, 7);
    EXPECT_EQ(invprn(testSats, 2).number, 3);
    EXPECT_EQ(invprn(testSats, 3).number, 40);
    // The third record of every epoch (PRN 12) is not read: only two records per epoch count.
    EXPECT_EQ(xOf(got.table, 1, 9), kmValue(7, 8, 1) * 1000.0);
    EXPECT_EQ(xOf(got.table, 3, 9), 0.0);
}

TEST_F(LodorbTest, KeepsTheWindowInMetresAndSecondsPassingOverOtherRecords) {
    setPrns({20, 4});
    // Satellite 9 is listed but not used; velocity and correlation records between positions do not count;
    // records with a satellite number outside 1..32 are dropped but still count.
    std::string text = header({4, 9, 20, 0}, 4);
    auto epoch = [&](int k, const std::string& time) {
        text += time;
        text += positionLine(4, kmValue(4, k, 1), kmValue(4, k, 2), kmValue(4, k, 3), 12.5 + k);
        text += positionLine(4, 1, 2, 3, 4, 'V');
        text += "EP  1 2 3\n";
        text += positionLine(9, kmValue(9, k, 1), 1, 1, 1);
        text += positionLine(0, 5, 5, 5, 5);
        text += positionLine(20, kmValue(20, k, 1), kmValue(20, k, 2), kmValue(20, k, 3), -7.25, 'p');
    };
    // Before the window: 00:00, and an epoch 2e-06 s before its start. The epoch 5e-07 s early is kept.
    epoch(0, epochLine(0, 0));
    epoch(99, epochLine(0, 14, "59.99999800"));
    for (int k = 1; k < 12; ++k) {
        epoch(k, k == 10 ? epochLine(2, 29, "59.99999950") : epochLine(k * 15 / 60, k * 15 % 60));
    }
    Loaded got = load(text, 10, 900, 9000);
    const OrbitTable& t = got.table;
    EXPECT_EQ(listingText(), "");
    EXPECT_EQ(got.satCount, 2);
    EXPECT_EQ(t.epochCount, 10);
    EXPECT_EQ(t.data.size(), 10u * (1 + 4 * 2));
    EXPECT_EQ(t.xBase, 11);
    EXPECT_EQ(t.yBase, 31);
    EXPECT_EQ(t.zBase, 51);
    EXPECT_EQ(t.clockBase, 71);
    EXPECT_EQ(t.firstTime, 900.0);
    EXPECT_EQ(t.lastTime, 8999.9999995);
    EXPECT_EQ(t.at(10), 8999.9999995);
    EXPECT_EQ(t.interval, 900.0);
    EXPECT_EQ(t.lastWindowStart, 2);
    EXPECT_EQ(t.lastWindowTime, 1800.0);
    EXPECT_EQ(t.halfWindow, 4);
    EXPECT_EQ(t.weights[0], 1680.0);
    // Slot 1 is PRN 20, slot 2 PRN 4; row k holds file epoch k (epoch 0 was skipped).
    EXPECT_EQ(xOf(t, 1, 1), kmValue(20, 1, 1) * 1000.0);
    EXPECT_EQ(t.at(t.zBase + 10 + 9), kmValue(4, 10, 3) * 1000.0);
    EXPECT_EQ(clockOf(t, 1, 3), -7.25 * 1e-06);
    EXPECT_EQ(clockOf(t, 2, 3), (12.5 + 3) * 1e-06);
}

TEST_F(LodorbTest, HeaderCountZeroTimesEpochsAndKeepsNoSatellite) {
    setPrns({1, 2});
    std::string text = header({1}, 0);
    for (int k = 0; k < 9; ++k) text += epochLine(0, k, "   .00000000") + positionLine(1, 1, 2, 3, 4);
    Loaded got = load(text, 9, 0, 480);
    EXPECT_EQ(got.satCount, 0);
    EXPECT_EQ(got.table.data.size(), 9u);
    EXPECT_EQ(got.table.at(9), 480.0);
    EXPECT_EQ(got.table.interval, 60.0);
}

TEST_F(LodorbTest, StopsOnBadStructure) {
    setPrns({3, 7});
    std::string good = orbitFile({3, 7}, 9);

    std::string shortEpoch = good;
    shortEpoch.erase(shortEpoch.find("P  7"), shortEpoch.find("*", shortEpoch.find("P  7")) - shortEpoch.find("P  7"));
    EXPECT_STOP(load(shortEpoch, 9, 0, 7200), 89756);

    std::string oldYear = good;
    oldYear.replace(oldYear.find("*  2005"), 7, "*  1899");
    EXPECT_STOP(load(oldYear, 9, 0, 7200), 34589);
}

TEST_F(LodorbTest, ReadFailuresNameFileAndLine) {
    setPrns({3});
    auto message = [](const std::string& text) {
        try {
            load(text, 9, 0, 7200);
        } catch (const InputError& e) {
            return std::string(e.what());
        }
        return std::string("no input error");
    };
    std::string good = orbitFile({3}, 9);
    // End of file inside the header, and while a position record is sought.
    EXPECT_NE(message(good.substr(0, good.find("/* filler"))).find("orbit.sp3:5: end of file"), std::string::npos);
    std::string cut = good.substr(0, good.rfind("P  3"));
    EXPECT_NE(message(cut).find(":40: end of file where orbit position record"), std::string::npos);
    // A GPS id that is not a number; ids of other systems are passed over unread.
    std::string lettered = good;
    lettered.replace(lettered.find("  3  0"), 3, "G0.");
    EXPECT_NE(message(lettered).find("orbit.sp3:3: expected an integer header satellite number"), std::string::npos);
    std::string letteredRecord = good;
    letteredRecord.replace(letteredRecord.find("P  3"), 4, "PGx3");
    EXPECT_NE(message(letteredRecord).find("orbit.sp3:24: expected an integer satellite number"), std::string::npos);
}

TEST_F(LodorbTest, RefusesWindowsTooShortForInterpolation) {
    setPrns({3, 5});
    EXPECT_STOP(load(orbitFile({3}, 9), 8, 0, 6300), 89758);
    EXPECT_EQ(listingText(),
              "lodorb reset number of sats ==>   1\n"
              " orbit window has fewer than 9 epochs -- fatal\n");
}

TEST_F(LodorbTest, RefusesMissingOrOffGridEpochs) {
    const std::string fatal = " orbit epochs missing or off grid -- fatal\n";
    auto refused = [&](const std::string& text, int epochs, double stop) {
        setPrns({3});
        captureOutput();
        EXPECT_STOP(load(text, epochs, 0, stop), 89759);
        EXPECT_EQ(listingText(), fatal);
    };
    // The file ends after 9 of the 10 epochs asked for.
    refused(orbitFile({3}, 9), 10, 8100);
    // Epoch 5 is missing: the 9 epochs kept are not on one grid.
    std::string gap = orbitFile({3}, 11);
    size_t at = gap.find(epochLine(1, 0));
    gap.erase(at, gap.find("*", at + 1) - at);
    refused(gap, 10, 9000);
    // One epoch 0.01 s late.
    std::string late = orbitFile({3}, 9);
    late.replace(late.find(epochLine(1, 0)), epochLine(1, 0).size(), epochLine(1, 0, " 0.01000000"));
    refused(late, 9, 7200);
    // The same epoch nine times has no interval at all.
    std::string same = header({3}, 1);
    for (int k = 0; k < 9; ++k) same += epochLine(0, 0) + positionLine(3, 1e4, 1e4, 1e4, 0);
    refused(same, 9, 7200);

    // 0.5 ms off the grid is accepted.
    std::string close = orbitFile({3}, 9);
    close.replace(close.find(epochLine(1, 0)), epochLine(1, 0).size(), epochLine(1, 0, " 0.00050000"));
    setPrns({3});
    EXPECT_EQ(load(close, 9, 0, 7200).table.interval, 900.0);
}

TEST_F(LodorbTest, LoadsTheRealBroadcastOrbit) {
    std::vector<int> all;
    for (int prn = 1; prn <= 32; ++prn) all.push_back(prn);
    setPrns(all);
    const std::string path = varno::test::sharedDir() + "/data/gsi-3040-0759-3km/orbit.sp3";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "dataset not present: " << path;
    TextFile file(path);
    testRun.jd0 = setjd0(2005, 4, 1);
    OrbitTable t;
    int satCount = 32;
    test::loadForPrnTable(file, t, satCount, 14, 85500, 85500 + 13 * 900);
    EXPECT_EQ(satCount, 13);
    EXPECT_EQ(listingText().find("lodorb reset number of sats ==>  31\n"), 0u);
    EXPECT_NE(listingText().find("lodorb reset number of sats ==>  13\n"), std::string::npos);
    EXPECT_EQ(t.firstTime, 85500.0);
    EXPECT_EQ(t.lastTime, 85500.0 + 13 * 900);
    EXPECT_EQ(t.interval, 900.0);
    // Slot 1 is PRN 1: "P  1 -21310.059350 -15845.757832   1136.283556    396.645785" at 23:45, and
    // "P  1    946.881623 -15258.263645  21905.849798    396.666032" at 03:00 of the next day.
    EXPECT_EQ(xOf(t, 1, 1), -21310.059350 * 1000.0);
    EXPECT_EQ(clockOf(t, 1, 1), 396.645785 * 1e-06);
    EXPECT_EQ(t.at(t.zBase + 13), 21905.849798 * 1000.0);
}

TEST_F(LodorbTest, BadRecordAnywhereInTheWindowDropsTheSatellite) {
    setPrns({7, 3, 9, 12});
    std::string text = orbitFile({3, 7, 9, 12}, 12);
    auto record = [&](int prn, int k) {
        return positionLine(prn, kmValue(prn, k, 1), kmValue(prn, k, 2), -kmValue(prn, k, 3), 0.5 * k + 1.0);
    };
    // PRN 7 is at the origin at epoch 6, PRN 9 has no clock at the last epoch of the window; PRN 3's bad clock
    // lies before the window.
    text.replace(text.find(record(7, 5)), record(7, 5).size(), positionLine(7, 0, 0, 0, 3.5));
    text.replace(text.find(record(9, 10)), record(9, 10).size(), positionLine(9, 1e4, 1e4, 1e4, 999999.999999));
    text.replace(text.find(record(3, 0)), record(3, 0).size(), positionLine(3, 1e4, 1e4, 1e4, 999999.999999));
    Loaded got = load(text, 10, 900, 9000);
    EXPECT_EQ(listingText(),
              " no usable orbit for prn 7 -- dropped\n"
              " no usable orbit for prn 9 -- dropped\n");
    EXPECT_EQ(got.satCount, 2);
    ASSERT_EQ(testSats.size(), 2);
    EXPECT_EQ(got.table.data.size(), 10u * (1 + 4 * 2));
    EXPECT_EQ(xOf(got.table, 1, 1), kmValue(3, 1, 1) * 1000.0);
    EXPECT_EQ(xOf(got.table, 2, 10), kmValue(12, 10, 1) * 1000.0);
}

TEST_F(LodorbTest, FilesSplitAtAnyEpochJoinIntoTheSameTable) {
    test::TempDir dir;
    test::Sp3Spec whole;
    whole.ids = {"  3", "  7"};
    whole.epochs = 14;
    int count = 0;
    setPrns({7, 3});
    const OrbitTable reference = test::sp3Load(dir, {test::sp3Text(whole)}, 10, 1800, 9900, count);
    for (int split : {3, 6, 13}) {
        for (int overlap : {0, 2}) {
            test::Sp3Spec first = whole, second = whole;
            first.epochs = split + overlap;
            second.firstEpoch = split;
            second.epochs = whole.epochs - split;
            std::string later = test::sp3Text(second);
            // Where both files hold an epoch, the earlier file's values are the ones kept.
            if (overlap > 0) later.replace(later.find("P  3") + 5, 13, "    1.000000");
            setPrns({7, 3});
            captureOutput();
            const OrbitTable joined = test::sp3Load(dir, {test::sp3Text(first), later}, 10, 1800, 9900, count);
            EXPECT_EQ(joined.data, reference.data) << "split " << split << " overlap " << overlap;
            EXPECT_EQ(listingText(), "");
        }
    }
    // A satellite that only the later file lists has no orbit in the earlier one.
    test::Sp3Spec first = whole, second = whole;
    first.epochs = 6;
    second.firstEpoch = 6;
    second.epochs = 8;
    second.ids.push_back("G12");
    setPrns({7, 3, 12});
    captureOutput();
    test::sp3Load(dir, {test::sp3Text(first), test::sp3Text(second)}, 10, 1800, 9900, count);
    EXPECT_EQ(listingText(), " no usable orbit for prn 12 -- dropped\n");
    EXPECT_EQ(count, 2);
}

// Where joined files share an epoch, a good record of the later file replaces a bad one (unknown clock, or no
// position) of the earlier file, so the satellite keeps its orbit.
TEST_F(LodorbTest, SharedEpochsTakeTheGoodRecordOfEitherFile) {
    test::TempDir dir;
    test::Sp3Spec whole;
    whole.ids = {"  3", "  7"};
    whole.epochs = 14;
    int count = 0;
    setPrns({7, 3});
    const OrbitTable reference = test::sp3Load(dir, {test::sp3Text(whole)}, 10, 1800, 9900, count);
    test::Sp3Spec first = whole, second = whole;
    first.epochs = 8;
    second.firstEpoch = 6;
    second.epochs = 8;
    std::string earlier = test::sp3Text(first);
    // The two shared epochs: PRN 3 with an unknown clock at both, PRN 7 without a position at the last.
    const std::size_t last3 = earlier.rfind("P  3");
    earlier.replace(earlier.rfind("P  3", last3 - 1) + 46, 14, " 999999.999999");
    earlier.replace(last3 + 46, 14, " 999999.999999");
    earlier.replace(earlier.rfind("P  7") + 4, 42, std::string(3, ' ') + "0.000000" + std::string(6, ' ') +
                                                      "0.000000" + std::string(6, ' ') + "0.000000" + "   ");
    setPrns({7, 3});
    captureOutput();
    const OrbitTable joined = test::sp3Load(dir, {earlier, test::sp3Text(second)}, 10, 1800, 9900, count);
    EXPECT_EQ(listingText(), "");
    EXPECT_EQ(count, 2);
    EXPECT_EQ(joined.data, reference.data);
}

// Every orbit file of the corpus loads over the span its header declares, or is refused with one line that
// names the file, the line and the reason (an input error, or a stop with its explanation).
TEST_F(LodorbTest, CorpusFilesLoadOrAreRefusedNamingFileAndLine) {
    std::string folder = varno::test::sharedDir() + "/corpus";
    if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "no corpus at " << folder;
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::string name = entry.path().filename().string();
        if (name.rfind("sp3", 0) == 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    ASSERT_FALSE(names.empty());
    std::vector<int> all;
    for (int prn = 1; prn <= 32; ++prn) all.push_back(prn);
    // GPS satellites kept; files cut short by their publishers, or without a usable epoch count, are refused.
    const std::map<std::string, std::string> expected = {
        {"sp3_sio06492.sp3", "loaded 0"},     {"sp3a_emr08874.sp3", "loaded 25"},  {"sp3a_example1.sp3", "stop 89756"},
        {"sp3a_example2.sp3", "stop 89756"},  {"sp3a_igs09000.sp3", "loaded 25"},  {"sp3a_nga23735.sp3", "loaded 32"},
        {"sp3a_nima11240.sp3", "stop 89758"}, {"sp3b_brdc13920.sp3", "loaded 28"}, {"sp3b_graa07080.sp3", "loaded 0"},
        {"sp3c_co108870.sp3", "loaded 24"},   {"sp3c_cod22532.sp3", "stop 89759"}, {"sp3c_com19402.sp3", "stop 89759"},
        {"sp3c_em108871.sp3", "loaded 20"},   {"sp3c_emu22770.sp3", "loaded 27"},  {"sp3c_esa22770.sp3", "loaded 32"},
        {"sp3c_grg21113.sp3", "loaded 30"},   {"sp3c_igl15253.sp3", "loaded 0"},   {"sp3c_igr20354.sp3", "loaded 29"},
        {"sp3c_igs15904.sp3", "loaded 29"},   {"sp3c_igs19016.sp3", "stop 89759"}, {"sp3c_igu16295p.sp3", "stop 89759"},
        {"sp3c_nga16570v.sp3", "loaded 30"},  {"sp3d_cod22500.sp3", "loaded 0"},   {"sp3d_example.sp3", "input error"},
        {"sp3d_gfz20895.sp3", "stop 89759"},  {"sp3d_gfz21060.sp3", "stop 89759"}, {"sp3d_iac21114.sp3", "loaded 31"},
        {"sp3x_blankfirst.sp3", "input error"}, {"sp3x_gpstk_d.sp3", "input error"},
        {"sp3x_header.sp3", "input error"}};
    for (const std::string& name : names) {
        const std::string path = folder + "/" + name;
        std::string kind;
        std::string line;
        try {
            testRun.jd0 = 0;
            setPrns(all);
            TextFile file(path);
            const OrbitSpan span = orbspn({&file});
            testRun.jd0 = span.jd0;
            file.rewind();
            OrbitTable t;
            int satCount = 32;
            test::loadForPrnTable(file, t, satCount, span.epochs, span.start, span.end);
            kind = "loaded " + std::to_string(satCount);
            line = name + ": " + kind;
        } catch (const StopRequest& stop) {
            kind = "stop " + std::to_string(stop.code);
            line = stop.detail.empty() ? kind : stop.detail;
        } catch (const InputError& e) {
            kind = "input error";
            line = e.what();
        }
        std::cout << "  " << line << "\n";
        auto want = expected.find(name);
        EXPECT_EQ(kind, want == expected.end() ? "?" : want->second) << name;
        if (kind.rfind("loaded", 0) != 0) {
            EXPECT_EQ(line.rfind(path + ":", 0), 0u) << line;
            EXPECT_EQ(line.find('\n'), std::string::npos) << line;
        }
    }
}

}  // namespace
}  // namespace varno
