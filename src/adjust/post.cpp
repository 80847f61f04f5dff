// Results of the adjustment: the adjusted point 2, its shift from the a priori position, the residual file and
// the rms per satellite.
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include "adjust/adjust.h"
#include "adjust/adjust_internal.h"
#include "adjust/evaluation.h"
#include "models/models.h"
#include "station/station.h"
#include "textio/textio.h"
#include "timebase/timebase.h"

namespace varno {

namespace {

// A residual line (27 columns and its end) and the size of the writes they are gathered into.
constexpr std::size_t kResidualLine = 28;
constexpr std::size_t kResidualChunk = 1 << 16;

constexpr int kStopGeodetic = 25;
constexpr int kStopNoReference = 95397;
constexpr int kStopSlot = 74358;
// Every satellite number a RINEX 2 file can carry.
constexpr int kMaxPrnNumber = 99;

struct SatelliteStats {
    std::array<int, kMaxPrnNumber + 1> countAll{};
    std::array<double, kMaxPrnNumber + 1> sumAll{};
    std::array<int, kMaxPrnNumber + 1> countTrim{};
    std::array<double, kMaxPrnNumber + 1> sumTrim{};
};

std::string threeValues(double a, double b, double c) { return fmtF(a, 14, 4) + fmtF(b, 14, 4) + fmtF(c, 14, 4); }

}  // namespace

namespace adjust_internal {

void postFrom(GatherFile& gather, EpochStore* store, const OrbitTable& orbit, const StationPair& pair,
              int satCount, double threshold, std::FILE* residualFile, AdjustObserver* observer) {
    writeListing(freeLine("adjusted point 2 marker and l1 phase center"));
    writeListing(threeValues(pair.p2Marker[0], pair.p2Marker[1], pair.p2Marker[2]));
    writeListing(threeValues(pair.p2L1[0], pair.p2L1[1], pair.p2L1[2]));

    double lat2 = 0, lon2 = 0, h2 = 0;
    if (!xyzgeo(pair.p2L1[0], pair.p2L1[1], pair.p2L1[2], lat2, lon2, h2)) stopRun(kStopGeodetic);

    const std::array<double, 3>& apriori = p2Apriori();
    const double dx = pair.p2Marker[0] - apriori[0];
    const double dy = pair.p2Marker[1] - apriori[1];
    const double dz = pair.p2Marker[2] - apriori[2];
    double north = 0, east = 0, up = 0;
    rge(lat2, lon2, north, east, up, dx, dy, dz);
    writeListing(freeLine("delta x,y,z and n,e,u at point 2 marker"));
    writeListing(threeValues(dx, dy, dz));
    writeListing(threeValues(north, east, up));

    SatelliteStats stats;
    const ElevationSite site{lat2, lon2};
    // Lines are gathered into large writes; whatever is gathered is written before anything can stop the run.
    std::vector<char> lines;
    lines.reserve(kResidualChunk + kResidualLine);
    const auto writeLines = [&] {
        if (!lines.empty() && std::fwrite(lines.data(), 1, lines.size(), residualFile) != lines.size()) {
            throw InputError(std::string("cannot write the residual file: ") + std::strerror(errno));
        }
        lines.clear();
    };
    evaluateAll(gather, store, orbit, pair, satCount, &site, false, kStopNoReference, [&](const Evaluated& e) {
        const int k = e.slot;
        const int r = e.referenceSlot;
        const double t1 = e.epochTime1;
        const double v = e.residual;
        const double elevation = e.elevation;
        const int prn = invprn(k);
        // The tables hold every two-digit satellite number; anything else is not a satellite of this run.
        if (prn < 1 || prn > kMaxPrnNumber) {
            writeLines();
            stopRun(kStopSlot);
        }
        stats.countAll[prn] += 1;
        stats.sumAll[prn] += e.weight * v * v;
        char line[kResidualLine];
        char* end = putI(putF(putF(putF(line, t1, 9, 1), v, 9, 3), elevation, 6, 2), prn, 3);
        *end++ = '\n';
        lines.insert(lines.end(), line, end);
        if (lines.size() >= kResidualChunk) writeLines();
        const bool used = std::fabs(v) * std::sqrt(e.weight) <= threshold;
        if (used) {
            stats.countTrim[prn] += 1;
            stats.sumTrim[prn] += e.weight * v * v;
        }
        if (observer) observer->residual({t1, k, r, prn, invprn(r), elevation, v, used, e.weight});
    });
    writeLines();

    writeListing(freeLine("rms per satellite    (with and without trim)"));
    double totalSum = 0.0;
    int totalCount = 0;
    for (int prn = 1; prn <= kMaxPrnNumber; ++prn) {
        if (stats.countTrim[prn] >= 1) {
            totalSum += stats.sumTrim[prn];
            totalCount += stats.countTrim[prn];
            writeListing(fmtI(prn, 2) + fmtI(stats.countTrim[prn], 8) +
                         fmtF(std::sqrt(stats.sumTrim[prn] / stats.countTrim[prn]), 10, 3) +
                         fmtF(std::sqrt(stats.sumAll[prn] / stats.countAll[prn]), 10, 3));
        } else if (stats.countAll[prn] >= 1) {
            writeListing(fmtI(prn, 2) + fmtI(0, 8) + fmtF(0.0, 10, 4) +
                         fmtF(std::sqrt(stats.sumAll[prn] / stats.countAll[prn]), 10, 4) + " ****");
        }
    }
    const double postFitRms = totalCount > 0 ? std::sqrt(totalSum / totalCount) : 0.0;
    writeListing("post-fit rms =" + fmtF(postFitRms, 9, 4) + " m.    n=" + fmtI(totalCount, 6));
}

}  // namespace adjust_internal

void post(GatherFile& gather, const OrbitTable& orbit, const StationPair& pair, int satCount, double threshold,
          std::FILE* residualFile, AdjustObserver* observer) {
    adjust_internal::postFrom(gather, nullptr, orbit, pair, satCount, threshold, residualFile, observer);
}

}  // namespace varno
