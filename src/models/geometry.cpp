// The signal path from a satellite to a receiver: travel time, earth rotation, range, unit vector, elevation; the
// receiver clock offset; and the two-receiver forms of the forming and the passes, which stop on a missing orbit.
//
// Everything here runs once per satellite and epoch: no allocation, no state between calls. A failed orbit is
// fatal in the two-receiver forms, because an observation without a computed range cannot be used and the epochs
// are not retried.

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

double distance(const std::array<double, 3>& a, const std::array<double, 3>& p) {
    const double dx = a[0] - p[0];
    const double dy = a[1] - p[1];
    const double dz = a[2] - p[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// The path once the third pass has given the position `s` and the travel time `tau`.
void finishPath(const std::array<double, 3>& s, double tau, const std::array<double, 3>& receiver,
                SignalPath& path) {
    const double theta = kEarthRotationRate * tau;
    path.satellite = {s[0] + theta * s[1], s[1] - theta * s[0], s[2]};
    path.travelTime = tau;
    path.range = distance(path.satellite, receiver);
    path.unit = {(receiver[0] - path.satellite[0]) / path.range, (receiver[1] - path.satellite[1]) / path.range,
                 (receiver[2] - path.satellite[2]) / path.range};
    path.elevation = 0.0;
}

// The plain words for a signal time outside the orbit, sent at about `transmit`.
std::string orbitGap(int jd0, const OrbitSource& orbit, OrbitMiss miss, double transmit) {
    return miss == OrbitMiss::outsideSpan ? orbgap(jd0, orbit.firstTime(), orbit.lastTime(), transmit, transmit)
                                          : std::string();
}

double clockOrStop(const RunModels& run, SatId sat, const OrbitSource& orbit, const std::array<double, 3>& receiver,
                   double t, double p, double epoch, int stopCode) {
    double dt = 0.0;
    OrbitMiss miss = OrbitMiss::none;
    if (!receiverClock(orbit, sat, receiver, t, p, epoch, dt, miss)) {
        writeListing(freeLine("oterp error in comdtr--", missCode(miss)) + " " + run.sats->name(sat));
        stopRun(stopCode, orbitGap(run.jd0, orbit, miss, t - p * kInverseSpeedOfLight));
    }
    return dt;
}

SignalPath pathOrStop(const RunModels& run, SatId sat, const OrbitSource& orbit, const std::array<double, 3>& receiver,
                      double t, double dt, double epoch, int stopCode, const Geodetic* site = nullptr) {
    SignalPath path;
    OrbitMiss miss = OrbitMiss::none;
    if (!signalPath(orbit, sat, receiver, t, dt, epoch, path, miss, site)) {
        writeListing(freeLine("oterp error in comrng--", missCode(miss)) + " " + run.sats->name(sat));
        stopRun(stopCode, orbitGap(run.jd0, orbit, miss, t - dt - kTravelTimeStart));
    }
    return path;
}

// Both receivers' paths, side by side; where that meets a failure, one after the other, which stops as it should.
void pathsOrStop(const RunModels& run, SatId sat, const StationPair& pair, const OrbitSource& orbit, double t1,
                 double t2, double dt1, double dt2, SignalPath& path1, SignalPath& path2) {
    OrbitMiss miss = OrbitMiss::none;
    if (signalPaths(orbit, sat, pair.p1L1, t1, dt1, sat, pair.p2L1, t2, dt2, t1, path1, path2, miss)) return;
    path1 = pathOrStop(run, sat, orbit, pair.p1L1, t1, dt1, t1, kStopRangePoint1);
    path2 = pathOrStop(run, sat, orbit, pair.p2L1, t2, dt2, t1, kStopRangePoint2);
}

}  // namespace

bool signalPath(const OrbitSource& orbit, SatId sat, const std::array<double, 3>& receiver, double t, double dt,
                double epoch, SignalPath& path, OrbitMiss& miss, const Geodetic* site) {
    double tau = kTravelTimeStart;
    std::array<double, 3> s{};
    for (int pass = 0; pass < kTravelTimePasses; ++pass) {
        if (!orbit.position(sat, t - dt - tau, epoch, s, miss)) return false;
        tau = distance(s, receiver) / kSpeedOfLight;
    }
    finishPath(s, tau, receiver, path);
    if (site != nullptr) path.elevation = elevationAt(*site, receiver, path.satellite);
    return true;
}

bool signalPaths(const OrbitSource& orbit, SatId satA, const std::array<double, 3>& receiverA, double tA, double dtA,
                 SatId satB, const std::array<double, 3>& receiverB, double tB, double dtB, double epoch,
                 SignalPath& a, SignalPath& b, OrbitMiss& miss) {
    double tauA = kTravelTimeStart, tauB = kTravelTimeStart;
    std::array<double, 3> sA{}, sB{};
    for (int pass = 0; pass < kTravelTimePasses; ++pass) {
        if (!orbit.positions(satA, tA - dtA - tauA, satB, tB - dtB - tauB, epoch, sA, sB, miss)) return false;
        tauA = distance(sA, receiverA) / kSpeedOfLight;
        tauB = distance(sB, receiverB) / kSpeedOfLight;
    }
    finishPath(sA, tauA, receiverA, a);
    finishPath(sB, tauB, receiverB, b);
    return true;
}

bool receiverClock(const OrbitSource& orbit, SatId sat, const std::array<double, 3>& receiver, double t, double p,
                   double epoch, double& dt, OrbitMiss& miss) {
    double offset = 0.0;
    for (int pass = 0; pass < kClockPasses; ++pass) {
        SatelliteState state;
        if (!orbit.state(sat, t - p * kInverseSpeedOfLight - offset, epoch, state, miss)) return false;
        offset = (p - distance(state.position, receiver)) * kInverseSpeedOfLight + state.clock;
    }
    dt = offset;
    return true;
}

double elevationAt(const Geodetic& site, const std::array<double, 3>& station, const std::array<double, 3>& satellite) {
    double north = 0.0, east = 0.0, up = 0.0;
    rge(site.latitude, site.longitude, north, east, up, satellite[0] - station[0], satellite[1] - station[1],
        satellite[2] - station[2]);
    return std::atan(up / std::sqrt(north * north + east * east)) * kDegreesPerRadian;
}

void comdtr(const RunModels& run, int slot, const StationPair& pair, const OrbitSource& orbit, double t1, double t2,
            double p1, double p2, double& dt1, double& dt2) {
    const SatId sat = invprn(*run.sats, slot);
    // Point 1 is finished before point 2 starts; each starts again from a zero offset.
    dt1 = clockOrStop(run, sat, orbit, pair.p1L1, t1, p1, t1, kStopClockPoint1);
    dt2 = clockOrStop(run, sat, orbit, pair.p2L1, t2, p2, t1, kStopClockPoint2);
}

void comrng(const RunModels& run, int slot, const StationPair& pair, const OrbitSource& orbit, double t1, double t2,
            double dt1, double dt2, double& rho1, double& rho2, std::array<double, 3>& u) {
    SignalPath path1, path2;
    pathsOrStop(run, invprn(*run.sats, slot), pair, orbit, t1, t2, dt1, dt2, path1, path2);
    rho1 = path1.range;
    rho2 = path2.range;
    u = path2.unit;
}

void comrg0(const RunModels& run, int slot, const StationPair& pair, const OrbitSource& orbit, double t1, double t2,
            double dt1, double dt2, const Geodetic& site1, const Geodetic& site2, double& rho1, double& rho2,
            std::array<double, 3>& u, double& c1, double& c2) {
    comrng(run, slot, pair, orbit, t1, t2, dt1, dt2, rho1, rho2, u);
    c1 = 0.0;
    c2 = 0.0;
    if (!run.met.troposphereOn) return;
    double e1 = 0.0, e2 = 0.0;
    comrge(run, slot, pair, orbit, t1, t2, dt1, dt2, site1, site2, e1, e2);
    gettdh(run.met, site1.latitude, site1.height, e1 / kDegreesPerRadian, c1);
    gettdh(run.met, site2.latitude, site2.height, e2 / kDegreesPerRadian, c2);
}

void comrge(const RunModels& run, int slot, const StationPair& pair, const OrbitSource& orbit, double t1, double t2,
            double dt1, double dt2, const Geodetic& site1, const Geodetic& site2, double& elevation1,
            double& elevation2) {
    const SatId sat = invprn(*run.sats, slot);
    elevation1 = pathOrStop(run, sat, orbit, pair.p1L1, t1, dt1, t1, kStopRangePoint1, &site1).elevation;
    elevation2 = pathOrStop(run, sat, orbit, pair.p2L1, t2, dt2, t1, kStopRangePoint2, &site2).elevation;
}

void comrg2(const RunModels& run, int slot, const StationPair& pair, const OrbitSource& orbit, double t1, double t2,
            double dt1, double dt2, const Geodetic& site2, double& rho1, double& rho2, double& elevation) {
    const SatId sat = invprn(*run.sats, slot);
    rho1 = pathOrStop(run, sat, orbit, pair.p1L1, t1, dt1, t1, kStopRangePoint1).range;
    const SignalPath path2 = pathOrStop(run, sat, orbit, pair.p2L1, t2, dt2, t1, kStopRangePoint2, &site2);
    rho2 = path2.range;
    elevation = path2.elevation;
}

}  // namespace varno
