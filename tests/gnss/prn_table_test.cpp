#include <gtest/gtest.h>

#include "test_support.h"
#include "gnss/gnss.h"

namespace varno {
namespace {

TEST(PrnTable, EmptyTable) {
    SatIndex table;
    newprn(table);
    int slot = -1;
    EXPECT_FALSE(getprn(table, SatId::gps(5), slot));
    EXPECT_EQ(slot, 1);
    int n = -1;
    numprn(table, n);
    EXPECT_EQ(n, 0);
    EXPECT_STOP(invprn(table, 1), 74358);
}

TEST(Putprn, InsertsInOrderAndReportsDuplicates) {
    SatIndex table;
    newprn(table);
    int slot = -1;
    EXPECT_TRUE(putprn(table, SatId::gps(5), slot));
    EXPECT_EQ(slot, 0);
    EXPECT_TRUE(putprn(table, SatId::gps(12), slot));
    EXPECT_FALSE(putprn(table, SatId::gps(5), slot));
    EXPECT_EQ(slot, 1);
    EXPECT_EQ(table.size(), 2);
    EXPECT_EQ(invprn(table, 1), SatId::gps(5));
    EXPECT_EQ(invprn(table, 2), SatId::gps(12));
    EXPECT_STOP(invprn(table, 3), 74358);
    EXPECT_STOP(invprn(table, 0), 74358);
}

TEST(Putprn, FullGpsTableRefusesNewGpsButNotHeldOrOtherSystems) {
    SatIndex table;
    newprn(table);
    int slot = 0;
    for (int prn = 1; prn <= kMaxGpsSatellites; ++prn) ASSERT_TRUE(putprn(table, SatId::gps(prn), slot));
    EXPECT_FALSE(putprn(table, SatId::gps(33), slot));
    EXPECT_EQ(slot, 0);
    EXPECT_FALSE(putprn(table, SatId::gps(32), slot));
    EXPECT_EQ(slot, 32);
    EXPECT_EQ(table.size(), 32);
    // The limit is one of GPS satellites: other systems still enter.
    EXPECT_TRUE(putprn(table, SatId{GnssSystem::galileo, 33}, slot));
    EXPECT_EQ(invprn(table, 33), (SatId{GnssSystem::galileo, 33}));
}

TEST(Delprn, ClosesTheGapKeepingOrder) {
    SatIndex table;
    newprn(table);
    int slot = 0;
    for (int prn : {7, 3, 9, 1}) putprn(table, SatId::gps(prn), slot);
    int n = 0;
    EXPECT_TRUE(delprn(table, SatId::gps(3), n));
    EXPECT_EQ(n, 3);
    EXPECT_EQ(invprn(table, 1), SatId::gps(7));
    EXPECT_EQ(invprn(table, 2), SatId::gps(9));
    EXPECT_EQ(invprn(table, 3), SatId::gps(1));
    EXPECT_FALSE(delprn(table, SatId::gps(3), n));
    EXPECT_EQ(n, 3);
    EXPECT_TRUE(getprn(table, SatId::gps(1), slot));
    EXPECT_EQ(slot, 3);
}

}  // namespace
}  // namespace varno
