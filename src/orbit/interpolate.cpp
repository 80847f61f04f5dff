// Satellite position and clock at any time of the loaded span: the 9-epoch window on the table's grid and the
// Lagrange polynomial through it in barycentric form with precomputed denominators.
#include <cmath>
#include <cstddef>

#include "orbit/orbit.h"
#include "textio/textio.h"
#include "timebase/timebase.h"

namespace varno {

namespace {

constexpr int kHalfWindow = 4;
constexpr int kWindowSize = 9;
// Product of (j - i) over the other eight nodes, divided by 24, for nodes j = 0..8.
constexpr std::array<double, 9> kWeights{1680.0, -210.0, 60.0, -30.0, 24.0, -30.0, 60.0, -210.0, 1680.0};
constexpr double kOneTwentyFourth = 0.041666666666666664;
constexpr double kNodeTolerance = 1e-13;
constexpr double kNoOrbitSquared = 0.01;  // m², a position at epoch 1 this close to the origin means no orbit

constexpr int kErrorNotInTable = 1;
constexpr int kErrorNoOrbit = 2;
constexpr int kErrorOutsideSpan = 3;

constexpr int kStopNodeOutsideWindow = 88998;
constexpr int kStopBadSlot = 74358;

// Slots the table has columns for; 0 for a table that cannot hold a 9-epoch window.
int slotsIn(const OrbitTable& table) {
    int n = table.epochCount;
    if (n < kWindowSize || !(table.interval > 0.0)) return 0;
    std::size_t perSlot = 4 * static_cast<std::size_t>(n);
    if (table.data.size() < static_cast<std::size_t>(n)) return 0;
    return static_cast<int>((table.data.size() - static_cast<std::size_t>(n)) / perSlot);
}

}  // namespace

void itrini(OrbitTable& table) {
    table.weights = kWeights;
    table.halfWindow = kHalfWindow;
}

void iterp9(double u, const double* values, const std::array<double, 9>& weights, double& result) {
    // The nearest node is kept as a double, so that any u, however far out, is compared without overflow.
    double k = std::round(u);
    if (std::fabs(u - k) <= kNodeTolerance) {
        if (k < 0.0 || k > 8.0) stopRun(kStopNodeOutsideWindow);
        result = values[static_cast<int>(k)];
        return;
    }
    double sum = 0.0;
    for (int j = 0; j < kWindowSize; ++j) {
        sum = sum + values[j] / ((u - static_cast<double>(j)) * weights[static_cast<std::size_t>(j)]);
    }
    double prod = 1.0;
    for (int j = 0; j < kWindowSize; ++j) prod = prod * (u - static_cast<double>(j));
    result = prod * sum * kOneTwentyFourth;
}

bool oterp2(int slot, double t, const OrbitTable& table, double& x, double& y, double& z, double& clock,
            int& error) {
    if (slot < 1 || slot > slotsIn(table)) stopRun(kStopBadSlot);
    int n = table.epochCount;
    int column = (slot - 1) * n;
    double x1 = table.at(table.xBase + column);
    double y1 = table.at(table.yBase + column);
    double z1 = table.at(table.zBase + column);
    if (!(x1 * x1 + y1 * y1 + z1 * z1 > kNoOrbitSquared)) {
        error = kErrorNoOrbit;
        return false;
    }
    // Written so that a time that is not a number is outside the span too.
    if (!(t >= table.firstTime && t <= table.lastTime)) {
        error = kErrorOutsideSpan;
        return false;
    }
    double perInterval = 1.0 / table.interval;
    int k = static_cast<int>(std::round((t - table.firstTime) * perInterval));
    // The window is the nearest epoch and four on each side, pushed inwards at both ends of the table.
    int s = k - table.halfWindow + 1;
    double t0 = table.firstTime + static_cast<double>(s - 1) * table.interval;
    if (s < 1) {
        s = 1;
        t0 = table.firstTime;
    }
    if (s > table.lastWindowStart) {
        s = table.lastWindowStart;
        t0 = table.lastWindowTime;
    }
    double u = (t - t0) * perInterval;
    int offset = column + (s - 1);
    iterp9(u, &table.data[static_cast<std::size_t>(table.xBase - 1 + offset)], table.weights, x);
    iterp9(u, &table.data[static_cast<std::size_t>(table.yBase - 1 + offset)], table.weights, y);
    iterp9(u, &table.data[static_cast<std::size_t>(table.zBase - 1 + offset)], table.weights, z);
    iterp9(u, &table.data[static_cast<std::size_t>(table.clockBase - 1 + offset)], table.weights, clock);
    error = 0;
    return true;
}

bool oterp(int prn, double t, const OrbitTable& table, double& x, double& y, double& z, double& clock,
           int& error) {
    int slot = 0;
    if (!getprn(prn, slot)) {
        error = kErrorNotInTable;
        return false;
    }
    return oterp2(slot, t, table, x, y, z, clock, error);
}

}  // namespace varno
