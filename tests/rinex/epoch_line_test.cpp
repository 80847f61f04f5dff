#include "rinex/epoch_line.h"
#include "rinex/rinex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>
#include <random>

#include "test_support.h"

namespace varno {
namespace {

using rinex_internal::EpochLine;
using rinex_internal::groupValue;
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

// Epoch lines of the usual shape read as their fields show, and so do those of other shapes.
TEST(ParseEpochLine, ReadsWhatTheFieldsShowInEveryShape) {
    std::mt19937_64 random(5);
    const auto pick = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    char text[96];
    for (int i = 0; i < 5000; ++i) {
        const int year = pick(100), month = 1 + pick(12), day = 1 + pick(31), hour = pick(24), minute = pick(60);
        const long long tenMillionths = pick(600000000);
        const int flag = std::array<int, 4>{0, 1, 6, 0}[static_cast<std::size_t>(pick(4))], count = pick(15);
        std::snprintf(text, sizeof text, "%3d%3d%3d%3d%3d%11.7f%3d%3d", year, month, day, hour, minute,
                      static_cast<double>(tenMillionths) / 1e7, flag, count);
        std::string line = text;
        std::vector<int> prns;
        for (int k = 0; k < std::min(count, 12); ++k) {
            prns.push_back(pick(33));
            std::snprintf(text, sizeof text, "%c%2d", "G R"[pick(3)], prns.back());
            line += text;
        }
        line.resize(68, ' ');
        line += pick(2) == 0 ? "            " : std::string(pick(2) == 0 ? "-" : " ") + "0.000123456";
        EpochLine e;
        parseEpochLine(line80(line), e);
        ASSERT_EQ((std::array<int, 7>{e.year, e.month, e.day, e.hour, e.minute, e.flag, e.count}),
                  (std::array<int, 7>{year, month, day, hour, minute, flag, count})) << line;
        ASSERT_EQ(e.second, std::strtod(line.substr(15, 11).c_str(), nullptr)) << line;
        for (std::size_t k = 0; k < prns.size(); ++k) {
            ASSERT_EQ(e.prn[k], prns[k]) << line;
            ASSERT_EQ(e.system[k], line[32 + 3 * k]) << line;
        }
    }
    // Blanks among the digits, a second with a sign, a clock offset with an exponent.
    EpochLine e;
    parseEpochLine(line80("0 6  8 26 10  0 -0.0000000  0  1G 7                                   1.0E-9"), e);
    EXPECT_EQ((std::array<int, 4>{e.year, e.day, e.count, e.prn[0]}), (std::array<int, 4>{6, 26, 1, 7}));
    EXPECT_EQ(e.second, 0.0);
    // A clock offset that does not convert is named even though it is dropped.
    EXPECT_THROW(parseEpochLine(line80(" 06  8 26 10  0  0.0000000  0  1G07                                1.2.3"), e),
                 InputError);
}

// Observation groups of the usual shapes read as the decimal number they show; the others are read by the field
// reader, whatever the columns around them hold.
TEST(GroupValue, ReadsTheNumberShownWhateverItsBlanksSignAndIndicators) {
    std::mt19937_64 random(17);
    const std::string indicators = " 0123456789";
    for (int i = 0; i < 20000; ++i) {
        const int digits = static_cast<int>(random() % 11);  // 0 to 10 before the point
        std::string number = std::to_string(random() % 10000000000ULL).substr(0, static_cast<std::size_t>(digits));
        if (random() % 4 == 0 && digits < 10) number.insert(0, 1, random() % 2 == 0 ? '-' : '+');
        number += "." + std::to_string(1000 + random() % 1000).substr(1);
        std::string group = std::string(14 - number.size(), ' ') + number;
        group += indicators[random() % indicators.size()];
        group += indicators[random() % indicators.size()];
        const double shown = std::strtod(number.c_str(), nullptr);
        const double expected = std::fabs(shown) <= 0.001 ? kNoData : shown;
        EXPECT_EQ(groupValue(line80("x" + group + group), 2), expected) << group;
        EXPECT_EQ(groupValue(line80("x" + group + group), 18), expected) << group;
    }
    EXPECT_EQ(groupValue(line80(" 1234 5678.123 1"), 1), 12345678.123);  // a blank among the digits
    EXPECT_EQ(groupValue(line80("   23456789.12  "), 1), 23456789.12);   // two decimals
    EXPECT_THROW(groupValue(line80("   23456789.123x "), 1), InputError);
    EXPECT_THROW(groupValue(line80("   2345678x.123  "), 1), InputError);
}

}  // namespace
}  // namespace varno
