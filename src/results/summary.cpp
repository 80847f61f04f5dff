// The summary of a run from the collected figures and the final station pair, and calendar texts of its times.
#include <cmath>
#include <cstdio>

#include "models/models.h"
#include "results/results.h"
#include "station/station.h"
#include "timebase/timebase.h"

namespace varno {

namespace {

constexpr long long kMillisecondsPerDay = 86400000;

}  // namespace

std::string calendarText(int jd0, double t, char separator) {
    if (!std::isfinite(t)) return "not a time";
    // Whole milliseconds first, so that 59.9996 s becomes the next minute rather than "60.000".
    const long long ms = std::llround(t * 1000.0);
    long long day = ms / kMillisecondsPerDay;
    long long rest = ms % kMillisecondsPerDay;
    if (rest < 0) {
        rest += kMillisecondsPerDay;
        day -= 1;
    }
    int year = 0, month = 0, dayOfMonth = 0, hour = 0, minute = 0;
    double second = 0;
    mjdciv(jd0 + static_cast<int>(day), 0.0, year, month, dayOfMonth, hour, minute, second);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d%c%02lld:%02lld:%02lld.%03lld", year, month, dayOfMonth,
                  separator, rest / 3600000, rest / 60000 % 60, rest / 1000 % 60, rest % 1000);
    return text;
}

std::vector<SystemTally> systemTallies(const std::vector<SatelliteTally>& satellites) {
    std::vector<SystemTally> out;
    for (GnssSystem system : allSystems()) {
        SystemTally sum{system};
        for (const SatelliteTally& t : satellites) {
            if (t.sat.system != system) continue;
            sum.formed += t.formed;
            sum.used += t.used;
            sum.satellites += 1;
        }
        if (sum.satellites > 0) out.push_back(sum);
    }
    return out;
}

RunSummary ResultsRecorder::summarise(const StationPair& pair, const AdjustSolution& adjustment,
                                      const std::array<double, 3>& point2Apriori, const OrbitSource& orbit,
                                      const std::string& point1Id, const std::string& point2Id) const {
    RunSummary s;
    s.jd0 = jd0_;
    s.letteredNames = sats_.letteredNames();
    s.point1Id = point1Id;
    s.point2Id = point2Id;
    s.spanStart = spanStart_;
    s.spanEnd = spanEnd_;
    s.interval = interval_;
    s.point1 = pair.p1Marker;
    s.point2 = pair.p2Marker;
    s.point2Apriori = point2Apriori;
    for (int c = 0; c < 3; ++c) s.baselineXyz[c] = pair.p2Marker[c] - pair.p1Marker[c];
    const auto& b = s.baselineXyz;
    s.baselineLength = std::sqrt(b[0] * b[0] + b[1] * b[1] + b[2] * b[2]);

    double lat1 = 0, lon1 = 0, h1 = 0;
    if (xyzgeo(pair.p1Marker[0], pair.p1Marker[1], pair.p1Marker[2], lat1, lon1, h1)) {
        rge(lat1, lon1, s.baselineNeu[0], s.baselineNeu[1], s.baselineNeu[2], b[0], b[1], b[2]);
    } else {
        s.baselineNeu.fill(std::nan(""));
    }
    if (!xyzgeo(pair.p2Marker[0], pair.p2Marker[1], pair.p2Marker[2], s.latitude2, s.longitude2, s.height2)) {
        s.latitude2 = s.longitude2 = s.height2 = std::nan("");
    }

    // Summed per satellite and then in increasing PRN order, as the listing's post-fit rms is.
    double sumSquaresUsed = 0.0;
    for (const SatelliteTally& tally : tallies_) {
        if (tally.formed == 0) continue;
        s.satellites.push_back(tally);
        s.formed += tally.formed;
        if (tally.used >= 1) {
            s.used += tally.used;
            sumSquaresUsed += tally.sumSquaresUsed;
        }
    }
    s.postFitRms = s.used > 0 ? std::sqrt(sumSquaresUsed / s.used) : 0.0;
    s.whiteNoise = formalPrecision(adjustment.inverseNormal, sumSquaresUsed, s.used, s.latitude2, s.longitude2,
                                   s.baselineXyz);
    s.whiteNoise.weighted = weighted_;
    s.whiteNoise.correlatedWeights = request_.model.correlatedWeights;
    s.precision = s.whiteNoise;
    s.troposphere = request_.troposphere;
    if (covariance_ && s.whiteNoise.available) {
        const RealisticCovariance c = covariance_->finish();
        s.correlation.available = c.available;
        s.correlation.estimate = c.correlation;
        s.correlation.effectiveObservations = c.effectiveObservations;
        if (c.available) {
            s.precision = withCovariance(s.whiteNoise, c.covariance, s.latitude2, s.longitude2, s.baselineXyz);
            s.precision.sigma0 = c.sigma0;
        }
    }
    if (separation_ && s.precision.available) {
        // A reference satellite's elevation above point 2 at one of its epochs, not a number without orbit.
        Geodetic site;
        const bool placed = xyzgeo(pair.p2L1[0], pair.p2L1[1], pair.p2L1[2], site.latitude, site.longitude,
                                   site.height);
        const SeparationCovariance t = separation_->finish(s.baselineLength, [&](int slot, double time) {
            SatelliteState state;
            OrbitMiss miss = OrbitMiss::none;
            if (!placed || !orbit.state(invprn(sats_, slot), time, time, state, miss)) return std::nan("");
            return elevationAt(site, pair.p2L1, state.position);
        });
        if (t.available) {
            BaselineTerm& b = s.baselineTerm;
            b.available = true;
            b.ppm = t.ppm;
            b.length = t.length;
            b.shellHeight = kShellHeight;
            b.passes = t.passes;
            b.sigmaNeu = withCovariance(s.whiteNoise, t.covariance, s.latitude2, s.longitude2, s.baselineXyz).sigmaNeu;
            std::array<double, 9> total = s.precision.covarianceXyz;
            for (std::size_t i = 0; i < total.size(); ++i) total[i] += t.covariance[i];
            s.precision = withCovariance(s.precision, total, s.latitude2, s.longitude2, s.baselineXyz);
        }
    }
    s.meanPdop = meanPdop(pair, orbit, s.pdopEpochs);
    return s;
}

}  // namespace varno
