#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

#include "test_support.h"
#include "textio/textio.h"

namespace varno {
namespace {

TEST(FmtF, RightAlignedWithDecimalsAndAsterisksWhenTooWide) {
    EXPECT_EQ(fmtF(-3978241.958, 14, 4), " -3978241.9580");
    EXPECT_EQ(fmtF(3630.0, 10, 0), "     3630.");
    EXPECT_EQ(fmtF(0.5, 6, 2), "  0.50");
    EXPECT_EQ(fmtF(1000000000.0, 14, 4), "**************");
    EXPECT_EQ(fmtF(999999999.9999, 14, 4), "999999999.9999");
    EXPECT_EQ(fmtF(1000.0, 6, 2), "******");
    EXPECT_EQ(fmtF(-0.00001, 7, 4), "-0.0000");
    EXPECT_EQ(fmtF(std::numeric_limits<double>::quiet_NaN(), 9, 4), "      NaN");
    EXPECT_EQ(fmtF(1e300, 9, 4), "*********");
}

// Exact binary halves are where a formatter's rounding shows: ties go to the even digit, as printf's %.*f does.
TEST(FmtF, RoundsAsPrintfDoesAtExactTies) {
    for (double v : {0.125, 0.375, -2.5, 2.5, 1e15 + 0.5, 0.0005, -0.0, -0.0004, 1234.5678, 1e22}) {
        for (int d = 0; d <= 4; ++d) {
            char expected[64];
            std::snprintf(expected, sizeof expected, "%.*f%s", d, v, d == 0 ? "." : "");
            EXPECT_EQ(fmtF(v, 40, d), std::string(40 - std::strlen(expected), ' ') + expected) << v << " " << d;
        }
    }
}

// Values of every size and sign, and binary ties, as printf writes them at every precision the program uses.
TEST(FmtF, AgreesWithPrintfOnScatteredValues) {
    std::uint64_t state = 88172645463325252ULL;
    const auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    for (int i = 0; i < 20000; ++i) {
        const double v = i % 2 == 0 ? std::ldexp(static_cast<double>(next() >> 11), static_cast<int>(next() % 110) - 100)
                                    : static_cast<double>(static_cast<std::int64_t>(next() % 4000000)) / 16.0 - 1e5;
        for (int d = 0; d <= 4; ++d) {
            char expected[512];
            std::snprintf(expected, sizeof expected, "%.*f%s", d, i % 3 == 0 ? -v : v, d == 0 ? "." : "");
            const std::string got = fmtF(i % 3 == 0 ? -v : v, 60, d);
            ASSERT_EQ(got.substr(got.find_first_not_of(' ')), expected) << v << " " << d;
        }
    }
}

TEST(FmtI, RightAlignedAndAsterisksWhenTooWide) {
    EXPECT_EQ(fmtI(7, 3), "  7");
    EXPECT_EQ(fmtI(-12, 3), "-12");
    EXPECT_EQ(fmtI(2005, 3), "***");
    EXPECT_EQ(fmtI(0, 6), "     0");
}

// The field writers fill exactly their width, as the string formatters do.
TEST(PutF, WritesWhatFmtFAndFmtIReturn) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double v : {-3978241.958, 0.0005, -0.0, 1e300, 999.5, nan, -std::numeric_limits<double>::infinity()}) {
        for (int w : {3, 6, 9, 14}) {
            char field[64];
            EXPECT_EQ(std::string(field, putF(field, v, w, 3)), fmtF(v, w, 3)) << v << " " << w;
            EXPECT_EQ(std::string(field, putF(field, v, w, 0)), fmtF(v, w, 0)) << v << " " << w;
        }
    }
    char field[8];
    EXPECT_EQ(std::string(field, putI(field, 2005, 3)), "***");
    EXPECT_EQ(std::string(field, putI(field, -7, 3)), " -7");
}

TEST(FmtE, OneDigitBeforeThePoint) { EXPECT_EQ(fmtE(-1234.5, 18, 10), " -1.2345000000E+03"); }

TEST(FreeLine, TextsExactNumbersShortestAndSeparated) {
    EXPECT_EQ(freeLine("satellites and epochs", 12, 14), " satellites and epochs 12 14");
    EXPECT_EQ(freeLine("station id -- ", "3040"), " station id -- 3040");
    EXPECT_EQ(freeLine("warning --", "ABCD", " -- id not found in pos file"),
              " warning --ABCD -- id not found in pos file");
    EXPECT_EQ(freeLine(3, " entries in reference satellite table"), " 3 entries in reference satellite table");
    EXPECT_EQ(freeLine("ref sat table overflow at ", 3600.25), " ref sat table overflow at 3600.25");
    EXPECT_EQ(freeLine(" iteration -- ", 1), "  iteration -- 1");
    EXPECT_EQ(freeLine("v=", 0.1), " v= 0.1");
    EXPECT_EQ(freeNumber(1.0e31), "1e+31");
    EXPECT_EQ(freeNumber(3600.0), "3600");
}

TEST(Listing, CapturedLinesAndConsoleLines) {
    captureOutput();
    writeListing(" first");
    writeConsole("STOP 5");
    EXPECT_EQ(listingText(), " first\n");
    EXPECT_EQ(consoleText(), "STOP 5\n");
    captureOutput();
    EXPECT_EQ(listingText(), "");
}

TEST(Listing, FileIsOverwrittenNotAppended) {
    test::TempDir dir;
    std::string path = dir.file("varno.lst");
    captureOutput();
    ASSERT_TRUE(openListing(path));
    writeListing("one");
    writeListing("two");
    closeListing();
    ASSERT_TRUE(openListing(path));
    writeListing("three");
    closeListing();
    EXPECT_EQ(test::readFile(path), "three\n");
    EXPECT_EQ(listingText(), "");
}

TEST(StopRun, CarriesItsCode) { EXPECT_STOP(stopRun(43587), 43587); }

}  // namespace
}  // namespace varno
