#include <cmath>
#include <random>

#include <Eigen/Dense>

#include "precision/precision.h"
#include "test_support.h"

namespace varno {
namespace {

// Hand-made double differences: times on a 1 s grid, every satellite's block in time order.
std::vector<PostFitDifference> handMade() {
    std::vector<PostFitDifference> d;
    const auto add = [&](double t, int s, int r, double px, double py, double pz, double w, double v, double vs,
                         double vr) { d.push_back({t, s, r, {px, py, pz}, w, v, vs, vr}); };
    // Two epochs with reference 1, a gap, then 2 as reference; 3 and 4 in a second system with reference 5 at
    // t = 0. Satellite 2 is first differenced, then the reference, so its arcs and reference epochs interleave.
    add(0, 2, 1, 0.3, -0.2, 0.7, 1.0, 0.4, 0.5, 0.5);
    add(1, 2, 1, 0.31, -0.21, 0.69, 0.8, -0.3, 0.6, 0.65);
    add(4, 1, 2, -0.2, 0.5, 0.1, 0.9, 0.2, 0.55, 0.56);
    add(5, 1, 2, -0.21, 0.52, 0.12, 0.9, 0.1, 0.55, 0.56);
    add(0, 3, 1, -0.6, 0.1, 0.4, 1.0, -0.5, 0.5, 0.5);
    add(1, 3, 1, -0.62, 0.12, 0.41, 0.7, 0.6, 0.8, 0.63);
    add(4, 3, 2, -0.4, -0.3, 0.2, 0.6, -0.1, 0.9, 0.77);
    add(5, 3, 2, -0.41, -0.31, 0.22, 0.6, 0.3, 0.9, 0.77);
    add(0, 4, 5, 0.1, 0.8, -0.3, 0.9, 0.2, 0.5, 0.61);
    add(2, 4, 1, 0.12, 0.79, -0.29, 0.5, -0.4, 1.1, 0.9);
    add(0, 6, 5, 0.5, 0.4, 0.5, 1.0, 0.1, 0.5, 0.5);
    return d;
}

// The covariance of the header's model, formed densely.
Eigen::Matrix3d dense(const std::vector<PostFitDifference>& d, double tau, double c) {
    const int n = static_cast<int>(d.size());
    Eigen::MatrixXd a(n, 3), sigma(n, n);
    Eigen::VectorXd w(n);
    double vtpv = 0;
    for (int i = 0; i < n; ++i) {
        for (int k = 0; k < 3; ++k) a(i, k) = d[i].partials[k];
        w(i) = d[i].weight;
        vtpv += d[i].weight * d[i].residual * d[i].residual;
    }
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            const double dt = std::fabs(d[i].time - d[j].time);
            const double kernel = (dt == 0 ? 1 - c : 0) + c * std::exp(-dt / tau);
            const auto share = [&](const PostFitDifference& x, int k) {
                return k == x.satellite ? x.satelliteShare : k == x.reference ? x.referenceShare : 0.0;
            };
            const auto sign = [](const PostFitDifference& x, int k) {
                return k == x.satellite ? 1.0 : k == x.reference ? -1.0 : 0.0;
            };
            double sum = 0;
            for (int k = 1; k <= 6; ++k) {
                // A reference's share is the mean of its epoch's double differences' shares.
                double si = share(d[i], k), sj = share(d[j], k);
                if (k == d[i].reference || k == d[j].reference) {
                    const auto mean = [&](const PostFitDifference& x) {
                        if (k != x.reference) return share(x, k);
                        double total = 0;
                        int count = 0;
                        for (const PostFitDifference& y : d) {
                            if (y.time == x.time && y.reference == k) total += y.referenceShare, ++count;
                        }
                        return total / count;
                    };
                    si = mean(d[i]);
                    sj = mean(d[j]);
                }
                sum += sign(d[i], k) * sign(d[j], k) * std::sqrt(si * sj);
            }
            sigma(i, j) = kernel * sum;
        }
    }
    const Eigen::Matrix3d inverse = (a.transpose() * w.asDiagonal() * a).inverse();
    const Eigen::MatrixXd wa = w.asDiagonal() * a;
    const Eigen::Matrix3d middle = wa.transpose() * sigma * wa;
    return vtpv / (n - std::clamp((inverse * middle).trace(), 3.0, n - 1.0)) * inverse * middle * inverse;
}

Eigen::Matrix3d fromColumns(const std::array<double, 9>& m) { return Eigen::Map<const Eigen::Matrix3d>(m.data()); }

TEST(CovarianceAccumulator, MatchesTheDenseSandwichAtANodeAndBetweenNodes) {
    const std::vector<PostFitDifference> d = handMade();
    // A trimmed double difference of satellite 2 at t = 2 bridges its arc and counts for nothing.
    std::vector<PostFitDifference> fed = d;
    fed.insert(fed.begin() + 2, {2, 2, 1, {9, 9, 9}, 1.0, 50.0, 0.5, 0.5, false});
    for (const double c : {0.0, 0.4, 1.0}) {
        CovarianceAccumulator acc(0.0, 1.0);
        for (const PostFitDifference& x : fed) acc.add(x);
        CorrelationEstimate given;
        given.correlationTime = 4.0;
        given.correlatedFraction = c;
        const RealisticCovariance r = acc.finish(given);
        ASSERT_TRUE(r.available);
        EXPECT_EQ(r.observations, 11);
        EXPECT_LT((fromColumns(r.covariance) - dense(d, 4.0, c)).norm(), 1e-12 * dense(d, 4.0, c).norm()) << c;
    }
    // Between nodes (τ = 3 s lies between 2 and 4 s) the sums are interpolated: close, not exact.
    CovarianceAccumulator acc(0.0, 1.0);
    for (const PostFitDifference& x : d) acc.add(x);
    const RealisticCovariance r = acc.finish({true, 3.0, 1.0});
    EXPECT_LT((fromColumns(r.covariance) - dense(d, 3.0, 1.0)).norm(), 0.03 * dense(d, 3.0, 1.0).norm());
    // Fully white errors with the reference shares of one: the white-noise covariance itself.
    CovarianceAccumulator plain(0.0, 1.0);
    for (PostFitDifference x : d) plain.add({x.time, x.satellite, x.reference, x.partials, 1.0, x.residual, 0.5, 0.5});
    const RealisticCovariance p = plain.finish({true, 4.0, 0.0});
    EXPECT_GT(fromColumns(p.covariance).trace(), fromColumns(p.whiteNoise).trace());  // shared references
}

// Weights that are the inverse of each epoch's covariance (reference 1 shared), rows of W·A given: the dense
// sandwich, and with white errors the covariance of generalised least squares, σ0²·(AᵀWA)⁻¹.
TEST(CovarianceAccumulator, TakesTheRowsOfGeneralisedWeights) {
    const int n = 9;  // satellites 2..4, each at times 0..2
    const std::array<double, 3> reference{0.6, 0.8, 0.7};
    const auto sat = [](int i) { return 2 + i / 3; };
    const auto ref = [&](int i) { return reference[static_cast<std::size_t>(i % 3)]; };
    Eigen::MatrixXd a(n, 3), c0(n, n);
    Eigen::VectorXd v(n), own(n);
    for (int i = 0; i < n; ++i) {
        a.row(i) << 0.3 * sat(i) - 0.7 + 0.01 * (i % 3), std::sin(sat(i)), 0.5 - 0.1 * i;
        v(i) = std::cos(3.0 * i) * 0.4;
        own(i) = 0.5 + 0.1 * ((i * 7) % 5);
    }
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) c0(i, j) = (i % 3 == j % 3 ? ref(i) : 0.0) + (i == j ? own(i) : 0.0);
    }
    const Eigen::MatrixXd wa = c0.inverse() * a;
    const Eigen::VectorXd wv = c0.inverse() * v;
    const Eigen::Matrix3d inverse = (a.transpose() * wa).inverse();
    for (const double c : {0.0, 0.5}) {
        CovarianceAccumulator acc(0.0, 1.0);
        Eigen::MatrixXd sigma(n, n);  // the model's: the epoch's at lag 0, each process decaying in time
        for (int i = 0; i < n; ++i) {
            PostFitDifference d{double(i % 3), sat(i), 1, {a(i, 0), a(i, 1), a(i, 2)}, 1.0, v(i), own(i), ref(i)};
            d.generalised = true;
            d.weightedPartials = {wa(i, 0), wa(i, 1), wa(i, 2)};
            d.weightedResidual = wv(i);
            acc.add(d);
            for (int j = 0; j < n; ++j) {
                const double dt = std::abs(i % 3 - j % 3);
                const double k = (dt == 0 ? 1 - c : 0) + c * std::exp(-dt / 2.0);
                sigma(i, j) = k * (std::sqrt(ref(i) * ref(j)) + (sat(i) == sat(j) ? std::sqrt(own(i) * own(j)) : 0));
            }
        }
        const RealisticCovariance r = acc.finish({true, 2.0, c});
        const Eigen::Matrix3d middle = wa.transpose() * sigma * wa;
        const double absorbed = std::clamp((inverse * middle).trace(), 3.0, n - 1.0);
        const Eigen::Matrix3d expected = v.dot(wv) / (n - absorbed) * inverse * middle * inverse;
        ASSERT_TRUE(r.available);
        EXPECT_LT((fromColumns(r.covariance) - expected).norm(), 1e-12 * expected.norm()) << c;
        if (c == 0.0) {
            EXPECT_LT((fromColumns(r.covariance) - v.dot(wv) / (n - 3) * inverse).norm(), 1e-12 * expected.norm());
        }
    }
}

TEST(CovarianceAccumulator, EstimatesTheCorrelationTimeOfGaussMarkovResiduals) {
    std::mt19937_64 random(7);
    std::normal_distribution<double> normal;
    const auto run = [&](double tau, double fraction) {
        CovarianceAccumulator acc(0.0, 1.0);
        for (int s = 2; s <= 5; ++s) {
            double g = normal(random);
            const double q = std::exp(-1.0 / tau);
            for (int t = 0; t < 20000; ++t) {
                g = q * g + std::sqrt(1 - q * q) * normal(random);
                const double v = std::sqrt(fraction) * g + std::sqrt(1 - fraction) * normal(random);
                acc.add({double(t), s, 1, {0.1 * s, 0.3, 1.0 / s}, 1.0, v, 0.5, 0.5});
            }
        }
        return acc.finish();
    };
    const RealisticCovariance r = run(60.0, 0.7);
    ASSERT_TRUE(r.available && r.correlation.estimated);
    EXPECT_NEAR(r.correlation.correlationTime, 60.0, 15.0);
    EXPECT_NEAR(r.correlation.correlatedFraction + r.correlation.longFraction, 0.7, 0.1);
    EXPECT_LT(r.effectiveObservations, 80000.0 / 20);
    const RealisticCovariance white = run(60.0, 0.0);
    EXPECT_LT(white.correlation.correlatedFraction + white.correlation.longFraction, 0.05);
}

TEST(CovarianceAccumulator, RefusesInputItCannotPlace) {
    const std::vector<PostFitDifference> d = handMade();
    for (int bad = 0; bad < 4; ++bad) {
        CovarianceAccumulator acc(0.0, 1.0);
        for (PostFitDifference x : d) acc.add(x);
        PostFitDifference x = d.back();
        if (bad == 0) {  // back in time within satellite 6's block
            x.time = 2.0;
            acc.add(x);
            x.time = 1.0;
        }
        if (bad == 1) x.residual = std::nan("");
        if (bad == 2) x = d[0];  // satellite 2's block again
        if (bad == 3) x.reference = x.satellite;
        acc.add(x);
        EXPECT_EQ(acc.rejected(), 1) << bad;
        EXPECT_FALSE(acc.finish().available) << bad;
    }
}

TEST(VarianceShares, SplitTheDoubleDifferencesVariance) {
    double s = 0, r = 0;
    varianceShares(false, 0.5, 30.0, 0.3, 0.3, s, r);
    EXPECT_DOUBLE_EQ(s, 1.0);
    EXPECT_DOUBLE_EQ(r, 1.0);
    // σa = σb: q(30°) = 5 σ² against σz² = 8 σ², so v_s = 1.25; the reference takes the rest, at least 1/2.
    varianceShares(true, 1.0 / 3.0, 30.0, 0.3, 0.3, s, r);
    EXPECT_NEAR(s, 1.25, 1e-12);
    EXPECT_NEAR(r, 1.75, 1e-12);
    varianceShares(true, 1.0 / 1.5, 30.0, 0.3, 0.3, s, r);
    EXPECT_NEAR(s, 1.0, 1e-12);
    EXPECT_NEAR(r, 0.5, 1e-12);
}

}  // namespace
}  // namespace varno
