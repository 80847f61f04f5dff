#include <cmath>
#include <limits>
#include <vector>

#include "orbit/orbit.h"
#include "orbit/orbit_table.h"
#include "test_support.h"

namespace varno {
namespace {

constexpr double kFirst = 85500.0;
constexpr double kInterval = 900.0;

// A loaded table of `epochs` epochs and `slots` satellites on the grid kFirst + (k - 1)·kInterval, every
// quantity of slot s at epoch k given by value(s, k, quantity 0..3).
template <typename F>
OrbitTable makeTable(int epochs, int slots, F value) {
    OrbitTable t;
    t.epochCount = epochs;
    t.data.assign(static_cast<size_t>(epochs * (1 + 4 * slots)), 0.0);
    t.xBase = epochs + 1;
    t.yBase = t.xBase + slots * epochs;
    t.zBase = t.yBase + slots * epochs;
    t.clockBase = t.zBase + slots * epochs;
    int bases[4] = {t.xBase, t.yBase, t.zBase, t.clockBase};
    for (int k = 1; k <= epochs; ++k) {
        t.at(k) = kFirst + (k - 1) * kInterval;
        for (int s = 1; s <= slots; ++s) {
            for (int q = 0; q < 4; ++q) t.at(bases[q] + (s - 1) * epochs + (k - 1)) = value(s, k, q);
        }
    }
    t.firstTime = kFirst;
    t.lastTime = kFirst + (epochs - 1) * kInterval;
    t.interval = kInterval;
    t.lastWindowStart = epochs - 8;
    t.lastWindowTime = kFirst + (epochs - 9) * kInterval;
    itrini(t);
    return t;
}

// Rough, not polynomial: every window gives a different answer.
double rough(int s, int k, int q) { return 2e7 * std::sin(0.9 * k + s) + 1e5 * q + (k % 3) * 1234.5; }

double poly8(double u) {
    const double c[9] = {1.5e7, -2.1e6, 3.3e5, -4.0e4, 2.2e3, -1.1e2, 3.5, -0.21, 0.0123};
    double v = 0.0;
    for (int i = 8; i >= 0; --i) v = v * u + c[i];
    return v;
}

TEST(Iterp9, NodeWithin1em13ReturnsTheValueItself) {
    const std::array<double, 9> w{1680, -210, 60, -30, 24, -30, 60, -210, 1680};
    const double v[9] = {0.1, 7.3, -2.2, 1e7 / 3.0, 5.5, 6.0 / 7.0, 1.25, 9.75, -4.0};
    double r = 0.0;
    iterp9(3.0 + 9e-14, v, w, r);
    EXPECT_EQ(r, v[3]);
    iterp9(8.0, v, w, r);
    EXPECT_EQ(r, v[8]);
    iterp9(3.0 + 1e-11, v, w, r);
    EXPECT_NE(r, v[3]);
    EXPECT_NEAR(r, v[3], 1e-2);
    // Halves away from zero only decide the node; a node outside the window stops the run.
    EXPECT_STOP(iterp9(-1.0 + 5e-14, v, w, r), 88998);
    EXPECT_STOP(iterp9(9.0, v, w, r), 88998);
    EXPECT_STOP(iterp9(1e300, v, w, r), 88998);
}

// The tables below carry G11 in column 1 and G06 in column 2.
int columnOf(int prn) { return prn == 11 ? 1 : 2; }
bool oterp(int prn, double t, const OrbitTable& table, double& x, double& y, double& z, double& c, int& error) {
    return oterp2(columnOf(prn), t, table, x, y, z, c, error);
}

class OterpTest : public ::testing::Test {};

TEST_F(OterpTest, TabulatedEpochsGiveTheTabulatedValues) {
    OrbitTable t = makeTable(20, 2, rough);
    for (int k : {1, 2, 5, 10, 11, 16, 19, 20}) {
        double x = 0, y = 0, z = 0, c = 0;
        int error = -1;
        ASSERT_TRUE(oterp(6, kFirst + (k - 1) * kInterval, t, x, y, z, c, error));
        EXPECT_EQ(error, 0);
        EXPECT_EQ(x, rough(2, k, 0));
        EXPECT_EQ(y, rough(2, k, 1));
        EXPECT_EQ(z, rough(2, k, 2));
        EXPECT_EQ(c, rough(2, k, 3));
    }
}

TEST_F(OterpTest, WindowIsTheNearestEpochAndFourEachSidePushedInAtTheEnds) {
    const int n = 20;
    OrbitTable t = makeTable(n, 2, rough);
    // Epoch offset of t from the first epoch, in intervals, and the first epoch of the window expected.
    struct Case {
        double offset;
        int start;
    } cases[] = {{0.3, 1}, {3.49, 1}, {3.6, 1}, {4.6, 2}, {10.5, 8} /* halfway: the later epoch */, {10.4999, 7}, {15.4, 12}, {18.7, 12}};
    for (const Case& c : cases) {
        double time = kFirst + c.offset * kInterval;
        double t0 = kFirst + (c.start - 1) * kInterval;
        double u = (time - t0) * (1.0 / kInterval);
        double values[9];
        for (int j = 0; j < 9; ++j) values[j] = rough(1, c.start + j, 2);
        double expected = 0.0;
        iterp9(u, values, t.weights, expected);
        double x = 0, y = 0, z = 0, clock = 0;
        int error = -1;
        ASSERT_TRUE(oterp(11, time, t, x, y, z, clock, error));
        EXPECT_EQ(z, expected) << "offset " << c.offset;
    }
}

TEST_F(OterpTest, SmoothOrbitIsReproducedOverTheWholeSpan) {
    // A degree-8 polynomial in time is reproduced by every window.
    OrbitTable t = makeTable(15, 2, [](int s, int k, int q) { return poly8(k - 1.0) * (q + 1) * s * 1e-1; });
    for (double offset = 0.0; offset <= 14.0; offset += 0.37) {
        double x = 0, y = 0, z = 0, c = 0;
        int error = 0;
        ASSERT_TRUE(oterp(6, kFirst + offset * kInterval, t, x, y, z, c, error));
        EXPECT_NEAR(x, poly8(offset) * 0.2, 1e-8 * std::fabs(poly8(offset))) << offset;
        EXPECT_NEAR(c, poly8(offset) * 0.8, 1e-8 * std::fabs(poly8(offset))) << offset;
    }
}

TEST_F(OterpTest, FailuresLeaveTheOutputsUntouched) {
    // Slot 2 (PRN 6) has no position at epoch 1, only later.
    OrbitTable t = makeTable(9, 2, [](int s, int k, int q) { return (s == 2 && k == 1) ? 0.05 : rough(s, k, q); });
    double x = 1, y = 2, z = 3, c = 4;
    int error = 0;
    auto untouched = [&] { return x == 1 && y == 2 && z == 3 && c == 4; };

    EXPECT_FALSE(oterp(6, kFirst + 900, t, x, y, z, c, error));
    EXPECT_EQ(error, 2);
    EXPECT_FALSE(oterp(11, kFirst - 1e-06, t, x, y, z, c, error));
    EXPECT_EQ(error, 3);
    EXPECT_FALSE(oterp(11, t.lastTime + 1e-06, t, x, y, z, c, error));
    EXPECT_EQ(error, 3);
    EXPECT_FALSE(oterp(11, std::numeric_limits<double>::quiet_NaN(), t, x, y, z, c, error));
    EXPECT_EQ(error, 3);
    EXPECT_TRUE(untouched());

    EXPECT_TRUE(oterp(11, t.lastTime, t, x, y, z, c, error));
    EXPECT_EQ(x, rough(1, 9, 0));
}

TEST(TabulatedOrbit, AnswersForItsSatellitesAsTheTableDoesAndMissesTheOthers) {
    std::vector<SatelliteState> states;
    for (int k = 1; k <= 10; ++k) {
        for (int s = 1; s <= 2; ++s) {
            states.push_back({{rough(s, k, 0), rough(s, k, 1), rough(s, k, 2)}, rough(s, k, 3)});
        }
    }
    const auto orbit = tabulatedOrbit({SatId::gps(11), SatId::gps(6)}, kFirst, kInterval, 10, states);
    OrbitTable t = makeTable(10, 2, rough);
    EXPECT_EQ(orbit->satellites(), (std::vector<SatId>{SatId::gps(6), SatId::gps(11)}));
    EXPECT_EQ(orbit->lastTime(), t.lastTime);
    const double time = kFirst + 4.3 * kInterval;
    SatelliteState got;
    OrbitMiss miss = OrbitMiss::none;
    ASSERT_TRUE(orbit->state(SatId::gps(6), time, time, got, miss));
    double x = 0, y = 0, z = 0, c = 0;
    int error = 0;
    ASSERT_TRUE(oterp(6, time, t, x, y, z, c, error));
    EXPECT_EQ(got.position, (std::array<double, 3>{x, y, z}));
    EXPECT_EQ(got.clock, c);
    std::array<double, 3> a{}, b{};
    ASSERT_TRUE(orbit->positions(SatId::gps(11), time, SatId::gps(6), time + 0.07, time, a, b, miss));
    std::array<double, 3> a1{}, b1{};
    ASSERT_TRUE(orbit->position(SatId::gps(11), time, time, a1, miss));
    ASSERT_TRUE(orbit->position(SatId::gps(6), time + 0.07, time, b1, miss));
    EXPECT_EQ(a, a1);
    EXPECT_EQ(b, b1);
    EXPECT_FALSE(orbit->state(SatId::gps(9), time, time, got, miss));
    EXPECT_EQ(miss, OrbitMiss::notCarried);
    EXPECT_FALSE(orbit->positions(SatId::gps(6), time, SatId::gps(9), time, time, a, b, miss));
    EXPECT_EQ(miss, OrbitMiss::notCarried);
    EXPECT_FALSE(orbit->position(SatId::gps(6), t.lastTime + 1.0, time, a, miss));
    EXPECT_EQ(miss, OrbitMiss::outsideSpan);
}

TEST_F(OterpTest, SlotWithoutAColumnStops) {
    OrbitTable t = makeTable(9, 2, rough);
    double x = 0, y = 0, z = 0, c = 0;
    int error = 0;
    EXPECT_STOP(oterp2(3, kFirst, t, x, y, z, c, error), 74358);
    EXPECT_STOP(oterp2(0, kFirst, t, x, y, z, c, error), 74358);
    EXPECT_STOP(oterp2(1, kFirst, OrbitTable{}, x, y, z, c, error), 74358);
}

}  // namespace
}  // namespace varno
