// Covariance of the adjusted point 2 from the errors that grow with the distance between the two receivers and
// that differencing leaves: above all the difference of the ionospheric delay along the two receivers' paths to
// a satellite (one-frequency code cannot remove it), and the part of an orbit error that does not cancel.
// Residuals cannot show such errors: they change over hours and the position absorbs much of them.
//
// Error model. The single difference (point 2 − point 1) of satellite k carries the slant bias
//     β_k(t) = M(e_k(t)) · (z_p + z_b),
// M the thin-shell obliquity factor at the satellite's elevation above point 2 (shell at kShellHeight). The two
// receivers see a satellite through the ionosphere at points some L apart (L the baseline's length), so the
// vertical delays differ by the horizontal gradient across L: k·L in standard deviation, k = kSeparationPpm, a
// figure for a quiet mid-latitude ionosphere (see the README). Of that variance the share kCommonShare is the
// large-scale gradient, the same for every satellite and changing with the hour of the day: z_b, one value for
// each block of kCommonBlock seconds from the span's start; the rest is what each satellite's path crosses on
// its own: z_p, one value for the whole pass p of satellite k (a pass ends where the satellite is absent from the
// used double differences for more than kPassGap). All are independent, of mean zero:
//     Var z_b = kCommonShare·(k·L)²,   Var z_p = (1 − kCommonShare)·(k·L)².
// A double difference of satellite s against reference r then carries β_s − β_r; a pass's vertical delay
// reaches all its double differences, whether the satellite is the one differenced or the reference, and the
// common part reaches a double difference as z_b·(M(e_s) − M(e_r)).
//
// With W the adjustment's weights (diagonal, or each epoch's inverse covariance) and A the partials by point 2,
//     C_sep = (AᵀWA)⁻¹ (Σ_p Var z_p · c_p c_pᵀ + Σ_b Var z_b · c_b c_bᵀ) (AᵀWA)⁻¹,   c_x = Σ_i (W A)_iᵀ ∂DD_i/∂z_x,
// ∂DD_i/∂z_p = +M(e_s) when i differences the pass's satellite, −M(e_r) when that satellite is i's reference;
// ∂DD_i/∂z_b = M(e_s) − M(e_r) for i in block b.
// It is the covariance of the estimate's error from these biases alone; the caller adds it to that of the
// other errors (independent of them). Low rank: one 3-vector per pass and per block.
//
// Memory: a few dozen bytes per run of a satellite (as the differenced one) and per epoch and reference (the
// reference's elevation is looked up at the end); nothing per observation.
#pragma once

#include <array>
#include <functional>
#include <map>
#include <utility>
#include <vector>

namespace varno {

inline constexpr double kShellHeight = 350.0e3;      // m, the ionosphere's thin shell above the surface
inline constexpr double kShellEarthRadius = 6371.0e3;  // m, the spherical earth the shell is taken over
inline constexpr double kSeparationPpm = 2.0;       // k, mm of vertical delay per km of baseline
inline constexpr double kCommonShare = 0.5;         // of k² that is common to all satellites
inline constexpr double kCommonBlock = 7200.0;      // s, how long the common part holds
inline constexpr double kPassGap = 900.0;           // s: a longer absence starts a new pass

// The obliquity factor of the thin shell at elevation `elevation` (degrees): 1/cos of the zenith angle where
// the path crosses the shell; 1 at the zenith, about 3 at the horizon. Elevations below 0 are taken as 0.
double obliquity(double elevation);

// What the accumulated double differences give for a baseline of length `length` (m).
struct SeparationCovariance {
    bool available = false;                // false with fewer than 4 double differences, a singular AᵀWA or
                                           // input refused (see SeparationAccumulator)
    double ppm = kSeparationPpm;           // k
    double length = 0;                     // L, m
    int passes = 0;                        // satellite passes that reached the estimate
    int blocks = 0;                        // blocks of the common part
    int unknownElevations = 0;             // references whose elevation could not be had (taken at 0°)
    std::array<double, 9> covariance{};    // C_sep, m², X, Y, Z column-major
};

// Accumulates the used post-fit double differences in any order of satellites, each satellite's as one block in
// increasing time (the adjustment's gather order). A double difference with slots outside
// 1..satellites or equal, a non-finite value, or a time before the previous one of its block is refused
// and makes the result not available.
class SeparationAccumulator {
public:
    // interval > 0, s; times on that grid; slots 1..satellites (the run's satellite table).
    SeparationAccumulator(double spanStart, double interval, int satellites);
    // One used double difference: its time (s), the slots of its satellite and reference, its partials by
    // point 2's X, Y, Z, its row of W·A (weight·partials with diagonal weights) and its satellite's elevation
    // above point 2 (degrees).
    void add(double time, int satellite, int reference, const std::array<double, 3>& partials,
             const std::array<double, 3>& weightedPartials, double elevation);
    // C_sep for baseline length `length`; `referenceElevation(slot, time)` gives the elevation (degrees) of a
    // reference satellite at one of its epochs, or not a number when it cannot.
    SeparationCovariance finish(double length, const std::function<double(int, double)>& referenceElevation) const;

private:
    struct Run {  // a stretch of one satellite as the differenced one, without a gap over kPassGap
        double first = 0, last = 0;
        long block = 0;               // of kCommonBlock from the span's start
        std::array<double, 3> sum{};  // Σ M(e_s)·(W A)_i
    };
    struct ReferenceEpoch {  // one epoch's double differences against one reference
        int reference = 0;
        double time = 0;
        std::array<double, 3> sum{};  // Σ (W A)_i
    };

    double spanStart_, interval_;
    int satellites_;
    std::array<double, 6> normal_{};  // AᵀWA, upper triangle
    int count_ = 0;
    bool refused_ = false;
    int slot_ = 0;
    double blockTime_ = 0;
    std::vector<char> seen_;
    std::vector<std::vector<Run>> runs_;          // by slot
    std::vector<ReferenceEpoch> epochs_;          // by epoch index: the first reference met there
    std::map<std::pair<long, int>, ReferenceEpoch> moreReferences_;
};

}  // namespace varno
