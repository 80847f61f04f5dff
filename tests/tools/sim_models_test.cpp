// Tests of varno-sim's error, motion, navigation and constellation models: the time-correlated code errors,
// a moving point 2, the navigation files (evaluated here by the interface documents' user algorithms) and
// the satellites of every system.

#include "tools/sim_support.h"

namespace {

using namespace simtest;

// ------------------------------------------------------------------ time-correlated code errors
// The correlated error of every C1 value (the same scenario without it, white noise off, is the reference):
// its variance and its correlation at a lag of `lag` seconds, pooled over the satellites.
struct ProcessStats {
    double variance = 0, correlation = 0;
    long samples = 0;
};

ProcessStats correlatedErrorStats(const std::string& opts, double lag) {
    TempDir plain, gm;
    EXPECT_EQ(runSim("--noise=0 " + opts + " " + plain.str()), 0);
    EXPECT_EQ(runSim("--noise=0 --correlation-time=60 --correlated-noise=1,0 " + opts + " " + gm.str()), 0);
    const Rinex a = readRinex(plain.file("point1.rnx")), b = readRinex(gm.file("point1.rnx"));
    const int c1 = typeIndex(a, "C1");
    EXPECT_EQ(a.epochs.size(), b.epochs.size());
    std::map<int, std::map<long, double>> series;  // prn -> second -> error
    for (size_t k = 0; k < std::min(a.epochs.size(), b.epochs.size()); ++k)
        for (size_t s = 0; s < a.epochs[k].sats.size(); ++s)
            series[a.epochs[k].sats[s].prn][std::lround(a.epochs[k].sec)] =
                b.epochs[k].sats[s].values[static_cast<size_t>(c1)] - a.epochs[k].sats[s].values[static_cast<size_t>(c1)];
    ProcessStats st;
    double sum2 = 0, sumLag = 0, nLag = 0;
    for (auto& [prn, xs] : series)
        for (auto& [t, x] : xs) {
            sum2 += x * x;
            ++st.samples;
            auto next = xs.find(t + std::lround(lag));
            if (next != xs.end()) sumLag += x * next->second, ++nLag;
        }
    st.variance = sum2 / static_cast<double>(st.samples);
    st.correlation = sumLag / nLag / st.variance;
    return st;
}

TEST(VarnoSim, GaussMarkovCodeErrorsHaveTheirVarianceAndCorrelationAtEveryRate) {
    const ProcessStats day = correlatedErrorStats("--duration=86370", 30);
    EXPECT_GT(day.samples, 10000);
    EXPECT_NEAR(day.variance, 1.0, 0.08);
    EXPECT_NEAR(day.correlation, std::exp(-30.0 / 60.0), 0.04);
    const ProcessStats fast = correlatedErrorStats("--duration=7200 --interval=1", 30);
    EXPECT_NEAR(fast.variance, 1.0, 0.25);
    EXPECT_NEAR(fast.correlation, std::exp(-30.0 / 60.0), 0.1);
    EXPECT_NE(runSim("--correlated-noise=1 x"), 0);
    EXPECT_NE(runSim("--correlation-time=-5 x"), 0);
}

// ------------------------------------------------------------------ differential delay of the baseline
// Point 2's C1 gains M(e) (z_p + z_b): divided by the obliquity it holds one value per satellite and 2 h block,
// and from one block to the next every satellite's value moves by the same common step. Point 1 is untouched.
TEST(VarnoSim, BaselineDelayIsAPassValueAndACommonBlockValueMappedToElevation) {
    TempDir plain, delayed;
    const std::string opts = "--noise=0 --baseline=100000 --duration=14370 ";
    ASSERT_EQ(runSim(opts + plain.str()), 0);
    ASSERT_EQ(runSim(opts + "--separation-ppm=2 " + delayed.str()), 0);
    EXPECT_EQ(readFile(plain.file("point1.rnx")), readFile(delayed.file("point1.rnx")));
    const Rinex a = readRinex(plain.file("point2.rnx")), b = readRinex(delayed.file("point2.rnx"));
    const Sp3 o = readSp3(plain.file("orbit.sp3"));
    const V3 rx = v3(readTruth(plain.file("truth"))["point2"]);
    const int c1 = typeIndex(a, "C1");
    const double ratio = 6371.0 / 6721.0;
    std::map<int, std::map<int, std::pair<double, double>>> range;  // prn -> block -> smallest, largest d / M
    ASSERT_EQ(a.epochs.size(), b.epochs.size());
    for (size_t k = 0; k < a.epochs.size(); ++k) {
        const double tag = static_cast<double>((a.epochs[k].day - o.day0) * 86400) + a.epochs[k].sec;
        const int block = static_cast<int>((tag - (static_cast<double>((a.epochs[0].day - o.day0) * 86400) + a.epochs[0].sec)) / 7200.0);
        for (size_t s = 0; s < a.epochs[k].sats.size(); ++s) {
            const int prn = a.epochs[k].sats[s].prn;
            double tTx;
            V3 sat;
            rangeTo(o, prn, rx, tag, &tTx, &sat);
            const double c = ratio * std::cos(elevation(rx, sat) / 57.29577951308232);
            const double v = (b.epochs[k].sats[s].values[static_cast<size_t>(c1)] -
                              a.epochs[k].sats[s].values[static_cast<size_t>(c1)]) * std::sqrt(1.0 - c * c);
            auto [at, fresh] = range[prn].try_emplace(block, std::pair{v, v});
            at->second = {std::min(at->second.first, v), std::max(at->second.second, v)};
        }
    }
    std::vector<double> steps, values;
    for (const auto& [prn, blocks] : range) {
        for (const auto& [block, r] : blocks) {
            EXPECT_LT(r.second - r.first, 0.003) << "G" << prn << " block " << block;
            values.push_back(r.first);
        }
        if (blocks.count(0) && blocks.count(1)) steps.push_back(blocks.at(1).first - blocks.at(0).first);
    }
    ASSERT_GE(steps.size(), 3u);
    for (double step : steps) EXPECT_NEAR(step, steps[0], 0.003);
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    EXPECT_GT(*high - *low, 0.02);  // the passes differ: σ of each part is 0.14 m
    EXPECT_NE(runSim("--separation-ppm=-1 x"), 0);
}

// ------------------------------------------------------------------ moving point 2
TEST(VarnoSim, MovingPointTwoFollowsItsTrack) {
    TempDir d;
    ASSERT_EQ(runSim("--trajectory=straight --speed=10 --heading=30 --noise=0 --antenna2=0,0,0 " + d.str()), 0);
    std::vector<V3> track;
    std::vector<std::string> rows = readLines(d.file("truth-track.csv"));
    ASSERT_GT(rows.size(), 2u);
    EXPECT_EQ(rows[0], "time,x_m,y_m,z_m,lat,lon,h");
    for (size_t k = 1; k < rows.size(); ++k) {
        if (rows[k].empty()) continue;
        std::string xyz = rows[k].substr(rows[k].find(',') + 1);
        std::replace(xyz.begin(), xyz.end(), ',', ' ');
        track.push_back(v3(xyz));
    }
    for (size_t k = 1; k < track.size(); ++k) EXPECT_NEAR(len(sub(track[k], track[k - 1])), 300.0, 0.5);
    auto truth = readTruth(d.file("truth"));
    EXPECT_EQ(truth["trajectory"], "straight");
    EXPECT_LT(len(sub(track[0], v3(truth["point2"]))), 0.01);
    const Sp3 o = readSp3(d.file("orbit.sp3"));
    const Rinex r2 = readRinex(d.file("point2.rnx"));
    EXPECT_LT(fitCode(r2, o, track[0], "C1", &track).rms, 0.005);
    EXPECT_GT(fitCode(r2, o, track[0], "C1").rms, 1.0);
    TempDir still;
    ASSERT_EQ(runSim(still.str()), 0);
    EXPECT_FALSE(fs::exists(still.file("truth-track.csv")));
    EXPECT_NE(runSim("--trajectory=zigzag x"), 0);
    EXPECT_NE(runSim("--stop-go=0,0 x"), 0);
}

// ------------------------------------------------------------------ navigation files
// A record of a RINEX 2, 3 or 4 navigation file: the epoch line's fields and the broadcast orbit lines.
struct NavRecord {
    char sys = 'G';
    int prn = 0;
    long day = 0;
    double sec = 0;               // toc: days since 1970, seconds of the day
    std::vector<double> values;   // af0 af1 af2, then the orbit lines' fields in order
};

std::string fmt2(char sys, int prn) {
    char id[8];
    std::snprintf(id, sizeof id, "%c%02d", sys, prn);
    return id;
}

double navNumber(std::string s) {
    std::replace(s.begin(), s.end(), 'D', 'E');
    return num(s);
}

std::vector<NavRecord> readNav(const std::string& path, int version, char rinex2System = 'G') {
    std::vector<NavRecord> out;
    const std::vector<std::string> lines = readLines(path);
    size_t i = 0;
    while (i < lines.size() && col(lines[i], 61, 73) != "END OF HEADER") ++i;
    const int first = version == 2 ? 23 : 24, orbit = version == 2 ? 4 : 5;
    for (++i; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        if (l.empty() || l[0] == '>') continue;
        NavRecord r;
        r.sys = version == 2 ? rinex2System : l[0];
        r.prn = static_cast<int>(inum(col(l, version == 2 ? 1 : 2, version == 2 ? 2 : 3)));
        std::istringstream ep(version == 2 ? col(l, 4, 22) : col(l, 5, 23));
        long y, mo, d, h, mi;
        double s;
        ep >> y >> mo >> d >> h >> mi >> s;
        r.day = daysOf(y < 100 ? y + (y < 80 ? 2000 : 1900) : y, mo, d);
        r.sec = static_cast<double>(h * 3600 + mi * 60) + s;
        for (int k = 0; k < 3; ++k) r.values.push_back(navNumber(col(l, first + 19 * k, first + 19 * k + 18)));
        const int orbitLines = r.sys != 'R' ? 7 : version == 4 ? 4 : 3;
        for (int line = 0; line < orbitLines && i + 1 < lines.size(); ++line) {
            ++i;
            for (int k = 0; k < 4; ++k) r.values.push_back(navNumber(col(lines[i], orbit + 19 * k, orbit + 19 * k + 18)));
        }
        out.push_back(r);
    }
    return out;
}

// The user algorithm of the GPS, Galileo, BeiDou and QZSS interface specifications (no harmonic terms are
// written; BeiDou's geostationary satellites with their own rotations), dt from toe.
V3 keplerPosition(const NavRecord& r, double dt) {
    const std::vector<double>& v = r.values;
    const double mu = r.sys == 'G' || r.sys == 'J' ? 3.986005e14 : 3.986004418e14;
    const double omegaE = r.sys == 'C' ? 7.2921150e-5 : 7.2921151467e-5;
    const bool geo = r.sys == 'C' && r.prn <= 5;
    const double dn = v[5], m0 = v[6], e = v[8], a = v[10] * v[10], toe = v[11], omega0 = v[13], i0 = v[15],
                 w = v[17], omegaDot = v[18];
    const double m = m0 + (std::sqrt(mu / (a * a * a)) + dn) * dt, idot = v[19];
    double ea = m;
    for (int k = 0; k < 50; ++k) ea = m + e * std::sin(ea);
    const double nu = std::atan2(std::sqrt(1 - e * e) * std::sin(ea), std::cos(ea) - e);
    const double u = w + nu, rad = a * (1 - e * std::cos(ea));
    const double node = omega0 + (omegaDot - (geo ? 0.0 : omegaE)) * dt - omegaE * toe;
    const double x = rad * std::cos(u), y = rad * std::sin(u);
    const double i = i0 + idot * dt;
    const V3 p{x * std::cos(node) - y * std::cos(i) * std::sin(node), x * std::sin(node) + y * std::cos(i) * std::cos(node),
               y * std::sin(i)};
    if (!geo) return p;
    const double f = -5.0 / 57.29577951308232, z = omegaE * dt;
    const V3 q{p.x, std::cos(f) * p.y + std::sin(f) * p.z, -std::sin(f) * p.y + std::cos(f) * p.z};
    return {std::cos(z) * q.x + std::sin(z) * q.y, -std::sin(z) * q.x + std::cos(z) * q.y, q.z};
}

// A GLONASS record's state integrated over dt by fourth-order Runge-Kutta in the earth-fixed frame with the
// J2 term (the interface document's equations, no luni-solar terms), steps of at most 60 s.
V3 glonassPosition(const NavRecord& r, double dt) {
    const double mu = 3.986004418e14, ae = 6378136.0, j2 = 1.08262575e-3, w = 7.292115e-5;
    const std::vector<double>& v = r.values;
    std::array<double, 6> st{v[3] * 1e3, v[7] * 1e3, v[11] * 1e3, v[4] * 1e3, v[8] * 1e3, v[12] * 1e3};
    auto deriv = [&](const std::array<double, 6>& s) {
        const double r2 = s[0] * s[0] + s[1] * s[1] + s[2] * s[2], rr = std::sqrt(r2);
        const double k = mu / (r2 * rr), f = 1.5 * j2 * ae * ae / r2, zz = 5 * s[2] * s[2] / r2;
        return std::array<double, 6>{s[3], s[4], s[5],
                                     -k * s[0] * (1 + f * (1 - zz)) + w * w * s[0] + 2 * w * s[4],
                                     -k * s[1] * (1 + f * (1 - zz)) + w * w * s[1] - 2 * w * s[3],
                                     -k * s[2] * (1 + f * (3 - zz))};
    };
    const int steps = static_cast<int>(std::ceil(std::fabs(dt) / 60.0));
    const double h = steps ? dt / steps : 0.0;
    for (int n = 0; n < steps; ++n) {
        std::array<double, 6> k[4], tmp = st;
        for (int q = 0; q < 4; ++q) {
            k[q] = deriv(tmp);
            const double c = q < 2 ? 0.5 : 1.0;
            for (int i = 0; i < 6; ++i) tmp[i] = st[i] + c * h * k[q][i];
        }
        for (int i = 0; i < 6; ++i) st[i] += h / 6 * (k[0][i] + 2 * k[1][i] + 2 * k[2][i] + k[3][i]);
    }
    return {st[0], st[1], st[2]};
}

// Positions of an SP3-c/d orbit by satellite id ("E05") and whole seconds since 0h of its first day.
std::map<std::string, std::map<long, V3>> sp3ById(const std::string& path, long& day0) {
    std::map<std::string, std::map<long, V3>> out;
    long t = 0;
    day0 = -1;
    for (const std::string& l : readLines(path)) {
        if (l.substr(0, 2) == "* ") {
            const long d = daysOf(inum(col(l, 4, 7)), inum(col(l, 8, 10)), inum(col(l, 11, 13)));
            if (day0 < 0) day0 = d;
            t = (d - day0) * 86400 + inum(col(l, 14, 16)) * 3600 + inum(col(l, 17, 19)) * 60 + std::lround(num(col(l, 20, 31)));
        } else if (l.substr(0, 1) == "P") {
            out[l.substr(1, 3)][t] = {num(col(l, 5, 18)) * 1e3, num(col(l, 19, 32)) * 1e3, num(col(l, 33, 46)) * 1e3};
        }
    }
    return out;
}

TEST(VarnoSim, NavigationFilesReproduceTheOrbit) {
    TempDir d;
    ASSERT_EQ(runSim("--nav-files=all --orbit-margin=7200 " + d.str()), 0);
    const Sp3 o = readSp3(d.file("orbit.sp3"));
    const std::pair<std::string, int> files[] = {{"brdc2380.06n", 2},
                                                 {"BRDC00SIM_R_20062380000_01D_MN.rnx", 3},
                                                 {"BRD400SIM_R_20062380000_01D_MN.rnx", 4}};
    for (const auto& [name, version] : files) {
        const std::vector<NavRecord> recs = readNav(d.file(name), version);
        ASSERT_GT(recs.size(), 31u * 3) << name;
        int checked = 0;
        for (const NavRecord& r : recs) {
            const double toc = static_cast<double>((r.day - o.day0) * 86400) + r.sec;
            for (double dt : {-3600.0, 0.0, 3600.0}) {
                if (toc + dt < o.times.front() || toc + dt > o.times.back()) continue;
                const V3 diff = sub(keplerPosition(r, dt), o.pos(r.prn, toc + dt));
                EXPECT_LT(std::max({std::fabs(diff.x), std::fabs(diff.y), std::fabs(diff.z)}), 1e-3)
                    << name << " G" << r.prn << " toc+" << dt;
                EXPECT_NEAR(r.values[0] + r.values[1] * dt, o.interp(r.prn, 3, toc + dt), 2e-12);
                EXPECT_EQ(r.values[24], 0.0);  // healthy
                ++checked;
            }
        }
        EXPECT_GT(checked, 31 * 5) << name;
    }
    EXPECT_NE(runSim("--nav-files=5 " + d.str()), 0);
}

TEST(VarnoSim, EveryConstellationInObservationsOrbitAndNavigation) {
    TempDir d;
    ASSERT_EQ(runSim("--systems=G,E,C,J,R --orbit-version=d --orbit-interval=300 --max-sats=30 --lat1=35 --lon1=120 "
                     "--format=rinex3 --nav-files=3,4 " + d.str()),
              0);
    long day0 = 0;
    const auto orbit = sp3ById(d.file("orbit.sp3"), day0);
    for (const std::string name : {"BRDC00SIM_R_20062380000_01D_MN.rnx", "BRD400SIM_R_20062380000_01D_MN.rnx"}) {
        std::map<char, int> checked;
        for (const NavRecord& r : readNav(d.file(name), name[3] == '4' ? 4 : 3)) {
            // Record epochs in BDT (GPS - 14 s) and UTC (GPS - 14 s in 2006) for BeiDou and GLONASS.
            const long toc = (r.day - day0) * 86400 + std::lround(r.sec) + (r.sys == 'C' || r.sys == 'R' ? 14 : 0);
            const auto sat = orbit.find(fmt2(r.sys, r.prn));
            ASSERT_NE(sat, orbit.end()) << r.sys << r.prn;
            const long limit = r.sys == 'R' ? 900 : 3600;
            for (auto at = sat->second.lower_bound(toc - limit); at != sat->second.upper_bound(toc + limit); ++at) {
                const double dt = static_cast<double>(at->first - toc);
                const V3 p = r.sys == 'R' ? glonassPosition(r, dt) : keplerPosition(r, dt);
                EXPECT_LT(len(sub(p, at->second)), r.sys == 'R' ? 0.05 : 2e-3) << name << " " << r.sys << r.prn << " " << dt;
                ++checked[r.sys];
                EXPECT_EQ(r.values[r.sys == 'R' ? 6 : 24], 0.0);  // healthy
            }
        }
        for (char sys : std::string("GECJR")) EXPECT_GT(checked[sys], 10) << name << " " << sys;
    }
    for (const char* label : {"C    5 L2I", "GLONASS SLOT / FRQ #", " R02 -4"})
        EXPECT_NE(readFile(d.file("point1.rnx")).find(label), std::string::npos) << label;
    EXPECT_NE(runSim("--systems=G,E " + d.str()), 0);  // SP3-a has no lettered ids
    EXPECT_NE(runSim("--systems=G,X --orbit-version=d " + d.str()), 0);
}

}  // namespace
