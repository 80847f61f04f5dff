// The short human-readable block of the results.
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "results/results.h"
#include "timebase/timebase.h"

namespace varno {

namespace {

[[gnu::format(printf, 2, 3)]] void line(std::string& text, const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    text += buffer;
    text += '\n';
}

}  // namespace

std::string reportText(const RunSummary& s) {
    std::string t;
    const double toDegrees = GpsConstants::degreesPerRadian;
    line(t, "varno baseline %s -> %s", s.point1Id.c_str(), s.point2Id.c_str());
    line(t, "  span         %s to %s, interval %g s", calendarText(s.spanStart, ' ').c_str(),
         calendarText(s.spanEnd, ' ').c_str(), s.interval);
    line(t, "  point 2      X %15.4f  Y %15.4f  Z %15.4f m", s.point2[0], s.point2[1], s.point2[2]);
    line(t, "               latitude %.9f  longitude %.9f deg  height %.4f m", s.latitude2 * toDegrees,
         s.longitude2 * toDegrees, s.height2);
    line(t, "  baseline     dX %13.4f  dY %13.4f  dZ %13.4f m", s.baselineXyz[0], s.baselineXyz[1],
         s.baselineXyz[2]);
    line(t, "               north %10.4f  east %10.4f  up %10.4f m (at point 1)", s.baselineNeu[0],
         s.baselineNeu[1], s.baselineNeu[2]);
    line(t, "               length %.4f m", s.baselineLength);
    const FormalPrecision& p = s.precision;
    if (p.available) {
        line(t, "  precision    sigma0 %.4f m from %d observations (%d degrees of freedom)", p.sigma0,
             p.observations, p.degreesOfFreedom);
        line(t, "               sigma X %.4f  Y %.4f  Z %.4f m", p.sigmaXyz[0], p.sigmaXyz[1], p.sigmaXyz[2]);
        line(t, "               sigma north %.4f  east %.4f  up %.4f  length %.4f m", p.sigmaNeu[0], p.sigmaNeu[1],
             p.sigmaNeu[2], p.sigmaLength);
        line(t, "               formal, assuming %s", precisionAssumption(p.weighted).c_str());
    } else {
        line(t, "  precision    not available (fewer than 4 observations used)");
    }
    line(t, "  observations formed %d, used %d, rejected %d; post-fit rms %.4f m", s.formed, s.used,
         s.formed - s.used, s.postFitRms);
    std::string used;
    for (const SatelliteTally& tally : s.satellites) {
        if (tally.used > 0) used += " " + std::to_string(tally.prn);
    }
    line(t, "  satellites  %s", used.empty() ? " none used" : used.c_str());
    for (const SatelliteTally& tally : s.satellites) {
        line(t, "    PRN %2d   formed %7d  used %7d  rejected %7d", tally.prn, tally.formed, tally.used,
             tally.formed - tally.used);
    }
    if (s.pdopEpochs > 0) {
        line(t, "  mean PDOP    %.2f over %d epochs", s.meanPdop, s.pdopEpochs);
    } else {
        line(t, "  mean PDOP    not available");
    }
    return t;
}

}  // namespace varno
