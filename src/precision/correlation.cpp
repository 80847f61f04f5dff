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
constexpr int kTauSteps = 400;  // candidate correlation times, evenly in log τ over the bounds

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

CorrelationEstimate CovarianceAccumulator::estimate() const {
    std::vector<double> lag, rho;
    for (std::size_t i = 0; i < lags_.size(); ++i) {
        const Lag& l = lagSums_[i];
        if (l.pairs < kMinPairs || !(l.xx > 0.0) || !(l.yy > 0.0)) continue;
        lag.push_back(static_cast<double>(lags_[i]) * interval_);
        rho.push_back(l.xy / std::sqrt(l.xx * l.yy));
    }
    CorrelationEstimate e;
    if (lag.empty()) return e;
    // ρ(L) = c·exp(−L/τ): for each τ the best c in closed form, then the τ of the least squared misfit.
    double best = 0;
    const double lowLog = std::log(kMinCorrelationTime), highLog = std::log(kMaxCorrelationTime);
    for (int step = 0; step <= kTauSteps; ++step) {
        const double tau = std::exp(lowLog + (highLog - lowLog) * step / kTauSteps);
        double sumRhoF = 0, sumFF = 0;
        for (std::size_t i = 0; i < lag.size(); ++i) {
            const double f = std::exp(-lag[i] / tau);
            sumRhoF += rho[i] * f;
            sumFF += f * f;
        }
        const double c = sumFF > 0.0 ? std::clamp(sumRhoF / sumFF, 0.0, 1.0) : 0.0;
        double misfit = 0;
        for (std::size_t i = 0; i < lag.size(); ++i) {
            const double r = rho[i] - c * std::exp(-lag[i] / tau);
            misfit += r * r;
        }
        if (step == 0 || misfit < best) {
            best = misfit;
            e.correlationTime = tau;
            e.correlatedFraction = c;
            e.atBound = step == 0 || step == kTauSteps;
        }
    }
    e.estimated = true;
    return e;
}

}  // namespace varno
