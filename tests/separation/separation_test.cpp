#include <cmath>
#include <map>
#include <vector>

#include <Eigen/Dense>

#include "separation/separation.h"
#include "test_support.h"

namespace varno {
namespace {

struct Difference {
    double time;
    int satellite, reference;
    std::array<double, 3> partials;
    double weight, elevation;
};

// Two epochs of three double differences against reference 4 (reference elevations below), each satellite's in
// time order; `later` is the time of the second epoch.
std::vector<Difference> twoEpochs(double later) {
    return {{0, 1, 4, {0.3, -0.2, 0.7}, 1.0, 20}, {later, 1, 4, {0.31, -0.21, 0.69}, 0.8, 22},
            {0, 2, 4, {-0.6, 0.1, 0.4}, 0.9, 45}, {later, 2, 4, {-0.62, 0.12, 0.41}, 0.7, 44},
            {0, 3, 4, {0.1, 0.8, -0.3}, 0.6, 70}, {later, 3, 4, {0.12, 0.79, -0.29}, 0.5, 71}};
}
double referenceElevation(int, double time) { return time == 0 ? 60.0 : 58.0; }

// The header's covariance formed densely: Σ = Z diag(var) Zᵀ with one column per pass and per block, passes and
// blocks told by the caller.
Eigen::Matrix3d dense(const std::vector<Difference>& d, bool separatePasses, bool separateBlocks, double length) {
    const int n = static_cast<int>(d.size());
    std::map<std::pair<int, int>, int> columns;  // (satellite or 0 for a block, pass or block) -> column
    const auto column = [&](int satellite, int part) {
        return columns.try_emplace({satellite, part}, static_cast<int>(columns.size())).first->second;
    };
    Eigen::MatrixXd a(n, 3), z = Eigen::MatrixXd::Zero(n, 16);
    Eigen::VectorXd w(n);
    std::vector<double> variance(16, 0.0);
    const double k2 = std::pow(kSeparationPpm * 1e-6 * length, 2);
    for (int i = 0; i < n; ++i) {
        const Difference& x = d[static_cast<std::size_t>(i)];
        for (int c = 0; c < 3; ++c) a(i, c) = x.partials[static_cast<std::size_t>(c)];
        w(i) = x.weight;
        const int part = x.time > 0 ? 1 : 0;
        const double ms = obliquity(x.elevation), mr = obliquity(referenceElevation(x.reference, x.time));
        const int s = column(x.satellite, separatePasses ? part : 0), r = column(x.reference, separatePasses ? part : 0);
        const int b = column(0, separateBlocks ? part : 0);
        z(i, s) += ms;
        z(i, r) -= mr;
        z(i, b) += ms - mr;
        variance[static_cast<std::size_t>(s)] = variance[static_cast<std::size_t>(r)] = (1 - kCommonShare) * k2;
        variance[static_cast<std::size_t>(b)] = kCommonShare * k2;
    }
    Eigen::MatrixXd v = Eigen::MatrixXd::Zero(16, 16);
    for (int j = 0; j < 16; ++j) v(j, j) = variance[static_cast<std::size_t>(j)];
    const Eigen::MatrixXd wa = w.asDiagonal() * a;
    const Eigen::Matrix3d inverse = (a.transpose() * wa).inverse();
    return inverse * wa.transpose() * (z * v * z.transpose()) * wa * inverse;
}

TEST(SeparationAccumulator, MatchesDenseCovarianceOverPassesAndBlocks) {
    // 30 s: one pass per satellite, one block; 1000 s: a new pass each, one block; 7300 s: new passes and blocks.
    for (const auto& [later, passes, blocks] : {std::tuple{30.0, false, false}, std::tuple{1000.0, true, false},
                                                std::tuple{7300.0, true, true}}) {
        SeparationAccumulator acc(0.0, 10.0, 8);
        const std::vector<Difference> d = twoEpochs(later);
        for (const Difference& x : d) {
            const double w = x.weight;
            acc.add(x.time, x.satellite, x.reference, x.partials,
                    {w * x.partials[0], w * x.partials[1], w * x.partials[2]}, x.elevation);
        }
        const SeparationCovariance c = acc.finish(50000.0, referenceElevation);
        ASSERT_TRUE(c.available);
        EXPECT_EQ(c.passes, passes ? 8 : 4);
        EXPECT_EQ(c.blocks, blocks ? 2 : 1);
        const Eigen::Matrix3d expected = dense(d, passes, blocks, 50000.0);
        for (int r = 0; r < 3; ++r) {
            for (int col = 0; col < 3; ++col) {
                EXPECT_NEAR(c.covariance[static_cast<std::size_t>(col * 3 + r)], expected(r, col),
                            1e-12 * expected.norm())
                    << "later " << later;
            }
        }
    }
}

TEST(SeparationAccumulator, RefusesOutOfOrderInputAndObliquityIsBounded) {
    SeparationAccumulator acc(0.0, 10.0, 8);
    std::vector<Difference> d = twoEpochs(30.0);
    std::swap(d[0], d[1]);  // satellite 1's block goes back in time
    for (const Difference& x : d) acc.add(x.time, x.satellite, x.reference, x.partials, x.partials, x.elevation);
    EXPECT_FALSE(acc.finish(1000.0, referenceElevation).available);
    EXPECT_DOUBLE_EQ(obliquity(90.0), 1.0);
    EXPECT_NEAR(obliquity(0.0), 1.0 / std::sqrt(1.0 - std::pow(6371.0 / 6721.0, 2)), 1e-12);
    EXPECT_DOUBLE_EQ(obliquity(-5.0), obliquity(0.0));
}

}  // namespace
}  // namespace varno
