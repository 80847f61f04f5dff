#include <array>
#include <cmath>

#include "adjust/adjust.h"
#include "test_support.h"

namespace varno {
namespace {

constexpr int kN = 3;
double el(const std::array<double, 9>& m, int i, int j) { return m[(j - 1) * kN + (i - 1)]; }

TEST(Nrmal2, OneEquationTouchesOnlyItsElements) {
    NormalEquations ne;
    ne.matrix.fill(7.0);  // the strict lower triangle must survive nrmclr and nrmal2
    nrmclr(ne.matrix.data(), ne.rhs.data(), ne.sumSquares, kN);
    const std::array<double, 3> a{1.0, 0.0, 0.0};
    const std::array<int, 3> k{1, 2, 3};
    nrmal2(ne.matrix.data(), ne.rhs.data(), a.data(), 2.0, 4.0, ne.sumSquares, k.data(), 3, kN);
    EXPECT_EQ(ne.sumSquares, 16.0);
    EXPECT_EQ(ne.rhs, (std::array<double, 3>{8.0, 0.0, 0.0}));
    for (int j = 1; j <= kN; ++j) {
        for (int i = 1; i <= kN; ++i) {
            const double expected = (i == 1 && j == 1) ? 4.0 : (i > j ? 7.0 : 0.0);
            EXPECT_EQ(el(ne.matrix, i, j), expected) << i << "," << j;
        }
    }
}

TEST(Nrmal2, AccumulatesTheNormalMatrixOfSeveralEquations) {
    const double rows[4][3] = {{1, 2, 3}, {-1, 0.5, 2}, {0.25, -3, 1}, {2, 1, -1}};
    const double l[4] = {1.5, -2, 0.5, 3};
    const double w[4] = {1, 2, 0.5, 1};
    NormalEquations ne;
    nrmclr(ne.matrix.data(), ne.rhs.data(), ne.sumSquares, kN);
    const std::array<int, 3> k{1, 2, 3};
    for (int e = 0; e < 4; ++e) nrmal2(ne.matrix.data(), ne.rhs.data(), rows[e], l[e], w[e], ne.sumSquares, k.data(), 3, kN);
    nrmsym(ne.matrix.data(), kN);
    double sum = 0;
    for (int e = 0; e < 4; ++e) sum += w[e] * l[e] * l[e];
    EXPECT_DOUBLE_EQ(ne.sumSquares, sum);
    for (int i = 1; i <= kN; ++i) {
        double r = 0;
        for (int e = 0; e < 4; ++e) r += w[e] * l[e] * rows[e][i - 1];
        EXPECT_DOUBLE_EQ(ne.rhs[i - 1], r);
        for (int j = 1; j <= kN; ++j) {
            double n = 0;
            for (int e = 0; e < 4; ++e) n += w[e] * rows[e][i - 1] * rows[e][j - 1];
            EXPECT_DOUBLE_EQ(el(ne.matrix, i, j), n) << i << "," << j;
        }
    }
}

TEST(Invert, SymmetricPositiveDefiniteTimesInputIsIdentity) {
    const std::array<double, 9> input{4, 1, 0.5, 1, 3, -0.25, 0.5, -0.25, 2};
    std::array<double, 9> inverse = input;
    ASSERT_TRUE(invert(inverse.data(), kN));
    std::array<double, 9> product{};
    ab(inverse.data(), input.data(), product.data(), kN, kN, kN);
    for (int j = 1; j <= kN; ++j)
        for (int i = 1; i <= kN; ++i) EXPECT_NEAR(el(product, i, j), i == j ? 1.0 : 0.0, 1e-15) << i << "," << j;
}

TEST(Invert, GeneralMatricesWithoutExchanges) {
    std::array<double, 1> one{4.0};
    ASSERT_TRUE(invert(one.data(), 1));
    EXPECT_EQ(one[0], 0.25);

    std::array<double, 9> identity{1, 0, 0, 0, 1, 0, 0, 0, 1};
    ASSERT_TRUE(invert(identity.data(), kN));
    EXPECT_EQ(identity, (std::array<double, 9>{1, 0, 0, 0, 1, 0, 0, 0, 1}));

    // Not symmetric: [[4, 7], [2, 6]] has the inverse [[0.6, -0.7], [-0.2, 0.4]].
    std::array<double, 4> m{4, 2, 7, 6};
    ASSERT_TRUE(invert(m.data(), 2));
    EXPECT_NEAR(m[0], 0.6, 1e-15);
    EXPECT_NEAR(m[1], -0.2, 1e-15);
    EXPECT_NEAR(m[2], -0.7, 1e-15);
    EXPECT_NEAR(m[3], 0.4, 1e-15);

    const std::array<double, 9> input{2, -1, 3, 0.5, 4, 1, 1, 2, 5};
    std::array<double, 9> inverse = input;
    ASSERT_TRUE(invert(inverse.data(), kN));
    std::array<double, 9> product{};
    ab(input.data(), inverse.data(), product.data(), kN, kN, kN);
    for (int j = 1; j <= kN; ++j)
        for (int i = 1; i <= kN; ++i) EXPECT_NEAR(el(product, i, j), i == j ? 1.0 : 0.0, 1e-15) << i << "," << j;
}

TEST(Invert, ZeroPivotIsRefused) {
    std::array<double, 9> zeroFirst{0, 1, 0, 1, 0, 0, 0, 0, 1};  // invertible, but only with an exchange
    EXPECT_FALSE(invert(zeroFirst.data(), kN));
    std::array<double, 9> rankTwo{1, 2, 3, 2, 4, 6, 0, 0, 1};  // second pivot becomes exactly zero
    EXPECT_FALSE(invert(rankTwo.data(), kN));
    std::array<double, 9> empty{};
    EXPECT_FALSE(invert(empty.data(), kN));
}

TEST(Ab, ProductsAndDegenerateShapes) {
    const std::array<double, 9> a{1, 4, 7, 2, 5, 8, 3, 6, 9};  // rows (1 2 3), (4 5 6), (7 8 9)
    const std::array<double, 3> x{1, 0, -1};
    std::array<double, 3> y{99, 99, 99};
    ab(a.data(), x.data(), y.data(), 3, 3, 1);
    EXPECT_EQ(y, (std::array<double, 3>{-2, -2, -2}));

    // 2 × 3 times 3 × 2.
    const std::array<double, 6> p{1, 0, 2, 1, 0, 3};  // rows (1 2 0), (0 1 3)
    const std::array<double, 6> q{1, 2, 3, 4, 5, 6};  // columns (1 2 3), (4 5 6)
    std::array<double, 4> d{};
    ab(p.data(), q.data(), d.data(), 2, 3, 2);
    EXPECT_EQ(d, (std::array<double, 4>{5, 11, 14, 23}));

    std::array<double, 3> untouched{5, 5, 5};
    ab(a.data(), x.data(), untouched.data(), 0, 3, 1);
    ab(a.data(), x.data(), untouched.data(), 3, 3, 0);
    EXPECT_EQ(untouched, (std::array<double, 3>{5, 5, 5}));
    ab(a.data(), x.data(), untouched.data(), 3, 0, 1);
    EXPECT_EQ(untouched, (std::array<double, 3>{0, 0, 0}));
}

TEST(Innerp, SumOfSquares) {
    const std::array<double, 3> v{3, 0, 4};
    double r = -1;
    innerp(v.data(), 3, r);
    EXPECT_EQ(r, 25.0);
    innerp(v.data(), 0, r);
    EXPECT_EQ(r, 0.0);
}

TEST(Writem, FourValuesToALineRowByRow) {
    captureOutput();
    const std::array<double, 2> v{1.5, -0.25};
    writev(v.data(), 2);
    const std::array<double, 10> m{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};  // 2 rows, 5 columns
    writem(m.data(), 2, 5);
    EXPECT_EQ(listingText(), "     1.50000000000000000000E+00\n"
                             "    -2.50000000000000000000E-01\n"
                             "   1.0000000000E+00  3.0000000000E+00  5.0000000000E+00  7.0000000000E+00\n"
                             "   9.0000000000E+00\n"
                             "   2.0000000000E+00  4.0000000000E+00  6.0000000000E+00  8.0000000000E+00\n"
                             "   1.0000000000E+01\n");
}

}  // namespace
}  // namespace varno
