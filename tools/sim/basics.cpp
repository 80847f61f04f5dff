// varno-sim: random numbers, vectors and frames, calendar and formatting.

#include "sim.h"

namespace sim {

// ---------------------------------------------------------------- random numbers
uint64_t splitmix64(uint64_t& x) {
    uint64_t z = (x += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

uint64_t streamSeed(uint64_t seed, uint64_t stream) {
    uint64_t x = seed ^ (0xD1B54A32D192ED03ULL * (stream + 1));
    return splitmix64(x);
}

// ---------------------------------------------------------------- vectors and frames
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

}  // namespace sim
