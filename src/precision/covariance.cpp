// The streaming sums of the covariance of point 2: the normal matrix, and AᵀW Σ W A for the white part and for
// each node of the correlation time, kept per satellite arc and merged with the reference satellites' shares at
// the end.
#include <algorithm>
#include <cmath>
#include <numeric>

#include <Eigen/Dense>

#include "precision/precision.h"

namespace varno {

namespace {

constexpr int kDefaultNodes = 13;  // 1, 2, 4, ... 4096 s: beyond the largest correlation time
constexpr long kMaxEpochs = 10'000'000;
constexpr int kUnknowns = 3;
constexpr int kAbsorbedPasses = 2;           // fits corrected for what the estimate absorbed
constexpr double kMaxAbsorbedShare = 0.5;   // δ beyond this: too few observations to correct by

// Upper triangle (xx, xy, xz, yy, yz, zz) of a symmetric 3 × 3 matrix.
constexpr std::array<std::array<int, 2>, 6> kUpper{{{0, 0}, {0, 1}, {0, 2}, {1, 1}, {1, 2}, {2, 2}}};

// m += scale · (a bᵀ + b aᵀ) / 2 on the upper triangle, or a aᵀ when a is b.
void symmetricAdd(std::array<double, 6>& m, const double* a, const double* b, double scale) {
    for (std::size_t i = 0; i < kUpper.size(); ++i) {
        const int r = kUpper[i][0], c = kUpper[i][1];
        m[i] += scale * 0.5 * (a[r] * b[c] + b[r] * a[c]);
    }
}

Eigen::Matrix3d full(const std::array<double, 6>& m) {
    Eigen::Matrix3d f;
    for (std::size_t i = 0; i < kUpper.size(); ++i) f(kUpper[i][0], kUpper[i][1]) = f(kUpper[i][1], kUpper[i][0]) = m[i];
    return f;
}

std::array<double, 9> columnMajor(const Eigen::Matrix3d& m) {
    std::array<double, 9> a{};
    for (int c = 0; c < 3; ++c) {
        for (int r = 0; r < 3; ++r) a[static_cast<std::size_t>(c * 3 + r)] = m(r, c);
    }
    return a;
}

bool finite(const PostFitDifference& d) {
    bool ok = std::isfinite(d.time) && std::isfinite(d.weight) && std::isfinite(d.residual) &&
              std::isfinite(d.satelliteShare) && std::isfinite(d.referenceShare);
    for (double p : d.partials) ok = ok && std::isfinite(p);
    for (double p : d.weightedPartials) ok = ok && std::isfinite(p);
    ok = ok && std::isfinite(d.weightedResidual);
    return ok;
}

}  // namespace

void varianceShares(bool weighted, double weight, double elevation, double sigmaA, double sigmaB, double& satellite,
                    double& reference) {
    const double total = 1.0 / weight;
    const double zenith = 4.0 * (sigmaA * sigmaA + sigmaB * sigmaB);
    const double s = std::sin(elevation * (std::acos(-1.0) / 180.0));
    if (!weighted || !(zenith > 0.0) || !(s > 0.0)) {
        satellite = reference = 0.5 * total;
        return;
    }
    satellite = 2.0 * (sigmaA * sigmaA + sigmaB * sigmaB / (s * s)) / zenith;
    reference = total - satellite;
    if (reference < 0.5) {
        reference = 0.5;
        satellite = total - reference;
    }
    if (!(satellite > 0.0)) satellite = reference = 0.5 * total;
}

CovarianceAccumulator::CovarianceAccumulator(double spanStart, double interval, std::vector<double> nodes)
    : spanStart_(spanStart), interval_(interval), nodes_(std::move(nodes)) {
    if (nodes_.empty()) {
        for (int j = 0; j < kDefaultNodes; ++j) nodes_.push_back(std::ldexp(1.0, j));
    }
    std::sort(nodes_.begin(), nodes_.end());
    nodeSums_.assign(nodes_.size(), {});
    state_.assign(nodes_.size() * 3, 0.0);
    cross_.assign(nodes_.size() * 9, 0.0);
    decay_.assign(nodes_.size(), 0.0);
    arcs_.resize(kMaxPrecisionSlots + 1);
    seen_.assign(kMaxPrecisionSlots + 1, 0);
    initialiseLags();
}

CovarianceAccumulator::ReferenceShare* CovarianceAccumulator::referenceAt(long epoch, int reference) {
    if (epoch >= static_cast<long>(epochs_.size())) {
        epochs_.resize(std::max<std::size_t>(static_cast<std::size_t>(epoch) + 1, epochs_.size() * 3 / 2));
    }
    ReferenceShare& first = epochs_[static_cast<std::size_t>(epoch)];
    if (first.reference == 0) first.reference = reference;
    if (first.reference == reference) return &first;
    ReferenceShare& more = moreReferences_[{epoch, reference}];
    more.reference = reference;
    return &more;
}

void CovarianceAccumulator::add(const PostFitDifference& d) {
    const bool slotsValid = d.satellite >= 1 && d.satellite <= kMaxPrecisionSlots && d.reference >= 1 &&
                            d.reference <= kMaxPrecisionSlots && d.satellite != d.reference;
    if (!slotsValid || !finite(d) || !(d.weight > 0.0) || !(d.satelliteShare > 0.0) || !(d.referenceShare > 0.0) ||
        !(interval_ > 0.0) || merged_) {
        ++rejected_;
        return;
    }
    const double place = std::floor((d.time - spanStart_) / interval_ + 0.5);
    if (!(place >= 0.0 && place < static_cast<double>(kMaxEpochs))) {
        ++rejected_;
        return;
    }
    const long epoch = static_cast<long>(place);
    if (d.satellite != slot_) {
        if (seen_[static_cast<std::size_t>(d.satellite)] != 0) {
            ++rejected_;
            return;
        }
        closePoint();
        closeArc();
        if (slot_ != 0) seen_[static_cast<std::size_t>(slot_)] = 1;
        slot_ = d.satellite;
        pointEpoch_ = arcLast_ = blockEpoch_ = -1;
        std::fill(ringEpoch_.begin(), ringEpoch_.end(), -1L);
    } else if (epoch < blockEpoch_) {
        ++rejected_;
        return;
    }
    blockEpoch_ = epoch;
    if (!d.used) {
        // The satellite was differenced at this epoch, so it was no reference there: its arc goes on.
        if (pointOpen_ && epoch != pointEpoch_) closePoint();
        if (arcOpen_ && !pointOpen_ && epoch == arcLast_ + 1) arcLast_ = epoch;
        return;
    }

    const double w = d.weight;
    const std::array<double, 3> g = d.generalised ? d.weightedPartials
                                                  : std::array<double, 3>{w * d.partials[0], w * d.partials[1],
                                                                          w * d.partials[2]};
    symmetricAdd(normal_, d.partials.data(), g.data(), 1.0);
    sumSquares_ += d.generalised ? d.residual * d.weightedResidual : w * d.residual * d.residual;
    ++count_;

    ReferenceShare* r = referenceAt(epoch, d.reference);
    for (int c = 0; c < 3; ++c) r->sum[static_cast<std::size_t>(c)] -= g[static_cast<std::size_t>(c)];
    r->share += d.referenceShare;
    r->count += 1;
    r->time = d.time;

    const double root = std::sqrt(d.satelliteShare);
    if (!(pointOpen_ && epoch == pointEpoch_)) {
        closePoint();
        if (arcOpen_ && epoch != arcLast_ + 1) closeArc();
        point_ = {};
        pointEpoch_ = epoch;
        pointTime_ = d.time;
        pointOpen_ = true;
    }
    for (int c = 0; c < 3; ++c) point_[static_cast<std::size_t>(c)] += root * g[static_cast<std::size_t>(c)];
    correlateResidual(epoch, d.reference, std::sqrt(w) * d.residual);
}

void CovarianceAccumulator::closePoint() {
    if (!pointOpen_) return;
    pointOpen_ = false;
    const double* h = point_.data();
    symmetricAdd(whiteSum_, h, h, 1.0);
    const std::size_t n = nodes_.size();
    if (!arcOpen_) {
        arcOpen_ = true;
        arc_ = Arc{};
        arc_.first = arc_.last = pointTime_;
        arc_.backward.assign(n * 3, 0.0);
        std::fill(state_.begin(), state_.end(), 0.0);
        std::fill(decay_.begin(), decay_.end(), 1.0);
    } else {
        const double step = pointTime_ - arc_.last;
        // Steps are almost always the interval: their factors are kept.
        if (step != lastStep_ || factors_.size() != n) {
            factors_.resize(n);
            for (std::size_t j = 0; j < n; ++j) factors_[j] = std::exp(-step / nodes_[j]);
            lastStep_ = step;
        }
        for (std::size_t j = 0; j < n; ++j) {
            for (std::size_t c = 0; c < 3; ++c) state_[j * 3 + c] *= factors_[j];
            decay_[j] *= factors_[j];
        }
    }
    for (std::size_t j = 0; j < n; ++j) {
        double* s = &state_[j * 3];
        double* p = &cross_[j * 9];
        for (std::size_t c = 0; c < 3; ++c) {
            s[c] += h[c];
            arc_.backward[j * 3 + c] += decay_[j] * h[c];
        }
        // Σ h sᵀ; with its transpose less Σ h hᵀ (merge) every pair of an arc's points once each way.
        for (std::size_t r = 0; r < 3; ++r) {
            for (std::size_t c = 0; c < 3; ++c) p[r * 3 + c] += h[r] * s[c];
        }
    }
    arc_.last = pointTime_;
    arcLast_ = pointEpoch_;
}

void CovarianceAccumulator::closeArc() {
    if (!arcOpen_) return;
    arcOpen_ = false;
    arc_.forward = state_;
    arcs_[static_cast<std::size_t>(slot_)].push_back(std::move(arc_));
    arc_ = Arc{};
}

void CovarianceAccumulator::merge() {
    if (merged_) return;
    closePoint();
    closeArc();
    merged_ = true;
    for (std::size_t j = 0; j < nodes_.size(); ++j) {
        const double* p = &cross_[j * 9];
        for (std::size_t i = 0; i < kUpper.size(); ++i) {
            const std::size_t r = static_cast<std::size_t>(kUpper[i][0]), c = static_cast<std::size_t>(kUpper[i][1]);
            nodeSums_[j][i] += p[r * 3 + c] + p[c * 3 + r] - whiteSum_[i];
        }
    }
    // Each satellite's events in time: its arcs, and the epochs where it was a reference.
    struct Event {
        double time = 0;
        const Arc* arc = nullptr;
        const ReferenceShare* reference = nullptr;
    };
    std::vector<std::vector<Event>> events(kMaxPrecisionSlots + 1);
    for (std::size_t k = 0; k < arcs_.size(); ++k) {
        for (const Arc& a : arcs_[k]) events[k].push_back({a.first, &a, nullptr});
    }
    for (const ReferenceShare& r : epochs_) {
        if (r.reference != 0) events[static_cast<std::size_t>(r.reference)].push_back({r.time, nullptr, &r});
    }
    for (const auto& [key, r] : moreReferences_) events[static_cast<std::size_t>(r.reference)].push_back({r.time, nullptr, &r});

    const std::size_t n = nodes_.size();
    std::vector<double> state(n * 3);
    for (std::vector<Event>& list : events) {
        if (list.empty()) continue;
        std::stable_sort(list.begin(), list.end(), [](const Event& a, const Event& b) { return a.time < b.time; });
        std::fill(state.begin(), state.end(), 0.0);
        bool started = false;
        double last = 0;
        for (const Event& e : list) {
            if (e.reference != nullptr) {
                const double root = std::sqrt(e.reference->share / e.reference->count);
                const std::array<double, 3> h{root * e.reference->sum[0], root * e.reference->sum[1],
                                              root * e.reference->sum[2]};
                symmetricAdd(whiteSum_, h.data(), h.data(), 1.0);
                for (std::size_t j = 0; j < n; ++j) {
                    double* s = &state[j * 3];
                    const double decay = started ? std::exp(-(e.time - last) / nodes_[j]) : 0.0;
                    for (std::size_t c = 0; c < 3; ++c) s[c] *= decay;
                    symmetricAdd(nodeSums_[j], h.data(), s, 2.0);
                    symmetricAdd(nodeSums_[j], h.data(), h.data(), 1.0);
                    for (std::size_t c = 0; c < 3; ++c) s[c] += h[c];
                }
                last = e.time;
            } else {
                const Arc& a = *e.arc;
                for (std::size_t j = 0; j < n; ++j) {
                    double* s = &state[j * 3];
                    const double toFirst = started ? std::exp(-(a.first - last) / nodes_[j]) : 0.0;
                    symmetricAdd(nodeSums_[j], s, &a.backward[j * 3], 2.0 * toFirst);
                    const double toLast = started ? std::exp(-(a.last - last) / nodes_[j]) : 0.0;
                    for (std::size_t c = 0; c < 3; ++c) s[c] = toLast * s[c] + a.forward[j * 3 + c];
                }
                last = a.last;
            }
            started = true;
        }
    }
}

std::array<double, 6> CovarianceAccumulator::kernelSum(double tau) const {
    // Linear in τ between nodes (and between the white sum at τ = 0 and the first node): exact where the sum is
    // constant (τ well below the interval) and where it grows as τ (τ well above it).
    std::size_t j = 0;
    while (j < nodes_.size() && nodes_[j] < tau) ++j;
    if (j == nodes_.size()) return nodeSums_.back();
    const double lowTau = j == 0 ? 0.0 : nodes_[j - 1];
    const std::array<double, 6>& low = j == 0 ? whiteSum_ : nodeSums_[j - 1];
    const double f = (tau - lowTau) / (nodes_[j] - lowTau);
    std::array<double, 6> m{};
    for (std::size_t i = 0; i < m.size(); ++i) m[i] = (1.0 - f) * low[i] + f * nodeSums_[j][i];
    return m;
}

RealisticCovariance CovarianceAccumulator::finish() {
    merge();
    CorrelationEstimate e = estimate(0.0);
    for (int pass = 0; pass < kAbsorbedPasses; ++pass) {
        const RealisticCovariance r = finish(e);
        if (!r.available) break;
        e = estimate(std::clamp(r.absorbed / r.observations, 0.0, kMaxAbsorbedShare));
    }
    return finish(e);
}

RealisticCovariance CovarianceAccumulator::finish(const CorrelationEstimate& given) {
    merge();
    RealisticCovariance result;
    result.correlation = given;
    result.observations = count_;
    if (count_ <= kUnknowns || rejected_ > 0) return result;
    const Eigen::Matrix3d normal = full(normal_);
    Eigen::FullPivLU<Eigen::Matrix3d> lu(normal);
    if (!lu.isInvertible()) return result;
    const Eigen::Matrix3d inverse = lu.inverse();
    const double c1 = std::clamp(given.correlatedFraction, 0.0, 1.0);
    const double c2 = std::clamp(given.longFraction, 0.0, 1.0 - c1);
    const std::array<double, 6> short1 = kernelSum(given.correlationTime);
    const std::array<double, 6> long2 = kernelSum(given.longCorrelationTime);
    std::array<double, 6> middle{};
    for (std::size_t i = 0; i < middle.size(); ++i) {
        middle[i] = (1.0 - c1 - c2) * whiteSum_[i] + c1 * short1[i] + c2 * long2[i];
    }
    // E[vᵀWv] = σ0² (n − tr(N⁻¹ AᵀWΣWA / σ0²)): correlated errors are absorbed by the estimate more than
    // white ones (n − 3 when they are white), so the residuals alone would make σ0 too small.
    const double absorbed = std::clamp((inverse * full(middle)).trace(), double{kUnknowns}, count_ - 1.0);
    const double variance = sumSquares_ / (count_ - absorbed);
    Eigen::Matrix3d covariance = variance * inverse * full(middle) * inverse;
    covariance = 0.5 * (covariance + covariance.transpose()).eval();
    Eigen::Matrix3d white = sumSquares_ / (count_ - kUnknowns) * inverse;
    white = 0.5 * (white + white.transpose()).eval();
    result.available = std::isfinite(covariance.sum()) && covariance.trace() > 0.0;
    result.sigma0 = std::sqrt(variance);
    result.absorbed = absorbed;
    result.covariance = columnMajor(covariance);
    result.whiteNoise = columnMajor(white);
    result.effectiveObservations = result.available ? count_ * white.trace() / covariance.trace() : 0.0;
    return result;
}

}  // namespace varno
