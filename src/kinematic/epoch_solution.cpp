// One epoch's least-squares solution of point 2, iterated to convergence from a given start.
#include <cmath>
#include <numbers>

#include "kinematic/kinematic.h"

namespace varno {

namespace {

constexpr int kMinDifferences = 3;
constexpr int kMaxForms = 10;
constexpr double kConverged = 1.0e-4;  // m
// A priori sigma of one double difference of code (generous: old receivers and multipath) and the probability
// of a residual test failing on good data.
constexpr double kAprioriSigma = 3.0;
constexpr double kRejectAlpha = 0.001;
constexpr int kPdopSatellites = 4;

// The value x with P(χ²(f) > x) = alpha, by the Wilson–Hilferty approximation (within 1 % from f = 1 on at the
// tail probabilities used here; the test is not sharper than that).
double chiSquareQuantile(double alpha, int f) {
    // Upper-tail standard normal quantile by bisection on erfc.
    double lo = 0.0, hi = 40.0;
    for (int i = 0; i < 200; ++i) {
        const double mid = 0.5 * (lo + hi);
        if (0.5 * std::erfc(mid / std::sqrt(2.0)) > alpha) lo = mid; else hi = mid;
    }
    const double z = 0.5 * (lo + hi);
    const double a = 2.0 / (9.0 * f);
    const double c = 1.0 - a + z * std::sqrt(a);
    return f * c * c * c;
}

double undifferencedPdop(const KinematicEquations& e) {
    std::array<double, 16> n{};
    const auto add = [&](const std::array<double, 3>& los) {
        const std::array<double, 4> row{los[0], los[1], los[2], 1.0};
        for (int a = 0; a < 4; ++a) {
            for (int b = 0; b < 4; ++b) n[static_cast<std::size_t>(b * 4 + a)] += row[a] * row[b];
        }
    };
    add(e.referenceLineOfSight);
    for (const EpochDifference& d : e.differences) add(d.lineOfSight);
    if (static_cast<int>(e.differences.size()) + 1 < kPdopSatellites || !invert(n.data(), 4)) return 0.0;
    const double pdop = std::sqrt(n[0] + n[5] + n[10]);
    return std::isfinite(pdop) ? pdop : 0.0;
}

}  // namespace

void addEpoch(const KinematicEquations& e, NormalEquations& normal) {
    // C = D + d·11ᵀ, so C⁻¹ = D⁻¹ − s·D⁻¹11ᵀD⁻¹ with s = d / (1 + d·Σ 1/Dk) (Sherman–Morrison).
    double sumInverse = 0, lSum = 0;
    std::array<double, 3> aSum{};
    for (const EpochDifference& d : e.differences) {
        const double w = 1.0 / d.variance;
        sumInverse += w;
        lSum += w * d.misclosure;
        for (int i = 0; i < 3; ++i) aSum[i] += w * d.partials[i];
    }
    const double s = e.referenceVariance / (1.0 + e.referenceVariance * sumInverse);
    for (const EpochDifference& d : e.differences) {
        const double w = 1.0 / d.variance;
        for (int i = 0; i < 3; ++i) {
            normal.rhs[i] += w * d.partials[i] * d.misclosure;
            for (int j = 0; j < 3; ++j) normal.matrix[static_cast<std::size_t>(j * 3 + i)] += w * d.partials[i] * d.partials[j];
        }
        normal.sumSquares += w * d.misclosure * d.misclosure;
    }
    for (int i = 0; i < 3; ++i) {
        normal.rhs[i] -= s * aSum[i] * lSum;
        for (int j = 0; j < 3; ++j) normal.matrix[static_cast<std::size_t>(j * 3 + i)] -= s * aSum[i] * aSum[j];
    }
    normal.sumSquares -= s * lSum * lSum;
}

const char* statusText(EpochStatus status) {
    switch (status) {
        case EpochStatus::solved: return "solved";
        case EpochStatus::tooFewSatellites: return "too few satellites";
        case EpochStatus::rejected: return "rejected by a residual test";
    }
    return "";
}

EpochSolution solveEpoch(double t, const EpochRecord& rec1, const EpochRecord& rec2, int satCount, const RunModels& run,
                         const OrbitSource& orbit, const StationPair& pair, const ObservationModel& model, int& cursor,
                         std::array<double, 3>& point2L1, std::vector<std::pair<int, double>>& residuals,
                         int& referenceSlot) {
    EpochSolution s;
    s.t = t;
    residuals.clear();
    std::array<double, 3> x = point2L1;
    KinematicEquations e;
    bool converged = false;
    // Every form looks the reference up from the same cursor; the caller's cursor moves as one lookup moves it.
    const int from = cursor;
    for (int form = 0; form < kMaxForms && !converged; ++form) {
        cursor = from;
        if (!formEpochEquations(t, rec1, rec2, satCount, run, orbit, pair, x, model, cursor, e) ||
            static_cast<int>(e.differences.size()) < kMinDifferences) {
            if (form > 0) s.status = EpochStatus::rejected;
            s.satellites = e.differences.empty() ? 0 : static_cast<int>(e.differences.size()) + 1;
            s.differences = static_cast<int>(e.differences.size());
            return s;
        }
        NormalEquations n;
        addEpoch(e, n);
        s.sumSquares = n.sumSquares;
        if (!invert(n.matrix.data(), 3)) {
            s.status = EpochStatus::rejected;
            return s;
        }
        std::array<double, 3> dx{};
        ab(n.matrix.data(), n.rhs.data(), dx.data(), 3, 3, 1);
        double step = 0;
        for (int k = 0; k < 3; ++k) {
            if (!std::isfinite(dx[k])) {
                s.status = EpochStatus::rejected;
                return s;
            }
            x[k] += dx[k];
            step = std::fmax(step, std::fabs(dx[k]));
        }
        s.cofactor = n.matrix;
        converged = step < kConverged;
    }
    s.satellites = static_cast<int>(e.differences.size()) + 1;
    s.differences = static_cast<int>(e.differences.size());
    s.pdop = undifferencedPdop(e);
    referenceSlot = e.referenceSlot;
    if (!converged) {
        s.status = EpochStatus::rejected;
        return s;
    }
    // Residuals at the converged point (the last step was below a tenth of a millimetre).
    for (const EpochDifference& d : e.differences) residuals.emplace_back(d.slot, d.misclosure);
    const double vtpv = s.sumSquares;
    s.rms = std::sqrt(vtpv / s.differences);
    const int dof = s.differences - 3;
    if (dof > 0 && vtpv / (kAprioriSigma * kAprioriSigma) > chiSquareQuantile(kRejectAlpha, dof)) {
        s.status = EpochStatus::rejected;
        residuals.clear();
        return s;
    }
    s.status = EpochStatus::solved;
    point2L1 = x;
    for (int k = 0; k < 3; ++k) s.marker[k] = x[k] - (pair.p2L1[k] - pair.p2Marker[k]);
    return s;
}

double chiSquare3Quantile(double alpha) {
    // P(χ²(3) > x) = erfc(sqrt(x/2)) + sqrt(2x/π)·exp(−x/2), decreasing in x: bisection.
    double lo = 0.0, hi = 1000.0;
    for (int i = 0; i < 200; ++i) {
        const double mid = 0.5 * (lo + hi);
        const double tail = std::erfc(std::sqrt(mid / 2.0)) + std::sqrt(2.0 * mid / std::numbers::pi) * std::exp(-mid / 2.0);
        if (tail > alpha) lo = mid; else hi = mid;
    }
    return 0.5 * (lo + hi);
}

}  // namespace varno
