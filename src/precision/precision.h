// Covariance of the adjusted point 2 under double-difference errors that are correlated within an epoch (through
// the shared reference satellite) and in time (within each satellite's arc), accumulated one post-fit double
// difference at a time.
//
// Error model. Let d be the between-receiver single difference of satellite k's code at time t. Its error is
//     e_k(t) = s_k(t) · ( sqrt(1 − c) · w_k(t) + sqrt(c) · g_k(t) )
// with w_k white (independent at every epoch) and g_k the sum of two independent first-order Gauss–Markov
// processes of variances c1/c and c2/c (c = c1 + c2) and correlation times τ1 and τ2, so that
// E[g_k(t) g_k(t')] = (c1·exp(−|t − t'|/τ1) + c2·exp(−|t − t'|/τ2)) / c: a short one for multipath and noise
// filtering, a long one for what changes with the satellite's slow motion in the sky (c2 = 0 gives a single
// process). The processes of different satellites are independent. The variance s_k(t)² = σ0² · v_k(t), where v_k is the satellite's share of its double differences'
// relative variance (1/2 without weights; see varianceShares) and σ0² the variance of unit weight estimated from
// the post-fit residuals: Σ w·v² / (n − f), f the trace of the estimate's share of the errors (below; 3 for
// white errors), so that the estimate is unbiased under the model. A double difference of satellite s against reference r at time t
// has the error e_s(t) − e_r(t); so, with K(Δt) = (1 − c)·[Δt = 0] + c1·exp(−|Δt|/τ1) + c2·exp(−|Δt|/τ2),
//     Cov(DD_i, DD_j) = σ0² · K(t_i − t_j) · Σ_k σ_ik σ_jk sqrt(v_k(t_i) v_k(t_j)),
// σ_ik = +1 when k is i's satellite, −1 when it is i's reference, 0 otherwise. This holds the correlation of an
// epoch's double differences through their shared reference (one per system) and the time correlation of each
// double-difference arc (of the same correlation while its reference is unchanged).
//
// The covariance of the least-squares estimate with weights W (the adjustment's, not changed here) is then
//     C = (AᵀWA)⁻¹ AᵀW Σ W A (AᵀWA)⁻¹,
// W diagonal, or (generalised) the inverse of each epoch's covariance, the rows of W·A then given with the input;
// where W⁻¹ is the model's covariance of an epoch and the errors are white, C reduces to σ0²·(AᵀWA)⁻¹.
// A the partials of the used double differences by point 2's X, Y, Z. The τ's and c's come from the
// autocorrelation of the post-fit residuals, the τ's bounded to [kMinCorrelationTime, kMaxCorrelationTime].
// The residuals lack what the estimate absorbed of the errors, on average the share δ = f/n of their variance
// (f below); of slow errors that part changes little over the lags the fit uses, so it lowers every lag's
// correlation alike and the fit would take the errors for shorter and weaker than they are (markedly so over an
// hour, where δ is some 5 %; over a day it is a few per mille). The fit therefore takes ρ(L) = δ + (1 − δ)·ρ̂(L),
// with δ from the model fitted before (twice, starting from δ = 0).
//
// What is not in the model: errors common to all satellites (troposphere left out, orbit), which the caller
// must state; and carrier phases (code only).
//
// Memory: one record of about 50 bytes per epoch of the span (the reference satellites' shares), a few hundred
// bytes per unbroken arc of a satellite, and a fixed buffer for the autocorrelation; nothing per observation.
#pragma once

#include <array>
#include <map>
#include <utility>
#include <vector>

namespace varno {

inline constexpr double kMinCorrelationTime = 1.0;     // s
inline constexpr double kMaxCorrelationTime = 3600.0;  // s

// One used post-fit double difference.
struct PostFitDifference {
    double time = 0;                    // s, any time scale common to all of them
    int satellite = 0, reference = 0;   // slots, 1..kMaxPrecisionSlots, different
    std::array<double, 3> partials{};   // derivative of the double difference by point 2's X, Y, Z
    double weight = 1;                  // in the adjustment, > 0
    double residual = 0;                // m
    double satelliteShare = 0.5;        // v_s, v_r of the error model (relative variances, > 0)
    double referenceShare = 0.5;
    // Trimmed by the adjustment: not in the sums, but its satellite was not the reference then (so the
    // satellite's arc is not broken there, which keeps the memory to one record per arc, not per gap).
    bool used = true;
    // Weights that are not diagonal (generalised least squares): this double difference's row of W·A and of
    // W·v, used instead of weight·partials and weight·residual. Its shares are then those W was made of.
    bool generalised = false;
    std::array<double, 3> weightedPartials{};
    double weightedResidual = 0;
};
inline constexpr int kMaxPrecisionSlots = 128;

// v_s and v_r for a double difference of weight `weight`, its satellite at `elevation` degrees. Without
// elevation weights (`weighted` false) both are 1 / (2·weight). With them the satellite's single difference has
// v_s = 2 q(e) / σz², q(e) = σa² + σb² / sin² e and σz² = 4 (σa² + σb²) (the weighting's zenith variance), and the
// reference takes the rest of 1 / weight, at least its zenith share 1/2 (v_s then gives way).
void varianceShares(bool weighted, double weight, double elevation, double sigmaA, double sigmaB, double& satellite,
                    double& reference);

// The correlation of the errors as estimated from the residuals.
struct CorrelationEstimate {
    bool estimated = false;         // false: too few pairs of residuals at any lag (then c = 0, white)
    double correlationTime = 0;     // τ1, s
    double correlatedFraction = 0;  // c1, 0..1
    double longCorrelationTime = 0; // τ2 >= τ1, s
    double longFraction = 0;        // c2, 0..1 − c1
    bool atBound = false;           // a τ with a fraction came out at a bound of the range
};

// The covariance of point 2 (X, Y, Z, m², 3 × 3 column-major) under the model and under white noise.
struct RealisticCovariance {
    bool available = false;             // false with fewer than 4 double differences or a singular AᵀWA
    int observations = 0;               // n
    double sigma0 = 0;                  // sqrt(Σ w·v² / (n − f)), m
    double absorbed = 3;                // f = tr((AᵀWA)⁻¹ AᵀW R W A), R = Σ / σ0²: 3 for white errors
    std::array<double, 9> covariance{};  // C above
    std::array<double, 9> whiteNoise{};  // σ0² (AᵀWA)⁻¹: the errors white and uncorrelated
    // n · trace(white noise) / trace(C): how many independent observations the data are worth.
    double effectiveObservations = 0;
    CorrelationEstimate correlation;
};

// Accumulates the post-fit double differences in the adjustment's gather order: satellite by satellite
// (each satellite's once, as one block), each block in increasing time. Out-of-order or invalid input (a time
// before the previous one of the block, a slot outside 1..kMaxPrecisionSlots, a non-finite value, a weight or
// share <= 0) is not used and is counted in `rejected()`, and the covariance is then not available; times are
// placed on the grid spanStart + i·interval.
class CovarianceAccumulator {
public:
    // interval > 0, s; the correlation times at which the sums are kept (τ in between is interpolated
    // linearly in τ; exact at a node); default: powers of two from 1 to 4096 s.
    CovarianceAccumulator(double spanStart, double interval, std::vector<double> nodes = {});
    void add(const PostFitDifference& d);
    // The covariance with τ and c estimated from the residuals, or with the given ones.
    RealisticCovariance finish();
    RealisticCovariance finish(const CorrelationEstimate& given);
    long rejected() const { return rejected_; }

private:
    struct Arc {  // an unbroken run of one satellite's epochs as the non-reference satellite
        double first = 0, last = 0;
        std::vector<double> forward, backward;  // per node, 3 each: Σ exp(−(last − t)/τ) h, Σ exp(−(t − first)/τ) h
    };
    struct ReferenceShare {  // one epoch's double differences against one reference
        int reference = 0, count = 0;
        double time = 0, share = 0;  // share: Σ v_r
        std::array<double, 3> sum{};  // Σ −w·a
    };
    struct Lag {
        double xy = 0, xx = 0, yy = 0;
        long pairs = 0;
    };

    void closePoint();
    void closeArc();
    void merge();  // the open arc closed and the references' shares added; nothing can be added after it
    ReferenceShare* referenceAt(long epoch, int reference);
    void initialiseLags();
    void correlateResidual(long epoch, int reference, double z);
    CorrelationEstimate estimate(double absorbedShare) const;
    std::array<double, 6> kernelSum(double tau) const;

    double spanStart_, interval_;
    std::vector<double> nodes_;
    std::vector<std::array<double, 6>> nodeSums_;  // per node, upper triangle: Σ K h hᵀ
    std::array<double, 6> whiteSum_{};
    std::array<double, 6> normal_{};
    std::array<double, 3> point_{};
    double sumSquares_ = 0;
    int count_ = 0;
    long rejected_ = 0;
    // The block being read.
    int slot_ = 0;
    long pointEpoch_ = -1, arcLast_ = -1, blockEpoch_ = -1;
    double pointTime_ = 0;
    bool pointOpen_ = false, merged_ = false;
    double lastStep_ = -1;
    std::vector<double> factors_;  // per node: exp(−lastStep_ / τ)
    Arc arc_;
    std::vector<double> state_, decay_;  // per node: the arc's running forward sum, and its decay since `first`
    std::vector<double> cross_;          // per node, 3 × 3 row-major: Σ h sᵀ over the arcs' points
    bool arcOpen_ = false;
    std::vector<std::vector<Arc>> arcs_;  // by slot
    std::vector<ReferenceShare> epochs_;  // by epoch index: the first reference met
    std::map<std::pair<long, int>, ReferenceShare> moreReferences_;
    std::vector<char> seen_;  // slots whose block has ended
    // The autocorrelation of the normalised residuals sqrt(w)·v of one block, lag by lag.
    std::vector<long> lags_;
    std::vector<Lag> lagSums_;
    std::vector<long> ringEpoch_;
    std::vector<int> ringReference_;
    std::vector<double> ringValue_;
};

}  // namespace varno
