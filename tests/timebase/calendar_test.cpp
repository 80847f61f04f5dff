#include <gtest/gtest.h>

#include "test_support.h"
#include "timebase/timebase.h"

namespace varno {
namespace {

// The reference day of the tests' time scale.
int jd0 = 0;

TEST(DayNumber, KnownDates) {
    EXPECT_EQ(dayNumber(2006, 8, 26, 1), 53973);
    EXPECT_EQ(dayNumber(2000, 1, 1, 1), 51544);
    EXPECT_EQ(dayNumber(1900, 3, 1, 1), 15079);
    EXPECT_EQ(dayNumber(2005, 4, 1, 1), 53461);  // the orbit day of a real dataset
    // Day 31 of a 30-day month is the first of the next.
    EXPECT_EQ(dayNumber(2006, 9, 31, 1), dayNumber(2006, 10, 1, 1));
}

TEST(Civjts, SecondsSinceReferenceDayWithFractions) {
    jd0 = setjd0(2006, 8, 26);
    EXPECT_EQ(jd0, 53973);
    EXPECT_EQ(civjts(jd0, 2006, 8, 26, 0, 0, 0.0), 0.0);
    EXPECT_EQ(civjts(jd0, 2006, 8, 27, 1, 2, 3.5), 90123.5);
    EXPECT_EQ(civjts(jd0, 2006, 8, 26, 0, 0, 30.5), 30.5);
    EXPECT_EQ(civjts(jd0, 2006, 8, 25, 23, 45, 0.0), -900.0);
    // Out-of-range fields enter the arithmetic unchecked.
    EXPECT_EQ(civjts(jd0, 2006, 8, 26, 25, 0, 0.0), 90000.0);
}

TEST(Jtsciv, InvertsCivjts) {
    jd0 = setjd0(2006, 8, 26);
    int y = 0, mo = 0, d = 0, h = 0, mi = 0;
    double s = 0;
    jtsciv(jd0, 90123.5, y, mo, d, h, mi, s);
    EXPECT_EQ(y, 2006);
    EXPECT_EQ(mo, 8);
    EXPECT_EQ(d, 27);
    EXPECT_EQ(h, 1);
    EXPECT_EQ(mi, 2);
    EXPECT_NEAR(s, 3.5, 1e-9);
    // Round trips over a leap day and a year end.
    const int dates[][3] = {{2008, 2, 29}, {2010, 12, 31}, {2099, 1, 15}, {1980, 1, 6}};
    for (const auto& date : dates) {
        jd0 = setjd0(date[0], date[1], date[2]);
        jtsciv(jd0, civjts(jd0, date[0], date[1], date[2], 23, 59, 30.25), y, mo, d, h, mi, s);
        EXPECT_EQ(y, date[0]);
        EXPECT_EQ(mo, date[1]);
        EXPECT_EQ(d, date[2]);
        EXPECT_EQ(h, 23);
        EXPECT_EQ(mi, 59);
        EXPECT_NEAR(s, 30.25, 1e-6);
    }
}

TEST(Mjdciv, KnownDates) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0;
    double s = 0;
    mjdciv(51544, 0.5, y, mo, d, h, mi, s);
    EXPECT_EQ(y, 2000);
    EXPECT_EQ(mo, 1);
    EXPECT_EQ(d, 1);
    EXPECT_EQ(h, 12);
    EXPECT_EQ(mi, 0);
    EXPECT_NEAR(s, 0.0, 1e-9);
    mjdciv(88127, 0.0, y, mo, d, h, mi, s);
    EXPECT_EQ(y, 2100);
    EXPECT_EQ(mo, 2);
    EXPECT_EQ(d, 28);
}

TEST(Civmjd, DayAndFraction) {
    int n = 0;
    double q = 0;
    civmjd(1900, 2, 29, 0, 0, 0.0, n, q);
    EXPECT_EQ(n, 15078);
    civmjd(1900, 1, 1, 0, 0, 0.0, n, q);
    EXPECT_EQ(n, 15019);
    civmjd(2000, 1, 1, 12, 0, 0.0, n, q);
    EXPECT_EQ(n, 51544);
    EXPECT_EQ(q, 0.5);
}

TEST(Calendar, YearBefore1900StopsWithTheOperationsCode) {
    EXPECT_STOP(setjd0(1899, 12, 31), 34587);
    EXPECT_STOP(civjts(jd0, 1899, 1, 1, 0, 0, 0.0), 34589);
    int n = 0;
    double q = 0;
    EXPECT_STOP(civmjd(1899, 1, 1, 0, 0, 0.0, n, q), 34588);
    // Month and hour are not checked.
    jd0 = setjd0(2006, 13, 1);
    EXPECT_EQ(jd0, dayNumber(2007, 1, 1, 1));
    jd0 = setjd0(2006, 0, 1);
    EXPECT_EQ(jd0, dayNumber(2005, 12, 1, 1));
}

}  // namespace
}  // namespace varno
