// Receiver clock offsets, satellite ranges with signal travel time and earth rotation, and elevations.
//
// Everything here runs once per satellite and epoch: no allocation, no state between calls. The orbit is reached
// only through the OrbitSource; a failed interpolation is fatal, because an observation without a computed range cannot be
// used and the epochs are not retried.

#include <array>
#include <cmath>

#include "models/models.h"
#include "orbit/orbit.h"
#include "station/station.h"
#include "textio/textio.h"
#include "timebase/timebase.h"

namespace varno {

namespace {

constexpr double kSpeedOfLight = GpsConstants::speedOfLight;
constexpr double kInverseSpeedOfLight = 1.0 / GpsConstants::speedOfLight;
constexpr double kEarthRotationRate = GpsConstants::earthRotationRate;
constexpr double kDegreesPerRadian = GpsConstants::degreesPerRadian;

// Starting guess of the signal travel time (s), whatever the satellite's distance, and the fixed pass counts:
// the passes are always all made, converged or not, so that every caller gets bit-identical ranges.
constexpr double kTravelTimeStart = 0.075;
constexpr int kTravelTimePasses = 3;
constexpr int kClockPasses = 2;

constexpr int kStopRangePoint1 = 34551;
constexpr int kStopRangePoint2 = 34552;
constexpr int kStopClockPoint1 = 34553;
constexpr int kStopClockPoint2 = 34554;

double distance(double x, double y, double z, const std::array<double, 3>& p) {
    const double dx = x - p[0];
    const double dy = y - p[1];
    const double dz = z - p[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// The plain words for a signal time outside the orbit (error 3), sent at about `transmit`.
std::string orbitGap(const OrbitSource& orbit, int error, double transmit) {
    return error == missCode(OrbitMiss::outsideSpan) ? orbgap(orbit.firstTime(), orbit.lastTime(), transmit, transmit)
                                                     : std::string();
}

// The satellite in the PrnTable's `slot` (stop 74358 outside 1..count).
SatId satOfSlot(int slot) { return SatId::gps(invprn(slot)); }

// The orbit's answer as the listing's error code.
bool failed(OrbitMiss miss, int& error) {
    error = missCode(miss);
    return false;
}

// Receiver clock offset (s) at one point from pseudorange p tagged t: two passes from 0, no earth rotation.
bool clockOffset(SatId sat, const OrbitSource& orbit, const std::array<double, 3>& phaseCentre, double t, double p,
                 double& offset, int& error) {
    double dt = 0.0;
    for (int pass = 0; pass < kClockPasses; ++pass) {
        const double transmit = t - p * kInverseSpeedOfLight - dt;
        SatelliteState state;
        OrbitMiss miss = OrbitMiss::none;
        if (!orbit.state(sat, transmit, t, state, miss)) return failed(miss, error);
        const double rho = distance(state.position[0], state.position[1], state.position[2], phaseCentre);
        dt = (p - rho) * kInverseSpeedOfLight + state.clock;
    }
    offset = dt;
    return true;
}

// Range (m) from the satellite to one phase centre for a reception tagged t with receiver clock offset dt.
// `rotated` receives the satellite position turned by the earth's rotation during the travel time of the third
// pass; the range returned is the distance to that rotated position.
bool travelRange(SatId sat, const OrbitSource& orbit, const std::array<double, 3>& phaseCentre, double t, double dt,
                 double& range, std::array<double, 3>& rotated, int& error) {
    double tau = kTravelTimeStart;
    std::array<double, 3> s{};
    for (int pass = 0; pass < kTravelTimePasses; ++pass) {
        const double transmit = t - dt - tau;
        OrbitMiss miss = OrbitMiss::none;
        if (!orbit.position(sat, transmit, t, s, miss)) return failed(miss, error);
        const double rho = distance(s[0], s[1], s[2], phaseCentre);
        tau = rho / kSpeedOfLight;
    }
    const double x = s[0], y = s[1], z = s[2];
    const double theta = kEarthRotationRate * tau;
    rotated = {x + theta * y, y - theta * x, z};
    range = distance(rotated[0], rotated[1], rotated[2], phaseCentre);
    return true;
}

// The same, with an orbit failure written as `message`, the error code and the PRN, and stop `stopCode`.
double clockOffsetOrStop(SatId sat, const OrbitSource& orbit, const std::array<double, 3>& phaseCentre,
                         double t, double p, int stopCode) {
    double dt = 0.0;
    int error = 0;
    if (!clockOffset(sat, orbit, phaseCentre, t, p, dt, error)) {
        writeListing(freeLine("oterp error in comdtr--", error, sat.number));
        stopRun(stopCode, orbitGap(orbit, error, t - p * kInverseSpeedOfLight));
    }
    return dt;
}

double travelRangeOrStop(SatId sat, const OrbitSource& orbit, const std::array<double, 3>& phaseCentre,
                         double t, double dt, int stopCode, std::array<double, 3>& rotated) {
    double range = 0.0;
    int error = 0;
    if (!travelRange(sat, orbit, phaseCentre, t, dt, range, rotated, error)) {
        writeListing(freeLine("oterp error in comrng--", error, sat.number));
        stopRun(stopCode, orbitGap(orbit, error, t - dt - kTravelTimeStart));
    }
    return range;
}

// Elevation (degrees) of the vector d = satellite − station at the station's latitude and longitude.
double elevationOf(double latitude, double longitude, double dx, double dy, double dz) {
    double north = 0.0, east = 0.0, up = 0.0;
    rge(latitude, longitude, north, east, up, dx, dy, dz);
    return std::atan(up / std::sqrt(north * north + east * east)) * kDegreesPerRadian;
}

}  // namespace

void comdtr(int slot, const StationPair& pair, const OrbitSource& orbit, double t1, double t2, double p1, double p2,
            double& dt1, double& dt2) {
    const SatId sat = satOfSlot(slot);
    // Point 1 is finished before point 2 starts; each starts again from a zero offset.
    dt1 = clockOffsetOrStop(sat, orbit, pair.p1L1, t1, p1, kStopClockPoint1);
    dt2 = clockOffsetOrStop(sat, orbit, pair.p2L1, t2, p2, kStopClockPoint2);
}

void comrng(int slot, const StationPair& pair, const OrbitSource& orbit, double t1, double t2, double /*p1*/,
            double /*p2*/, double dt1, double dt2, double& rho1, double& rho2, std::array<double, 3>& u) {
    const SatId sat = satOfSlot(slot);
    std::array<double, 3> s1{};
    std::array<double, 3> s2{};
    // Both points side by side; where that meets a failure, one after the other, which stops as it should.
    int error = 0;
    if (!satrngs(slot, pair.p1L1, t1, dt1, slot, pair.p2L1, t2, dt2, orbit, rho1, s1, rho2, s2, error)) {
        rho1 = travelRangeOrStop(sat, orbit, pair.p1L1, t1, dt1, kStopRangePoint1, s1);
        rho2 = travelRangeOrStop(sat, orbit, pair.p2L1, t2, dt2, kStopRangePoint2, s2);
    }
    // From the satellite towards point 2: the derivative of rho2 with respect to point 2's X, Y, Z.
    u = towards(pair.p2L1, s2, rho2);
}

void comrg0(int slot, const StationPair& pair, const OrbitSource& orbit, double t1, double t2, double p1, double p2,
            double dt1, double dt2, double& rho1, double& rho2, std::array<double, 3>& u, double lat1,
            double lon1, double h1, double lat2, double lon2, double h2, double& c1, double& c2) {
    comrng(slot, pair, orbit, t1, t2, p1, p2, dt1, dt2, rho1, rho2, u);
    c1 = 0.0;
    c2 = 0.0;
    if (!metParams().troposphereOn) return;
    double e1 = 0.0, e2 = 0.0;
    comrge(slot, pair, orbit, t1, t2, dt1, dt2, lat1, lon1, lat2, lon2, e1, e2);
    gettdh(lat1, h1, e1 / kDegreesPerRadian, c1);
    gettdh(lat2, h2, e2 / kDegreesPerRadian, c2);
}

void comrge(int slot, const StationPair& pair, const OrbitSource& orbit, double t1, double t2, double dt1,
            double dt2, double lat1, double lon1, double lat2, double lon2, double& elevation1,
            double& elevation2) {
    const SatId sat = satOfSlot(slot);
    std::array<double, 3> s1{};
    std::array<double, 3> s2{};
    travelRangeOrStop(sat, orbit, pair.p1L1, t1, dt1, kStopRangePoint1, s1);
    travelRangeOrStop(sat, orbit, pair.p2L1, t2, dt2, kStopRangePoint2, s2);
    elevation1 = elevationOf(lat1, lon1, s1[0] - pair.p1L1[0], s1[1] - pair.p1L1[1], s1[2] - pair.p1L1[2]);
    elevation2 = elevationOf(lat2, lon2, s2[0] - pair.p2L1[0], s2[1] - pair.p2L1[1], s2[2] - pair.p2L1[2]);
}

void comrg2(int slot, const StationPair& pair, const OrbitSource& orbit, double t1, double t2, double /*p1*/,
            double /*p2*/, double dt1, double dt2, double& rho1, double& rho2, double lat2, double lon2,
            double& elevation) {
    const SatId sat = satOfSlot(slot);
    std::array<double, 3> s1{};
    std::array<double, 3> s2{};
    rho1 = travelRangeOrStop(sat, orbit, pair.p1L1, t1, dt1, kStopRangePoint1, s1);
    rho2 = travelRangeOrStop(sat, orbit, pair.p2L1, t2, dt2, kStopRangePoint2, s2);
    comvad(lat2, lon2, pair.p2L1[0], pair.p2L1[1], pair.p2L1[2], s2[0], s2[1], s2[2], elevation);
}

bool rcvclk(int slot, const OrbitSource& orbit, const std::array<double, 3>& phaseCentre, double t, double p,
            double& dt, int& error) {
    return clockOffset(satOfSlot(slot), orbit, phaseCentre, t, p, dt, error);
}

bool satrng(int slot, const OrbitSource& orbit, const std::array<double, 3>& phaseCentre, double t, double dt,
            double& rho, std::array<double, 3>& rotated, int& error) {
    return travelRange(satOfSlot(slot), orbit, phaseCentre, t, dt, rho, rotated, error);
}

bool satrngs(int slotA, const std::array<double, 3>& centreA, double tA, double dtA, int slotB,
             const std::array<double, 3>& centreB, double tB, double dtB, const OrbitSource& orbit, double& rhoA,
             std::array<double, 3>& rotatedA, double& rhoB, std::array<double, 3>& rotatedB, int& error) {
    const SatId satA = satOfSlot(slotA);
    const SatId satB = satOfSlot(slotB);
    // travelRange for both, pass by pass.
    double tauA = kTravelTimeStart, tauB = kTravelTimeStart;
    std::array<double, 3> a{}, b{};
    for (int pass = 0; pass < kTravelTimePasses; ++pass) {
        OrbitMiss miss = OrbitMiss::none;
        if (!orbit.positions(satA, tA - dtA - tauA, satB, tB - dtB - tauB, tA, a, b, miss)) return failed(miss, error);
        tauA = distance(a[0], a[1], a[2], centreA) / kSpeedOfLight;
        tauB = distance(b[0], b[1], b[2], centreB) / kSpeedOfLight;
    }
    const double thetaA = kEarthRotationRate * tauA;
    const double thetaB = kEarthRotationRate * tauB;
    rotatedA = {a[0] + thetaA * a[1], a[1] - thetaA * a[0], a[2]};
    rotatedB = {b[0] + thetaB * b[1], b[1] - thetaB * b[0], b[2]};
    rhoA = distance(rotatedA[0], rotatedA[1], rotatedA[2], centreA);
    rhoB = distance(rotatedB[0], rotatedB[1], rotatedB[2], centreB);
    return true;
}

std::array<double, 3> towards(const std::array<double, 3>& phaseCentre, const std::array<double, 3>& rotated,
                              double rho) {
    return {(phaseCentre[0] - rotated[0]) / rho, (phaseCentre[1] - rotated[1]) / rho,
            (phaseCentre[2] - rotated[2]) / rho};
}

void comvad(double latitude, double longitude, double sx, double sy, double sz, double satX, double satY,
            double satZ, double& elevation) {
    elevation = elevationOf(latitude, longitude, satX - sx, satY - sy, satZ - sz);
}

}  // namespace varno
