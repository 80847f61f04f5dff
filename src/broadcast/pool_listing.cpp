// The listing's lines of an orbit of broadcast ephemerides: what was read.
#include <cstdio>

#include "broadcast/broadcast.h"
#include "timebase/timebase.h"

namespace varno {

std::string calendarText(const GpsTime& t, char separator) {
    int mjd = 0;
    double seconds = 0.0;
    mjdOfGpsTime(t + 0.5, mjd, seconds);  // to the nearest second
    int y = 0, mo = 0, d = 0, h = 0, mi = 0;
    double s = 0.0;
    mjdciv(mjd, 0.0, y, mo, d, h, mi, s);
    const int second = static_cast<int>(seconds);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d%c%02d:%02d:%02d", y, mo, d, separator, second / 3600,
                  second / 60 % 60, second % 60);
    return text;
}

std::vector<std::string> poolListing(const NavPool& pool) {
    std::vector<std::string> lines;
    lines.push_back(freeLine("orbit -- broadcast ephemerides, files", static_cast<long long>(pool.files.size())));
    for (const std::string& file : pool.files) lines.push_back(freeLine("ephemeris file -- ", file));
    const std::vector<SatId> sats = pool.satellites();
    for (GnssSystem system : allSystems()) {
        const int records = pool.recordCount(system);
        if (records == 0) continue;
        long long satellites = 0;
        for (SatId sat : sats) satellites += sat.system == system ? 1 : 0;
        lines.push_back(freeLine("ephemerides ", systemInfo(system).name, " -- records", records, " satellites",
                                 satellites));
    }
    if (pool.repeats() > 0 || pool.passedOver > 0) {
        lines.push_back(freeLine("ephemerides repeated", pool.repeats(), " other messages passed over", pool.passedOver));
    }
    if (pool.recordCount() > 0) {
        lines.push_back(freeLine("ephemerides first/last toe -- ", calendarText(pool.firstToe(), ' '), " ",
                                 calendarText(pool.lastToe(), ' ')));
    }
    return lines;
}

}  // namespace varno
