#include <gtest/gtest.h>

#include "test_support.h"
#include "timebase/timebase.h"

namespace varno {
namespace {

TEST(PrnTable, EmptyTable) {
    newprn();
    int slot = -1;
    EXPECT_FALSE(getprn(SatId::gps(5), slot));
    EXPECT_EQ(slot, 1);
    int n = -1;
    numprn(n);
    EXPECT_EQ(n, 0);
    EXPECT_STOP(invprn(1), 74358);
}

TEST(Putprn, InsertsInOrderAndReportsDuplicates) {
    newprn();
    int slot = -1;
    EXPECT_TRUE(putprn(SatId::gps(5), slot));
    EXPECT_EQ(slot, 0);
    EXPECT_TRUE(putprn(SatId::gps(12), slot));
    EXPECT_FALSE(putprn(SatId::gps(5), slot));
    EXPECT_EQ(slot, 1);
    EXPECT_EQ(runSatellites().size(), 2);
    EXPECT_EQ(invprn(1), SatId::gps(5));
    EXPECT_EQ(invprn(2), SatId::gps(12));
    EXPECT_STOP(invprn(3), 74358);
    EXPECT_STOP(invprn(0), 74358);
}

TEST(Putprn, FullGpsTableRefusesNewGpsButNotHeldOrOtherSystems) {
    newprn();
    int slot = 0;
    for (int prn = 1; prn <= kMaxGpsSatellites; ++prn) ASSERT_TRUE(putprn(SatId::gps(prn), slot));
    EXPECT_FALSE(putprn(SatId::gps(33), slot));
    EXPECT_EQ(slot, 0);
    EXPECT_FALSE(putprn(SatId::gps(32), slot));
    EXPECT_EQ(slot, 32);
    EXPECT_EQ(runSatellites().size(), 32);
    // The limit is one of GPS satellites: other systems still enter.
    EXPECT_TRUE(putprn(SatId{GnssSystem::galileo, 33}, slot));
    EXPECT_EQ(invprn(33), (SatId{GnssSystem::galileo, 33}));
}

TEST(Delprn, ClosesTheGapKeepingOrder) {
    newprn();
    int slot = 0;
    for (int prn : {7, 3, 9, 1}) putprn(SatId::gps(prn), slot);
    int n = 0;
    EXPECT_TRUE(delprn(SatId::gps(3), n));
    EXPECT_EQ(n, 3);
    EXPECT_EQ(invprn(1), SatId::gps(7));
    EXPECT_EQ(invprn(2), SatId::gps(9));
    EXPECT_EQ(invprn(3), SatId::gps(1));
    EXPECT_FALSE(delprn(SatId::gps(3), n));
    EXPECT_EQ(n, 3);
    EXPECT_TRUE(getprn(SatId::gps(1), slot));
    EXPECT_EQ(slot, 3);
}

}  // namespace
}  // namespace varno
