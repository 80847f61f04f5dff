// varno-sim: broadcast navigation files whose ephemerides reproduce the simulator's orbits and clocks:
// RINEX 2 (GPS `n`, GLONASS `g`), RINEX 3.04 mixed and RINEX 4.00 mixed (`> EPH` records).
//
// The simulator's orbits are Keplerian in an inertial frame that turns into the earth-fixed one by the angle
// omega_E t (t in GPS seconds since 0h of the start day). A broadcast record with zero harmonic corrections
// and zero rates reproduces such an orbit exactly: sqrt(a), e, i0 and omega as they are, M0 the mean anomaly
// at toe, delta-n the difference between the orbit's mean motion and the one the system's gravitational
// constant gives, and Omega0 / Omega-dot chosen so that the user algorithm's node, with the system's own earth
// rotation rate, is the orbit's node in the earth-fixed frame. Clocks: af0 = bias + drift (toc - 0h), af1 =
// drift, af2 = 0, toc = toe (no relativistic term, as an orbit product's clock).

#include "sim.h"

namespace sim {

namespace {

// Broadcast Keplerian elements of one record.
struct Elements {
    double sqrtA, e, i0, omega, m0, deltaN, omega0, omegaDot, idot;
};

double wrapAngle(double x) { return std::remainder(x, 2.0 * kPi); }

bool geostationaryBeiDou(const Sat& s) { return s.sys == 'C' && (s.prn <= 5 || s.prn >= 59); }

// The elements at toe (toeT: GPS seconds since 0h of the start day; toeSys: seconds of the system's week).
Elements elementsAt(const Sat& s, double toeT, double toeSys) {
    const SystemInfo& sys = systemInfo(s.sys);
    const double n = std::sqrt(kGM / (s.a * s.a * s.a));
    Elements el{};
    el.sqrtA = std::sqrt(s.a);
    el.e = s.e;
    el.i0 = s.inc;
    el.omega = wrapAngle(s.argp);
    el.m0 = wrapAngle(s.m0 + n * toeT);
    el.deltaN = n - std::sqrt(sys.gm / (s.a * s.a * s.a));
    // Node: Omega0 + (Omega-dot - w_sys) tk - w_sys toe must be raan - w_E (toeT + tk).
    el.omegaDot = sys.omegaE - kOmegaE;
    el.omega0 = wrapAngle(s.raan - kOmegaE * toeT + sys.omegaE * toeSys);
    if (geostationaryBeiDou(s)) {
        // The user algorithm turns the orbit out of a frame tilted by -5 deg about x and then by its own earth
        // rotation since toe: the orbit plane's node, inclination and shift of the argument of latitude in
        // that frame at toe, and their rates, which come from the difference between the system's and the
        // simulator's earth rotation rates (to first order in it: below 1e-6 mm).
        struct Plane {
            double node, inc, shift;
        };
        auto planeAt = [&](double th) {
            const double tilt = 5.0 / kDegPerRad;
            auto toTilted = [&](Vec3 v) {
                const Vec3 r{std::cos(th) * v.x + std::sin(th) * v.y, -std::sin(th) * v.x + std::cos(th) * v.y, v.z};
                return Vec3{r.x, std::cos(tilt) * r.y + std::sin(tilt) * r.z,
                            -std::sin(tilt) * r.y + std::cos(tilt) * r.z};
            };
            const double co = std::cos(s.raan), so = std::sin(s.raan), ci = std::cos(s.inc), si = std::sin(s.inc);
            const Vec3 a = toTilted({co, so, 0.0}), b = toTilted({-ci * so, ci * co, si});
            const Vec3 n{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
            const double node = std::atan2(n.x, -n.y);
            const Vec3 nb{std::cos(node), std::sin(node), 0.0};
            const Vec3 wb{n.y * nb.z - n.z * nb.y, n.z * nb.x - n.x * nb.z, n.x * nb.y - n.y * nb.x};
            return Plane{node, std::acos(std::clamp(n.z, -1.0, 1.0)),
                         std::atan2(a.x * wb.x + a.y * wb.y + a.z * wb.z, a.x * nb.x + a.y * nb.y)};
        };
        const double span = 1000.0, th = kOmegaE * toeT, rate = kOmegaE - sys.omegaE;
        const Plane p0 = planeAt(th), p1 = planeAt(th + rate * span);
        el.i0 = p0.inc;
        el.omega = wrapAngle(s.argp + p0.shift);
        el.omega0 = wrapAngle(p0.node + sys.omegaE * toeSys);
        el.omegaDot = wrapAngle(p1.node - p0.node) / span;
        el.idot = (p1.inc - p0.inc) / span;
        el.deltaN += wrapAngle(p1.shift - p0.shift) / span;
    }
    return el;
}

// RINEX 2 number, Fortran D19.12: " 0.123456789012D+03".
std::string d19(double v) {
    if (v == 0.0) return " 0.000000000000D+00";
    const std::string s = fmt("%.11e", std::fabs(v));  // d.ddddddddddde+XX
    const int exp = std::atoi(s.c_str() + 14) + 1;
    return fmt("%s0.%c%sD%c%02d", v < 0 ? "-" : " ", s[0], s.substr(2, 11).c_str(), exp < 0 ? '-' : '+',
               std::abs(exp));
}

// RINEX 3 and 4 number, E19.12 with one leading digit: " 1.234567890123e+03".
std::string e19(double v) { return fmt("%19.12e", v == 0.0 ? 0.0 : v); }

// One ephemeris: its satellite, epoch (toc or tb) in the system's time scale, the three clock terms and the
// broadcast orbit lines; absent fields (fewer than four on a line) are left blank.
struct Record {
    const Sat* sat;
    Civil epoch;
    double clock[3];
    std::vector<std::vector<double>> orbit;
};

Civil civilAt(const Geometry& geo, double t) { return civilOfUnits(geo.mjd0, std::llround(t * kUnitsPerSec)); }

// Seconds of the system's week and week number of GPS time t.
void weekOf(const Geometry& geo, const SystemInfo& sys, double t, long long& week, double& sow) {
    const double sinceZero = static_cast<double>(geo.mjd0 - sys.weekZeroMjd) * 86400.0 + t - sys.behindGps;
    week = static_cast<long long>(std::floor(sinceZero / 604800.0));
    sow = sinceZero - static_cast<double>(week) * 604800.0;
}

Record keplerRecord(const Sat& s, const Geometry& geo, double toeT) {
    const SystemInfo& sys = systemInfo(s.sys);
    long long week;
    double toe;
    weekOf(geo, sys, toeT, week, toe);
    const Elements el = elementsAt(s, toeT, toe);
    const double iod = std::fmod(std::floor(toe / sys.navSpacing), 256.0);
    Record r{&s, civilAt(geo, toeT - sys.behindGps), {satClock(s, toeT), s.clk1, 0.0}, {}};
    r.orbit.push_back({iod, 0.0, el.deltaN, el.m0});
    r.orbit.push_back({0.0, el.e, 0.0, el.sqrtA});
    r.orbit.push_back({toe, 0.0, el.omega0, 0.0});
    r.orbit.push_back({el.i0, 0.0, el.omega, el.omegaDot});
    const double sources = s.sys == 'E' ? 517.0 : (s.sys == 'C' ? 0.0 : 1.0);  // E: INAV E1-B/E5b; G/J: C/A on L2
    r.orbit.push_back({el.idot, sources, static_cast<double>(week), 0.0});
    // Accuracy (Galileo SISA), health 0, group delays 0; GPS and QZSS end the line with IODC.
    const bool gpsLike = s.sys == 'G' || s.sys == 'J';
    r.orbit.push_back({s.sys == 'E' ? 3.12 : 2.0, 0.0, 0.0, gpsLike ? iod : 0.0});
    const double sent = std::max(0.0, toe - sys.navSpacing / 2.0);
    if (s.sys == 'E')
        r.orbit.push_back({sent});
    else
        r.orbit.push_back({sent, s.sys == 'C' ? iod : (s.sys == 'J' ? 0.0 : 4.0)});  // fit interval (h) / flag
    return r;
}

// A GLONASS record: the earth-fixed state at tb (km, km/s; no luni-solar accelerations), the clock
// offset as -TauN and its rate as GammaN; tb every 30 min at 15 and 45 minutes of UTC.
Record glonassRecord(const Sat& s, const Geometry& geo, double tbT, int version) {
    const double utc = tbT - leapSeconds(geo.mjd0);
    Vec3 p, v;
    s.j2->state(tbT, p, v);
    const SystemInfo& gps = systemInfo('G');
    long long week;
    double sow;
    weekOf(geo, gps, utc, week, sow);
    Record r{&s, civilAt(geo, utc), {satClock(s, tbT), s.clk1, sow}, {}};
    r.orbit.push_back({p.x / 1000.0, v.x / 1000.0, 0.0, 0.0});  // health 0
    r.orbit.push_back({p.y / 1000.0, v.y / 1000.0, 0.0, static_cast<double>(s.channel)});
    r.orbit.push_back({p.z / 1000.0, v.z / 1000.0, 0.0, 0.0});  // age of the information, days
    if (version == 4) r.orbit.push_back({0.0, 0.0, 0.0, 0.0});  // status flags, L1/L2 delay, URAI, health flags
    return r;
}

// The records of every satellite whose toe lies within one spacing of the observations, by satellite and time.
std::vector<Record> records(const Scenario& sc, const std::vector<Sat>& sats, const Geometry& geo, double tMin,
                            double tMax, int version) {
    std::vector<Record> out;
    for (const Sat& s : sats) {
        if (s.sys == 'G' && std::find(sc.orbitOmit.begin(), sc.orbitOmit.end(), s.prn) != sc.orbitOmit.end())
            continue;
        const SystemInfo& sys = systemInfo(s.sys);
        const double step = sys.navSpacing;
        // Record times on the grid of the system's own time scale.
        const double shift = s.sys == 'R' ? leapSeconds(geo.mjd0) + step / 2.0 : sys.behindGps;
        for (double k = std::floor((tMin - shift) / step) - 1; k <= std::ceil((tMax - shift) / step) + 1; ++k)
            out.push_back(s.sys == 'R' ? glonassRecord(s, geo, k * step + shift, version)
                                       : keplerRecord(s, geo, k * step + shift));
    }
    return out;
}

std::string epochText(const Civil& c, bool rinex2) {
    const double sec = static_cast<double>(c.secUnits) / kUnitsPerSec;
    if (rinex2) return fmt("%02d %2d %2d %2d %2d%5.1f", c.year % 100, c.month, c.day, c.hour, c.minute, sec);
    return fmt("%04d %02d %02d %02d %02d %02d", c.year, c.month, c.day, c.hour, c.minute,
               static_cast<int>(std::llround(sec)));
}

void writeRecord(std::vector<std::string>& out, const Record& r, int version) {
    const Sat& s = *r.sat;
    if (version == 2) {
        out.push_back(fmt("%2d ", s.prn) + epochText(r.epoch, true) + d19(r.clock[0]) + d19(r.clock[1]) +
                      d19(r.clock[2]));
    } else {
        if (version == 4)
            out.push_back(fmt("> EPH %c%02d %s", s.sys, s.prn,
                              s.sys == 'E'   ? "INAV"
                              : s.sys == 'C' ? (geostationaryBeiDou(s) ? "D2" : "D1")
                              : s.sys == 'R' ? "FDMA"
                                             : "LNAV"));
        out.push_back(fmt("%c%02d ", s.sys, s.prn) + epochText(r.epoch, false) + e19(r.clock[0]) +
                      e19(r.clock[1]) + e19(r.clock[2]));
    }
    for (const auto& line : r.orbit) {
        std::string text = version == 2 ? "   " : "    ";
        for (double v : line) text += version == 2 ? d19(v) : e19(v);
        out.push_back(text);
    }
}

std::vector<std::string> header(const Geometry& geo, int version, const std::string& type) {
    const Civil c = civilAt(geo, 0.0);
    std::vector<std::string> out;
    out.push_back(headerLine(fmt("%9.2f", version == 2 ? 2.11 : version == 3 ? 3.04 : 4.00) + std::string(11, ' ') + type,
                             "RINEX VERSION / TYPE"));
    out.push_back(headerLine(padTo("varno-sim", 20) + padTo("varno", 20) + fmt("%04d%02d%02d 000000 GPS", c.year, c.month, c.day),
                             "PGM / RUN BY / DATE"));
    out.push_back(headerLine("SIMULATED BROADCAST EPHEMERIDES OF VARNO-SIM'S ORBITS", "COMMENT"));
    out.push_back(headerLine(fmt("%6d", leapSeconds(geo.mjd0)), "LEAP SECONDS"));
    out.push_back(headerLine("", "END OF HEADER"));
    return out;
}

}  // namespace

std::vector<NavFile> navFiles(const Scenario& sc, const std::vector<Sat>& sats, const Geometry& geo, int64_t minTag,
                              int64_t maxTag) {
    std::vector<NavFile> out;
    if (sc.navFiles.empty()) return out;
    const double tMin = static_cast<double>(minTag) / kUnitsPerSec, tMax = static_cast<double>(maxTag) / kUnitsPerSec;
    const Civil c = civilAt(geo, 0.0);
    const int doy = static_cast<int>(geo.mjd0 - mjdOf(c.year, 1, 1)) + 1;
    for (char v : sc.navFiles) {
        const int version = v - '0';
        const std::vector<Record> recs = records(sc, sats, geo, tMin, tMax, version);
        if (version == 2) {
            // GPS, and GLONASS in a file of its own; the other systems have no RINEX 2 navigation file.
            NavFile gps{fmt("brdc%03d0.%02dn", doy, c.year % 100), header(geo, 2, "N: GPS NAV DATA")};
            NavFile glo{fmt("brdc%03d0.%02dg", doy, c.year % 100), header(geo, 2, "G: GLONASS NAV DATA")};
            for (const Record& r : recs) {
                if (r.sat->sys == 'G') writeRecord(gps.lines, r, 2);
                if (r.sat->sys == 'R') writeRecord(glo.lines, r, 2);
            }
            if (simulated(sc, 'G')) out.push_back(std::move(gps));
            if (simulated(sc, 'R')) out.push_back(std::move(glo));
            continue;
        }
        NavFile mixed{fmt("%s_R_%04d%03d0000_01D_MN.rnx", version == 3 ? "BRDC00SIM" : "BRD400SIM", c.year, doy),
                      header(geo, version, "N: GNSS NAV DATA    M: MIXED")};
        for (const Record& r : recs) writeRecord(mixed.lines, r, version);
        out.push_back(std::move(mixed));
    }
    return out;
}

}  // namespace sim
