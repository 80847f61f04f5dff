// The short human-readable block of the results.
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "results/results.h"
#include "timebase/timebase.h"

namespace varno {

namespace {

// Multiples of sigma holding 95 %: one coordinate; a circle of the horizontal sigma; a sphere of the 3-D sigma
// (sigma per axis, the root mean square of the axes' sigmas).
constexpr double kOneDimensional95 = 1.96;
constexpr double kHorizontal95 = 2.45;
constexpr double kThreeDimensional95 = 2.80;

[[gnu::format(printf, 2, 3)]] void line(std::string& text, const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    text += buffer;
    text += '\n';
}

// Point 2 in the run's coordinate system: the values (metres to 0.1 mm, degrees to 9 decimals), then the sigmas.
void projectedLines(std::string& t, const crs::ProjectedPoint& p, bool withSigmas) {
    std::string values, sigmas;
    for (int i = 0; i < 3; ++i) {
        const std::string& axis = p.axes[i];
        const size_t cut = axis.rfind('_');
        const std::string name = axis.substr(0, cut), unit = cut == std::string::npos ? "" : axis.substr(cut + 1);
        char buffer[96];
        std::snprintf(buffer, sizeof buffer, unit == "deg" ? "  %s %.9f %s" : "  %s %.4f %s", name.c_str(),
                      p.value[i], unit.c_str());
        values += buffer;
        std::snprintf(buffer, sizeof buffer, unit == "deg" ? "  %s %.2e %s" : "  %s %.4f %s", name.c_str(),
                      p.sigma[i], unit.c_str());
        sigmas += buffer;
    }
    line(t, "  %-11s%s (%s)", p.crs.c_str(), values.c_str(), p.crsName.c_str());
    if (withSigmas) line(t, "  %-11s%s", "sigma", sigmas.c_str());
    if (p.outsideAreaOfUse) line(t, "  %-11s%s", "warning", ("outside the area of use (" + p.areaOfUse + ")").c_str());
}

}  // namespace

std::string reportText(const RunSummary& s) {
    std::string t;
    const double toDegrees = GpsConstants::degreesPerRadian;
    line(t, "varno baseline %s -> %s", s.point1Id.c_str(), s.point2Id.c_str());
    line(t, "  span         %s to %s, interval %g s", calendarText(s.jd0, s.spanStart, ' ').c_str(),
         calendarText(s.jd0, s.spanEnd, ' ').c_str(), s.interval);
    line(t, "  point 2      X %15.4f  Y %15.4f  Z %15.4f m", s.point2[0], s.point2[1], s.point2[2]);
    line(t, "               latitude %.9f  longitude %.9f deg  height %.4f m", s.latitude2 * toDegrees,
         s.longitude2 * toDegrees, s.height2);
    if (s.projected) projectedLines(t, *s.projected, s.precision.available);
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
        line(t, "               95 %%: north %.4f  east %.4f  up %.4f  length %.4f (1.96 sigma) m",
             kOneDimensional95 * p.sigmaNeu[0], kOneDimensional95 * p.sigmaNeu[1], kOneDimensional95 * p.sigmaNeu[2],
             kOneDimensional95 * p.sigmaLength);
        line(t, "               95 %%: horizontal %.4f (2.45 sigma)  3-D %.4f (2.80 sigma) m",
             kHorizontal95 * p.sigmaHorizontal, kThreeDimensional95 * p.sigmaThreeD);
        if (s.correlation.available) {
            const CorrelationEstimate& c = s.correlation.estimate;
            if (c.correlatedFraction > 0.0) {
                line(t, "               errors correlated over %.0f s (fraction %.2f) and %.0f s (fraction %.2f)%s",
                     c.correlationTime, c.correlatedFraction, c.longCorrelationTime, c.longFraction,
                     c.atBound ? ", a time at its bound" : "");
                line(t, "               worth %.0f independent observations", s.correlation.effectiveObservations);
            } else {
                line(t, "               no time correlation in the residuals; worth %.0f independent observations",
                     s.correlation.effectiveObservations);
            }
            line(t, "               white-noise sigmas (errors taken as uncorrelated): north %.4f  east %.4f  up %.4f m",
                 s.whiteNoise.sigmaNeu[0], s.whiteNoise.sigmaNeu[1], s.whiteNoise.sigmaNeu[2]);
            line(t, "               model: errors correlated through the shared reference satellite and in time");
        } else {
            line(t, "               formal, assuming %s", precisionAssumption(p.weighted, p.correlatedWeights).c_str());
        }
        const BaselineTerm& b = s.baselineTerm;
        if (b.available) {
            line(t, "               baseline term (differential ionosphere, orbit): %.1f ppm of %.0f m over %d passes,",
                 b.ppm, b.length, b.passes);
            line(t, "               sigma north %.4f  east %.4f  up %.4f m, included above", b.sigmaNeu[0], b.sigmaNeu[1],
                 b.sigmaNeu[2]);
        }
        line(t, "               A sigma is the standard deviation of a coordinate under that model: about 68 %% of");
        line(t, "               such surveys lie within 1 sigma of the truth, 95 %% within the figures above. It");
        if (b.available) {
            line(t, "               covers the noise and multipath of the code and, as the baseline term states them,");
            line(t, "               the errors that grow with the distance between the receivers.");
        } else {
            line(t, "               covers the noise and multipath of the code, not errors common to all satellites.");
        }
        if (!s.troposphere) line(t, "               %s", kNoTroposphereNote);
    } else {
        line(t, "  precision    not available (fewer than 4 observations used)");
    }
    line(t, "  observations formed %d, used %d, rejected %d; post-fit rms %.4f m", s.formed, s.used,
         s.formed - s.used, s.postFitRms);
    std::string used;
    for (const SatelliteTally& tally : s.satellites) {
        if (tally.used > 0) used += " " + satelliteName(tally.sat, s.letteredNames);
    }
    line(t, "  satellites  %s", used.empty() ? " none used" : used.c_str());
    for (const SatelliteTally& tally : s.satellites) {
        if (s.letteredNames) {
            line(t, "    %s      formed %7d  used %7d  rejected %7d", tally.sat.text().c_str(), tally.formed,
                 tally.used, tally.formed - tally.used);
        } else {
            line(t, "    PRN %2d   formed %7d  used %7d  rejected %7d", tally.sat.number, tally.formed, tally.used,
                 tally.formed - tally.used);
        }
    }
    if (s.letteredNames) {
        // Observations (as the satellite of a double difference) and satellites of each system.
        for (const SystemTally& sum : systemTallies(s.satellites))
            line(t, "  %-11s formed %7d  used %7d  satellites %3d", systemInfo(sum.system).name, sum.formed, sum.used,
                 sum.satellites);
    }
    if (s.pdopEpochs > 0) {
        line(t, "  mean PDOP    %.2f over %d epochs", s.meanPdop, s.pdopEpochs);
    } else {
        line(t, "  mean PDOP    not available");
    }
    return t;
}

}  // namespace varno
