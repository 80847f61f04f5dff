// varno-sim: point 2's motion (a static marker, a straight drive, a circle, or stop-and-go along a straight
// line) and its true track file.
//
// The track starts at point 2's marker at the start of the data. It is drawn in the horizontal plane of the
// start and brought down along the ellipsoid's normal to point 2's height, so that the receiver keeps its
// height; the speed is the asked one near the start and about 1e-4 slower 70 km away (the truth is always
// what the track file says).

#include "sim.h"

namespace sim {

bool moving(const Scenario& sc) { return sc.trajectory != "static"; }

namespace {

// Distance travelled north and east (metres) s seconds after the start.
void displacement(const Scenario& sc, double s, double& north, double& east) {
    const double heading = sc.heading / kDegPerRad;
    double along = sc.speed * s;
    if (sc.trajectory == "circle") {
        // Turning clockwise about a centre `radius` to the right of the initial heading.
        const double bearing = heading - kPi / 2 + along / sc.radius;
        north = sc.radius * (std::cos(heading + kPi / 2) + std::cos(bearing));
        east = sc.radius * (std::sin(heading + kPi / 2) + std::sin(bearing));
        return;
    }
    if (sc.trajectory == "stop-and-go") {
        // Stopped for stopTime, then moving for goTime, in turn, from the start.
        const double period = sc.stopTime + sc.goTime;
        const double cycles = std::floor(s / period);
        const double inCycle = s - cycles * period;
        along = sc.speed * (cycles * sc.goTime + std::max(0.0, inCycle - sc.stopTime));
    }
    north = along * std::cos(heading);
    east = along * std::sin(heading);
}

}  // namespace

Station stationAt(const Scenario& sc, const Geometry& geo, int i, double t) {
    if (i == 0 || !moving(sc)) return {geo.marker[i], geo.l1[i], geo.lat[i], geo.lon[i], i == 0 ? sc.h1 : geo.h2};
    double north = 0, east = 0;
    displacement(sc, t - geo.tStart, north, east);
    Station st{};
    double h = 0;
    xyzToGeod(geo.marker[1] + neuToXyz(geo.lat[1], geo.lon[1], north, east, 0.0), st.lat, st.lon, h);
    st.h = geo.h2;
    st.marker = geodToXyz(st.lat, st.lon, st.h);
    const Receiver& r = sc.rx[1];
    st.l1 = st.marker + neuToXyz(st.lat, st.lon, r.antNorth, r.antEast, r.antUp);
    return st;
}

std::vector<std::string> trackFile(const Scenario& sc, const Geometry& geo, const ObsStream& obs) {
    std::vector<std::string> out{"time,x_m,y_m,z_m,lat,lon,h"};
    for (const ObsEpoch& ep : obs.epochs) {
        if (ep.flag > 1) continue;
        // The marker at the epoch's true reception time: its tag minus the receiver clock offset.
        const double tag = static_cast<double>(ep.tagUnits) / static_cast<double>(kUnitsPerSec);
        const Station st = stationAt(sc, geo, 1, tag - ep.clock);
        const Civil c = civilOfUnits(geo.mjd0, ep.tagUnits);
        double lonDeg = st.lon * kDegPerRad;
        if (lonDeg > 180) lonDeg -= 360;
        if (lonDeg <= -180) lonDeg += 360;
        out.push_back(fmt("%04d-%02d-%02dT%02d:%02d:%02lld.%07lld,%.4f,%.4f,%.4f,%.9f,%.9f,%.4f", c.year, c.month, c.day,
                          c.hour, c.minute, static_cast<long long>(c.secUnits / kUnitsPerSec),
                          static_cast<long long>(c.secUnits % kUnitsPerSec), st.marker.x, st.marker.y, st.marker.z,
                          st.lat * kDegPerRad, lonDeg, st.h));
    }
    return out;
}

}  // namespace sim
