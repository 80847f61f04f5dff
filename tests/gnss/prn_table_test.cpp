#include <gtest/gtest.h>

#include "test_support.h"
#include "gnss/gnss.h"

namespace varno {
namespace {

TEST(PrnTable, EmptyTable) {
    PrnTable table;
    newprn(table);
    int slot = -1;
    EXPECT_FALSE(getprn(table, 5, slot));
    EXPECT_EQ(slot, 1);
    int n = -1;
    numprn(table, n);
    EXPECT_EQ(n, 0);
    EXPECT_STOP(invprn(table, 1), 74358);
}

TEST(Putprn, InsertsInOrderAndReportsDuplicates) {
    PrnTable table;
    newprn(table);
    int slot = -1;
    EXPECT_TRUE(putprn(table, 5, slot));
    EXPECT_EQ(slot, 0);
    EXPECT_TRUE(putprn(table, 12, slot));
    EXPECT_FALSE(putprn(table, 5, slot));
    EXPECT_EQ(slot, 1);
    EXPECT_EQ(table.count, 2);
    EXPECT_EQ(invprn(table, 1), 5);
    EXPECT_EQ(invprn(table, 2), 12);
    EXPECT_STOP(invprn(table, 3), 74358);
    EXPECT_STOP(invprn(table, 0), 74358);
}

TEST(Putprn, FullTableRefusesNewButNotHeldPrns) {
    PrnTable table;
    newprn(table);
    int slot = 0;
    for (int prn = 1; prn <= kMaxPrn; ++prn) ASSERT_TRUE(putprn(table, prn, slot));
    EXPECT_FALSE(putprn(table, 33, slot));
    EXPECT_EQ(slot, 0);
    EXPECT_FALSE(putprn(table, 32, slot));
    EXPECT_EQ(slot, 32);
    EXPECT_EQ(table.count, 32);
}

TEST(Delprn, ClosesTheGapKeepingOrder) {
    PrnTable table;
    newprn(table);
    int slot = 0;
    for (int prn : {7, 3, 9, 1}) putprn(table, prn, slot);
    int n = 0;
    EXPECT_TRUE(delprn(table, 3, n));
    EXPECT_EQ(n, 3);
    EXPECT_EQ(invprn(table, 1), 7);
    EXPECT_EQ(invprn(table, 2), 9);
    EXPECT_EQ(invprn(table, 3), 1);
    EXPECT_FALSE(delprn(table, 3, n));
    EXPECT_EQ(n, 3);
    EXPECT_TRUE(getprn(table, 1, slot));
    EXPECT_EQ(slot, 3);
}

}  // namespace
}  // namespace varno
