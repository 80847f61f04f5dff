#include "crs/crs.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// A point on the equator at `longitude` degrees.
varno::crs::Vec3 onEquator(double longitude) {
    const double r = longitude * 3.14159265358979323846 / 180;
    return {6378137.0 * std::cos(r), 6378137.0 * std::sin(r), 0.0};
}

// UTM 18N covers 78°W to 72°W; the Pacific Mercator system's box runs across the 180th meridian (98.69°E to 68°W).
TEST(Crs, AreaOfUseIsTheSystemsBoxAcrossTheAntimeridianToo) {
    const varno::crs::Mat3 none{};
    const auto inUtm = varno::crs::project("EPSG:32618", onEquator(-75), none, "p");
    EXPECT_FALSE(inUtm.outsideAreaOfUse);
    EXPECT_NE(inUtm.areaOfUse.find("78°W and 72°W"), std::string::npos);
    EXPECT_EQ(varno::crs::areaWarning(inUtm, "p"), "");
    const auto outOfUtm = varno::crs::project("EPSG:32618", onEquator(-60), none, "p");
    EXPECT_TRUE(outOfUtm.outsideAreaOfUse);
    EXPECT_EQ(varno::crs::areaWarning(outOfUtm, "point 2").rfind("point 2 lies outside the area of use of EPSG:32618", 0),
              0u);
    EXPECT_FALSE(varno::crs::project("EPSG:3832", onEquator(179.5), none, "p").outsideAreaOfUse);
    EXPECT_FALSE(varno::crs::project("EPSG:3832", onEquator(-170), none, "p").outsideAreaOfUse);
    EXPECT_TRUE(varno::crs::project("EPSG:3832", onEquator(0), none, "p").outsideAreaOfUse);
}

}  // namespace
