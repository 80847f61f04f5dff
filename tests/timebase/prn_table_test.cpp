#include <gtest/gtest.h>

#include "test_support.h"
#include "timebase/timebase.h"

namespace varno {
namespace {

TEST(PrnTable, EmptyTable) {
    newprn();
    int slot = -1;
    EXPECT_FALSE(getprn(5, slot));
    EXPECT_EQ(slot, 1);
    int n = -1;
    numprn(n);
    EXPECT_EQ(n, 0);
    EXPECT_STOP(invprn(1), 74358);
}

TEST(Putprn, InsertsInOrderAndReportsDuplicates) {
    newprn();
    int slot = -1;
    EXPECT_TRUE(putprn(5, slot));
    EXPECT_EQ(slot, 0);
    EXPECT_TRUE(putprn(12, slot));
    EXPECT_FALSE(putprn(5, slot));
    EXPECT_EQ(slot, 1);
    EXPECT_EQ(prnTable().count, 2);
    EXPECT_EQ(invprn(1), 5);
    EXPECT_EQ(invprn(2), 12);
    EXPECT_STOP(invprn(3), 74358);
    EXPECT_STOP(invprn(0), 74358);
}

TEST(Putprn, FullTableRefusesNewButNotHeldPrns) {
    newprn();
    int slot = 0;
    for (int prn = 1; prn <= kMaxPrn; ++prn) ASSERT_TRUE(putprn(prn, slot));
    EXPECT_FALSE(putprn(33, slot));
    EXPECT_EQ(slot, 0);
    EXPECT_FALSE(putprn(32, slot));
    EXPECT_EQ(slot, 32);
    EXPECT_EQ(prnTable().count, 32);
}

TEST(Delprn, ClosesTheGapKeepingOrder) {
    newprn();
    int slot = 0;
    for (int prn : {7, 3, 9, 1}) putprn(prn, slot);
    int n = 0;
    EXPECT_TRUE(delprn(3, n));
    EXPECT_EQ(n, 3);
    EXPECT_EQ(invprn(1), 7);
    EXPECT_EQ(invprn(2), 9);
    EXPECT_EQ(invprn(3), 1);
    EXPECT_FALSE(delprn(3, n));
    EXPECT_EQ(n, 3);
    EXPECT_TRUE(getprn(1, slot));
    EXPECT_EQ(slot, 3);
}

}  // namespace
}  // namespace varno
