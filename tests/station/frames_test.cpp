#include <cmath>

#include "station/station.h"
#include "test_support.h"

namespace varno {
namespace {

constexpr double kPi = GpsConstants::pi;

TEST(Xyzgeo, RoundTripOverTheGlobeBelowOneMillimetre) {
    // Latitudes include both sides of the height-formula threshold (0.7854 rad) and points next to the poles.
    const double latitudes[] = {-kPi / 2 + 1e-9, -1.2, -0.78541, -0.78539, -0.3, 0.0,  0.2,
                                0.78539,         0.7854, 0.78541, 1.0,      1.55, kPi / 2 - 1e-9};
    const double longitudes[] = {-kPi, -2.0, -0.5, 0.0, 0.7, 1.6, 3.0};
    const double heights[] = {-450.0, 0.0, 0.5, 1234.567, 8848.0};
    for (double lat : latitudes) {
        for (double lon : longitudes) {
            for (double h : heights) {
                double x = 0, y = 0, z = 0;
                geoxyz(lat, lon, h, x, y, z);
                double lat2 = 0, lon2 = 0, h2 = 0;
                ASSERT_TRUE(xyzgeo(x, y, z, lat2, lon2, h2)) << lat << " " << lon << " " << h;
                double x2 = 0, y2 = 0, z2 = 0;
                geoxyz(lat2, lon2, h2, x2, y2, z2);
                EXPECT_LT(std::hypot(x2 - x, y2 - y, z2 - z), 1e-4) << lat << " " << lon << " " << h;
                EXPECT_NEAR(lat2, lat, 1e-10);  // 1e-10 rad is 0.6 mm on the ground
                EXPECT_NEAR(h2, h, 1e-4);
                if (std::fabs(lat) < 1.5) {
                    EXPECT_NEAR(std::remainder(lon2 - lon, 2 * kPi), 0.0, 1e-10);
                }
            }
        }
    }
}

TEST(Xyzgeo, EquatorPlaneAndPolarAxisConvergeOnZeroOverZero) {
    double lat = 1, lon = 1, h = 1;
    ASSERT_TRUE(xyzgeo(0.0, -6378200.0, 0.0, lat, lon, h));
    EXPECT_EQ(lat, 0.0);
    EXPECT_DOUBLE_EQ(lon, -kPi / 2);
    EXPECT_EQ(h, 6378200.0 - kSemiMajorAxis);
    const double polarRadius = kSemiMajorAxis / std::sqrt(1.0 - kEccentricitySquared) * kOneMinusE2;
    for (double sign : {1.0, -1.0}) {
        ASSERT_TRUE(xyzgeo(0.0, 0.0, sign * (polarRadius + 250.0), lat, lon, h));
        EXPECT_EQ(lat, sign * kPi / 2);
        EXPECT_EQ(lon, 0.0);
        EXPECT_NEAR(h, 250.0, 1e-6);
    }
}

TEST(Xyzgeo, NoConvergenceCentreAndNonFiniteInputReturnFalseWithZeros) {
    // Deep inside the earth the iteration does not settle within eleven steps; the centre and NaN input have
    // no geodetic coordinates at all.
    const double points[][3] = {{10000.0, 0.0, 10000.0}, {0.0, 0.0, 0.0}, {std::nan(""), 1.0, 6.4e6}};
    for (const auto& p : points) {
        double lat = 1, lon = 1, h = 1;
        EXPECT_FALSE(xyzgeo(p[0], p[1], p[2], lat, lon, h));
        EXPECT_EQ(lat, 0.0);
        EXPECT_EQ(lon, 0.0);
        EXPECT_EQ(h, 0.0);
    }
}

TEST(Rge, AxesAtTheOriginOfLatitudeAndLongitude) {
    double n = 0, e = 0, u = 0;
    // At latitude 0, longitude 0: X is up, Y is east, Z is north.
    rge(0.0, 0.0, n, e, u, 2.0, 3.0, 5.0);
    EXPECT_DOUBLE_EQ(n, 5.0);
    EXPECT_DOUBLE_EQ(e, 3.0);
    EXPECT_DOUBLE_EQ(u, 2.0);
}

TEST(Reg, InverseOfRge) {
    const double points[][2] = {{0.7, -2.1}, {-0.4, 0.3}, {1.5, 3.1}, {-1.5, -0.01}};
    for (const auto& p : points) {
        double n = 0, e = 0, u = 0;
        rge(p[0], p[1], n, e, u, 1234.5, -20000.25, 0.125);
        double dx = 0, dy = 0, dz = 0;
        reg(p[0], p[1], dx, dy, dz, n, e, u);
        EXPECT_NEAR(dx, 1234.5, 1e-9);
        EXPECT_NEAR(dy, -20000.25, 1e-9);
        EXPECT_NEAR(dz, 0.125, 1e-9);
    }
}

}  // namespace
}  // namespace varno
