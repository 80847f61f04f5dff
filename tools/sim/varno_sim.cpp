// varno-sim: writes a complete varno run directory (point1.rnx, point2.rnx, orbit.sp3, pos,
// optionally off) for a simulated GPS scenario, plus a "truth" file with the true marker positions.
//
// The physics here is written independently of the program in src/ (no code or header of it is
// used): Keplerian orbits in an earth-fixed frame, satellite and receiver clocks, the signal travel
// time iterated in the earth-fixed frame with an exact rotation of the earth during it, and
// pseudoranges defined as c x (receiver-clock reception time - satellite-clock transmission time).
// All randomness comes from a private xoshiro256** generator (seeded by splitmix64) and Box-Muller,
// so the same options give byte-identical files on every platform that rounds IEEE doubles alike.

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------- constants
constexpr double kPi = 3.141592653589793;
constexpr double kDegPerRad = 57.29577951308232;
constexpr double kC = 299792458.0;
constexpr double kOmegaE = 7.2921151467e-05;
constexpr double kGM = 3.986004418e14;
constexpr double kWgsA = 6378137.0;
constexpr double kWgsE2 = 0.00669437999013;
constexpr double kF1 = 1575420000.0;
constexpr double kF2 = 1227600000.0;
constexpr double kLambda1 = kC / kF1;
constexpr double kLambda2 = kC / kF2;
constexpr int64_t kUnitsPerSec = 10000000;  // epoch tags are kept in units of 1e-7 s (F11.7)

struct Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// ---------------------------------------------------------------- random numbers
uint64_t splitmix64(uint64_t& x) {
    uint64_t z = (x += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

class Rng {
public:
    explicit Rng(uint64_t seed) {
        uint64_t x = seed;
        for (auto& v : s_) v = splitmix64(x);
    }
    uint64_t next() {
        const uint64_t result = rotl(s_[1] * 5, 7) * 9;
        const uint64_t t = s_[1] << 17;
        s_[2] ^= s_[0];
        s_[3] ^= s_[1];
        s_[1] ^= s_[2];
        s_[0] ^= s_[3];
        s_[2] ^= t;
        s_[3] = rotl(s_[3], 45);
        return result;
    }
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }  // [0,1)
    double gauss() {
        if (haveSpare_) {
            haveSpare_ = false;
            return spare_;
        }
        const double u1 = 1.0 - uniform();  // (0,1]
        const double u2 = uniform();
        const double r = std::sqrt(-2.0 * std::log(u1));
        const double a = 2.0 * kPi * u2;
        spare_ = r * std::sin(a);
        haveSpare_ = true;
        return r * std::cos(a);
    }

private:
    static uint64_t rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    uint64_t s_[4];
    double spare_ = 0.0;
    bool haveSpare_ = false;
};

uint64_t streamSeed(uint64_t seed, uint64_t stream) {
    uint64_t x = seed ^ (0xD1B54A32D192ED03ULL * (stream + 1));
    return splitmix64(x);
}

// ---------------------------------------------------------------- vectors and frames
struct Vec3 {
    double x = 0, y = 0, z = 0;
};
Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double norm(Vec3 a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }

// Geodetic (radians, metres) to earth-centred, WGS 84.
Vec3 geodToXyz(double lat, double lon, double h) {
    const double s = std::sin(lat);
    const double n = kWgsA / std::sqrt(1.0 - kWgsE2 * s * s);
    return {(n + h) * std::cos(lat) * std::cos(lon), (n + h) * std::cos(lat) * std::sin(lon),
            (n * (1.0 - kWgsE2) + h) * s};
}

// Earth-centred to geodetic (Bowring start, then fixed-point iteration to convergence).
void xyzToGeod(Vec3 p, double& lat, double& lon, double& h) {
    const double r = std::hypot(p.x, p.y);
    lon = std::atan2(p.y, p.x);
    lat = std::atan2(p.z, r * (1.0 - kWgsE2));
    for (int i = 0; i < 50; ++i) {
        const double s = std::sin(lat);
        const double n = kWgsA / std::sqrt(1.0 - kWgsE2 * s * s);
        const double next = std::atan2(p.z + kWgsE2 * n * s, r);
        if (std::fabs(next - lat) < 1e-15) {
            lat = next;
            break;
        }
        lat = next;
    }
    const double s = std::sin(lat);
    const double n = kWgsA / std::sqrt(1.0 - kWgsE2 * s * s);
    if (std::fabs(lat) < 0.7) {
        h = r / std::cos(lat) - n;
    } else {
        h = p.z / s - n * (1.0 - kWgsE2);
    }
}

// Local north/east/up at (lat, lon) to an earth-centred vector.
Vec3 neuToXyz(double lat, double lon, double n, double e, double u) {
    const double sp = std::sin(lat), cp = std::cos(lat), sl = std::sin(lon), cl = std::cos(lon);
    return {-sp * cl * n - sl * e + cp * cl * u, -sp * sl * n + cl * e + cp * sl * u, cp * n + sp * u};
}

// Earth-centred vector to its up component at (lat, lon) and horizontal length.
void xyzToUpHor(double lat, double lon, Vec3 d, double& up, double& hor) {
    const double sp = std::sin(lat), cp = std::cos(lat), sl = std::sin(lon), cl = std::cos(lon);
    const double n = -sp * cl * d.x - sp * sl * d.y + cp * d.z;
    const double e = -sl * d.x + cl * d.y;
    up = cp * cl * d.x + cp * sl * d.y + sp * d.z;
    hor = std::hypot(n, e);
}

// ---------------------------------------------------------------- calendar (own implementation)
int64_t floorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

// Modified Julian date of a Gregorian date (days from civil algorithm).
int64_t mjdOf(int y, int m, int d) {
    const int64_t yy = y - (m <= 2 ? 1 : 0);
    const int64_t era = floorDiv(yy, 400);
    const int64_t yoe = yy - era * 400;
    const int64_t mp = (m + 9) % 12;
    const int64_t doy = (153 * mp + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const int64_t daysSince1970 = era * 146097 + doe - 719468;
    return daysSince1970 + 40587;
}

void civilOf(int64_t mjd, int& y, int& m, int& d) {
    const int64_t z = mjd - 40587 + 719468;
    const int64_t era = floorDiv(z, 146097);
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
}

struct Civil {
    int year, month, day, hour, minute;
    int64_t secUnits;  // seconds within the minute, in 1e-7 s
};

// Civil time of a tag given in 1e-7 s units since 0h of day mjd0.
Civil civilOfUnits(int64_t mjd0, int64_t units) {
    const int64_t perDay = 86400 * kUnitsPerSec;
    const int64_t day = floorDiv(units, perDay);
    int64_t rem = units - day * perDay;
    Civil c{};
    civilOf(mjd0 + day, c.year, c.month, c.day);
    c.hour = static_cast<int>(rem / (3600 * kUnitsPerSec));
    rem -= static_cast<int64_t>(c.hour) * 3600 * kUnitsPerSec;
    c.minute = static_cast<int>(rem / (60 * kUnitsPerSec));
    c.secUnits = rem - static_cast<int64_t>(c.minute) * 60 * kUnitsPerSec;
    return c;
}

// ---------------------------------------------------------------- formatting
std::string fmt(const char* f, ...) __attribute__((format(printf, 1, 2)));
std::string fmt(const char* f, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, f);
    std::vsnprintf(buf, sizeof buf, f, ap);
    va_end(ap);
    return buf;
}

std::string padTo(std::string s, size_t n) {
    if (s.size() < n) s.append(n - s.size(), ' ');
    if (s.size() > n) s.resize(n);
    return s;
}

std::string rtrim(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

std::string headerLine(const std::string& content, const std::string& label) {
    return rtrim(padTo(content, 60) + label);
}

// ---------------------------------------------------------------- scenario
struct Receiver {
    std::string id;
    double interval = 30;
    double tagOffset = 0;
    double clockBias = 0;
    double clockDrift = 0;
    double jumpTime = -1, jumpSize = 0;
    bool hasJump = false;
    double startDelay = 0, stopEarly = 0;
    std::vector<std::string> types;
    std::vector<std::pair<double, double>> gaps;
    std::vector<double> events;
    int eventLines = 2;
    std::vector<double> flag1;
    double blankP1 = 0, zeroP1 = 0, zeroCode = 0;
    std::vector<int> dropSats, glonass;
    Vec3 approxError;
    double antUp = 0, antNorth = 0, antEast = 0, auxOffset = 0;
    bool posOmit = false;
    std::string posBlank = "none";
    double noise = 0.5, phaseNoise = 0.002, outlierRate = 0, outlierSize = 50;
    bool clockField = true;
};

struct Scenario {
    uint64_t seed = 1;
    int year = 2006, month = 8, day = 26, hour = 10, minute = 0;
    double second = 0;
    double duration = 7200;
    double lat1 = 0, lon1 = 0, h1 = 0;
    double baseline = 2000, azimuth = 0, dheight = 0;
    double apN = 0, apE = 0, apU = 0;
    double mask = 10;
    int maxSats = 12;
    double tropo = 0;
    double orbitInterval = 900, orbitMargin = 1800;
    std::vector<int> orbitOmit;
    std::vector<int> planes;
    std::set<std::string> crlf;
    std::string off = "auto";
    bool posExtra = false;
    Receiver rx[2];
};

// ---------------------------------------------------------------- option parsing helpers
std::string trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return "";
    size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}

std::vector<std::string> splitList(const std::string& v) {
    std::vector<std::string> out;
    std::string t = trim(v);
    if (t.empty() || t == "none") return out;
    std::string cur;
    for (char ch : t) {
        if (ch == ',' || ch == ' ') {
            if (!cur.empty()) out.push_back(cur);
            cur.clear();
        } else {
            cur += ch;
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

double toDouble(const std::string& key, const std::string& v) {
    std::string t = trim(v);
    char* end = nullptr;
    errno = 0;
    double d = std::strtod(t.c_str(), &end);
    if (t.empty() || *end != '\0' || errno != 0 || !std::isfinite(d))
        throw Error("option " + key + ": not a number: '" + v + "'");
    return d;
}

long long toInt(const std::string& key, const std::string& v) {
    std::string t = trim(v);
    char* end = nullptr;
    errno = 0;
    long long i = std::strtoll(t.c_str(), &end, 10);
    if (t.empty() || *end != '\0' || errno != 0) throw Error("option " + key + ": not an integer: '" + v + "'");
    return i;
}

bool toBool(const std::string& key, const std::string& v) {
    std::string t = trim(v);
    if (t == "1" || t == "yes" || t == "true" || t == "on") return true;
    if (t == "0" || t == "no" || t == "false" || t == "off") return false;
    throw Error("option " + key + ": expected 0 or 1: '" + v + "'");
}

std::vector<double> toDoubles(const std::string& key, const std::string& v) {
    std::vector<double> out;
    for (auto& s : splitList(v)) out.push_back(toDouble(key, s));
    return out;
}

std::vector<int> toPrns(const std::string& key, const std::string& v, int lo, int hi) {
    std::vector<int> out;
    for (auto& s : splitList(v)) {
        std::string t = s;
        if (!t.empty() && (t[0] == 'G' || t[0] == 'g' || t[0] == 'R' || t[0] == 'r')) t = t.substr(1);
        long long p = toInt(key, t);
        if (p < lo || p > hi) throw Error("option " + key + ": satellite number out of range: " + s);
        out.push_back(static_cast<int>(p));
    }
    return out;
}

Vec3 toVec3(const std::string& key, const std::string& v) {
    auto d = toDoubles(key, v);
    if (d.size() != 3) throw Error("option " + key + ": expected three numbers a,b,c: '" + v + "'");
    return {d[0], d[1], d[2]};
}

// ---------------------------------------------------------------- option table
using Setter = std::function<void(Scenario&, Receiver&, const std::string& key, const std::string& value)>;

struct Option {
    const char* key;
    bool perReceiver;
    const char* def1;  // default (for receiver 1 when per receiver)
    const char* def2;  // default for receiver 2 (per receiver only)
    const char* help;
    Setter set;
};

const std::vector<Option>& options() {
    static const std::vector<Option> table = {
        // ---- scenario
        {"seed", false, "1", nullptr, "seed of all random draws (noise, outliers, blank/zero values, ambiguities)",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             s.seed = static_cast<uint64_t>(toInt(k, v));
         }},
        {"start", false, "2006-08-26T10:00:00", nullptr,
         "first nominal epoch, GPS time, YYYY-MM-DDThh:mm:ss (no leap seconds)",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             int y, mo, d, h, mi;
             double sec;
             char sep;
             if (std::sscanf(trim(v).c_str(), "%d-%d-%d%c%d:%d:%lf", &y, &mo, &d, &sep, &h, &mi, &sec) != 7 ||
                 (sep != 'T' && sep != ' ') || y < 1980 || y > 2079 || mo < 1 || mo > 12 || d < 1 || d > 31 ||
                 h < 0 || h > 23 || mi < 0 || mi > 59 || sec < 0 || sec >= 60)
                 throw Error("option " + k + ": expected YYYY-MM-DDThh:mm:ss (1980-2079): '" + v + "'");
             s.year = y, s.month = mo, s.day = d, s.hour = h, s.minute = mi, s.second = sec;
         }},
        {"duration", false, "7200", nullptr, "length of the data span in seconds (last nominal epoch = start + duration)",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             s.duration = toDouble(k, v);
             if (s.duration < 0) throw Error("option duration: must be >= 0");
         }},
        {"lat1", false, "38.9215037", nullptr, "geodetic latitude of point 1, degrees (north positive)",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             s.lat1 = toDouble(k, v);
             if (std::fabs(s.lat1) > 89.9) throw Error("option lat1: out of range");
         }},
        {"lon1", false, "-77.0661248", nullptr,
         "longitude of point 1, degrees (east positive; negative values are written as west, col 69 'W')",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             s.lon1 = toDouble(k, v);
             if (s.lon1 <= -180 || s.lon1 >= 360) throw Error("option lon1: out of range");
             if (s.lon1 >= 180) s.lon1 -= 360;
         }},
        {"height1", false, "52.318", nullptr, "ellipsoidal height of point 1, metres (-999.999 to 9999.999)",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) { s.h1 = toDouble(k, v); }},
        {"baseline", false, "2000", nullptr,
         "distance between the two markers, metres (0 or more than |dheight|; up to 1000 km and beyond)",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             s.baseline = toDouble(k, v);
             if (s.baseline < 0 || s.baseline > 5.0e6) throw Error("option baseline: out of range (0 to 5000 km)");
         }},
        {"azimuth", false, "57", nullptr, "direction from point 1 to point 2, degrees clockwise from north",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) { s.azimuth = toDouble(k, v); }},
        {"dheight", false, "8.75", nullptr, "ellipsoidal height of point 2 minus that of point 1, metres",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) { s.dheight = toDouble(k, v); }},
        {"apriori-error", false, "0.8,-1.2,1.5", nullptr,
         "error of point 2's a priori marker position written in pos: north,east,up metres",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             Vec3 e = toVec3(k, v);
             s.apN = e.x, s.apE = e.y, s.apU = e.z;
         }},
        {"mask", false, "10", nullptr, "elevation mask, degrees (at each receiver's phase centre)",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) { s.mask = toDouble(k, v); }},
        {"max-sats", false, "12", nullptr,
         "most satellites per epoch line, 1..12 (the highest are kept; glonass entries count too)",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             long long n = toInt(k, v);
             if (n < 1 || n > 12) throw Error("option max-sats: must be 1..12");
             s.maxSats = static_cast<int>(n);
         }},
        {"tropo", false, "0", nullptr,
         "zenith delay in metres of an elevation-dependent delay added to every GPS pseudorange of both receivers",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) { s.tropo = toDouble(k, v); }},
        {"planes", false, "5,6,5,5,5,5", nullptr,
         "satellites per orbital plane (planes 60 deg apart, a = 26559.7 km, i = 55 deg; at most 32 in all)",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             s.planes.clear();
             int total = 0;
             for (auto& x : splitList(v)) {
                 long long n = toInt(k, x);
                 if (n < 1 || n > 12) throw Error("option planes: 1..12 satellites per plane");
                 s.planes.push_back(static_cast<int>(n));
                 total += static_cast<int>(n);
             }
             if (s.planes.empty() || total > 32) throw Error("option planes: 1 to 32 satellites in all");
         }},
        {"orbit-interval", false, "900", nullptr, "orbit (SP3) epoch spacing, whole seconds",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             s.orbitInterval = static_cast<double>(toInt(k, v));
             if (s.orbitInterval < 1) throw Error("option orbit-interval: must be >= 1");
         }},
        {"orbit-margin", false, "1800", nullptr,
         "orbit coverage before the first and after the last observation, seconds (then widened to the grid)",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) { s.orbitMargin = toDouble(k, v); }},
        {"orbit-omit", false, "none", nullptr,
         "PRNs left out of the orbit file (header list and records), e.g. 7,19",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) { s.orbitOmit = toPrns(k, v, 1, 99); }},
        {"crlf", false, "none", nullptr,
         "files written with CRLF line ends: none, all, or a list of point1.rnx,point2.rnx,orbit.sp3,pos,off",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             s.crlf.clear();
             for (auto& f : splitList(v)) {
                 if (f == "all") {
                     s.crlf = {"point1.rnx", "point2.rnx", "orbit.sp3", "pos", "off"};
                 } else if (f == "point1.rnx" || f == "point2.rnx" || f == "orbit.sp3" || f == "pos" || f == "off") {
                     s.crlf.insert(f);
                 } else {
                     throw Error("option " + k + ": unknown file '" + f + "'");
                 }
             }
         }},
        {"off", false, "auto", nullptr,
         "write the antenna offset file: auto (when an antenna offset is non-zero), yes, no",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             std::string t = trim(v);
             if (t == "1") t = "yes";
             if (t == "0") t = "no";
             if (t != "auto" && t != "yes" && t != "no") throw Error("option " + k + ": auto, yes or no");
             s.off = t;
         }},
        {"pos-extra", false, "0", nullptr, "1: pos starts with the record pair of another station (XTRA)",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) { s.posExtra = toBool(k, v); }},
        // ---- per receiver
        {"id", true, "PT01", "PT02", "station id (MARKER NAME, pos, off), 1 to 4 characters",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) {
             std::string t = trim(v);
             if (t.empty() || t.size() > 4) throw Error("option " + k + ": 1 to 4 characters");
             r.id = t;
         }},
        {"interval", true, "30", "30", "sampling interval, seconds (e.g. 1 or 30)",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) {
             r.interval = toDouble(k, v);
             if (r.interval < 0.01) throw Error("option " + k + ": must be >= 0.01");
         }},
        {"tag-offset", true, "0", "0",
         "receiver clock offset in seconds that also shifts the written time tags (0.25 gives epochs at x.25)",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.tagOffset = toDouble(k, v); }},
        {"clock-bias", true, "3.2e-7", "-4.7e-4",
         "receiver clock offset at the start, seconds (tags stay on the grid; only the pseudoranges carry it)",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.clockBias = toDouble(k, v); }},
        {"clock-drift", true, "1.5e-10", "-2.0e-9", "receiver clock drift, seconds per second",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.clockDrift = toDouble(k, v); }},
        {"clock-jump", true, "none", "none",
         "receiver clock jump TIME:SIZE (seconds after start : seconds), e.g. 3600:0.001",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) {
             std::string t = trim(v);
             r.hasJump = false;
             if (t == "none" || t.empty()) return;
             size_t c = t.find(':');
             if (c == std::string::npos) throw Error("option " + k + ": expected TIME:SIZE");
             r.jumpTime = toDouble(k, t.substr(0, c));
             r.jumpSize = toDouble(k, t.substr(c + 1));
             r.hasJump = true;
         }},
        {"start-delay", true, "0", "0", "this receiver starts so many seconds after start (a multiple of interval)",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.startDelay = toDouble(k, v); }},
        {"stop-early", true, "0", "0", "this receiver stops so many seconds before start + duration",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.stopEarly = toDouble(k, v); }},
        {"types", true, "L1,L2,P1,C1,P2", "C1,L1,L2,P2",
         "observation types in header order, 1..9 of L1 L2 C1 P1 P2 C2 D1 D2 S1 S2 (6 or more: two lines per satellite)",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) {
             static const std::set<std::string> known = {"L1", "L2", "C1", "P1", "P2", "C2", "D1", "D2", "S1", "S2"};
             r.types = splitList(v);
             if (r.types.empty() || r.types.size() > 9) throw Error("option " + k + ": 1 to 9 types");
             for (auto& t : r.types)
                 if (!known.count(t)) throw Error("option " + k + ": unknown type '" + t + "'");
         }},
        {"noise", true, "0.5", "0.5", "standard deviation of the code noise, metres (C1, P1, P2, C2 independently)",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.noise = toDouble(k, v); }},
        {"phase-noise", true, "0.002", "0.002", "standard deviation of the phase noise, metres",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.phaseNoise = toDouble(k, v); }},
        {"outlier-rate", true, "0", "0", "probability that a satellite record's code values carry an outlier",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.outlierRate = toDouble(k, v); }},
        {"outlier-size", true, "50", "50", "outlier size: random sign, magnitude uniform in [size, 2 size] metres",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.outlierSize = toDouble(k, v); }},
        {"gaps", true, "none", "none",
         "data gaps FROM-TO (seconds after start, inclusive), list, e.g. 600-900,3000-3060",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) {
             r.gaps.clear();
             for (auto& g : splitList(v)) {
                 size_t c = g.find('-', 1);
                 if (c == std::string::npos) c = g.find(':');
                 if (c == std::string::npos) throw Error("option " + k + ": expected FROM-TO");
                 r.gaps.emplace_back(toDouble(k, g.substr(0, c)), toDouble(k, g.substr(c + 1)));
             }
         }},
        {"events", true, "none", "none",
         "event-flag-4 records (with comment lines) before the first epoch at or after these times (s after start)",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.events = toDoubles(k, v); }},
        {"event-lines", true, "2", "2", "comment lines in each event-flag-4 record (1..9)",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) {
             long long n = toInt(k, v);
             if (n < 1 || n > 9) throw Error("option " + k + ": 1..9");
             r.eventLines = static_cast<int>(n);
         }},
        {"power-fail", true, "none", "none",
         "epochs written with event flag 1 (power failure; data as usual): the first epoch at or after each time",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.flag1 = toDoubles(k, v); }},
        {"blank-p1", true, "0", "0", "probability that a record's P1 field is blank while C1 is present",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.blankP1 = toDouble(k, v); }},
        {"zero-p1", true, "0", "0", "probability that a record's P1 value is written as 0.000 (C1 present)",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.zeroP1 = toDouble(k, v); }},
        {"zero-code", true, "0", "0",
         "probability that all code values (C1 P1 P2 C2) of a record are written as 0.000",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.zeroCode = toDouble(k, v); }},
        {"drop-sats", true, "none", "none", "PRNs this receiver never records (a satellite seen by one receiver only)",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.dropSats = toPrns(k, v, 1, 99); }},
        {"glonass", true, "none", "none",
         "GLONASS slots added to every epoch line as Rnn (with plausible values), e.g. 5 gives R05",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.glonass = toPrns(k, v, 1, 99); }},
        {"approx-error", true, "3.1,-2.4,4.2", "-5.3,1.7,-2.9",
         "APPROX POSITION XYZ minus true marker, X,Y,Z metres",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.approxError = toVec3(k, v); }},
        {"antenna", true, "1.421,0,0", "1.6305,0.0012,-0.0008",
         "marker to L1 phase centre: up,north,east metres (listed in off; also in ANTENNA: DELTA H/E/N)",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) {
             Vec3 a = toVec3(k, v);
             r.antUp = a.x, r.antNorth = a.y, r.antEast = a.z;
         }},
        {"aux-offset", true, "0", "0", "value of the off file's second field (auxOffset, unused by the program)",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.auxOffset = toDouble(k, v); }},
        {"pos-omit", true, "0", "0", "1: leave this station out of pos",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.posOmit = toBool(k, v); }},
        {"pos-blank", true, "none", "none", "blank fields in this station's pos pair: none, lat, lon, height, all",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) {
             std::string t = trim(v);
             if (t != "none" && t != "lat" && t != "lon" && t != "height" && t != "all")
                 throw Error("option " + k + ": none, lat, lon, height or all");
             r.posBlank = t;
         }},
        {"clock-field", true, "1", "1", "1: write the receiver clock offset in columns 69-80 of each epoch line",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.clockField = toBool(k, v); }},
    };
    return table;
}

void applyOption(Scenario& sc, const std::string& keyIn, const std::string& value) {
    const std::string key = trim(keyIn);
    for (auto& o : options()) {
        if (!o.perReceiver && key == o.key) {
            o.set(sc, sc.rx[0], key, value);
            return;
        }
    }
    for (auto& o : options()) {
        if (!o.perReceiver) continue;
        const std::string base = o.key;
        if (key == base) {
            o.set(sc, sc.rx[0], key, value);
            o.set(sc, sc.rx[1], key, value);
            return;
        }
        if (key.size() == base.size() + 1 && key.compare(0, base.size(), base) == 0 &&
            (key.back() == '1' || key.back() == '2')) {
            o.set(sc, sc.rx[key.back() - '1'], key, value);
            return;
        }
    }
    throw Error("unknown option '" + key + "' (see --help)");
}

void applyDefaults(Scenario& sc) {
    for (auto& o : options()) {
        if (o.perReceiver) {
            o.set(sc, sc.rx[0], o.key, o.def1);
            o.set(sc, sc.rx[1], o.key, o.def2 ? o.def2 : o.def1);
        } else {
            o.set(sc, sc.rx[0], o.key, o.def1);
        }
    }
}

void applyConfigFile(Scenario& sc, const std::string& path) {
    std::ifstream in(path);
    if (!in) throw Error("cannot open config file '" + path + "'");
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        ++n;
        size_t hash = line.find('#');
        if (hash != std::string::npos) line.resize(hash);
        if (trim(line).empty()) continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos) throw Error(path + ":" + std::to_string(n) + ": expected key = value");
        std::string key = trim(line.substr(0, eq));
        if (key.rfind("--", 0) == 0) key = key.substr(2);
        applyOption(sc, key, trim(line.substr(eq + 1)));
    }
}

void printHelp() {
    std::cout <<
        "usage: varno-sim [options] DIR\n"
        "\n"
        "Writes a simulated varno run directory into DIR (created if needed):\n"
        "  point1.rnx, point2.rnx  RINEX 2.11 observation files (receivers at point 1 and point 2)\n"
        "  orbit.sp3               SP3-a orbit, numeric satellite ids, km and microseconds\n"
        "  pos                     station positions (*80* / *86* record pairs)\n"
        "  off                     antenna offsets (see option off)\n"
        "  truth                   the true answer, key = value lines (below)\n"
        "With no option the default scenario (that of examples/baseline-2km) is written.\n"
        "The same options and seed give byte-identical files.\n"
        "\n"
        "Options are --key=value (or --key value); --config FILE reads key = value lines\n"
        "(# starts a comment) with the same keys; later settings override earlier ones.\n"
        "  --help, -h      this text (exit status 0)\n"
        "  --config FILE   read options from FILE at this point of the command line\n"
        "\n"
        "Scenario options [default]:\n";
    for (auto& o : options()) {
        if (o.perReceiver) continue;
        std::cout << "  --" << padTo(std::string(o.key) + "=", 17) << " " << o.help << " [" << o.def1 << "]\n";
    }
    std::cout << "\nReceiver options: --KEY sets both receivers, --KEY1 point 1 only, --KEY2 point 2 only\n"
                 "[default of point 1 / point 2]; times are seconds after start:\n";
    for (auto& o : options()) {
        if (!o.perReceiver) continue;
        std::string d = o.def1;
        if (o.def2 && std::string(o.def2) != o.def1) d += " / " + std::string(o.def2);
        std::cout << "  --" << padTo(std::string(o.key) + "[12]=", 17) << " " << o.help << " [" << d << "]\n";
    }
    std::cout <<
        "\n"
        "Model: Keplerian orbits in the earth-fixed frame; satellite clocks (bias + drift) in the SP3 clock\n"
        "column; each receiver clock offset dt(t) = tag-offset + clock-bias + clock-drift*(t - start)\n"
        "(+ clock-jump). A time tag is the receiver clock reading tag = t + dt(t); the pseudorange is\n"
        "c*(tag - transmission time by the satellite clock), with the travel time iterated in the earth-\n"
        "fixed frame and the earth's rotation during it applied, to the L1 phase centre, plus tropo and\n"
        "noise. Epochs without a satellite above the mask are not written.\n"
        "\n"
        "truth file (key = value, '#' lines are comments; coordinates earth-centred WGS 84, metres):\n"
        "  seed, id1, id2           seed and station ids\n"
        "  point1 = X Y Z           point 1 marker exactly as the program derives it from pos (%.4f)\n"
        "  point2 = X Y Z           true point 2 marker (%.4f)\n"
        "  point1_l1, point2_l1     true L1 phase centres\n"
        "  point2_apriori = X Y Z   point 2 as written in pos (or 'none' when it is not usable)\n"
        "  baseline = D             marker distance, metres\n"
        "  point1_geodetic, point2_geodetic = lat lon h   (degrees, degrees, metres)\n"
        "  clock1, clock2 = bias drift   receiver clock (bias includes tag-offset), s and s/s\n"
        "  start, duration, interval1, interval2, epochs1, epochs2, satellites\n";
}

// ---------------------------------------------------------------- constellation
struct Sat {
    int prn;
    double a, e, inc, raan, argp, m0;
    double clk0, clk1;  // seconds, seconds per second
};

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
    return sats;
}

// Earth-fixed position at time t (seconds since 0h of the start day, GPS time).
Vec3 satPos(const Sat& s, double t) {
    const double n = std::sqrt(kGM / (s.a * s.a * s.a));
    const double m = s.m0 + n * t;
    double e = m;
    for (int i = 0; i < 30; ++i) {
        const double de = (e - s.e * std::sin(e) - m) / (1.0 - s.e * std::cos(e));
        e -= de;
        if (std::fabs(de) < 1e-15) break;
    }
    const double nu = std::atan2(std::sqrt(1.0 - s.e * s.e) * std::sin(e), std::cos(e) - s.e);
    const double r = s.a * (1.0 - s.e * std::cos(e));
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

struct Signal {
    double tau;   // travel time, s
    double tx;    // transmission time (true GPS time)
    Vec3 sRot;    // satellite at transmission, in the earth-fixed frame of reception
    double elev;  // degrees
};

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

// ---------------------------------------------------------------- pos-file rounding
struct PosAngle {
    long long deg, min, secUnits;  // secUnits: 1e-5 arcsec
    bool negative;
};

PosAngle toPosAngle(double degrees) {
    PosAngle a{};
    a.negative = degrees < 0;
    long long u = std::llround(std::fabs(degrees) * 360000000.0);
    a.deg = u / 360000000;
    u -= a.deg * 360000000;
    a.min = u / 6000000;
    a.secUnits = u - a.min * 6000000;
    return a;
}

// The angle in degrees as the program's position-file reader forms it.
double posAngleValue(const PosAngle& a) {
    return static_cast<double>(a.deg) + static_cast<double>(a.min) * 0.016666666666666666 +
           static_cast<double>(a.secUnits) * 2.777777777777778e-09;
}

struct PosPoint {
    PosAngle lat, lon;
    long long heightMm;
    Vec3 xyz;  // as the program derives it from these fields
    double latDeg, lonDeg;
};

PosPoint roundForPos(double latDeg, double lonDeg, double h) {
    PosPoint p{};
    p.lat = toPosAngle(latDeg);
    p.lon = toPosAngle(lonDeg);
    p.heightMm = std::llround(h * 1000.0);
    if (p.heightMm > 9999999 || p.heightMm < -999999) throw Error("height out of the pos field's range");
    double lat = posAngleValue(p.lat);
    if (p.lat.negative) lat = -lat;
    double lon = posAngleValue(p.lon);
    if (p.lon.negative) lon = 360.0 - lon;
    p.latDeg = lat;
    p.lonDeg = lon;
    const double r = 1.0 / kDegPerRad;
    p.xyz = geodToXyz(lat * r, lon * r, static_cast<double>(p.heightMm) / 1000.0);
    return p;
}

// ---------------------------------------------------------------- output helpers
void writeFile(const std::filesystem::path& dir, const std::string& name, const std::vector<std::string>& lines,
               bool crlf) {
    std::string text;
    for (auto& l : lines) {
        text += l;
        text += crlf ? "\r\n" : "\n";
    }
    std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
    if (!out) throw Error("cannot write " + (dir / name).string());
    out << text;
    if (!out) throw Error("write failed: " + (dir / name).string());
}

std::string f4(double v) { return fmt("%.4f", v); }

// ---------------------------------------------------------------- the simulation
struct Geometry {
    int64_t mjd0;       // start day
    double tStart;      // seconds since 0h of the start day
    Vec3 marker[2], l1[2];
    double lat[2], lon[2];  // geodetic of the markers (radians)
    PosPoint pos1;
    double lat2Deg, lon2Deg, h2;
};

Geometry makeGeometry(const Scenario& sc) {
    Geometry g{};
    g.mjd0 = mjdOf(sc.year, sc.month, sc.day);
    g.tStart = sc.hour * 3600.0 + sc.minute * 60.0 + sc.second;
    // Point 1: rounded to the pos resolution, then taken exactly as the program reads it.
    g.pos1 = roundForPos(sc.lat1, sc.lon1, sc.h1);
    g.marker[0] = g.pos1.xyz;
    g.lat[0] = g.pos1.latDeg / kDegPerRad;
    g.lon[0] = g.pos1.lonDeg / kDegPerRad;
    const double h1 = static_cast<double>(g.pos1.heightMm) / 1000.0;
    // Point 2: along the great circle of the given azimuth, distance solved so that the marker
    // distance equals the baseline.
    const double az = sc.azimuth / kDegPerRad;
    auto point2 = [&](double dist, double& lat2, double& lon2) {
        const double R = 6371000.0;
        const double d = dist / R;
        lat2 = std::asin(std::sin(g.lat[0]) * std::cos(d) + std::cos(g.lat[0]) * std::sin(d) * std::cos(az));
        lon2 = g.lon[0] + std::atan2(std::sin(az) * std::sin(d) * std::cos(g.lat[0]),
                                     std::cos(d) - std::sin(g.lat[0]) * std::sin(lat2));
        return geodToXyz(lat2, lon2, h1 + sc.dheight);
    };
    double lat2 = g.lat[0], lon2 = g.lon[0];
    Vec3 p2 = point2(0.0, lat2, lon2);
    if (sc.baseline > 0) {
        if (sc.baseline <= std::fabs(sc.dheight) * 1.0001 + 1e-6)
            throw Error("baseline must be 0 or longer than |dheight|");
        double dist = std::sqrt(sc.baseline * sc.baseline - sc.dheight * sc.dheight);
        for (int i = 0; i < 30; ++i) {
            p2 = point2(dist, lat2, lon2);
            const double actual = norm(p2 - g.marker[0]);
            if (std::fabs(actual - sc.baseline) < 1e-7) break;
            dist *= sc.baseline / actual;
        }
    }
    g.marker[1] = p2;
    g.lat[1] = lat2;
    g.lon[1] = lon2;
    g.lat2Deg = lat2 * kDegPerRad;
    g.lon2Deg = lon2 * kDegPerRad;
    if (g.lon2Deg > 180) g.lon2Deg -= 360;
    if (g.lon2Deg <= -180) g.lon2Deg += 360;
    g.h2 = h1 + sc.dheight;
    for (int i = 0; i < 2; ++i) {
        const Receiver& r = sc.rx[i];
        g.l1[i] = g.marker[i] + neuToXyz(g.lat[i], g.lon[i], r.antNorth, r.antEast, r.antUp);
    }
    return g;
}

struct EpochPlan {
    int64_t tagUnits;  // since 0h of start day
    double nominal;    // seconds after start
    int flag;
    std::vector<int> eventsBefore;  // number of event records to write before it (count)
};

class Simulator {
public:
    Simulator(const Scenario& sc) : sc_(sc), sats_(makeConstellation(sc)), geo_(makeGeometry(sc)) {}

    void run(const std::filesystem::path& dir) {
        std::filesystem::create_directories(dir);
        int64_t minTag = INT64_MAX, maxTag = INT64_MIN;
        std::vector<std::string> rnx[2];
        int epochs[2] = {0, 0};
        for (int i = 0; i < 2; ++i) {
            rnx[i] = observationFile(i, epochs[i], minTag, maxTag);
        }
        if (epochs[0] == 0 || epochs[1] == 0) throw Error("a receiver has no epoch (check duration, delays, gaps)");
        writeFile(dir, "point1.rnx", rnx[0], sc_.crlf.count("point1.rnx") > 0);
        writeFile(dir, "point2.rnx", rnx[1], sc_.crlf.count("point2.rnx") > 0);
        writeFile(dir, "orbit.sp3", orbitFile(minTag, maxTag), sc_.crlf.count("orbit.sp3") > 0);
        Vec3 apriori;
        bool aprioriUsable = false;
        writeFile(dir, "pos", posFile(apriori, aprioriUsable), sc_.crlf.count("pos") > 0);
        bool anyOffset = false;
        for (auto& r : sc_.rx)
            if (r.antUp != 0 || r.antNorth != 0 || r.antEast != 0 || r.auxOffset != 0) anyOffset = true;
        const bool writeOff = sc_.off == "yes" || (sc_.off == "auto" && anyOffset);
        std::filesystem::remove(dir / "off");
        if (writeOff) writeFile(dir, "off", offFile(), sc_.crlf.count("off") > 0);
        writeFile(dir, "truth", truthFile(apriori, aprioriUsable, epochs), false);
    }

private:
    const Scenario& sc_;
    std::vector<Sat> sats_;
    Geometry geo_;

    double rxClock(int i, double tRx) const {
        const Receiver& r = sc_.rx[i];
        double dt = r.tagOffset + r.clockBias + r.clockDrift * (tRx - geo_.tStart);
        return dt;
    }

    bool inGap(const Receiver& r, double nominal) const {
        for (auto& g : r.gaps)
            if (nominal >= g.first - 1e-9 && nominal <= g.second + 1e-9) return true;
        return false;
    }

    std::vector<EpochPlan> planEpochs(int i) const {
        const Receiver& r = sc_.rx[i];
        std::vector<EpochPlan> plan;
        const double last = sc_.duration - r.stopEarly + 1e-9;
        for (long long k = 0;; ++k) {
            const double nominal = r.startDelay + static_cast<double>(k) * r.interval;
            if (nominal > last) break;
            if (inGap(r, nominal)) continue;
            EpochPlan e{};
            e.nominal = nominal;
            e.tagUnits = std::llround((geo_.tStart + nominal + r.tagOffset) * static_cast<double>(kUnitsPerSec));
            e.flag = 0;
            plan.push_back(e);
        }
        return plan;
    }

    std::string epochLine(int64_t tagUnits, int flag, int count) const {
        const Civil c = civilOfUnits(geo_.mjd0, tagUnits);
        return fmt(" %02d %2d %2d %2d %2d%3lld.%07lld  %1d%3d", c.year % 100, c.month, c.day, c.hour, c.minute,
                   static_cast<long long>(c.secUnits / kUnitsPerSec),
                   static_cast<long long>(c.secUnits % kUnitsPerSec), flag, count);
    }

    std::vector<std::string> observationFile(int i, int& epochCount, int64_t& minTag, int64_t& maxTag) {
        const Receiver& r = sc_.rx[i];
        Rng noise(streamSeed(sc_.seed, 10 + static_cast<uint64_t>(i)));
        Rng glitch(streamSeed(sc_.seed, 20 + static_cast<uint64_t>(i)));
        Rng amb(streamSeed(sc_.seed, 30 + static_cast<uint64_t>(i)));
        double n1[100], n2[100];
        for (int p = 0; p < 100; ++p) {
            n1[p] = std::floor(amb.uniform() * 2.0e7) - 1.0e7;
            n2[p] = std::floor(amb.uniform() * 1.6e7) - 0.8e7;
        }
        std::vector<EpochPlan> plan = planEpochs(i);
        // Event records and flag-1 epochs: the first epoch at or after each time.
        std::vector<int> eventsAt(plan.size() + 1, 0);
        for (double t : r.events) {
            size_t k = 0;
            while (k < plan.size() && plan[k].nominal < t - 1e-9) ++k;
            eventsAt[k]++;
        }
        for (double t : r.flag1) {
            size_t k = 0;
            while (k < plan.size() && plan[k].nominal < t - 1e-9) ++k;
            if (k < plan.size()) plan[k].flag = 1;
        }

        std::vector<std::string> body;
        int64_t firstTag = -1;
        epochCount = 0;
        const bool twoLines = r.types.size() > 5;
        bool mixed = !r.glonass.empty();
        auto eventRecord = [&](int64_t tagUnits) {
            body.push_back(epochLine(tagUnits, 4, r.eventLines));
            for (int l = 0; l < r.eventLines; ++l) {
                std::string text = l == 0 ? std::string("SIMULATED EVENT: HEADER INFORMATION FOLLOWS")
                                          : fmt("SIMULATED EVENT COMMENT LINE %d", l + 1);
                body.push_back(headerLine(text, "COMMENT"));
            }
        };

        for (size_t k = 0; k < plan.size(); ++k) {
            const EpochPlan& e = plan[k];
            const double tag = static_cast<double>(e.tagUnits) / static_cast<double>(kUnitsPerSec);
            // True reception time: tag = t + dt(t).
            double t = tag - rxClock(i, tag);
            for (int it = 0; it < 5; ++it) t = tag - rxClock(i, t);
            double dt = rxClock(i, t);
            if (r.hasJump && e.nominal >= r.jumpTime - 1e-9) {
                t -= r.jumpSize;
                dt += r.jumpSize;
            }
            // Visible satellites, highest first.
            struct Vis {
                const Sat* sat;
                Signal sig;
            };
            std::vector<Vis> vis;
            for (const Sat& s : sats_) {
                if (std::find(r.dropSats.begin(), r.dropSats.end(), s.prn) != r.dropSats.end()) continue;
                Signal g = propagate(s, geo_.l1[i], geo_.lat[i], geo_.lon[i], t);
                if (g.elev >= sc_.mask) vis.push_back({&s, g});
            }
            std::stable_sort(vis.begin(), vis.end(), [](const Vis& a, const Vis& b) { return a.sig.elev > b.sig.elev; });
            const int room = std::max(0, sc_.maxSats - static_cast<int>(r.glonass.size()));
            if (static_cast<int>(vis.size()) > room) vis.resize(static_cast<size_t>(room));
            std::sort(vis.begin(), vis.end(), [](const Vis& a, const Vis& b) { return a.sat->prn < b.sat->prn; });
            const int glo = std::min(static_cast<int>(r.glonass.size()), sc_.maxSats);
            const int count = static_cast<int>(vis.size()) + glo;
            if (eventsAt[k] > 0)
                for (int q = 0; q < eventsAt[k]; ++q) eventRecord(e.tagUnits);
            if (count == 0 || vis.empty()) continue;  // nothing to observe: no epoch written

            std::string line = epochLine(e.tagUnits, e.flag, count);
            for (auto& v : vis) line += fmt("G%02d", v.sat->prn);
            for (int q = 0; q < glo; ++q) line += fmt("R%02d", r.glonass[static_cast<size_t>(q)]);
            if (r.clockField) line = padTo(line, 68) + fmt("%12.9f", dt);
            body.push_back(line);
            if (firstTag < 0) firstTag = e.tagUnits;
            minTag = std::min(minTag, e.tagUnits);
            maxTag = std::max(maxTag, e.tagUnits);
            ++epochCount;

            for (auto& v : vis) {
                const Sat& s = *v.sat;
                const Signal& g = v.sig;
                const double clean = kC * (g.tau + dt - satClock(s, g.tx)) + sc_.tropo * mapping(g.elev);
                const double iono = 1.2 * mapping(g.elev);  // L2 minus L1 group delay, for P2/C2/L2 only
                // Fixed draw pattern per record, so that rates do not change the noise.
                const double uOut = glitch.uniform(), uSign = glitch.uniform(), uMag = glitch.uniform();
                const double uBlank = glitch.uniform(), uZeroP1 = glitch.uniform(), uZero = glitch.uniform();
                double outlier = 0;
                if (uOut < r.outlierRate) outlier = (uSign < 0.5 ? -1.0 : 1.0) * r.outlierSize * (1.0 + uMag);
                const bool blankP1 = uBlank < r.blankP1;
                const bool zeroP1 = uZeroP1 < r.zeroP1;
                const bool zeroCode = uZero < r.zeroCode;
                double doppler1 = 0, doppler2 = 0;
                bool needDoppler = false;
                for (auto& ty : r.types)
                    if (ty[0] == 'D') needDoppler = true;
                if (needDoppler) {
                    const Signal a = propagate(s, geo_.l1[i], geo_.lat[i], geo_.lon[i], t - 0.5);
                    const Signal b = propagate(s, geo_.l1[i], geo_.lat[i], geo_.lon[i], t + 0.5);
                    const double pa = kC * (a.tau - satClock(s, a.tx)) + kC * r.clockDrift * -0.5;
                    const double pb = kC * (b.tau - satClock(s, b.tx)) + kC * r.clockDrift * 0.5;
                    doppler1 = -(pb - pa) / kLambda1;
                    doppler2 = -(pb - pa) / kLambda2;
                }
                const int ss = std::clamp(static_cast<int>(g.elev / 11.0) + 1, 1, 9);
                std::vector<std::string> fields;
                for (auto& ty : r.types) {
                    double val = 0;
                    bool blank = false, zero = false;
                    if (ty == "C1") {
                        val = clean + r.noise * noise.gauss() + outlier;
                        zero = zeroCode;
                    } else if (ty == "P1") {
                        val = clean + r.noise * noise.gauss() + outlier;
                        zero = zeroCode || zeroP1;
                        blank = blankP1 && !zero;
                    } else if (ty == "P2" || ty == "C2") {
                        val = clean + iono + r.noise * noise.gauss() + outlier;
                        zero = zeroCode;
                    } else if (ty == "L1") {
                        val = (clean + r.phaseNoise * noise.gauss()) / kLambda1 + n1[s.prn];
                    } else if (ty == "L2") {
                        val = (clean - iono + r.phaseNoise * noise.gauss()) / kLambda2 + n2[s.prn];
                    } else if (ty == "D1") {
                        val = doppler1;
                    } else if (ty == "D2") {
                        val = doppler2;
                    } else if (ty == "S1") {
                        val = 32.0 + 18.0 * std::sin(g.elev / kDegPerRad);
                    } else if (ty == "S2") {
                        val = 26.0 + 18.0 * std::sin(g.elev / kDegPerRad);
                    }
                    if (blank) {
                        fields.push_back(std::string(16, ' '));
                    } else if (zero) {
                        fields.push_back(fmt("%14.3f %1d", 0.0, ss));
                    } else {
                        fields.push_back(fmt("%14.3f %1d", val, ss));
                    }
                }
                pushRecord(body, fields, twoLines);
            }
            for (int q = 0; q < glo; ++q) {
                const int slot = r.glonass[static_cast<size_t>(q)];
                const double f1 = 1602.0e6 + 0.5625e6 * static_cast<double>(slot % 14 - 7);
                const double p = 2.05e7 + 1.5e6 * std::sin(t / 7000.0 + slot) + kC * dt;
                std::vector<std::string> fields;
                for (auto& ty : r.types) {
                    double val = p;
                    if (ty == "L1") val = p / (kC / f1);
                    if (ty == "L2") val = p / (kC / (f1 * 7.0 / 9.0));
                    if (ty == "P2" || ty == "C2") val = p + 1.7;
                    if (ty[0] == 'D') val = -1.5e6 * std::cos(t / 7000.0 + slot) / 7000.0 / (kC / f1);
                    if (ty[0] == 'S') val = 40.0;
                    fields.push_back(fmt("%14.3f %1d", val, 6));
                }
                pushRecord(body, fields, twoLines);
            }
        }
        if (eventsAt[plan.size()] > 0 && !plan.empty())
            for (int q = 0; q < eventsAt[plan.size()]; ++q) eventRecord(plan.back().tagUnits);

        // Header.
        std::vector<std::string> out;
        out.push_back(headerLine(fmt("%9.2f%11s%-20s%-20s", 2.11, "", "OBSERVATION DATA",
                                     mixed ? "M (MIXED)" : "G (GPS)"),
                                 "RINEX VERSION / TYPE"));
        out.push_back(headerLine(fmt("%-20s%-20s%04d%02d%02d %02d%02d%02d", "varno-sim", "varno", sc_.year, sc_.month,
                                     sc_.day, sc_.hour, sc_.minute, static_cast<int>(sc_.second)),
                                 "PGM / RUN BY / DATE"));
        out.push_back(headerLine(fmt("SIMULATED DATA, SEED %llu", static_cast<unsigned long long>(sc_.seed)),
                                 "COMMENT"));
        out.push_back(headerLine(r.id, "MARKER NAME"));
        out.push_back(headerLine(r.id, "MARKER NUMBER"));
        out.push_back(headerLine(fmt("%-20s%-40s", "SIMULATOR", "VARNO PROJECT"), "OBSERVER / AGENCY"));
        out.push_back(headerLine(fmt("%-20s%-20s%-20s", fmt("SIM%d", i + 1).c_str(), "VARNO-SIM RECEIVER", "1.0"),
                                 "REC # / TYPE / VERS"));
        out.push_back(headerLine(fmt("%-20s%-20s", fmt("SIM%d", i + 1).c_str(), "VARNO-SIM ANTENNA"), "ANT # / TYPE"));
        const Vec3 ap = geo_.marker[i] + r.approxError;
        out.push_back(headerLine(fmt("%14.4f%14.4f%14.4f", ap.x, ap.y, ap.z), "APPROX POSITION XYZ"));
        out.push_back(headerLine(fmt("%14.4f%14.4f%14.4f", r.antUp, r.antEast, r.antNorth), "ANTENNA: DELTA H/E/N"));
        out.push_back(headerLine(fmt("%6d%6d", 1, 1), "WAVELENGTH FACT L1/2"));
        std::string types = fmt("%6d", static_cast<int>(r.types.size()));
        for (auto& ty : r.types) types += "    " + ty;
        out.push_back(headerLine(types, "# / TYPES OF OBSERV"));
        out.push_back(headerLine(fmt("%10.3f", r.interval), "INTERVAL"));
        if (firstTag >= 0) {
            const Civil c = civilOfUnits(geo_.mjd0, firstTag);
            out.push_back(headerLine(fmt("%6d%6d%6d%6d%6d%5lld.%07lld     GPS", c.year, c.month, c.day, c.hour,
                                         c.minute, static_cast<long long>(c.secUnits / kUnitsPerSec),
                                         static_cast<long long>(c.secUnits % kUnitsPerSec)),
                                     "TIME OF FIRST OBS"));
        }
        out.push_back(headerLine("", "END OF HEADER"));
        out.insert(out.end(), body.begin(), body.end());
        return out;
    }

    static void pushRecord(std::vector<std::string>& body, const std::vector<std::string>& fields, bool twoLines) {
        std::string l1, l2;
        for (size_t f = 0; f < fields.size(); ++f) (f < 5 ? l1 : l2) += fields[f];
        body.push_back(rtrim(l1));
        if (twoLines) body.push_back(rtrim(l2));
    }

    std::vector<std::string> orbitFile(int64_t minTag, int64_t maxTag) {
        const double d = sc_.orbitInterval;
        double first = std::floor((static_cast<double>(minTag) / kUnitsPerSec - sc_.orbitMargin) / d) * d;
        double last = std::ceil((static_cast<double>(maxTag) / kUnitsPerSec + sc_.orbitMargin) / d) * d;
        // 9-point interpolation needs at least nine epochs: widen alternately at the end and the start.
        for (int k = 0; std::llround((last - first) / d) + 1 < 9; ++k) (k % 2 == 0 ? last : first) += (k % 2 == 0 ? d : -d);
        const long long count = std::llround((last - first) / d) + 1;
        std::vector<const Sat*> listed;
        for (const Sat& s : sats_)
            if (std::find(sc_.orbitOmit.begin(), sc_.orbitOmit.end(), s.prn) == sc_.orbitOmit.end())
                listed.push_back(&s);
        if (listed.size() > 85) throw Error("too many satellites for the orbit header");
        const int64_t firstUnits = std::llround(first) * kUnitsPerSec;
        const Civil c0 = civilOfUnits(geo_.mjd0, firstUnits);
        const int64_t dayOff = floorDiv(std::llround(first), 86400);
        const int64_t mjd = geo_.mjd0 + dayOff;
        const double secOfDay = first - static_cast<double>(dayOff) * 86400.0;
        const int64_t gpsDays = mjd - 44244;
        const long long week = static_cast<long long>(floorDiv(gpsDays, 7));
        const double sow = static_cast<double>(gpsDays - week * 7) * 86400.0 + secOfDay;

        std::vector<std::string> out;
        out.push_back(fmt("#aP%4d %2d %2d %2d %2d %11.8f %7lld %-5s %-5s %-3s %-4s", c0.year, c0.month, c0.day, c0.hour,
                          c0.minute, static_cast<double>(c0.secUnits) / kUnitsPerSec, count, "ORBIT", "WGS84", "FIT",
                          "VSIM"));
        out.push_back(fmt("## %4lld %15.8f %14.8f %5lld %15.13f", week, sow, d, static_cast<long long>(mjd),
                          secOfDay / 86400.0));
        for (int l = 0; l < 5; ++l) {
            std::string line = l == 0 ? fmt("+   %2d   ", static_cast<int>(listed.size())) : std::string("+        ");
            for (int k = 0; k < 17; ++k) {
                const size_t idx = static_cast<size_t>(l * 17 + k);
                line += fmt("%3d", idx < listed.size() ? listed[idx]->prn : 0);
            }
            out.push_back(line);
        }
        for (int l = 0; l < 5; ++l) {
            std::string line = "++       ";
            for (int k = 0; k < 17; ++k) {
                const size_t idx = static_cast<size_t>(l * 17 + k);
                line += fmt("%3d", idx < listed.size() ? 7 : 0);
            }
            out.push_back(line);
        }
        out.push_back("%c cc cc ccc ccc cccc cccc cccc cccc ccccc ccccc ccccc ccccc");
        out.push_back("%c cc cc ccc ccc cccc cccc cccc cccc ccccc ccccc ccccc ccccc");
        out.push_back("%f  0.0000000  0.000000000  0.00000000000  0.000000000000000");
        out.push_back("%f  0.0000000  0.000000000  0.00000000000  0.000000000000000");
        out.push_back("%i    0    0    0    0      0      0      0      0         0");
        out.push_back("%i    0    0    0    0      0      0      0      0         0");
        out.push_back("/* SIMULATED ORBIT WRITTEN BY VARNO-SIM: KEPLERIAN, EARTH-FIXED");
        out.push_back("/* POSITIONS IN KM, CLOCKS IN MICROSECONDS, GPS TIME");
        out.push_back(fmt("/* SEED %llu", static_cast<unsigned long long>(sc_.seed)));
        out.push_back("/*");
        for (long long k = 0; k < count; ++k) {
            const double t = first + static_cast<double>(k) * d;
            const Civil c = civilOfUnits(geo_.mjd0, std::llround(t) * kUnitsPerSec);
            out.push_back(fmt("*  %4d %2d %2d %2d %2d %11.8f", c.year, c.month, c.day, c.hour, c.minute,
                              static_cast<double>(c.secUnits) / kUnitsPerSec));
            for (const Sat* s : listed) {
                const Vec3 p = satPos(*s, t);
                out.push_back(fmt("P%3d%14.6f%14.6f%14.6f%14.6f", s->prn, p.x / 1000.0, p.y / 1000.0, p.z / 1000.0,
                                  satClock(*s, t) * 1.0e6));
            }
        }
        out.push_back("EOF");
        return out;
    }

    static void posPair(std::vector<std::string>& out, const std::string& id, int ssn, const std::string& name,
                        const PosPoint& p, const std::string& blank) {
        std::string r1 = padTo(id, 6) + "*80*" + fmt("%04d", ssn) + padTo(name, 30);
        std::string lat = fmt("%02lld%02lld%07lld%c", p.lat.deg, p.lat.min, p.lat.secUnits, p.lat.negative ? 'S' : 'N');
        std::string lon = fmt("%03lld%02lld%07lld%c", p.lon.deg, p.lon.min, p.lon.secUnits, p.lon.negative ? 'W' : 'E');
        if (blank == "lat" || blank == "all") lat = std::string(11, ' ') + lat.substr(11);
        if (blank == "lon" || blank == "all") lon = std::string(12, ' ') + lon.substr(12);
        r1 += lat + lon;  // lat in 45-56, lon in 57-69
        std::string h = p.heightMm >= 0 ? fmt("%07lld", p.heightMm) : fmt("-%06lld", -p.heightMm);
        if (blank == "height" || blank == "all") h = std::string(7, ' ');
        std::string r2 = padTo(id, 6) + "*86*" + fmt("%04d", ssn) + std::string(31, ' ') + h;  // height in 46-52
        out.push_back(rtrim(r1));
        out.push_back(rtrim(r2));
    }

    std::vector<std::string> posFile(Vec3& apriori, bool& aprioriUsable) {
        std::vector<std::string> out;
        if (sc_.posExtra) {
            PosPoint x = roundForPos(geo_.pos1.latDeg + 0.5, sc_.lon1 + 0.5, 100.0);
            posPair(out, "XTRA", 9, "VARNO-SIM OTHER STATION", x, "none");
        }
        // Point 2 a priori: the truth plus the chosen north/east/up error, rounded to the pos fields.
        const Vec3 p2 = geo_.marker[1] + neuToXyz(geo_.lat[1], geo_.lon[1], sc_.apN, sc_.apE, sc_.apU);
        double lat, lon, h;
        xyzToGeod(p2, lat, lon, h);
        double lonDeg = lon * kDegPerRad;
        if (lonDeg > 180) lonDeg -= 360;
        const PosPoint pos2 = roundForPos(lat * kDegPerRad, lonDeg, h);
        const PosPoint* pts[2] = {&geo_.pos1, &pos2};
        for (int i = 0; i < 2; ++i) {
            const Receiver& r = sc_.rx[i];
            if (r.posOmit) continue;
            posPair(out, r.id, i + 1, fmt("VARNO-SIM POINT %d", i + 1), *pts[i], r.posBlank);
        }
        apriori = pos2.xyz;
        aprioriUsable = !sc_.rx[1].posOmit && sc_.rx[1].posBlank == "none";
        return out;
    }

    std::vector<std::string> offFile() const {
        std::vector<std::string> out;
        for (auto& r : sc_.rx)
            out.push_back(padTo(r.id, 4) + fmt("%10.4f%10.4f%10.4f%10.4f", r.antUp, r.auxOffset, r.antNorth, r.antEast));
        return out;
    }

    std::vector<std::string> truthFile(Vec3 apriori, bool aprioriUsable, const int epochs[2]) const {
        std::vector<std::string> out;
        auto xyz = [](Vec3 p) { return f4(p.x) + " " + f4(p.y) + " " + f4(p.z); };
        out.push_back("# varno-sim truth: key = value; earth-centred WGS 84 coordinates in metres");
        out.push_back("# point1 is the marker exactly as the program derives it from pos; point2 is the true marker");
        out.push_back(fmt("seed = %llu", static_cast<unsigned long long>(sc_.seed)));
        out.push_back("id1 = " + sc_.rx[0].id);
        out.push_back("id2 = " + sc_.rx[1].id);
        out.push_back("point1 = " + xyz(geo_.marker[0]));
        out.push_back("point2 = " + xyz(geo_.marker[1]));
        out.push_back("point1_l1 = " + xyz(geo_.l1[0]));
        out.push_back("point2_l1 = " + xyz(geo_.l1[1]));
        out.push_back("point2_apriori = " + (aprioriUsable ? xyz(apriori) : std::string("none")));
        out.push_back("baseline = " + f4(norm(geo_.marker[1] - geo_.marker[0])));
        out.push_back(fmt("point1_geodetic = %.9f %.9f %.4f", geo_.pos1.latDeg,
                          geo_.pos1.lonDeg > 180 ? geo_.pos1.lonDeg - 360 : geo_.pos1.lonDeg,
                          static_cast<double>(geo_.pos1.heightMm) / 1000.0));
        out.push_back(fmt("point2_geodetic = %.9f %.9f %.4f", geo_.lat2Deg, geo_.lon2Deg, geo_.h2));
        for (int i = 0; i < 2; ++i)
            out.push_back(fmt("clock%d = %.12g %.12g", i + 1, sc_.rx[i].tagOffset + sc_.rx[i].clockBias,
                              sc_.rx[i].clockDrift));
        out.push_back(fmt("start = %04d-%02d-%02dT%02d:%02d:%09.6f", sc_.year, sc_.month, sc_.day, sc_.hour, sc_.minute,
                          sc_.second));
        out.push_back(fmt("duration = %.3f", sc_.duration));
        out.push_back(fmt("interval1 = %.3f", sc_.rx[0].interval));
        out.push_back(fmt("interval2 = %.3f", sc_.rx[1].interval));
        out.push_back(fmt("epochs1 = %d", epochs[0]));
        out.push_back(fmt("epochs2 = %d", epochs[1]));
        std::string sats;
        for (auto& s : sats_) {
            if (!sats.empty()) sats += ' ';
            sats += std::to_string(s.prn);
        }
        out.push_back("satellites = " + sats);
        return out;
    }
};

}  // namespace

int main(int argc, char** argv) {
    try {
        Scenario sc;
        applyDefaults(sc);
        std::string dir;
        for (int a = 1; a < argc; ++a) {
            std::string arg = argv[a];
            if (arg == "--help" || arg == "-h") {
                printHelp();
                return 0;
            }
            if (arg.rfind("--", 0) == 0) {
                std::string key = arg.substr(2), value;
                size_t eq = key.find('=');
                if (eq != std::string::npos) {
                    value = key.substr(eq + 1);
                    key.resize(eq);
                } else {
                    if (a + 1 >= argc) throw Error("option --" + key + " needs a value");
                    value = argv[++a];
                }
                if (key == "config") {
                    applyConfigFile(sc, value);
                } else {
                    applyOption(sc, key, value);
                }
            } else {
                if (!dir.empty()) throw Error("more than one output directory given");
                dir = arg;
            }
        }
        if (dir.empty()) throw Error("no output directory given (see --help)");
        Simulator sim(sc);
        sim.run(dir);
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "varno-sim: error: " << e.what() << "\n";
        return 2;
    }
}
