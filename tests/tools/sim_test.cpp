// Tests of varno-sim (tools/sim): runs the built simulator into temporary directories and checks its files
// with the fixed-column reader of sim_support.h, independent of the program's readers and of the
// simulator's own code.

#include "tools/sim_support.h"

namespace {

using namespace simtest;

// ------------------------------------------------------------------ tests
TEST(VarnoSim, HelpExitsZeroAndListsOptions) {
    std::string out;
    ASSERT_EQ(runSim("--help", &out), 0);
    for (const char* key : {"--seed=", "--start=", "--duration=", "--baseline=", "--apriori-error=", "--mask[12]=",
                            "--max-sats=", "--orbit-omit=", "--crlf=", "--config", "--interval[12]=",
                            "--tag-offset[12]=", "--types[12]=", "--noise[12]=", "--outlier-rate[12]=", "--gaps[12]=",
                            "--events[12]=", "--power-fail[12]=", "--blank-p1[12]=", "--zero-code[12]=",
                            "--drop-sats[12]=", "--glonass[12]=", "--pos-omit[12]=", "--pos-blank[12]=", "truth"})
        EXPECT_NE(out.find(key), std::string::npos) << key;
}

TEST(VarnoSim, RejectsBadInput) {
    TempDir d;
    EXPECT_NE(runSim("--no-such-option=1 " + d.str()), 0);
    EXPECT_NE(runSim("--noise=abc " + d.str()), 0);
    EXPECT_NE(runSim("--types=L1,XX " + d.str()), 0);
    EXPECT_NE(runSim(""), 0);
}

TEST(VarnoSim, DefaultScenarioLayout) {
    TempDir d;
    ASSERT_EQ(runSim(d.str()), 0);
    for (const char* f : {"point1.rnx", "point2.rnx", "orbit.sp3", "pos", "off", "truth"})
        EXPECT_TRUE(fs::exists(d.file(f))) << f;
    auto truth = readTruth(d.file("truth"));
    const V3 p1 = v3(truth["point1"]), p2 = v3(truth["point2"]);
    EXPECT_NEAR(len(sub(p2, p1)), 2000.0, 1e-3);
    EXPECT_EQ(truth["id1"], "PT01");
    EXPECT_EQ(truth["id2"], "PT02");
    EXPECT_EQ(truth["seed"], "1");

    for (int k = 1; k <= 2; ++k) {
        Rinex r = readRinex(d.file("point" + std::to_string(k) + ".rnx"));
        SCOPED_TRACE(k);
        for (const char* lab : {"RINEX VERSION / TYPE", "MARKER NAME", "APPROX POSITION XYZ", "ANTENNA: DELTA H/E/N",
                                "# / TYPES OF OBSERV", "INTERVAL", "END OF HEADER"})
            EXPECT_TRUE(r.label.count(lab)) << lab;
        EXPECT_EQ(col(r.label["RINEX VERSION / TYPE"], 1, 9), "     2.11");
        EXPECT_EQ(col(r.label["MARKER NAME"], 1, 4), k == 1 ? "PT01" : "PT02");
        const std::string& ap = r.label["APPROX POSITION XYZ"];
        const V3 approx{num(col(ap, 1, 14)), num(col(ap, 15, 28)), num(col(ap, 29, 42))};
        const double err = len(sub(approx, k == 1 ? p1 : p2));
        EXPECT_GT(err, 1.0);
        EXPECT_LT(err, 20.0);
        EXPECT_DOUBLE_EQ(num(col(r.label["INTERVAL"], 1, 10)), 30.0);
        // 2 hours of 30 s data: 241 epochs, 30 s apart, starting 2006-08-26 10:00:00.
        ASSERT_EQ(r.epochs.size(), 241u);
        EXPECT_EQ(r.epochs[0].line.substr(0, 32).substr(0, 26), " 06  8 26 10  0  0.0000000");
        for (size_t e = 1; e < r.epochs.size(); ++e)
            EXPECT_NEAR(r.epochs[e].sec - r.epochs[e - 1].sec, 30.0, 1e-9);
        for (const Epoch& e : r.epochs) {
            EXPECT_EQ(e.flag, 0);
            EXPECT_EQ(static_cast<int>(e.sats.size()), e.count);
            EXPECT_GE(e.count, 4);
            for (auto& s : e.sats) EXPECT_EQ(s.sys, 'G');
            EXPECT_FALSE(std::isnan(e.clock));
        }
        EXPECT_TRUE(r.events.empty());
    }
    Rinex r1 = readRinex(d.file("point1.rnx"));
    ASSERT_EQ(r1.types, (std::vector<std::string>{"L1", "L2", "P1", "C1", "P2"}));
    EXPECT_EQ(col(r1.label["# / TYPES OF OBSERV"], 1, 30), "     5    L1    L2    P1    C1");

    // Orbit: SP3-a layout, 22 header lines, 15-minute epochs covering the data with >= 15 min margin.
    Sp3 o = readSp3(d.file("orbit.sp3"));
    EXPECT_EQ(o.headerLines, 22);
    EXPECT_DOUBLE_EQ(o.interval, 900.0);
    EXPECT_EQ(static_cast<long>(o.times.size()), o.declaredEpochs);
    for (size_t k = 1; k < o.times.size(); ++k) EXPECT_DOUBLE_EQ(o.times[k] - o.times[k - 1], 900.0);
    const double first = r1.epochs.front().sec, last = r1.epochs.back().sec;
    EXPECT_LE(o.times.front(), first - 900.0);
    EXPECT_GE(o.times.back(), last + 900.0);
    EXPECT_GE(o.sats.size(), 24u);
    EXPECT_LE(o.sats.size(), 32u);
    for (int prn : o.sats) {
        ASSERT_TRUE(o.rec.count(prn)) << prn;
        EXPECT_EQ(o.rec[prn].size(), o.times.size());
        const auto& x = o.rec[prn][0];
        const double radius = std::sqrt(x[0] * x[0] + x[1] * x[1] + x[2] * x[2]);
        EXPECT_NEAR(radius, 26559.7e3, 600e3);
        EXPECT_LT(std::fabs(x[3]), 1e-3);
    }
    EXPECT_EQ(o.lines.back(), "EOF");
    // Position records: satellite number in 2-4, values F14.6 in 5-18, 19-32, 33-46, 47-60.
    for (auto& l : o.lines)
        if (l[0] == 'P') {
            EXPECT_EQ(l.size(), 60u);
            for (int c : {12, 26, 40, 54}) EXPECT_EQ(l[static_cast<size_t>(c - 1)], '.') << l;
        }

    // pos: the point 1 marker as read from its fixed columns equals the truth file's point1.
    auto pos = readLines(d.file("pos"));
    ASSERT_EQ(pos.size(), 4u);
    EXPECT_EQ(col(pos[0], 1, 4), "PT01");
    EXPECT_EQ(col(pos[0], 7, 10), "*80*");
    EXPECT_EQ(col(pos[1], 7, 10), "*86*");
    EXPECT_EQ(col(pos[2], 1, 4), "PT02");
    auto posXyz = [](const std::string& a, const std::string& b) {
        double lat = static_cast<double>(inum(col(a, 45, 46))) + static_cast<double>(inum(col(a, 47, 48))) / 60.0 +
                     static_cast<double>(inum(col(a, 49, 55))) * 1e-5 / 3600.0;
        if (col(a, 56, 56) == "S") lat = -lat;
        double lon = static_cast<double>(inum(col(a, 57, 59))) + static_cast<double>(inum(col(a, 60, 61))) / 60.0 +
                     static_cast<double>(inum(col(a, 62, 68))) * 1e-5 / 3600.0;
        if (col(a, 69, 69) == "W") lon = 360.0 - lon;
        const double h = static_cast<double>(inum(col(b, 46, 52))) / 1000.0;
        const double f = 3.141592653589793 / 180.0, a0 = 6378137.0, e2 = 0.00669437999013;
        const double n = a0 / std::sqrt(1 - e2 * std::sin(lat * f) * std::sin(lat * f));
        return V3{(n + h) * std::cos(lat * f) * std::cos(lon * f), (n + h) * std::cos(lat * f) * std::sin(lon * f),
                  (n * (1 - e2) + h) * std::sin(lat * f)};
    };
    EXPECT_LT(len(sub(posXyz(pos[0], pos[1]), p1)), 1.5e-4);
    EXPECT_EQ(col(pos[0], 69, 69), "W");
    EXPECT_EQ(col(pos[1], 46, 52), "0052318");
    const V3 ap2 = posXyz(pos[2], pos[3]);
    EXPECT_NEAR(len(sub(ap2, p2)), std::sqrt(0.8 * 0.8 + 1.2 * 1.2 + 1.5 * 1.5), 0.01);
    EXPECT_LT(len(sub(ap2, v3(truth["point2_apriori"]))), 1.5e-4);

    // off: id 1-4, up 5-14, aux 15-24, north 25-34, east 35-44.
    auto off = readLines(d.file("off"));
    ASSERT_EQ(off.size(), 2u);
    EXPECT_EQ(off[1], "PT02    1.6305    0.0000    0.0012   -0.0008");
    // The L1 phase centre of point 2 lies 1.6305 m up, 1.2 mm north, 0.8 mm west of the marker.
    EXPECT_NEAR(len(sub(v3(truth["point2_l1"]), p2)), std::sqrt(1.6305 * 1.6305 + 0.0012 * 0.0012 + 0.0008 * 0.0008),
                1e-4);
}

TEST(VarnoSim, PseudorangesMatchGeometry) {
    TempDir d;
    ASSERT_EQ(runSim("--noise=0 --clock-jump2=3600:0.001 " + d.str()), 0);
    auto truth = readTruth(d.file("truth"));
    Sp3 o = readSp3(d.file("orbit.sp3"));
    for (int k = 1; k <= 2; ++k) {
        SCOPED_TRACE(k);
        Rinex r = readRinex(d.file("point" + std::to_string(k) + ".rnx"));
        const V3 rx = v3(truth["point" + std::to_string(k) + "_l1"]);
        Fit f = fitCode(r, o, rx, "C1");
        EXPECT_GT(f.count, 1500);
        EXPECT_LT(f.maxAbs, 0.01) << "rms " << f.rms;
        // The clock removed per epoch is the configured receiver clock, also in columns 69-80.
        std::istringstream cl(truth["clock" + std::to_string(k)]);
        double bias, drift;
        cl >> bias >> drift;
        for (size_t e = 0; e < f.clocks.size(); ++e) {
            const double since = f.tags[e] - 36000.0;
            const double expect = bias + drift * since + (k == 2 && since >= 3600.0 ? 0.001 : 0.0);
            EXPECT_NEAR(f.clocks[e], expect, 1e-11) << e;
            EXPECT_NEAR(r.epochs[e].clock, expect, 1e-9) << e;
        }
        // Satellites above the mask, and the highest ones kept.
        for (const Epoch& e : r.epochs)
            for (const SatRec& s : e.sats) {
                double tTx;
                V3 sat;
                rangeTo(o, s.prn, rx, static_cast<double>((e.day - o.day0) * 86400) + e.sec, &tTx, &sat);
                EXPECT_GE(elevation(rx, sat), 10.0 - 1e-4) << s.prn;
            }
    }
}

// An independent double-difference least-squares solution recovers point 2 from the files alone.
V3 solveDoubleDifferences(const Rinex& r1, const Rinex& r2, const Sp3& o, V3 p1, V3 p2, const std::string& t1,
                          const std::string& t2) {
    const int i1 = typeIndex(r1, t1), i2 = typeIndex(r2, t2);
    for (int iter = 0; iter < 4; ++iter) {
        double n[3][3] = {}, b[3] = {};
        size_t k2 = 0;
        for (const Epoch& e1 : r1.epochs) {
            while (k2 < r2.epochs.size() && r2.epochs[k2].sec < e1.sec - 0.5) ++k2;
            if (k2 >= r2.epochs.size() || std::fabs(r2.epochs[k2].sec - e1.sec) > 0.5) continue;
            const Epoch& e2 = r2.epochs[k2];
            // One clock per receiver: from the first common satellite (as a reference), two passes.
            struct Obs { int prn; double p1, p2; };
            std::vector<Obs> obs;
            for (auto& a : e1.sats)
                for (auto& c : e2.sats)
                    if (a.prn == c.prn && a.sys == 'G' && c.sys == 'G' && o.rec.count(a.prn)) {
                        const double v1 = a.values[static_cast<size_t>(i1)], v2 = c.values[static_cast<size_t>(i2)];
                        if (!std::isnan(v1) && !std::isnan(v2) && v1 != 0 && v2 != 0) obs.push_back({a.prn, v1, v2});
                    }
            if (obs.size() < 2) continue;
            const double tag1 = static_cast<double>((e1.day - o.day0) * 86400) + e1.sec;
            const double tag2 = static_cast<double>((e2.day - o.day0) * 86400) + e2.sec;
            auto clockOf = [&](V3 rx, double tag, double p) {
                double dt = 0, tTx;
                for (int q = 0; q < 3; ++q) {
                    const double rho = rangeTo(o, obs[0].prn, rx, tag - dt, &tTx);
                    dt = (p - rho) / kC + o.interp(obs[0].prn, 3, tTx);
                }
                return dt;
            };
            const double dt1 = clockOf(p1, tag1, obs[0].p1), dt2 = clockOf(p2, tag2, obs[0].p2);
            std::vector<double> d;
            std::vector<V3> u;
            for (auto& ob : obs) {
                double tTx;
                V3 s;
                const double r1k = rangeTo(o, ob.prn, p1, tag1 - dt1, &tTx);
                const double r2k = rangeTo(o, ob.prn, p2, tag2 - dt2, &tTx, &s);
                d.push_back((ob.p2 - ob.p1) - (r2k - r1k));
                u.push_back({(p2.x - s.x) / r2k, (p2.y - s.y) / r2k, (p2.z - s.z) / r2k});
            }
            for (size_t k = 1; k < obs.size(); ++k) {
                const double a[3] = {u[k].x - u[0].x, u[k].y - u[0].y, u[k].z - u[0].z};
                const double m = d[k] - d[0];
                for (int i = 0; i < 3; ++i) {
                    b[i] += a[i] * m;
                    for (int j = 0; j < 3; ++j) n[i][j] += a[i] * a[j];
                }
            }
        }
        // Solve the 3x3 system by Cramer's rule.
        auto det = [](double m[3][3]) {
            return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                   m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
        };
        const double dn = det(n);
        double x[3];
        for (int c = 0; c < 3; ++c) {
            double m[3][3];
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j) m[i][j] = j == c ? b[i] : n[i][j];
            x[c] = det(m) / dn;
        }
        p2 = {p2.x + x[0], p2.y + x[1], p2.z + x[2]};
    }
    return p2;
}

TEST(VarnoSim, DoubleDifferencesRecoverTruth) {
    for (const char* noise : {"0", "0.5"}) {
        SCOPED_TRACE(noise);
        TempDir d;
        ASSERT_EQ(runSim(std::string("--noise=") + noise + " " + d.str()), 0);
        auto truth = readTruth(d.file("truth"));
        Sp3 o = readSp3(d.file("orbit.sp3"));
        Rinex r1 = readRinex(d.file("point1.rnx")), r2 = readRinex(d.file("point2.rnx"));
        const V3 start = v3(truth["point2_apriori"]);
        const V3 l1 = v3(truth["point2_l1"]);
        const V3 apriori{start.x + l1.x - v3(truth["point2"]).x, start.y + l1.y - v3(truth["point2"]).y,
                         start.z + l1.z - v3(truth["point2"]).z};
        const V3 est = solveDoubleDifferences(r1, r2, o, v3(truth["point1_l1"]), apriori, "P1", "C1");
        EXPECT_LT(len(sub(est, l1)), std::string(noise) == "0" ? 0.005 : 0.15)
            << est.x - l1.x << " " << est.y - l1.y << " " << est.z - l1.z;
    }
}

TEST(VarnoSim, NoiseLevelAndOutliers) {
    TempDir d;
    ASSERT_EQ(runSim("--noise=0.5 --outlier-rate2=0.01 --outlier-size2=40 " + d.str()), 0);
    auto truth = readTruth(d.file("truth"));
    Sp3 o = readSp3(d.file("orbit.sp3"));
    Rinex r1 = readRinex(d.file("point1.rnx"));
    Fit f = fitCode(r1, o, v3(truth["point1_l1"]), "P1");
    EXPECT_GT(f.rms, 0.4);
    EXPECT_LT(f.rms, 0.6);
    Rinex r2 = readRinex(d.file("point2.rnx"));
    Fit g = fitCode(r2, o, v3(truth["point2_l1"]), "C1");
    EXPECT_GT(g.maxAbs, 25.0);  // at least one outlier
    EXPECT_GT(g.rms, 1.0);
}

TEST(VarnoSim, SameSeedSameBytes) {
    TempDir a, b, c;
    const std::string opts = "--seed=42 --outlier-rate=0.01 --blank-p1=0.1 ";
    ASSERT_EQ(runSim(opts + a.str()), 0);
    ASSERT_EQ(runSim(opts + b.str()), 0);
    ASSERT_EQ(runSim("--seed=43 --outlier-rate=0.01 --blank-p1=0.1 " + c.str()), 0);
    for (const char* f : {"point1.rnx", "point2.rnx", "orbit.sp3", "pos", "off", "truth"})
        EXPECT_EQ(readFile(a.file(f)), readFile(b.file(f))) << f;
    EXPECT_NE(readFile(a.file("point1.rnx")), readFile(c.file("point1.rnx")));
    EXPECT_EQ(readFile(a.file("pos")), readFile(c.file("pos")));
}

TEST(VarnoSim, ConfigFileEqualsOptions) {
    TempDir a, b, cfg;
    {
        std::ofstream out(cfg.file("scenario.cfg"));
        out << "# test scenario\nnoise = 0.3\n\ninterval2 = 1   # fast receiver\nduration = 600\n";
    }
    ASSERT_EQ(runSim("--config " + cfg.file("scenario.cfg") + " " + a.str()), 0);
    ASSERT_EQ(runSim("--noise=0.3 --interval2 1 --duration=600 " + b.str()), 0);
    for (const char* f : {"point1.rnx", "point2.rnx", "orbit.sp3", "truth"})
        EXPECT_EQ(readFile(a.file(f)), readFile(b.file(f))) << f;
    Rinex r2 = readRinex(b.file("point2.rnx"));
    EXPECT_EQ(r2.epochs.size(), 601u);
    EXPECT_DOUBLE_EQ(num(col(r2.label["INTERVAL"], 1, 10)), 1.0);
    EXPECT_EQ(readRinex(b.file("point1.rnx")).epochs.size(), 21u);
}

TEST(VarnoSim, SixTypesGiveTwoLineRecords) {
    TempDir d;
    ASSERT_EQ(runSim("--types2=L1,L2,C1,P1,P2,S1 --types1=C1 --duration=1800 " + d.str()), 0);
    Rinex r2 = readRinex(d.file("point2.rnx"));
    EXPECT_EQ(r2.recordLines, 2);
    ASSERT_EQ(r2.types.size(), 6u);
    EXPECT_EQ(r2.epochs.size(), 61u);
    for (auto& e : r2.epochs)
        for (auto& s : e.sats) {
            ASSERT_EQ(s.values.size(), 6u);
            EXPECT_NEAR(s.values[5], 40.0, 15.0);  // S1 on the second line
            EXPECT_NEAR(s.values[2], s.values[3], 5.0);
        }
    // Count lines directly: epoch line + 2 lines per satellite.
    auto lines = readLines(d.file("point2.rnx"));
    size_t i = 0;
    while (col(lines[i], 61, 73) != "END OF HEADER") ++i;
    EXPECT_EQ(lines.size() - i - 1, 61 + 2 * [&] {
                  size_t n = 0;
                  for (auto& e : r2.epochs) n += e.sats.size();
                  return n;
              }());
    Rinex r1 = readRinex(d.file("point1.rnx"));
    EXPECT_EQ(r1.types, std::vector<std::string>{"C1"});
    EXPECT_EQ(col(r1.label["# / TYPES OF OBSERV"], 1, 12), "     1    C1");
}

TEST(VarnoSim, ModernLayoutContinuationLinesTrailingBlanksAndNan) {
    TempDir d;
    ASSERT_EQ(runSim("--max-sats=24 --mask=0 --glonass=1,2 --galileo=11 --sbas=20 --interleave=1 --nan-rate=0.05 "
                     "--types=C1,L1,L2,C2,C5,L5,P2,S1,S2,S5,P1 --end-blanks=2 --duration=600 " + d.str()),
              0);
    auto lines = readLines(d.file("point1.rnx"));
    size_t i = 0;
    while (col(lines[i], 61, 73) != "END OF HEADER") ++i;
    // Nine types a line, the count on the first one only; then INTERVAL and TIME OF FIRST OBS.
    EXPECT_EQ(col(lines[i - 4], 1, 6) + col(lines[i - 4], 61, 79), "    11# / TYPES OF OBSERV");
    EXPECT_EQ(col(lines[i - 3], 1, 18) + col(lines[i - 3], 61, 79), "          S5    P1# / TYPES OF OBSERV");
    const std::string& epoch = lines[i + 1];
    const int count = std::stoi(col(epoch, 30, 32));
    ASSERT_GT(count, 12);
    EXPECT_EQ(col(epoch, 33, 41), "R01G02R02");  // interleaved by number (G01 is below the horizon)
    EXPECT_EQ(col(lines[i + 2], 1, 32), std::string(32, ' '));
    EXPECT_NE(col(lines[i + 2], 33 + 3 * (count - 13), 35 + 3 * (count - 13)), "   ");
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 1] + lines[lines.size() - 2], "");
    EXPECT_NE(readFile(d.file("point1.rnx")).find("           nan"), std::string::npos);
}

TEST(VarnoSim, CrlfLineEnds) {
    TempDir a, b;
    ASSERT_EQ(runSim("--crlf=point2.rnx,pos --duration=600 " + a.str()), 0);
    int cr = 0;
    auto l2 = readLines(a.file("point2.rnx"), &cr);
    EXPECT_EQ(cr, static_cast<int>(l2.size()));
    readLines(a.file("point1.rnx"), &cr);
    EXPECT_EQ(cr, 0);
    auto lp = readLines(a.file("pos"), &cr);
    EXPECT_EQ(cr, static_cast<int>(lp.size()));
    ASSERT_EQ(runSim("--crlf=all --duration=600 " + b.str()), 0);
    for (const char* f : {"point1.rnx", "orbit.sp3", "off"}) {
        auto l = readLines(b.file(f), &cr);
        EXPECT_EQ(cr, static_cast<int>(l.size())) << f;
    }
    readLines(b.file("truth"), &cr);
    EXPECT_EQ(cr, 0);
    // Same content apart from the line ends.
    EXPECT_EQ(readLines(a.file("point2.rnx")), readLines(b.file("point2.rnx")));
}

TEST(VarnoSim, TimeTagOffsetsAndRates) {
    TempDir d;
    ASSERT_EQ(runSim("--noise=0 --tag-offset1=0.25 --tag-offset2=0.35 --interval1=1 --duration=900 " + d.str()), 0);
    Rinex r1 = readRinex(d.file("point1.rnx")), r2 = readRinex(d.file("point2.rnx"));
    EXPECT_EQ(r1.epochs.size(), 901u);
    EXPECT_EQ(r2.epochs.size(), 31u);
    EXPECT_EQ(r1.epochs[0].line.substr(15, 11), "  0.2500000");
    EXPECT_EQ(r2.epochs[1].line.substr(15, 11), " 30.3500000");
    auto truth = readTruth(d.file("truth"));
    Sp3 o = readSp3(d.file("orbit.sp3"));
    Fit f1 = fitCode(r1, o, v3(truth["point1_l1"]), "C1");
    Fit f2 = fitCode(r2, o, v3(truth["point2_l1"]), "C1");
    EXPECT_LT(f1.maxAbs, 0.01);
    EXPECT_LT(f2.maxAbs, 0.01);
    EXPECT_NEAR(f1.clocks[0], 0.25 + 3.2e-7, 1e-9);
    EXPECT_NEAR(f2.clocks[0], 0.35 - 4.7e-4, 1e-9);
}

TEST(VarnoSim, MalformedCases) {
    TempDir d;
    ASSERT_EQ(runSim("--duration=3600 --blank-p1=1 --zero-code2=0.2 --glonass2=5 --orbit-omit=7 "
                     "--drop-sats1=2,3 --events1=600 --event-lines1=3 --power-fail2=1200 --gaps2=300-600 "
                     "--pos-omit2=1 --pos-blank1=height --off=no " + d.str()),
              0);
    Rinex r1 = readRinex(d.file("point1.rnx")), r2 = readRinex(d.file("point2.rnx"));
    // Blank P1 with C1 present.
    const int p1 = typeIndex(r1, "P1"), c1 = typeIndex(r1, "C1");
    for (auto& e : r1.epochs)
        for (auto& s : e.sats) {
            EXPECT_TRUE(std::isnan(s.values[static_cast<size_t>(p1)]));
            EXPECT_FALSE(std::isnan(s.values[static_cast<size_t>(c1)]));
            EXPECT_NE(s.prn, 2);
            EXPECT_NE(s.prn, 3);
        }
    // Event record: flag 4, three comment lines, before the epoch at 600 s.
    ASSERT_EQ(r1.events.size(), 1u);
    EXPECT_EQ(r1.events[0].flag, 4);
    EXPECT_EQ(r1.events[0].count, 3);
    for (auto& l : r1.events[0].special) EXPECT_EQ(col(l, 61, 67), "COMMENT");
    EXPECT_DOUBLE_EQ(r1.events[0].sec, 36600.0);
    EXPECT_EQ(r1.epochs.size(), 121u);
    // Receiver 2: gap 300..600 s removes 11 epochs; flag 1 at 1200 s; R05 entries; zeros.
    EXPECT_EQ(r2.epochs.size(), 110u);
    int zeros = 0, glonass = 0, flag1 = 0;
    const int c1b = typeIndex(r2, "C1");
    for (auto& e : r2.epochs) {
        if (e.flag == 1) {
            ++flag1;
            EXPECT_DOUBLE_EQ(e.sec, 37200.0);
        }
        EXPECT_EQ(e.line.find("R05"), 32u + 3u * static_cast<unsigned>(e.count - 1));
        for (auto& s : e.sats) {
            if (s.sys == 'R') ++glonass;
            if (s.values[static_cast<size_t>(c1b)] == 0.0) ++zeros;
        }
        EXPECT_TRUE(e.sec - 36000.0 < 300 || e.sec - 36000.0 > 600) << e.line;
    }
    EXPECT_EQ(flag1, 1);
    EXPECT_EQ(glonass, 110);
    EXPECT_GT(zeros, 50);
    EXPECT_TRUE(r2.label["RINEX VERSION / TYPE"].find("M (MIXED)") != std::string::npos);
    // Orbit without PRN 7, in header and records.
    Sp3 o = readSp3(d.file("orbit.sp3"));
    EXPECT_EQ(std::count(o.sats.begin(), o.sats.end(), 7), 0);
    EXPECT_EQ(o.rec.count(7), 0u);
    EXPECT_EQ(inum(col(o.lines[2], 5, 6)), static_cast<long>(o.sats.size()));
    // pos: point 2 missing, point 1 with a blank height; no off file.
    auto pos = readLines(d.file("pos"));
    ASSERT_EQ(pos.size(), 2u);
    EXPECT_EQ(col(pos[0], 1, 4), "PT01");
    EXPECT_TRUE(isBlank(col(pos[1], 46, 52)));
    EXPECT_FALSE(fs::exists(d.file("off")));
    EXPECT_EQ(readTruth(d.file("truth"))["point2_apriori"], "none");
}

TEST(VarnoSim, LongBaselineAndSatelliteLimit) {
    TempDir d;
    ASSERT_EQ(runSim("--baseline=300000 --mask=0 --planes=6,6,5,5,5,5 --duration=1800 " + d.str()), 0);
    auto truth = readTruth(d.file("truth"));
    EXPECT_EQ(truth["baseline"], "300000.0000");
    EXPECT_NEAR(len(sub(v3(truth["point2"]), v3(truth["point1"]))), 300000.0, 1e-3);
    Sp3 o = readSp3(d.file("orbit.sp3"));
    EXPECT_EQ(o.sats.size(), 32u);
    Rinex r = readRinex(d.file("point2.rnx"));
    const V3 rx = v3(truth["point2_l1"]);
    int full = 0;
    for (auto& e : r.epochs) {
        EXPECT_LE(e.count, 12);
        if (e.count == 12) ++full;
        // The satellites left out are not higher than the lowest one kept.
        const double t = static_cast<double>((e.day - o.day0) * 86400) + e.sec;
        double lowestKept = 90, highestLeft = -90;
        for (int prn : o.sats) {
            double tTx;
            V3 sat;
            rangeTo(o, prn, rx, t, &tTx, &sat);
            const double el = elevation(rx, sat);
            bool kept = false;
            for (auto& s : e.sats) kept = kept || s.prn == prn;
            if (kept) {
                lowestKept = std::min(lowestKept, el);
            } else if (el >= 0) {
                highestLeft = std::max(highestLeft, el);
            }
        }
        EXPECT_LE(highestLeft, lowestKept + 1e-3);
    }
    EXPECT_GT(full, 0);
}

}  // namespace
