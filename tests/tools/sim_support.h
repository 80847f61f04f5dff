// Helpers of the varno-sim tests (sim_test.cpp, sim_models_test.cpp): running the built simulator into
// temporary directories and reading its files with a small fixed-column reader written here, independent of
// the program's readers and of the simulator's own code.
#pragma once

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

namespace simtest {

namespace fs = std::filesystem;

inline const std::string kSim = std::string(VARNO_BINARY_DIR) + "/tools/sim/varno-sim";
constexpr double kC = 299792458.0;
constexpr double kOmega = 7.2921151467e-05;
inline const double kNaN = std::numeric_limits<double>::quiet_NaN();

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

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Runs the simulator with `args`; returns the exit status, stdout+stderr in *out.
inline int runSim(const std::string& args, std::string* out = nullptr) {
    TempDir log;
    const std::string cmd = "'" + kSim + "' " + args + " > '" + log.file("out.txt") + "' 2>&1";
    const int rc = std::system(cmd.c_str());
    if (out) *out = readFile(log.file("out.txt"));
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// Lines of a file; a trailing CR is removed from each and counted.
inline std::vector<std::string> readLines(const std::string& path, int* crCount = nullptr) {
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
inline std::string col(const std::string& line, int a, int b) {
    std::string s = line;
    if (static_cast<int>(s.size()) < b) s.append(static_cast<size_t>(b) - s.size(), ' ');
    return s.substr(static_cast<size_t>(a - 1), static_cast<size_t>(b - a + 1));
}

inline bool isBlank(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }

inline double num(const std::string& s) {
    if (isBlank(s)) return 0.0;
    size_t used = 0;
    double v = std::stod(s, &used);
    EXPECT_TRUE(isBlank(s.substr(used))) << "bad number field '" << s << "'";
    return v;
}

inline long inum(const std::string& s) {
    if (isBlank(s)) return 0;
    size_t used = 0;
    long v = std::stol(s, &used);
    EXPECT_TRUE(isBlank(s.substr(used))) << "bad integer field '" << s << "'";
    return v;
}

// Days since 1970-01-01 of a Gregorian date.
inline long daysOf(long y, long m, long d) {
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

inline std::map<std::string, std::string> readTruth(const std::string& path) {
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
inline V3 sub(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline double len(V3 a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }

inline V3 v3(const std::string& s) {
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

inline Rinex readRinex(const std::string& path) {
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

inline int typeIndex(const Rinex& r, const std::string& t) {
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

inline Sp3 readSp3(const std::string& path) {
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
inline double rangeTo(const Sp3& o, int prn, V3 rx, double tRx, double* tTx, V3* sat = nullptr) {
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

inline double elevation(V3 rx, V3 sat) {
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
inline Fit fitCode(const Rinex& r, const Sp3& o, V3 rx, const std::string& type, const std::vector<V3>* track = nullptr) {
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

}  // namespace simtest
