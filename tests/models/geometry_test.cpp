#include <array>
#include <cmath>

#include "models/models.h"
#include "models/orbit_fixture.h"
#include "station/station.h"
#include "test_support.h"
#include "test_run.h"

namespace varno {
namespace {

using test::ModelState;

constexpr double kC = GpsConstants::speedOfLight;
constexpr double kOmega = GpsConstants::earthRotationRate;

// Slot 1: a fictitious satellite receding at 3% of the speed of light, so that every travel-time pass still
// changes the result; slot 2: a satellite standing still; slot 3: a GPS-like circular orbit.
constexpr int kFastSlot = 1;
constexpr int kStillSlot = 2;
constexpr int kCircularSlot = 3;
constexpr double kFastSpeed = 9.0e6;  // m/s
const std::array<double, 3> kFastStart = {2.6e7, 1.0e7, 5.0e6};
const std::array<double, 3> kStill = {2.2e7, -3.0e6, 1.4e7};
constexpr double kStillClock = 1.5e-4;
constexpr double kFirstTime = 1000.0;

ModelState fastState(double t) {
    return {kFastStart[0] + kFastSpeed * (t - kFirstTime), kFastStart[1], kFastStart[2],
            1.0e-4 + 1.0e-9 * (t - kFirstTime)};
}

ModelState model(int slot, double t) {
    if (slot == kFastSlot) return fastState(t);
    if (slot == kStillSlot) return {kStill[0], kStill[1], kStill[2], kStillClock};
    const double radius = 2.656e7;
    const double angle = 2.0 * GpsConstants::pi / 43082.0 * t;
    const double inclination = 0.96;
    return {radius * std::cos(angle), radius * std::sin(angle) * std::cos(inclination),
            radius * std::sin(angle) * std::sin(inclination), -2.0e-5};
}

class Geometry : public ::testing::Test {
protected:
    void SetUp() override {
        captureOutput();
        test::setPrns({5, 12, 27});
        orbit = test::makeOrbit(3, kFirstTime, 1.0, 16, model);
        pair.p1L1 = {4.0e6, 1.0e6, 4.8e6};
        pair.p2L1 = {4.0e6 + 3000.0, 1.0e6 - 2000.0, 4.8e6 + 1500.0};
    }
    test::TestOrbit orbit;
    StationPair pair;
};

double norm(double x, double y, double z) { return std::sqrt(x * x + y * y + z * z); }

// The range to the fast satellite worked by hand from its analytic motion: three passes from 0.075 s, then the
// third pass's position turned by the earth's rotation during the third pass's travel time.
double handRange(const std::array<double, 3>& p, double t, double dt, std::array<double, 3>& rotated,
                 double& thirdPassRange) {
    double tau = 0.075;
    ModelState s;
    for (int pass = 0; pass < 3; ++pass) {
        s = fastState(t - dt - tau);
        thirdPassRange = norm(s.x - p[0], s.y - p[1], s.z - p[2]);
        tau = thirdPassRange / kC;
    }
    const double theta = kOmega * tau;
    rotated = {s.x + theta * s.y, s.y - theta * s.x, s.z};
    return norm(rotated[0] - p[0], rotated[1] - p[1], rotated[2] - p[2]);
}

TEST_F(Geometry, ComdtrPseudorangeEqualToRangeGivesSatelliteClock) {
    const double p1 = norm(kStill[0] - pair.p1L1[0], kStill[1] - pair.p1L1[1], kStill[2] - pair.p1L1[2]);
    const double p2 = norm(kStill[0] - pair.p2L1[0], kStill[1] - pair.p2L1[1], kStill[2] - pair.p2L1[2]);
    double dt1 = 0.0, dt2 = 0.0;
    comdtr(testRun, kStillSlot, pair, orbit, 1008.0, 1008.0, p1, p2, dt1, dt2);
    EXPECT_NEAR(dt1, kStillClock, 1e-15);
    EXPECT_NEAR(dt2, kStillClock, 1e-15);

    // A pseudorange 300 m long is a receiver clock 300 m / c ahead of the satellite's.
    comdtr(testRun, kStillSlot, pair, orbit, 1008.0, 1008.0, p1 + 300.0, p2 - 300.0, dt1, dt2);
    EXPECT_NEAR(dt1, kStillClock + 300.0 / kC, 1e-15);
    EXPECT_NEAR(dt2, kStillClock - 300.0 / kC, 1e-15);
}

TEST_F(Geometry, ComdtrMakesTwoPassesFromZeroForEachPoint) {
    const double t1 = 1007.0, t2 = 1007.5;
    const double p1 = 3.1e7, p2 = 3.3e7;
    auto hand = [](const std::array<double, 3>& p, double t, double pr) {
        double dt = 0.0;
        for (int pass = 0; pass < 2; ++pass) {
            const ModelState s = fastState(t - pr / kC - dt);
            dt = (pr - norm(s.x - p[0], s.y - p[1], s.z - p[2])) / kC + s.clock;
        }
        return dt;
    };
    double dt1 = 0.0, dt2 = 0.0;
    comdtr(testRun, kFastSlot, pair, orbit, t1, t2, p1, p2, dt1, dt2);
    EXPECT_NEAR(dt1, hand(pair.p1L1, t1, p1), 1e-14);
    EXPECT_NEAR(dt2, hand(pair.p2L1, t2, p2), 1e-14);
}

TEST_F(Geometry, ComrngRotatesTheThirdPassPositionOnce) {
    const double t1 = 1006.0, t2 = 1006.0004, dt1 = 2.0e-4, dt2 = -3.0e-4;
    double rho1 = 0.0, rho2 = 0.0;
    std::array<double, 3> u{};
    comrng(testRun, kFastSlot, pair, orbit, t1, t2, dt1, dt2, rho1, rho2, u);

    std::array<double, 3> s1{}, s2{};
    double third1 = 0.0, third2 = 0.0;
    const double expected1 = handRange(pair.p1L1, t1, dt1, s1, third1);
    const double expected2 = handRange(pair.p2L1, t2, dt2, s2, third2);
    EXPECT_NEAR(rho1, expected1, 1e-5);
    EXPECT_NEAR(rho2, expected2, 1e-5);
    // The range returned is the one to the rotated position, not the third pass's own.
    EXPECT_GT(std::fabs(rho1 - third1), 1.0);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(u[i], (pair.p2L1[i] - s2[i]) / expected2, 1e-12);
}

TEST_F(Geometry, ComrngSamePointAndTagGiveEqualRangesAndUnitVector) {
    double rho1 = 0.0, rho2 = 0.0;
    std::array<double, 3> u{};
    StationPair same = pair;
    same.p2L1 = same.p1L1;
    comrng(testRun, kCircularSlot, same, orbit, 1008.3, 1008.3, 1.0e-3, 1.0e-3, rho1, rho2, u);
    EXPECT_EQ(rho1, rho2);

    comrng(testRun, kCircularSlot, pair, orbit, 1008.3, 1008.1, 1.0e-3, -2.0e-3, rho1, rho2, u);
    EXPECT_NEAR(norm(u[0], u[1], u[2]), 1.0, 1e-15);
    // From the satellite towards point 2: moving point 2 along u lengthens its range.
    const ModelState s = model(kCircularSlot, 1008.1);
    const double towards = (pair.p2L1[0] - s.x) * u[0] + (pair.p2L1[1] - s.y) * u[1] + (pair.p2L1[2] - s.z) * u[2];
    EXPECT_GT(towards, 0.99 * rho2);
}

TEST_F(Geometry, Comrg2GivesComrngRangesAndElevationOfRotatedPosition) {
    const double t1 = 1006.0, t2 = 1006.0, dt1 = 1e-4, dt2 = 1e-4, lat2 = 0.85, lon2 = 0.24;
    double rho1 = 0.0, rho2 = 0.0, r1 = 0.0, r2 = 0.0, elevation = 0.0;
    std::array<double, 3> u{};
    comrng(testRun, kFastSlot, pair, orbit, t1, t2, dt1, dt2, rho1, rho2, u);
    comrg2(testRun, kFastSlot, pair, orbit, t1, t2, dt1, dt2, Geodetic{lat2, lon2}, r1, r2, elevation);
    EXPECT_EQ(r1, rho1);
    EXPECT_EQ(r2, rho2);

    std::array<double, 3> s2{};
    double third = 0.0;
    handRange(pair.p2L1, t2, dt2, s2, third);
    double expected = 0.0;
    expected = elevationAt(Geodetic{lat2, lon2}, pair.p2L1, s2);
    EXPECT_NEAR(elevation, expected, 1e-9);
}

TEST_F(Geometry, SignalPathCarriesTheTravelTimeUnitVectorAndElevationOfItsRange) {
    const double t = 1006.0, dt = 1e-4;
    const Geodetic site{0.85, 0.24, 100.0};
    SignalPath path;
    OrbitMiss miss = OrbitMiss::none;
    ASSERT_TRUE(signalPath(orbit, invprn(testSats, kFastSlot), pair.p2L1, t, dt, t, path, miss, &site));
    std::array<double, 3> rotated{};
    double third = 0.0;
    EXPECT_EQ(path.range, handRange(pair.p2L1, t, dt, rotated, third));
    EXPECT_NEAR(path.travelTime, third / kC, 1e-15);
    EXPECT_NEAR(norm(path.unit[0], path.unit[1], path.unit[2]), 1.0, 1e-15);
    EXPECT_EQ(path.elevation, elevationAt(site, pair.p2L1, path.satellite));
    // An orbit that does not reach the transmission time: the miss, the path untouched.
    EXPECT_FALSE(signalPath(orbit, invprn(testSats, kFastSlot), pair.p2L1, 1000.05, 0.0, t, path, miss));
    EXPECT_EQ(miss, OrbitMiss::outsideSpan);
    EXPECT_EQ(path.elevation, elevationAt(site, pair.p2L1, path.satellite));
}

TEST(Comvad, ZenithHorizonAndBelow) {
    const double a = 6378137.0;
    double elevation = 0.0;
    elevation = elevationAt(Geodetic{0.0, 0.0}, {a, 0.0, 0.0}, {a + 2.0e7, 0.0, 0.0});
    EXPECT_EQ(elevation, 90.0);
    elevation = elevationAt(Geodetic{0.0, 0.0}, {a, 0.0, 0.0}, {a, 0.0, 2.0e7});
    EXPECT_EQ(elevation, 0.0);
    elevation = elevationAt(Geodetic{0.0, 0.0}, {a, 0.0, 0.0}, {a - 1.0e6, 0.0, 2.0e7});
    EXPECT_LT(elevation, 0.0);
    elevation = elevationAt(Geodetic{0.0, 0.0}, {a, 0.0, 0.0}, {a - 2.0e7, 0.0, 0.0});
    EXPECT_EQ(elevation, -90.0);
}

TEST(Comvad, ElevationInTheLocalFrameOfTheStation) {
    const double lat = 0.7, lon = -1.9;
    double sx = 0.0, sy = 0.0, sz = 0.0;
    geoxyz(lat, lon, 250.0, sx, sy, sz);
    // 30 degrees above the horizon towards the north-east, 2e7 m away.
    const double up = 2.0e7 * 0.5, horizontal = 2.0e7 * std::sqrt(3.0) / 2.0;
    double dx = 0.0, dy = 0.0, dz = 0.0;
    reg(lat, lon, dx, dy, dz, horizontal / std::sqrt(2.0), horizontal / std::sqrt(2.0), up);
    double elevation = 0.0;
    elevation = elevationAt(Geodetic{lat, lon}, {sx, sy, sz}, {sx + dx, sy + dy, sz + dz});
    EXPECT_NEAR(elevation, 30.0, 1e-9);
}

TEST_F(Geometry, OrbitFailureStopsWithTheCodeOfItsPass) {
    double rho1 = 0.0, rho2 = 0.0, dt1 = 0.0, dt2 = 0.0, elevation = 0.0;
    std::array<double, 3> u{};
    // A transmission time before the first orbit epoch: error 3.
    EXPECT_STOP(comrng(testRun, kCircularSlot, pair, orbit, 1000.05, 1008.0, 0.0, 0.0, rho1, rho2, u), 34551);
    EXPECT_EQ(listingText(), " oterp error in comrng-- 3 27\n");
    captureOutput();
    EXPECT_STOP(comrng(testRun, kStillSlot, pair, orbit, 1008.0, 1000.05, 0.0, 0.0, rho1, rho2, u), 34552);
    EXPECT_EQ(listingText(), " oterp error in comrng-- 3 12\n");
    captureOutput();
    EXPECT_STOP(comrg2(testRun, kStillSlot, pair, orbit, 1008.0, 1000.05, 0.0, 0.0, Geodetic{0.8, 0.2}, rho1, rho2, elevation),
                34552);
    EXPECT_EQ(listingText(), " oterp error in comrng-- 3 12\n");
    captureOutput();
    EXPECT_STOP(comdtr(testRun, kStillSlot, pair, orbit, 1000.03, 1008.0, 2.0e7, 2.0e7, dt1, dt2), 34553);
    EXPECT_EQ(listingText(), " oterp error in comdtr-- 3 12\n");
    captureOutput();
    EXPECT_STOP(comdtr(testRun, kStillSlot, pair, orbit, 1008.0, 1000.03, 2.0e7, 2.0e7, dt1, dt2), 34554);
    EXPECT_EQ(listingText(), " oterp error in comdtr-- 3 12\n");
}

TEST_F(Geometry, SlotOutsideThePrnTableStops) {
    double rho1 = 0.0, rho2 = 0.0, dt1 = 0.0, dt2 = 0.0, elevation = 0.0;
    std::array<double, 3> u{};
    EXPECT_STOP(comdtr(testRun, 4, pair, orbit, 1008.0, 1008.0, 2.0e7, 2.0e7, dt1, dt2), 74358);
    EXPECT_STOP(comrng(testRun, 0, pair, orbit, 1008.0, 1008.0, 0.0, 0.0, rho1, rho2, u), 74358);
    EXPECT_STOP(comrg2(testRun, 4, pair, orbit, 1008.0, 1008.0, 0.0, 0.0, Geodetic{0.8, 0.2}, rho1, rho2, elevation), 74358);
    EXPECT_STOP(invprn(testSats, 4), 74358);
    EXPECT_EQ(listingText(), "");
}

}  // namespace
}  // namespace varno
