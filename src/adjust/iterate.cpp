// One trimmed iteration of the point 2 solution, and the solution step shared with the first, untrimmed one.
#include <array>
#include <cmath>

#include "adjust/adjust.h"
#include "adjust/adjust_internal.h"
#include "adjust/evaluation.h"
#include "models/models.h"
#include "station/station.h"
#include "textio/textio.h"

namespace varno {

namespace {

constexpr int kStopSingular = 87855;
constexpr int kStopNoReference = 45397;
constexpr std::array<int, 3> kUnknowns{1, 2, 3};

[[noreturn]] void singular() {
    writeListing(freeLine("normal equations singular -- fatal termination"));
    stopRun(kStopSingular);
}

}  // namespace

namespace adjust_internal {

void solveAndMove(NormalEquations& equations, int m, StationPair& pair, double& rms) {
    double* matrix = equations.matrix.data();
    nrmsym(matrix, 3);
    if (!invert(matrix, 3)) singular();
    std::array<double, 3> x{};
    ab(matrix, equations.rhs.data(), x.data(), 3, 3, 1);
    for (double component : x) {
        if (!std::isfinite(component)) singular();
    }
    double s = 0.0;
    innerp(x.data(), 3, s);
    // A solution whose squares exceed those of the misclosures only comes from numerically singular equations;
    // its position would be far off while looking like a result.
    const double residualSquares = equations.sumSquares - s;
    if (residualSquares < 0.0) singular();

    double maxShift = std::fabs(x[0]);
    if (std::fabs(x[1]) > maxShift) maxShift = std::fabs(x[1]);
    if (std::fabs(x[2]) > maxShift) maxShift = std::fabs(x[2]);
    rms = std::sqrt(residualSquares / m);

    writeListing("max shift = " + fmtF(maxShift, 14, 6) + " m.   n =" + fmtI(m, 7) + "    rms =" + fmtF(rms, 9, 4) +
                 " m.");
    // The solution is a correction to subtract (misclosures are computed minus observed).
    for (int c = 0; c < 3; ++c) {
        pair.p2Marker[c] = pair.p2Marker[c] - x[c];
        pair.p2L1[c] = pair.p2L1[c] - x[c];
    }
}

}  // namespace adjust_internal

namespace adjust_internal {

void comrmsFrom(GatherFile& gather, EpochStore* store, const RunModels& run, const OrbitSource& orbit,
                StationPair& pair, double threshold, double& sigma, int satCount, AdjustObserver* observer,
                AdjustSolution* solution) {
    NormalEquations equations;
    nrmclr(equations.matrix.data(), equations.rhs.data(), equations.sumSquares, 3);
    int m = 0;
    EpochWeighting* weighting = store != nullptr && store->weighting.active() ? &store->weighting : nullptr;
    if (weighting) weighting->begin();

    evaluateAll(gather, store, run, orbit, pair, satCount, nullptr, true, kStopNoReference, [&](const Evaluated& e) {
        const double v = e.residual;
        // A residual that is not a number fails this test and stays out. Weighted residuals are compared, so that
        // a low satellite's larger residual is judged by its own variance.
        if (std::fabs(v) * std::sqrt(e.weight) <= threshold) {
            m = m + 1;
            if (weighting) {
                weighting->add(equations, e.epochTime1, e.partials, v, e.weight);
                return;
            }
            nrmal2(equations.matrix.data(), equations.rhs.data(), e.partials.data(), v, e.weight,
                   equations.sumSquares, kUnknowns.data(), 3, 3);
        }
    });

    if (m == 0) {
        writeListing(freeLine("no observation within threshold -- position kept"));
        if (solution) {
            solution->inverseNormal = {};
            solution->count = 0;
        }
        return;
    }
    if (weighting) weighting->finish(equations);
    const std::array<double, 3> before = pair.p2L1;
    solveAndMove(equations, m, pair, sigma);
    // The solution left the inverse of the normal matrix in its place.
    if (solution) {
        solution->inverseNormal = equations.matrix;
        solution->count = m;
    }
    if (observer && weighting) {
        observer->epochWeights(weighting->figures(
            {before[0] - pair.p2L1[0], before[1] - pair.p2L1[1], before[2] - pair.p2L1[2]}));
    }
}

}  // namespace adjust_internal

void comrms(GatherFile& gather, const RunModels& run, const OrbitSource& orbit, StationPair& pair, double threshold,
            double& sigma, int satCount, AdjustObserver* observer, AdjustSolution* solution) {
    adjust_internal::comrmsFrom(gather, nullptr, run, orbit, pair, threshold, sigma, satCount, observer, solution);
}

}  // namespace varno
