// Generalised least squares over the double differences of each epoch.
#include "adjust/correlated.h"

#include <algorithm>
#include <cmath>

namespace varno::adjust_internal {

namespace {

// Upper triangle of the 3 × 3 column-major matrix: element (i, j), i <= j.
double& upper(NormalEquations& equations, int i, int j) { return equations.matrix[static_cast<std::size_t>(j * 3 + i)]; }

}  // namespace

void EpochWeighting::addEpoch(double epochTime1, double referenceShare) {
    if (!epochs_.empty() && !(epochTime1 > epochs_.back().time)) sorted_ = false;
    Epoch e;
    e.time = epochTime1;
    e.referenceShare = referenceShare;
    epochs_.push_back(e);
}

void EpochWeighting::begin() {
    if (!sorted_) {
        std::stable_sort(epochs_.begin(), epochs_.end(), [](const Epoch& a, const Epoch& b) { return a.time < b.time; });
        sorted_ = true;
    }
    for (Epoch& e : epochs_) {
        e.inverseSum = 0;
        e.b = {};
        e.l = 0;
    }
}

EpochWeighting::Epoch* EpochWeighting::find(double epochTime1) {
    const auto at = std::lower_bound(epochs_.begin(), epochs_.end(), epochTime1,
                                     [](const Epoch& e, double t) { return e.time < t; });
    if (at == epochs_.end() || at->time != epochTime1) return nullptr;
    return &*at;
}

void EpochWeighting::add(NormalEquations& equations, double epochTime1, const std::array<double, 3>& a, double l,
                         double w) {
    Epoch* e = find(epochTime1);
    const double own = e != nullptr ? 1.0 / w - e->referenceShare : 0.0;
    // Without its epoch (or with a share that rounding made void) the double difference weighs as it would alone.
    const bool shared = e != nullptr && own > 0.0 && std::isfinite(own);
    const double weight = shared ? 1.0 / own : w;
    for (int i = 0; i < 3; ++i) {
        for (int j = i; j < 3; ++j) upper(equations, i, j) += a[i] * a[j] * weight;
        equations.rhs[static_cast<std::size_t>(i)] += a[i] * l * weight;
    }
    equations.sumSquares += weight * l * l;
    if (!shared) return;
    e->inverseSum += weight;
    for (int i = 0; i < 3; ++i) e->b[static_cast<std::size_t>(i)] += a[i] * weight;
    e->l += l * weight;
}

void EpochWeighting::finish(NormalEquations& equations) {
    for (const Epoch& e : epochs_) {
        if (e.inverseSum == 0.0) continue;
        const double s = 1.0 / e.referenceShare + e.inverseSum;
        for (int i = 0; i < 3; ++i) {
            for (int j = i; j < 3; ++j) upper(equations, i, j) -= e.b[i] * e.b[j] / s;
            equations.rhs[static_cast<std::size_t>(i)] -= e.b[i] * e.l / s;
        }
        equations.sumSquares -= e.l * e.l / s;
    }
}

std::vector<EpochWeights> EpochWeighting::figures(const std::array<double, 3>& x) const {
    std::vector<EpochWeights> out;
    out.reserve(epochs_.size());
    for (const Epoch& e : epochs_) {
        if (e.inverseSum == 0.0) continue;
        const double s = 1.0 / e.referenceShare + e.inverseSum;
        EpochWeights f;
        f.epochTime = e.time;
        f.referenceShare = e.referenceShare;
        f.meanPartials = {e.b[0] / s, e.b[1] / s, e.b[2] / s};
        // The post-fit residuals are the misclosures less a·x.
        f.meanResidual = (e.l - (e.b[0] * x[0] + e.b[1] * x[1] + e.b[2] * x[2])) / s;
        out.push_back(f);
    }
    return out;
}

}  // namespace varno::adjust_internal
