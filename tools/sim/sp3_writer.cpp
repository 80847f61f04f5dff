// varno-sim: the SP3 orbit file(s): SP3-a with numeric ids (the default), or SP3-c / SP3-d with lettered ids
// and satellites of other systems mixed in; zero positions and unknown clocks on request; and the same orbit
// cut into one file per day.

#include "sim.h"

namespace sim {

namespace {

constexpr double kBadClock = 999999.999999;  // microseconds: the SP3 mark of an unknown clock
constexpr int kIdsPerLine = 17;
constexpr const char* kOtherSystems = "REC";  // letters of the mixed-in satellites, in turn

struct Entry {
    std::string id;   // as written: "  3", "G03", "R01"
    const Sat* sat;   // orbit the record is computed from
    bool gps;
    int prn;
};

std::vector<Entry> listedSatellites(const Scenario& sc, const std::vector<Sat>& sats) {
    std::vector<Entry> out;
    const bool letters = sc.orbitVersion != 'a';
    for (const Sat& s : sats) {
        const bool gps = s.sys == 'G';
        if (gps && std::find(sc.orbitOmit.begin(), sc.orbitOmit.end(), s.prn) != sc.orbitOmit.end()) continue;
        out.push_back({letters ? fmt("%c%02d", s.sys, s.prn) : fmt("%3d", s.prn), &s, gps, s.prn});
    }
    // Other systems interleaved with GPS (every third entry), on orbits borrowed from the GPS satellites.
    for (int k = 0; k < sc.orbitOthers && !sats.empty(); ++k) {
        const char letter = kOtherSystems[k % 3];
        const size_t at = std::min(out.size(), static_cast<size_t>(3 * k));
        out.insert(out.begin() + static_cast<long>(at),
                   {fmt("%c%02d", letter, k / 3 + 1), &sats[static_cast<size_t>(k) % sats.size()], false, 0});
    }
    const size_t most = sc.orbitVersion == 'd' ? 999 : 85;
    if (out.size() > most)
        throw Error(fmt("%zu satellites are too many for an SP3-%c orbit header (use orbit-version d)", out.size(),
                        sc.orbitVersion));
    return out;
}

bool listed(const std::vector<int>& prns, int prn) { return std::find(prns.begin(), prns.end(), prn) != prns.end(); }

// One SP3 file of the epochs first, first + d, ..., last (seconds since 0h of the start day).
std::vector<std::string> sp3Text(const Scenario& sc, const std::vector<Entry>& entries, const Geometry& geo,
                                 double first, double last, double middle) {
    const double d = sc.orbitInterval;
    const long long count = std::llround((last - first) / d) + 1;
    const Civil c0 = civilOfUnits(geo.mjd0, std::llround(first) * kUnitsPerSec);
    const int64_t dayOff = floorDiv(std::llround(first), 86400);
    const int64_t mjd = geo.mjd0 + dayOff;
    const double secOfDay = first - static_cast<double>(dayOff) * 86400.0;
    const int64_t gpsDays = mjd - 44244;
    const long long week = static_cast<long long>(floorDiv(gpsDays, 7));
    const double sow = static_cast<double>(gpsDays - week * 7) * 86400.0 + secOfDay;
    const char v = sc.orbitVersion;

    std::vector<std::string> out;
    out.push_back(fmt("#%cP%4d %2d %2d %2d %2d %11.8f %7lld %-5s %-5s %-3s %-4s", v, c0.year, c0.month, c0.day,
                      c0.hour, c0.minute, static_cast<double>(c0.secUnits) / kUnitsPerSec, count, "ORBIT", "WGS84",
                      "FIT", "VSIM"));
    out.push_back(fmt("## %4lld %15.8f %14.8f %5lld %15.13f", week, sow, d, static_cast<long long>(mjd),
                      secOfDay / 86400.0));
    const size_t n = entries.size();
    const size_t lines = v == 'd' ? std::max<size_t>(5, (n + kIdsPerLine - 1) / kIdsPerLine) : 5;
    for (size_t l = 0; l < lines; ++l) {
        const int count = static_cast<int>(n);
        std::string line = l > 0 ? std::string("+        ") : (v == 'd' ? fmt("+  %3d   ", count) : fmt("+   %2d   ", count));
        for (size_t k = l * kIdsPerLine; k < (l + 1) * kIdsPerLine; ++k) line += k < n ? entries[k].id : "  0";
        out.push_back(line);
    }
    for (size_t l = 0; l < lines; ++l) {
        std::string line = "++       ";
        for (size_t k = l * kIdsPerLine; k < (l + 1) * kIdsPerLine; ++k) line += fmt("%3d", k < n ? 7 : 0);
        out.push_back(line);
    }
    out.push_back(v == 'a' ? "%c cc cc ccc ccc cccc cccc cccc cccc ccccc ccccc ccccc ccccc"
                           : "%c M  cc GPS ccc cccc cccc cccc cccc ccccc ccccc ccccc ccccc");
    out.push_back("%c cc cc ccc ccc cccc cccc cccc cccc ccccc ccccc ccccc ccccc");
    out.push_back("%f  0.0000000  0.000000000  0.00000000000  0.000000000000000");
    out.push_back("%f  0.0000000  0.000000000  0.00000000000  0.000000000000000");
    out.push_back("%i    0    0    0    0      0      0      0      0         0");
    out.push_back("%i    0    0    0    0      0      0      0      0         0");
    out.push_back("/* SIMULATED ORBIT WRITTEN BY VARNO-SIM: KEPLERIAN, EARTH-FIXED");
    out.push_back("/* POSITIONS IN KM, CLOCKS IN MICROSECONDS, GPS TIME");
    out.push_back(fmt("/* SEED %llu", static_cast<unsigned long long>(sc.seed)));
    out.push_back("/*");
    for (long long k = 0; k < count; ++k) {
        const double t = first + static_cast<double>(k) * d;
        const Civil c = civilOfUnits(geo.mjd0, std::llround(t) * kUnitsPerSec);
        out.push_back(fmt("*  %4d %2d %2d %2d %2d %11.8f", c.year, c.month, c.day, c.hour, c.minute,
                          static_cast<double>(c.secUnits) / kUnitsPerSec));
        for (const Entry& e : entries) {
            Vec3 p = satPos(*e.sat, t);
            double clock = satClock(*e.sat, t) * 1.0e6;
            if (e.gps && t == middle && listed(sc.orbitZero, e.prn)) p = Vec3{0, 0, 0};
            if (e.gps && t == middle && listed(sc.orbitBadClock, e.prn)) clock = kBadClock;
            out.push_back(fmt("P%s%14.6f%14.6f%14.6f%14.6f", e.id.c_str(), p.x / 1000.0, p.y / 1000.0, p.z / 1000.0,
                              clock));
        }
    }
    out.push_back("EOF");
    return out;
}

}  // namespace

std::vector<std::string> sp3File(const Scenario& sc, const std::vector<Sat>& sats, const Geometry& geo,
                                 int64_t minTag, int64_t maxTag, std::vector<DailyOrbit>* daily) {
    const double d = sc.orbitInterval;
    double first = std::floor((static_cast<double>(minTag) / kUnitsPerSec - sc.orbitMargin) / d) * d;
    double last = std::ceil((static_cast<double>(maxTag) / kUnitsPerSec + sc.orbitMargin) / d) * d;
    // 9-point interpolation needs at least nine epochs: widen alternately at the end and the start.
    for (int k = 0; std::llround((last - first) / d) + 1 < 9; ++k) (k % 2 == 0 ? last : first) += (k % 2 == 0 ? d : -d);
    const std::vector<Entry> entries = listedSatellites(sc, sats);
    // The marked records sit at the epoch nearest the middle of the observations, inside every orbit window.
    const double middle = std::round((static_cast<double>(minTag + maxTag) / 2.0 / kUnitsPerSec) / d) * d;
    if (daily != nullptr) {
        for (double dayStart = std::floor(first / 86400.0) * 86400.0; dayStart <= last; dayStart += 86400.0) {
            const double a = std::max(first, std::ceil(dayStart / d) * d);
            const double b = std::min(last, std::ceil((dayStart + 86400.0) / d) * d - d);
            if (b < a) continue;
            const Civil c = civilOfUnits(geo.mjd0, std::llround(a) * kUnitsPerSec);
            daily->push_back({fmt("orbit-%04d%02d%02d.sp3", c.year, c.month, c.day),
                              sp3Text(sc, entries, geo, a, b, middle)});
        }
    }
    return sp3Text(sc, entries, geo, first, last, middle);
}

}  // namespace sim
