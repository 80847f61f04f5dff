#include "rinex/epoch_line.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace varno {
namespace {

using rinex_internal::EpochLine;
using rinex_internal::isGps;
using rinex_internal::parseEpochLine;

Record line80(const std::string& text) { return Record::fromLine(text, 80, "point1.rnx", 7); }

TEST(ParseEpochLine, ReadsEveryFieldInItsColumns) {
    EpochLine e;
    parseEpochLine(line80(" 05  4  2 23 59 59.9950000  1  3G03R05 12                           -.000123456"), e);
    EXPECT_EQ((std::array<int, 5>{e.year, e.month, e.day, e.hour, e.minute}),
              (std::array<int, 5>{5, 4, 2, 23, 59}));
    EXPECT_DOUBLE_EQ(e.second, 59.995);
    EXPECT_EQ((std::array<int, 5>{e.flag, e.count, e.prn[0], e.prn[1], e.prn[2]}),
              (std::array<int, 5>{1, 3, 3, 5, 12}));
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

}  // namespace
}  // namespace varno
