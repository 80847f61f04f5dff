// varno-sim: the satellites of Galileo, BeiDou, QZSS and GLONASS, and GLONASS's orbits integrated with the
// earth's J2 term.
//
// Galileo: 3 planes of 8, a = 29600 km, i = 56 deg. BeiDou: 24 medium orbits (3 planes of 8, a = 27906 km,
// i = 55 deg, C19-C42), 5 inclined geosynchronous (i = 55 deg, C06-C10, crossing the equator near 118 E) and
// 5 geostationary (C01-C05 at 58.75, 80, 110.5, 140 and 160 E). QZSS: 3 inclined geosynchronous orbits
// (e = 0.075, i = 41 deg, apogee over the north, centred on 139 E, J01-J03) and a geostationary one (J07 at
// 127 E). GLONASS: 3 planes of 8 slots, a = 25510 km, i = 64.8 deg, with the frequency channels of the
// slots (antipodal slots share one). The geosynchronous orbits have the period of the earth's rotation, so
// they stay over their longitudes. Orbits and clocks come from a fixed generator per system, independent of
// the seed.

#include "sim.h"

namespace sim {

namespace {

constexpr double kGeoA = 42164172.0;  // m, (GM / omega_E^2)^(1/3)
// GLONASS's earth model for the J2 term (PZ-90).
constexpr double kGloRe = 6378136.0;
constexpr double kGloJ2 = 1.08262575e-3;

double rad(double deg) { return deg / kDegPerRad; }

// Inertial acceleration of the two-body and J2 terms.
void j2Derivative(const double st[6], double d[6]) {
    const double x = st[0], y = st[1], z = st[2];
    const double r2 = x * x + y * y + z * z, r = std::sqrt(r2);
    const double k = kGM / (r2 * r), f = 1.5 * kGloJ2 * kGloRe * kGloRe / r2, zz = 5.0 * z * z / r2;
    d[0] = st[3], d[1] = st[4], d[2] = st[5];
    d[3] = -k * x * (1.0 + f * (1.0 - zz));
    d[4] = -k * y * (1.0 + f * (1.0 - zz));
    d[5] = -k * z * (1.0 + f * (3.0 - zz));
}

void rk4(double st[6], double h) {
    double k1[6], k2[6], k3[6], k4[6], tmp[6];
    j2Derivative(st, k1);
    for (int i = 0; i < 6; ++i) tmp[i] = st[i] + 0.5 * h * k1[i];
    j2Derivative(tmp, k2);
    for (int i = 0; i < 6; ++i) tmp[i] = st[i] + 0.5 * h * k2[i];
    j2Derivative(tmp, k3);
    for (int i = 0; i < 6; ++i) tmp[i] = st[i] + h * k3[i];
    j2Derivative(tmp, k4);
    for (int i = 0; i < 6; ++i) st[i] += h / 6.0 * (k1[i] + 2.0 * k2[i] + 2.0 * k3[i] + k4[i]);
}

// Integrates st from time `from` to `to` in steps of at most `most` seconds.
void integrate(double st[6], double from, double to, double most) {
    const double span = to - from;
    const int steps = static_cast<int>(std::ceil(std::fabs(span) / most));
    for (int k = 0; k < steps; ++k) rk4(st, span / steps);
}

// The GLONASS satellite's track over the scenario: its Keplerian elements taken as the osculating state at
// the grid's start, integrated with 10 s steps.
std::shared_ptr<const J2Track> j2Track(const Sat& s, double from, double to) {
    auto track = std::make_shared<J2Track>();
    track->t0 = std::floor(from / track->step) * track->step;
    double st[6];
    keplerInertial(s, track->t0, st);
    for (double t = track->t0;; t += track->step) {
        track->nodes.push_back({st[0], st[1], st[2], st[3], st[4], st[5]});
        if (t > to) break;
        integrate(st, t, t + track->step, 10.0);
    }
    return track;
}

struct Clocks {
    Rng rng;
    void set(Sat& s) {
        s.clk0 = (rng.uniform() < 0.5 ? -1.0 : 1.0) * (5.0e-6 + 300.0e-6 * rng.uniform());
        s.clk1 = (rng.uniform() - 0.5) * 2.0e-11;
    }
};

// Satellites in `planes` planes of `perPlane`, numbered from `first`.
void walker(std::vector<Sat>& out, char sys, int first, int planes, int perPlane, double a, double incDeg,
            uint64_t seed) {
    Rng rng(seed);
    Clocks clocks{Rng(seed + 1)};
    for (int p = 0; p < planes; ++p)
        for (int j = 0; j < perPlane; ++j) {
            Sat s{};
            s.sys = sys;
            s.prn = first + p * perPlane + j;
            s.a = a + 1000.0 * (rng.uniform() - 0.5);
            s.e = 0.0002 + 0.002 * rng.uniform();
            s.inc = rad(incDeg + 0.6 * (rng.uniform() - 0.5));
            s.raan = rad(35.0 + 360.0 / planes * p);
            s.argp = rad(360.0 * rng.uniform());
            s.m0 = rad(360.0 * j / perPlane + 15.0 * p + 4.0 * (rng.uniform() - 0.5)) - s.argp;
            clocks.set(s);
            out.push_back(s);
        }
}

// A geosynchronous satellite centred on longitude lonDeg (at 0h of the start day the sidereal angle is 0).
Sat geosynchronous(char sys, int prn, double lonDeg, double incDeg, double e, double argpDeg, double raanDeg,
                   Clocks& clocks) {
    Sat s{};
    s.sys = sys;
    s.prn = prn;
    s.a = kGeoA;
    s.e = e;
    s.inc = rad(incDeg);
    s.raan = rad(raanDeg);
    s.argp = rad(argpDeg);
    s.m0 = rad(lonDeg) - s.raan - s.argp;
    clocks.set(s);
    return s;
}

}  // namespace

bool simulated(const Scenario& sc, char letter) { return sc.systems.find(letter) != std::string::npos; }

void J2Track::state(double t, Vec3& pos, Vec3& vel) const {
    const long last = static_cast<long>(nodes.size()) - 1;
    const long k = std::clamp(std::lround((t - t0) / step), 0L, last);
    double st[6];
    std::copy(nodes[static_cast<size_t>(k)].begin(), nodes[static_cast<size_t>(k)].end(), st);
    integrate(st, t0 + static_cast<double>(k) * step, t, 30.0);
    const double th = kOmegaE * t, c = std::cos(th), s = std::sin(th);
    pos = {c * st[0] + s * st[1], -s * st[0] + c * st[1], st[2]};
    vel = {c * st[3] + s * st[4] + kOmegaE * pos.y, -s * st[3] + c * st[4] - kOmegaE * pos.x, st[5]};
}

std::vector<Sat> otherConstellations(const Scenario& sc) {
    std::vector<Sat> out;
    if (simulated(sc, 'R')) {
        // Frequency channels of slots 1-8 of each plane; slots k and k + 4 are antipodal and share one.
        static const int channels[24] = {1, -4, 5, 6, 1, -4, 5, 6, -2, -7, 0, -1, -2, -7, 0, -1,
                                         4, -3, 3, 2, 4, -3, 3, 2};
        std::vector<Sat> glo;
        walker(glo, 'R', 1, 3, 8, 25510000.0, 64.8, 0x610A55ULL);
        const double tStart = sc.hour * 3600.0 + sc.minute * 60.0 + sc.second;
        const double margin = sc.orbitMargin + 6 * 3600.0;
        for (Sat& s : glo) {
            s.channel = channels[s.prn - 1];
            s.j2 = j2Track(s, tStart - margin, tStart + sc.duration + margin);
            out.push_back(s);
        }
    }
    if (simulated(sc, 'E')) walker(out, 'E', 1, 3, 8, 29600000.0, 56.0, 0x6A111E0ULL);
    if (simulated(sc, 'C')) {
        Clocks clocks{Rng(0xBD5ULL)};
        const double geoLon[5] = {58.75, 80.0, 110.5, 140.0, 160.0};
        for (int k = 0; k < 5; ++k) out.push_back(geosynchronous('C', k + 1, geoLon[k], 0.7, 0.0003, 0.0, 0.0, clocks));
        for (int k = 0; k < 5; ++k)
            out.push_back(geosynchronous('C', k + 6, 118.0, 55.0, 0.003, 190.0, 120.0 * (k % 3) + 20.0 * (k / 3), clocks));
        walker(out, 'C', 19, 3, 8, 27906000.0, 55.0, 0xBD5E0ULL);
    }
    if (simulated(sc, 'J')) {
        Clocks clocks{Rng(0x925ULL)};
        for (int k = 0; k < 3; ++k) out.push_back(geosynchronous('J', k + 1, 139.0, 41.0, 0.075, 270.0, 120.0 * k, clocks));
        out.push_back(geosynchronous('J', 7, 127.0, 0.05, 0.0002, 0.0, 0.0, clocks));
    }
    return out;
}

}  // namespace sim
