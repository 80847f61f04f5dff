// varno-sim: the constellation (Keplerian orbits in the earth-fixed frame, satellite clocks) and the
// signal path from satellite to receiver.

#include "sim.h"

namespace sim {

std::vector<Sat> makeConstellation(const Scenario& sc) {
    // Fixed geometry and clocks: independent of the scenario seed.
    Rng rng(0x5EED0C0457E11A7EULL);
    int total = 0;
    for (int n : sc.planes) total += n;
    std::vector<int> prns;
    for (int p = 1; p <= 32; ++p) prns.push_back(p);
    for (int i = 31; i > 0; --i) std::swap(prns[i], prns[rng.next() % static_cast<uint64_t>(i + 1)]);
    prns.resize(static_cast<size_t>(total));
    std::vector<Sat> sats;
    int idx = 0;
    for (size_t p = 0; p < sc.planes.size(); ++p) {
        const int n = sc.planes[p];
        for (int j = 0; j < n; ++j, ++idx) {
            Sat s{};
            s.prn = prns[static_cast<size_t>(idx)];
            s.a = 26559700.0 + 2000.0 * (rng.uniform() - 0.5);
            s.e = 0.001 + 0.015 * rng.uniform();
            s.inc = (55.0 + 1.0 * (rng.uniform() - 0.5)) / kDegPerRad;
            s.raan = (17.0 + 60.0 * static_cast<double>(p)) / kDegPerRad;
            s.argp = 360.0 * rng.uniform() / kDegPerRad;
            const double u0 = (360.0 * j / n + 13.0 * static_cast<double>(p) + 8.0 * (rng.uniform() - 0.5));
            s.m0 = u0 / kDegPerRad - s.argp;
            s.clk0 = (rng.uniform() < 0.5 ? -1.0 : 1.0) * (5.0e-6 + 300.0e-6 * rng.uniform());
            s.clk1 = (rng.uniform() - 0.5) * 2.0e-11;
            sats.push_back(s);
        }
    }
    std::sort(sats.begin(), sats.end(), [](const Sat& a, const Sat& b) { return a.prn < b.prn; });
    if (!simulated(sc, 'G')) sats.clear();
    for (Sat& s : otherConstellations(sc)) sats.push_back(std::move(s));
    return sats;
}

namespace {

// True anomaly and radius of a Keplerian orbit at time t (Kepler's equation by Newton's method).
void anomaly(const Sat& s, double t, double& nu, double& r) {
    const double n = std::sqrt(kGM / (s.a * s.a * s.a));
    const double m = s.m0 + n * t;
    double e = m;
    for (int i = 0; i < 30; ++i) {
        const double de = (e - s.e * std::sin(e) - m) / (1.0 - s.e * std::cos(e));
        e -= de;
        if (std::fabs(de) < 1e-15) break;
    }
    nu = std::atan2(std::sqrt(1.0 - s.e * s.e) * std::sin(e), std::cos(e) - s.e);
    r = s.a * (1.0 - s.e * std::cos(e));
}

}  // namespace

void keplerInertial(const Sat& s, double t, double st[6]) {
    double nu, r;
    anomaly(s, t, nu, r);
    const double p = s.a * (1.0 - s.e * s.e), u = s.argp + nu;
    const double vr = std::sqrt(kGM / p) * s.e * std::sin(nu), vt = std::sqrt(kGM / p) * (1.0 + s.e * std::cos(nu));
    const double co = std::cos(s.raan), so = std::sin(s.raan), ci = std::cos(s.inc), si = std::sin(s.inc);
    const double cu = std::cos(u), su = std::sin(u);
    // Unit vectors along the radius and across it in the orbit plane.
    const double rx = co * cu - so * ci * su, ry = so * cu + co * ci * su, rz = si * su;
    const double tx = -co * su - so * ci * cu, ty = -so * su + co * ci * cu, tz = si * cu;
    st[0] = r * rx, st[1] = r * ry, st[2] = r * rz;
    st[3] = vr * rx + vt * tx, st[4] = vr * ry + vt * ty, st[5] = vr * rz + vt * tz;
}

// Earth-fixed position at time t (seconds since 0h of the start day, GPS time).
Vec3 satPos(const Sat& s, double t) {
    if (s.j2) {
        Vec3 p, v;
        s.j2->state(t, p, v);
        return p;
    }
    double nu, r;
    anomaly(s, t, nu, r);
    const double u = s.argp + nu;
    const double xp = r * std::cos(u), yp = r * std::sin(u);
    const double co = std::cos(s.raan), so = std::sin(s.raan), ci = std::cos(s.inc), si = std::sin(s.inc);
    const double xi = xp * co - yp * ci * so;
    const double yi = xp * so + yp * ci * co;
    const double zi = yp * si;
    const double th = kOmegaE * t;  // sidereal angle, 0 at 0h of the start day
    return {xi * std::cos(th) + yi * std::sin(th), -xi * std::sin(th) + yi * std::cos(th), zi};
}

double satClock(const Sat& s, double t) { return s.clk0 + s.clk1 * t; }

Signal propagate(const Sat& s, Vec3 rx, double lat, double lon, double tRx) {
    Signal g{};
    double tau = 0.075;
    for (int i = 0; i < 20; ++i) {
        const Vec3 p = satPos(s, tRx - tau);
        const double th = kOmegaE * tau;
        const Vec3 r{p.x * std::cos(th) + p.y * std::sin(th), -p.x * std::sin(th) + p.y * std::cos(th), p.z};
        const double next = norm(r - rx) / kC;
        g.sRot = r;
        const bool done = std::fabs(next - tau) < 1e-14;
        tau = next;
        if (done) break;
    }
    g.tau = tau;
    g.tx = tRx - tau;
    double up, hor;
    xyzToUpHor(lat, lon, g.sRot - rx, up, hor);
    g.elev = std::atan2(up, hor) * kDegPerRad;
    return g;
}

double mapping(double elevDeg) {
    const double s = std::sin(elevDeg / kDegPerRad);
    return 1.001 / std::sqrt(0.002001 + s * s);
}

}  // namespace sim
