#include <Eigen/Dense>

#include "adjust/correlated.h"
#include "test_support.h"

namespace varno::adjust_internal {
namespace {

// Two epochs (reference shares 0.6 and 0.9), in gather order: by satellite, each in time.
TEST(EpochWeighting, EqualsTheDenseGeneralisedLeastSquares) {
    struct Row { double time; std::array<double, 3> a; double l, own; };
    const std::vector<Row> d{{10, {0.3, -0.2, 0.7}, 0.4, 0.5}, {20, {0.31, -0.21, 0.69}, -0.3, 0.7},
                             {10, {-0.6, 0.1, 0.4}, -0.5, 1.2}, {20, {-0.62, 0.12, 0.41}, 0.6, 0.55},
                             {10, {0.1, 0.8, -0.3}, 0.2, 2.0}};
    const auto reference = [](double t) { return t == 10 ? 0.6 : 0.9; };
    EpochWeighting weighting;
    weighting.addEpoch(10, reference(10));
    weighting.addEpoch(20, reference(20));
    weighting.begin();
    NormalEquations equations;
    const int n = static_cast<int>(d.size());
    Eigen::MatrixXd a(n, 3), c(n, n);
    Eigen::VectorXd l(n);
    for (int i = 0; i < n; ++i) {
        weighting.add(equations, d[i].time, d[i].a, d[i].l, 1.0 / (d[i].own + reference(d[i].time)));
        a.row(i) << d[i].a[0], d[i].a[1], d[i].a[2];
        l(i) = d[i].l;
        for (int j = 0; j < n; ++j) c(i, j) = (d[j].time == d[i].time ? reference(d[i].time) : 0) + (i == j ? d[i].own : 0);
    }
    weighting.finish(equations);
    const Eigen::MatrixXd w = c.inverse();
    const Eigen::Matrix3d normal = a.transpose() * w * a;
    const Eigen::Vector3d rhs = a.transpose() * w * l;
    for (int i = 0; i < 3; ++i) {
        for (int j = i; j < 3; ++j) EXPECT_NEAR(equations.matrix[j * 3 + i], normal(i, j), 1e-12);
        EXPECT_NEAR(equations.rhs[i], rhs(i), 1e-12);
    }
    EXPECT_NEAR(equations.sumSquares, l.dot(w * l), 1e-12);
    // The figures give the rows of W·A and W·v of the post-fit residuals v = l − A·x.
    const Eigen::Vector3d x = normal.inverse() * rhs;
    const std::vector<EpochWeights> figures = weighting.figures({x(0), x(1), x(2)});
    ASSERT_EQ(figures.size(), 2u);
    const Eigen::VectorXd v = l - a * x, wv = w * v;
    const Eigen::MatrixXd wa = w * a;
    for (int i = 0; i < n; ++i) {
        const EpochWeights& f = figures[d[i].time == 10 ? 0 : 1];
        for (int k = 0; k < 3; ++k) EXPECT_NEAR((a(i, k) - f.meanPartials[k]) / d[i].own, wa(i, k), 1e-12);
        EXPECT_NEAR((v(i) - f.meanResidual) / d[i].own, wv(i), 1e-12);
    }
}

}  // namespace
}  // namespace varno::adjust_internal
