// Generalised least squares over the double differences of each epoch; internal to the adjustment.
//
// The double differences of one epoch share their reference satellite. With the satellite's single difference of
// relative variance s_i and the reference's s_r (the elevation model's, in units of a double difference of four
// pseudoranges at the zenith), the epoch's covariance is C = D + s_r·11ᵀ, D = diag(s_i), and its inverse
//     C⁻¹ = D⁻¹ − D⁻¹11ᵀD⁻¹ / S,   S = 1/s_r + Σ 1/s_i.
// So AᵀC⁻¹A = Σ a_i a_iᵀ/s_i − b bᵀ/S with b = Σ a_i/s_i (and likewise for the right-hand side and the sum of
// squares): each double difference adds its own term as it comes, in any order, and each epoch one correction
// at the end. Only the epoch's sums are kept (six numbers an epoch), never the observations.
//
// A double difference's weight 1/(s_i + s_r) is the elevation weighting's; s_i is taken from it as 1/w − s_r.
#pragma once

#include <array>
#include <vector>

#include "adjust/adjust.h"

namespace varno::adjust_internal {

class EpochWeighting {
public:
    // Point 1's time tag of an epoch that has double differences, and its reference's share s_r > 0.
    void addEpoch(double epochTime1, double referenceShare);
    bool active() const { return !epochs_.empty(); }

    // Starts the sums of a solution.
    void begin();
    // A kept double difference: misclosure l (computed minus observed), partials a, weight w (its elevation
    // weight). An epoch not announced, or a weight that leaves no positive s_i, adds the term w·a·aᵀ alone.
    void add(NormalEquations& equations, double epochTime1, const std::array<double, 3>& a, double l, double w);
    // Subtracts every epoch's correction from the upper triangle, the right-hand side and the sum of squares.
    void finish(NormalEquations& equations);
    // After the solution x (subtracted from point 2): each epoch's figures for the covariance of the estimate.
    std::vector<EpochWeights> figures(const std::array<double, 3>& x) const;

private:
    struct Epoch {
        double time = 0, referenceShare = 0;
        double inverseSum = 0;         // Σ 1/s_i
        std::array<double, 3> b{};     // Σ a_i/s_i
        double l = 0;                  // Σ l_i/s_i
    };
    Epoch* find(double epochTime1);

    std::vector<Epoch> epochs_;
    bool sorted_ = true;
};

}  // namespace varno::adjust_internal
