// varno-sim: the SP3-a orbit file (numeric satellite ids, positions in km, clocks in microseconds).

#include "sim.h"

namespace sim {

std::vector<std::string> sp3File(const Scenario& sc, const std::vector<Sat>& sats, const Geometry& geo,
                                 int64_t minTag, int64_t maxTag) {
    const double d = sc.orbitInterval;
    double first = std::floor((static_cast<double>(minTag) / kUnitsPerSec - sc.orbitMargin) / d) * d;
    double last = std::ceil((static_cast<double>(maxTag) / kUnitsPerSec + sc.orbitMargin) / d) * d;
    // 9-point interpolation needs at least nine epochs: widen alternately at the end and the start.
    for (int k = 0; std::llround((last - first) / d) + 1 < 9; ++k) (k % 2 == 0 ? last : first) += (k % 2 == 0 ? d : -d);
    const long long count = std::llround((last - first) / d) + 1;
    std::vector<const Sat*> listed;
    for (const Sat& s : sats)
        if (std::find(sc.orbitOmit.begin(), sc.orbitOmit.end(), s.prn) == sc.orbitOmit.end())
            listed.push_back(&s);
    if (listed.size() > 85) throw Error("too many satellites for the orbit header");
    const int64_t firstUnits = std::llround(first) * kUnitsPerSec;
    const Civil c0 = civilOfUnits(geo.mjd0, firstUnits);
    const int64_t dayOff = floorDiv(std::llround(first), 86400);
    const int64_t mjd = geo.mjd0 + dayOff;
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
    out.push_back(fmt("/* SEED %llu", static_cast<unsigned long long>(sc.seed)));
    out.push_back("/*");
    for (long long k = 0; k < count; ++k) {
        const double t = first + static_cast<double>(k) * d;
        const Civil c = civilOfUnits(geo.mjd0, std::llround(t) * kUnitsPerSec);
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

}  // namespace sim
