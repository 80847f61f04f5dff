// The correlation time and the correlated fraction of the errors, from the autocorrelation of the normalised
// post-fit residuals sqrt(w)·v of each satellite's arc (pairs against the same reference only).
#include <algorithm>
#include <cmath>

#include "precision/precision.h"

namespace varno {

namespace {

// Lags in epochs, about 1.5 apart; those up to twice the largest correlation time are used.
constexpr std::array<long, 24> kLags{1,   2,   3,   4,   6,   8,    12,   16,   24,   32,   48,   64,
                                     96,  128, 192, 256, 384, 512, 768, 1024, 1536, 2048, 3072, 4095};
constexpr long kRing = 4096;  // residuals kept of the current arc, a power of two above the largest lag
constexpr long kMinPairs = 20;
constexpr int kTauSteps = 80;  // candidate correlation times, evenly in log τ over the bounds (5 % apart)

}  // namespace

void CovarianceAccumulator::initialiseLags() {
    for (long lag : kLags) {
        if (interval_ > 0.0 && static_cast<double>(lag) * interval_ <= 2.0 * kMaxCorrelationTime) lags_.push_back(lag);
    }
    lagSums_.assign(lags_.size(), Lag{});
    ringEpoch_.assign(kRing, -1);
    ringReference_.assign(kRing, 0);
    ringValue_.assign(kRing, 0.0);
}

void CovarianceAccumulator::correlateResidual(long epoch, int reference, double z) {
    for (std::size_t i = 0; i < lags_.size(); ++i) {
        const long before = epoch - lags_[i];
        if (before < 0) break;
        const std::size_t at = static_cast<std::size_t>(before & (kRing - 1));
        if (ringEpoch_[at] != before || ringReference_[at] != reference) continue;
        const double y = ringValue_[at];
        Lag& lag = lagSums_[i];
        lag.xy += z * y;
        lag.xx += y * y;
        lag.yy += z * z;
        lag.pairs += 1;
    }
    const std::size_t at = static_cast<std::size_t>(epoch & (kRing - 1));
    ringEpoch_[at] = epoch;
    ringReference_[at] = reference;
    ringValue_[at] = z;
}

CorrelationEstimate CovarianceAccumulator::estimate(double absorbedShare) const {
    std::vector<double> lag, rho;
    for (std::size_t i = 0; i < lags_.size(); ++i) {
        const Lag& l = lagSums_[i];
        if (l.pairs < kMinPairs || !(l.xx > 0.0) || !(l.yy > 0.0)) continue;
        lag.push_back(static_cast<double>(lags_[i]) * interval_);
        rho.push_back(absorbedShare + (1.0 - absorbedShare) * (l.xy / std::sqrt(l.xx * l.yy)));
    }
    CorrelationEstimate e;
    if (lag.empty()) return e;
    // ρ(L) = c1·exp(−L/τ1) + c2·exp(−L/τ2), τ1 <= τ2 on a grid even in log τ; for each pair the best
    // fractions (c1, c2 >= 0, c1 + c2 <= 1) in closed form, then the pair of the least squared misfit.
    const double lowLog = std::log(kMinCorrelationTime), highLog = std::log(kMaxCorrelationTime);
    std::vector<double> taus(kTauSteps + 1);
    std::vector<std::vector<double>> f(kTauSteps + 1, std::vector<double>(lag.size()));
    std::vector<double> b(kTauSteps + 1), a(kTauSteps + 1);
    double rr = 0;
    for (double r : rho) rr += r * r;
    for (int k = 0; k <= kTauSteps; ++k) {
        taus[k] = std::exp(lowLog + (highLog - lowLog) * k / kTauSteps);
        for (std::size_t i = 0; i < lag.size(); ++i) {
            f[k][i] = std::exp(-lag[i] / taus[k]);
            b[k] += rho[i] * f[k][i];
            a[k] += f[k][i] * f[k][i];
        }
    }
    double best = 0;
    bool found = false;
    for (int i = 0; i <= kTauSteps; ++i) {
        for (int j = i; j <= kTauSteps; ++j) {
            double a12 = 0;
            for (std::size_t l = 0; l < lag.size(); ++l) a12 += f[i][l] * f[j][l];
            const auto misfit = [&](double c1, double c2) {
                return rr - 2.0 * (c1 * b[i] + c2 * b[j]) + c1 * c1 * a[i] + 2.0 * c1 * c2 * a12 + c2 * c2 * a[j];
            };
            const auto consider = [&](double c1, double c2) {
                if (!(c1 >= 0.0 && c2 >= 0.0 && c1 + c2 <= 1.0 + 1e-12)) return;
                const double m = misfit(c1, c2);
                if (found && !(m < best)) return;
                found = true;
                best = m;
                e.correlationTime = taus[i];
                e.correlatedFraction = c1;
                e.longCorrelationTime = taus[j];
                e.longFraction = c2;
                e.atBound = (c1 > 0.0 && (i == 0 || i == kTauSteps)) || (c2 > 0.0 && (j == 0 || j == kTauSteps));
            };
            consider(a[i] > 0.0 ? std::clamp(b[i] / a[i], 0.0, 1.0) : 0.0, 0.0);
            if (j == i) continue;
            consider(0.0, a[j] > 0.0 ? std::clamp(b[j] / a[j], 0.0, 1.0) : 0.0);
            const double det = a[i] * a[j] - a12 * a12;
            if (det > 0.0) consider((b[i] * a[j] - b[j] * a12) / det, (b[j] * a[i] - b[i] * a12) / det);
            // On the edge c1 + c2 = 1.
            double num = 0, den = 0;
            for (std::size_t l = 0; l < lag.size(); ++l) {
                const double d = f[i][l] - f[j][l];
                num += d * (rho[l] - f[j][l]);
                den += d * d;
            }
            if (den > 0.0) {
                const double t = std::clamp(num / den, 0.0, 1.0);
                consider(t, 1.0 - t);
            }
        }
    }
    // A single process is told as the short one, and a process without a share takes the other's time.
    if (e.correlatedFraction == 0.0 && e.longFraction > 0.0) {
        std::swap(e.correlationTime, e.longCorrelationTime);
        std::swap(e.correlatedFraction, e.longFraction);
    }
    if (e.longFraction == 0.0) e.longCorrelationTime = e.correlationTime;
    e.estimated = true;
    return e;
}

}  // namespace varno
