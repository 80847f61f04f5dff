// 95 % radii of anisotropic Gaussian errors: the share inside radius r is an integral over directions of the
// radial integral, which has a closed form; the radius follows by bisection.
#include "results/radius.h"

#include <algorithm>
#include <cmath>

#include <Eigen/Dense>

namespace varno {

namespace {

constexpr double kShare = 0.95;
constexpr double kChiSquare95[4] = {0.0, 3.841458820694124, 5.991464547107979, 7.814727903251178};
constexpr int kNodes = 128;       // per angle, midpoint rule over a quarter turn (the integrands are symmetric)
constexpr int kBisections = 40;
constexpr double kSmallest = 1e-12;  // relative: a smaller eigenvalue is taken as this share of the largest

const double kPi = std::acos(-1.0);

// Share of the plane Gaussian with variances l[0], l[1] inside radius r.
double shareInside2(const std::array<double, 3>& l, double r) {
    double sum = 0.0;
    for (int i = 0; i < kNodes; ++i) {
        const double a = (i + 0.5) * (0.5 * kPi / kNodes);
        const double q = std::cos(a) * std::cos(a) / l[0] + std::sin(a) * std::sin(a) / l[1];
        sum += -std::expm1(-0.5 * r * r * q) / q;
    }
    return 4.0 * sum * (0.5 * kPi / kNodes) / (2.0 * kPi * std::sqrt(l[0] * l[1]));
}

// Share of the spatial Gaussian with variances l[0..2] inside radius r; directions by the cosine of the polar
// angle (uniform in it) and the azimuth, over one octant.
double shareInside3(const std::array<double, 3>& l, double r) {
    double sum = 0.0;
    for (int i = 0; i < kNodes; ++i) {
        const double t = (i + 0.5) / kNodes;
        const double s = std::sqrt(1.0 - t * t);
        for (int j = 0; j < kNodes; ++j) {
            const double a = (j + 0.5) * (0.5 * kPi / kNodes);
            const double x = s * std::cos(a), y = s * std::sin(a);
            const double q = x * x / l[0] + y * y / l[1] + t * t / l[2];
            const double u = r * std::sqrt(q);
            // ∫₀ʳ ρ² exp(−ρ² q / 2) dρ
            const double radial = (std::sqrt(0.5 * kPi) * std::erf(u / std::sqrt(2.0)) - u * std::exp(-0.5 * u * u)) /
                                  (q * std::sqrt(q));
            sum += radial;
        }
    }
    const double area = (1.0 / kNodes) * (0.5 * kPi / kNodes);
    return 8.0 * sum * area / (std::pow(2.0 * kPi, 1.5) * std::sqrt(l[0] * l[1] * l[2]));
}

}  // namespace

double equivalentSigma(const std::array<double, 9>& covariance, int dimensions) {
    const int n = std::clamp(dimensions, 2, 3);
    Eigen::Matrix3d c;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) c(i, j) = covariance[static_cast<std::size_t>(j * 3 + i)];
    }
    double mean = 0.0;
    for (int i = 0; i < n; ++i) mean += c(i, i) / n;
    const double plain = std::sqrt(mean);
    const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> solver(c.topLeftCorner(n, n));
    if (solver.info() != Eigen::Success || !std::isfinite(mean) || !(mean > 0.0)) return plain;
    std::array<double, 3> l{1.0, 1.0, 1.0};
    double largest = 0.0;
    for (int i = 0; i < n; ++i) largest = std::max(largest, solver.eigenvalues()(i));
    for (int i = 0; i < n; ++i) {
        const double v = solver.eigenvalues()(i);
        if (!std::isfinite(v) || v < -kSmallest * largest) return plain;
        l[static_cast<std::size_t>(i)] = std::max(v, kSmallest * largest);
    }
    if (l[0] == l[1] && (n == 2 || l[1] == l[2])) return std::sqrt(l[0]);
    // The radius lies between those of the isotropic Gaussians of the smallest and the largest variance.
    double smallest = largest;
    for (int i = 0; i < n; ++i) smallest = std::min(smallest, l[static_cast<std::size_t>(i)]);
    double low = std::sqrt(smallest * kChiSquare95[n]), high = std::sqrt(largest * kChiSquare95[n]);
    for (int k = 0; k < kBisections; ++k) {
        const double r = 0.5 * (low + high);
        const double share = n == 2 ? shareInside2(l, r) : shareInside3(l, r);
        (share < kShare ? low : high) = r;
    }
    return 0.5 * (low + high) / std::sqrt(kChiSquare95[n]);
}

}  // namespace varno
