#include "../../src/rinex/epoch_line.h"

#include <gtest/gtest.h>

#include "rinex_fixtures.h"
#include "test_support.h"

namespace varno {
namespace {

using rinex_internal::EpochLine;
using rinex_internal::isGps;
using rinex_internal::parseEpochLine;
using rinex_internal::widenYear;

Record line80(const std::string& text) { return Record::fromLine(text, 80, "point1.rnx", 7); }

TEST(ParseEpochLine, ReadsEveryFieldInItsColumns) {
    EpochLine e;
    parseEpochLine(line80(" 05  4  2 23 59 59.9950000  1  3G03R05 12                           -.000123456"), e);
    EXPECT_EQ(e.year, 5);
    EXPECT_EQ(e.month, 4);
    EXPECT_EQ(e.day, 2);
    EXPECT_EQ(e.hour, 23);
    EXPECT_EQ(e.minute, 59);
    EXPECT_DOUBLE_EQ(e.second, 59.995);
    EXPECT_EQ(e.flag, 1);
    EXPECT_EQ(e.count, 3);
    EXPECT_EQ(e.prn[0], 3);
    EXPECT_EQ(e.prn[1], 5);
    EXPECT_EQ(e.prn[2], 12);
    EXPECT_EQ(e.prn[3], 0);
    EXPECT_TRUE(isGps(e, 0));
    EXPECT_FALSE(isGps(e, 1));  // R05 is a GLONASS satellite, not GPS PRN 5
    EXPECT_TRUE(isGps(e, 2));   // a blank system letter means GPS
}

TEST(ParseEpochLine, UnreadableFieldNamesFileLineAndColumns) {
    EpochLine e;
    try {
        parseEpochLine(line80(" 05  x  2  0  0  0.0000000  0  1G03"), e);
        FAIL() << "no input error";
    } catch (const InputError& error) {
        EXPECT_NE(std::string(error.what()).find("point1.rnx:7:"), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find("columns 4-6"), std::string::npos) << error.what();
    }
    // An overflowing second would carry an infinite time into the spans.
    EXPECT_THROW(parseEpochLine(line80(" 05  4  2  0  0     1e999  0  1G03"), e), InputError);
    // RINEX 3 epoch lines do not convert.
    EXPECT_THROW(parseEpochLine(line80("> 2016 01 15 00 00  0.0000000  0 12"), e), InputError);
}

TEST(WidenYear, TwoDigitYearsAroundTheCenturyBoundary) {
    EXPECT_EQ(widenYear(79), 2079);
    EXPECT_EQ(widenYear(80), 1980);
    EXPECT_EQ(widenYear(99), 1999);
    EXPECT_EQ(widenYear(6), 2006);
    EXPECT_EQ(widenYear(0), 2000);
    EXPECT_EQ(widenYear(100), 100);
}

}  // namespace
}  // namespace varno
