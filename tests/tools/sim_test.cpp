// Tests of varno-sim (tools/sim): runs the built simulator into temporary directories and checks
// its files with a small fixed-column reader written here, independent of the program's readers
// and of the simulator's own code.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string kSim = std::string(VARNO_BINARY_DIR) + "/tools/sim/varno-sim";
constexpr double kC = 299792458.0;
constexpr double kOmega = 7.2921151467e-05;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// ------------------------------------------------------------------ plumbing
class TempDir {
public:
    TempDir() {
        static int counter = 0;
        path_ = fs::temp_directory_path() /
                ("varno-sim-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string file(const std::string& n) const { return (path_ / n).string(); }
    std::string str() const { return path_.string(); }

private:
    fs::path path_;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Runs the simulator with `args`; returns the exit status, stdout+stderr in *out.
int runSim(const std::string& args, std::string* out = nullptr) {
    TempDir log;
    const std::string cmd = "'" + kSim + "' " + args + " > '" + log.file("out.txt") + "' 2>&1";
    const int rc = std::system(cmd.c_str());
    if (out) *out = readFile(log.file("out.txt"));
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// Lines of a file; a trailing CR is removed from each and counted.
std::vector<std::string> readLines(const std::string& path, int* crCount = nullptr) {
    std::vector<std::string> out;
    std::string text = readFile(path);
    int cr = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) nl = text.size();
        std::string line = text.substr(pos, nl - pos);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
            ++cr;
        }
        out.push_back(line);
        pos = nl + 1;
    }
    if (crCount) *crCount = cr;
    return out;
}

// Columns a..b (1-based, inclusive) of a line padded with blanks.
std::string col(const std::string& line, int a, int b) {
    std::string s = line;
    if (static_cast<int>(s.size()) < b) s.append(static_cast<size_t>(b) - s.size(), ' ');
    return s.substr(static_cast<size_t>(a - 1), static_cast<size_t>(b - a + 1));
}

bool isBlank(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }

double num(const std::string& s) {
    if (isBlank(s)) return 0.0;
    size_t used = 0;
    double v = std::stod(s, &used);
    EXPECT_TRUE(isBlank(s.substr(used))) << "bad number field '" << s << "'";
    return v;
}

long inum(const std::string& s) {
    if (isBlank(s)) return 0;
    size_t used = 0;
    long v = std::stol(s, &used);
    EXPECT_TRUE(isBlank(s.substr(used))) << "bad integer field '" << s << "'";
    return v;
}

// Days since 1970-01-01 of a Gregorian date.
long daysOf(long y, long m, long d) {
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::map<std::string, std::string> readTruth(const std::string& path) {
    std::map<std::string, std::string> m;
    for (auto& l : readLines(path)) {
        if (l.empty() || l[0] == '#') continue;
        size_t eq = l.find(" = ");
        EXPECT_NE(eq, std::string::npos) << l;
        if (eq != std::string::npos) m[l.substr(0, eq)] = l.substr(eq + 3);
    }
    return m;
}

struct V3 {
    double x = 0, y = 0, z = 0;
};
V3 sub(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double len(V3 a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }

V3 v3(const std::string& s) {
    std::istringstream in(s);
    V3 v;
    in >> v.x >> v.y >> v.z;
    EXPECT_FALSE(in.fail()) << s;
    return v;
}

// ------------------------------------------------------------------ RINEX reader
struct SatRec {
    char sys;
    int prn;
    std::vector<double> values;  // NaN = blank field
};

struct Epoch {
    long day;       // days since 1970
    double sec;     // seconds of the day
    int flag;
    int count;
    double clock;   // columns 69-80, NaN when blank
    std::string line;
    std::vector<SatRec> sats;
    std::vector<std::string> special;  // lines of a flag >= 2 record
};

struct Rinex {
    std::vector<std::string> header;
    std::map<std::string, std::string> label;  // label -> last line carrying it
    std::vector<std::string> types;
    std::vector<Epoch> epochs;  // flag 0 and 1
    std::vector<Epoch> events;  // flag 2 and more
    int recordLines = 0;        // lines per satellite record
};

Rinex readRinex(const std::string& path) {
    Rinex r;
    auto lines = readLines(path);
    size_t i = 0;
    for (; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        EXPECT_LE(l.size(), 80u) << l;
        r.header.push_back(l);
        std::string lab = col(l, 61, 80);
        while (!lab.empty() && lab.back() == ' ') lab.pop_back();
        r.label[lab] = l;
        if (lab == "# / TYPES OF OBSERV") {
            const long n = inum(col(l, 1, 6));
            for (long k = 1; k <= n; ++k) r.types.push_back(col(l, static_cast<int>(6 * k + 5), static_cast<int>(6 * k + 6)));
        }
        if (lab == "END OF HEADER") {
            ++i;
            break;
        }
    }
    r.recordLines = r.types.size() > 5 ? 2 : 1;
    while (i < lines.size()) {
        const std::string& l = lines[i++];
        EXPECT_LE(l.size(), 80u) << l;
        Epoch e{};
        const long yy = inum(col(l, 1, 3));
        e.day = daysOf(yy < 80 ? 2000 + yy : 1900 + yy, inum(col(l, 4, 6)), inum(col(l, 7, 9)));
        e.sec = static_cast<double>(inum(col(l, 10, 12)) * 3600 + inum(col(l, 13, 15)) * 60) + num(col(l, 16, 26));
        e.flag = static_cast<int>(inum(col(l, 27, 29)));
        e.count = static_cast<int>(inum(col(l, 30, 32)));
        e.clock = isBlank(col(l, 69, 80)) ? kNaN : num(col(l, 69, 80));
        e.line = l;
        if (e.flag >= 2) {
            for (int k = 0; k < e.count && i < lines.size(); ++k) e.special.push_back(lines[i++]);
            r.events.push_back(e);
            continue;
        }
        EXPECT_GE(e.count, 1);
        EXPECT_LE(e.count, 12);
        for (int k = 0; k < e.count; ++k) {
            SatRec s{};
            s.sys = col(l, 33 + 3 * k, 33 + 3 * k)[0];
            s.prn = static_cast<int>(inum(col(l, 34 + 3 * k, 35 + 3 * k)));
            for (int q = 0; q < r.recordLines; ++q) {
                if (i >= lines.size()) {
                    ADD_FAILURE() << "file ends inside an observation record";
                    break;
                }
                const std::string& rec = lines[i++];
                EXPECT_LE(rec.size(), 80u);
                for (int g = 1; g <= 5; ++g) {
                    const size_t idx = static_cast<size_t>(q * 5 + g - 1);
                    if (idx >= r.types.size()) {
                        EXPECT_TRUE(isBlank(col(rec, 16 * g - 15, 16 * g))) << "text beyond the declared types: " << rec;
                        continue;
                    }
                    const std::string v = col(rec, 16 * g - 15, 16 * g - 2);
                    const std::string lli = col(rec, 16 * g - 1, 16 * g - 1), ss = col(rec, 16 * g, 16 * g);
                    EXPECT_TRUE(lli == " " || std::isdigit(static_cast<unsigned char>(lli[0]))) << rec;
                    EXPECT_TRUE(ss == " " || std::isdigit(static_cast<unsigned char>(ss[0]))) << rec;
                    if (isBlank(v)) {
                        s.values.push_back(kNaN);
                    } else {
                        EXPECT_EQ(v[10], '.') << "F14.3 decimal point expected in column " << 16 * g - 5 << ": " << rec;
                        s.values.push_back(num(v));
                    }
                }
            }
            e.sats.push_back(s);
        }
        r.epochs.push_back(e);
    }
    return r;
}

int typeIndex(const Rinex& r, const std::string& t) {
    for (size_t k = 0; k < r.types.size(); ++k)
        if (r.types[k] == t) return static_cast<int>(k);
    return -1;
}

// ------------------------------------------------------------------ SP3 reader and interpolation
struct Sp3 {
    std::vector<std::string> lines;
    long day0 = 0;             // day of the first epoch (days since 1970)
    long declaredEpochs = 0;
    double interval = 0;
    std::vector<int> sats;     // header list
    std::vector<double> times; // seconds since 0h of day0
    std::map<int, std::vector<std::array<double, 4>>> rec;  // prn -> per epoch x, y, z (m), clock (s)
    int headerLines = 0;

    // 9-point Lagrange interpolation of quantity q (0..3) of prn at time t.
    double interp(int prn, int q, double t) const {
        const auto& v = rec.at(prn);
        const long n = static_cast<long>(times.size());
        long k = std::lround((t - times[0]) / interval);
        long s = std::clamp(k - 4, 0L, n - 9);
        double sum = 0;
        for (long j = s; j < s + 9; ++j) {
            double w = 1;
            for (long m = s; m < s + 9; ++m)
                if (m != j) w *= (t - times[static_cast<size_t>(m)]) / (times[static_cast<size_t>(j)] - times[static_cast<size_t>(m)]);
            sum += w * v[static_cast<size_t>(j)][static_cast<size_t>(q)];
        }
        return sum;
    }
    V3 pos(int prn, double t) const { return {interp(prn, 0, t), interp(prn, 1, t), interp(prn, 2, t)}; }
};

Sp3 readSp3(const std::string& path) {
    Sp3 o;
    o.lines = readLines(path);
    const auto& L = o.lines;
    EXPECT_GT(L.size(), 22u);
    EXPECT_EQ(col(L[0], 1, 2), "#a");
    o.day0 = daysOf(inum(col(L[0], 4, 7)), inum(col(L[0], 8, 10)), inum(col(L[0], 11, 13)));
    const double t0 = static_cast<double>(inum(col(L[0], 14, 16)) * 3600 + inum(col(L[0], 17, 19)) * 60) + num(col(L[0], 20, 31));
    o.declaredEpochs = inum(col(L[0], 32, 39));
    EXPECT_EQ(col(L[1], 1, 2), "##");
    o.interval = num(col(L[1], 24, 38));
    EXPECT_EQ(col(L[2], 1, 1), "+");
    const long n = inum(col(L[2], 5, 6));
    for (long k = 0; k < n && k < 34; ++k) {
        const std::string& l = k < 17 ? L[2] : L[3];
        const int c = 10 + 3 * static_cast<int>(k % 17);
        o.sats.push_back(static_cast<int>(inum(col(l, c, c + 2))));
    }
    size_t i = 0;
    while (i < L.size() && L[i].substr(0, 1) != "*") ++i;
    o.headerLines = static_cast<int>(i);
    for (; i < L.size(); ++i) {
        const std::string& l = L[i];
        if (l.substr(0, 1) == "*") {
            const long d = daysOf(inum(col(l, 4, 7)), inum(col(l, 8, 10)), inum(col(l, 11, 13)));
            o.times.push_back(static_cast<double>((d - o.day0) * 86400 + inum(col(l, 14, 16)) * 3600 +
                                                  inum(col(l, 17, 19)) * 60) + num(col(l, 20, 31)));
        } else if (l.substr(0, 1) == "P") {
            const int prn = static_cast<int>(inum(col(l, 2, 4)));
            o.rec[prn].push_back({num(col(l, 5, 18)) * 1000.0, num(col(l, 19, 32)) * 1000.0, num(col(l, 33, 46)) * 1000.0,
                                  num(col(l, 47, 60)) * 1e-6});
        }
    }
    EXPECT_GE(o.times.size(), 9u);
    if (!o.times.empty()) {
        EXPECT_DOUBLE_EQ(o.times[0], t0);
    }
    return o;
}

// Range from the station to the satellite with the travel time iterated in the earth-fixed frame.
double rangeTo(const Sp3& o, int prn, V3 rx, double tRx, double* tTx, V3* sat = nullptr) {
    double tau = 0.075;
    V3 r;
    for (int k = 0; k < 8; ++k) {
        const V3 s = o.pos(prn, tRx - tau);
        const double th = kOmega * tau;
        r = {s.x * std::cos(th) + s.y * std::sin(th), -s.x * std::sin(th) + s.y * std::cos(th), s.z};
        tau = len(sub(r, rx)) / kC;
    }
    *tTx = tRx - tau;
    if (sat) *sat = r;
    return len(sub(r, rx));
}

double elevation(V3 rx, V3 sat) {
    // Geodetic up from a simple WGS 84 iteration.
    const double a = 6378137.0, e2 = 0.00669437999013;
    const double p = std::hypot(rx.x, rx.y);
    double lat = std::atan2(rx.z, p * (1 - e2));
    for (int k = 0; k < 10; ++k) {
        const double n = a / std::sqrt(1 - e2 * std::sin(lat) * std::sin(lat));
        lat = std::atan2(rx.z + e2 * n * std::sin(lat), p);
    }
    const double lon = std::atan2(rx.y, rx.x);
    const V3 d = sub(sat, rx);
    const double up = std::cos(lat) * std::cos(lon) * d.x + std::cos(lat) * std::sin(lon) * d.y + std::sin(lat) * d.z;
    return std::asin(up / len(d)) * 57.29577951308232;
}

// Residuals of the code values of type `type` after removing one receiver clock per epoch.
struct Fit {
    double rms = 0, maxAbs = 0;
    int count = 0;
    std::vector<double> clocks, tags;  // per epoch: estimated receiver clock (s), tag (s of day0)
};

// With `track`, the receiver is at (*track)[k] at epoch k instead of at rx.
Fit fitCode(const Rinex& r, const Sp3& o, V3 rx, const std::string& type, const std::vector<V3>* track = nullptr) {
    Fit f;
    const int ti = typeIndex(r, type);
    EXPECT_GE(ti, 0);
    if (track) {
        EXPECT_EQ(track->size(), r.epochs.size());
    }
    double ss = 0;
    for (size_t k = 0; k < r.epochs.size(); ++k) {
        const Epoch& e = r.epochs[k];
        if (track && k < track->size()) rx = (*track)[k];
        const double tag = static_cast<double>((e.day - o.day0) * 86400) + e.sec;
        double dt = 0;
        std::vector<double> res;
        for (int it = 0; it < 4; ++it) {
            res.clear();
            double sum = 0;
            for (const SatRec& s : e.sats) {
                if (s.sys != 'G' || !o.rec.count(s.prn)) continue;
                const double p = s.values[static_cast<size_t>(ti)];
                if (std::isnan(p) || std::fabs(p) <= 0.001) continue;
                double tTx;
                const double rho = rangeTo(o, s.prn, rx, tag - dt, &tTx);
                // P = c (tag - (tTx + satclock(tTx)))  =>  P - rho + c satclock = c dt
                const double v = p - rho + kC * o.interp(s.prn, 3, tTx);
                res.push_back(v);
                sum += v;
            }
            if (res.empty()) break;
            dt = sum / static_cast<double>(res.size()) / kC;
        }
        if (res.size() < 2) continue;
        for (double v : res) {
            const double d = v - kC * dt;
            ss += d * d;
            f.maxAbs = std::max(f.maxAbs, std::fabs(d));
            ++f.count;
        }
        f.clocks.push_back(dt);
        f.tags.push_back(tag);
    }
    f.rms = f.count ? std::sqrt(ss / f.count) : 0;
    return f;
}

// ------------------------------------------------------------------ tests
TEST(VarnoSim, HelpExitsZeroAndListsOptions) {
    std::string out;
    ASSERT_EQ(runSim("--help", &out), 0);
    for (const char* key : {"--seed=", "--start=", "--duration=", "--baseline=", "--apriori-error=", "--mask=",
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
            }
        }
        for (char sys : std::string("GECJR")) EXPECT_GT(checked[sys], 10) << name << " " << sys;
    }
    for (const char* label : {"C    5 L2I", "GLONASS SLOT / FRQ #", " R02 -4"})
        EXPECT_NE(readFile(d.file("point1.rnx")).find(label), std::string::npos) << label;
    EXPECT_NE(runSim("--systems=G,E " + d.str()), 0);  // SP3-a has no lettered ids
    EXPECT_NE(runSim("--systems=G,X --orbit-version=d " + d.str()), 0);
}
