// varno-sim basics shared by every file: constants, errors, random numbers, vectors and frames, calendar and
// formatting (basics.cpp).
//
// The simulator is independent of the program in src/: nothing here includes or links any of it.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace sim {

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
uint64_t splitmix64(uint64_t& x);
// An independent seed for one purpose (noise, glitches, ambiguities of one receiver) of a scenario seed.
uint64_t streamSeed(uint64_t seed, uint64_t stream);

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

// ---------------------------------------------------------------- vectors and frames
struct Vec3 {
    double x = 0, y = 0, z = 0;
};
inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline double norm(Vec3 a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }

// Geodetic (radians, metres) to earth-centred, WGS 84.
Vec3 geodToXyz(double lat, double lon, double h);
// Earth-centred to geodetic (Bowring start, then fixed-point iteration to convergence).
void xyzToGeod(Vec3 p, double& lat, double& lon, double& h);
// Local north/east/up at (lat, lon) to an earth-centred vector.
Vec3 neuToXyz(double lat, double lon, double n, double e, double u);
// Earth-centred vector to its up component at (lat, lon) and horizontal length.
void xyzToUpHor(double lat, double lon, Vec3 d, double& up, double& hor);

// ---------------------------------------------------------------- calendar (own implementation)
int64_t floorDiv(int64_t a, int64_t b);
// Modified Julian date of a Gregorian date (days from civil algorithm).
int64_t mjdOf(int y, int m, int d);
void civilOf(int64_t mjd, int& y, int& m, int& d);

struct Civil {
    int year, month, day, hour, minute;
    int64_t secUnits;  // seconds within the minute, in 1e-7 s
};

// Civil time of a tag given in 1e-7 s units since 0h of day mjd0.
Civil civilOfUnits(int64_t mjd0, int64_t units);

// ---------------------------------------------------------------- formatting
std::string fmt(const char* f, ...) __attribute__((format(printf, 1, 2)));
std::string padTo(std::string s, size_t n);
std::string rtrim(std::string s);
// A RINEX header line: content padded to 60 columns, then the label.
std::string headerLine(const std::string& content, const std::string& label);

}  // namespace sim
