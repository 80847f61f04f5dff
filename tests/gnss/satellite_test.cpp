#include <gtest/gtest.h>

#include "gnss/gnss.h"

namespace varno {
namespace {

TEST(SatId, TextAndParseRoundTripEverySystem) {
    for (GnssSystem system : allSystems()) {
        for (int number : {1, 5, 37, 99}) {
            const SatId sat{system, number};
            ASSERT_EQ(SatId::parse(sat.text()), sat) << sat.text();
        }
    }
    EXPECT_EQ(SatId::gps(5).text(), "G05");
    EXPECT_EQ(SatId::parse("G 5"), SatId::gps(5));
    EXPECT_EQ(SatId::parse(" 5"), SatId::gps(5));
    EXPECT_EQ(SatId::parse(" 5", false), std::nullopt);
    EXPECT_EQ(SatId::parse("X05"), std::nullopt);
    EXPECT_EQ(SatId::parse("G00"), std::nullopt);
    EXPECT_EQ(SatId::parse("G1x"), std::nullopt);
    EXPECT_EQ(SatId::parse(""), std::nullopt);
}

TEST(SatIndex, PositionsStayDenseWhenSatellitesLeave) {
    SatIndex index;
    const SatId g5 = SatId::gps(5), e5{GnssSystem::galileo, 5}, c30{GnssSystem::beidou, 30};
    EXPECT_EQ(index.add(g5), 0);
    EXPECT_EQ(index.add(e5), 1);
    EXPECT_EQ(index.add(c30), 2);
    EXPECT_EQ(index.add(e5), 1);
    EXPECT_TRUE(index.remove(g5));
    EXPECT_FALSE(index.remove(g5));
    EXPECT_EQ(index.find(g5), -1);
    EXPECT_EQ(index.find(e5), 0);
    EXPECT_EQ(index.find(c30), 1);
    EXPECT_EQ(index.at(1), c30);
    EXPECT_EQ(index.count(GnssSystem::beidou), 1);
    index.clear();
    EXPECT_EQ(index.size(), 0);
    EXPECT_FALSE(index.contains(c30));
}

}  // namespace
}  // namespace varno
