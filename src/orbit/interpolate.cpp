// Satellite position and clock at any time of the loaded span: the 9-epoch window on the table's grid and the
// Lagrange polynomial through it in barycentric form with precomputed denominators.
#include <cmath>
#include <cstddef>

#include "orbit/orbit_table.h"
#include "textio/textio.h"

namespace varno {

namespace {

constexpr int kHalfWindow = 4;
constexpr int kWindowSize = 9;
// Product of (j - i) over the other eight nodes, divided by 24, for nodes j = 0..8.
constexpr std::array<double, 9> kWeights{1680.0, -210.0, 60.0, -30.0, 24.0, -30.0, 60.0, -210.0, 1680.0};
constexpr double kOneTwentyFourth = 0.041666666666666664;
constexpr double kNodeTolerance = 1e-13;
constexpr double kTruncationLimit = 2147483648.0;  // 2^31
constexpr double kNoOrbitSquared = 0.01;  // m², a position at epoch 1 this close to the origin means no orbit

constexpr int kErrorNoOrbit = 2;
constexpr int kErrorOutsideSpan = 3;

constexpr int kStopNodeOutsideWindow = 88998;
constexpr int kStopBadSlot = 74358;

bool hasColumn(const OrbitTable& table, int slot) {
    int n = table.epochCount;
    if (n < kWindowSize || !(table.interval > 0.0) || slot < 1) return false;
    return static_cast<std::size_t>(n) * (1 + 4 * static_cast<std::size_t>(slot)) <= table.data.size();
}

// The nearest whole number to u, halves away from zero, as a double. For the values the window produces
// (0 <= u < 2^31) it is found by truncation, which is exact there and gives what std::round gives, without the
// library call; anything else goes through std::round.
inline double nearestWhole(double u) {
    if (!(u >= 0.0 && u < kTruncationLimit)) return std::round(u);
    const double whole = static_cast<double>(static_cast<long long>(u));
    // Without a jump: the fraction is as good as random, and a mispredicted jump costs more than the addition.
    return whole + static_cast<double>(u - whole >= 0.5);
}

// The parts of the Lagrange formula that do not depend on the values: the nine denominators (u − j)·W_j and the
// product of the (u − j). Each is the double iterp9 computes, in its order of operations.
struct Basis {
    double denominator[kWindowSize];
    double product;
};

// False, with the node in `node`, when u lies within the tolerance of a node; stops 88998 for a node outside
// the window.
[[gnu::always_inline]] inline bool basisAt(double u, const std::array<double, 9>& weights, Basis& basis, int& node) {
    const double k = nearestWhole(u);
    if (std::fabs(u - k) <= kNodeTolerance) {
        if (k < 0.0 || k > 8.0) stopRun(kStopNodeOutsideWindow);
        node = static_cast<int>(k);
        return false;
    }
    double prod = 1.0;
    for (int j = 0; j < kWindowSize; ++j) {
        basis.denominator[j] = (u - static_cast<double>(j)) * weights[static_cast<std::size_t>(j)];
        prod = prod * (u - static_cast<double>(j));
    }
    basis.product = prod;
    return true;
}

// Two quantities side by side: each lane is divided, added and multiplied exactly as a lone double would be.
typedef double Pair __attribute__((vector_size(16)));

// Interpolates x, y, z and (when `clock` is given) the clock through the window starting at element `offset` of
// each block, with one basis for all of them.
[[gnu::always_inline]] inline void interpolateWindow(double u, const OrbitTable& table, int offset, double& x, double& y, double& z,
                       double* clock) {
    const double* xs = &table.data[static_cast<std::size_t>(table.xBase - 1 + offset)];
    const double* ys = &table.data[static_cast<std::size_t>(table.yBase - 1 + offset)];
    const double* zs = &table.data[static_cast<std::size_t>(table.zBase - 1 + offset)];
    const double* cs = &table.data[static_cast<std::size_t>(table.clockBase - 1 + offset)];
    Basis basis;
    int node = 0;
    if (!basisAt(u, table.weights, basis, node)) {
        x = xs[node];
        y = ys[node];
        z = zs[node];
        if (clock != nullptr) *clock = cs[node];
        return;
    }
    Pair sumXY = {0.0, 0.0};
    Pair sumZC = {0.0, 0.0};
    for (int j = 0; j < kWindowSize; ++j) {
        const double d = basis.denominator[j];
        const Pair dd = {d, d};
        const Pair vXY = {xs[j], ys[j]};
        const Pair vZC = {zs[j], clock != nullptr ? cs[j] : 0.0};
        sumXY = sumXY + vXY / dd;
        sumZC = sumZC + vZC / dd;
    }
    const Pair prod = {basis.product, basis.product};
    const Pair third = {kOneTwentyFourth, kOneTwentyFourth};
    const Pair rXY = prod * sumXY * third;
    const Pair rZC = prod * sumZC * third;
    x = rXY[0];
    y = rXY[1];
    z = rZC[0];
    if (clock != nullptr) *clock = rZC[1];
}

// oterp2's tests: false with the error code when the satellite has no orbit or t lies outside the span; otherwise
// the window's first element `offset` (within each block) and u, the time within it in intervals.
[[gnu::always_inline]] inline bool windowOf(int slot, double t, const OrbitTable& table, int& offset, double& u,
                                            int& error) {
    if (!hasColumn(table, slot)) stopRun(kStopBadSlot);
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
    int k = static_cast<int>(nearestWhole((t - table.firstTime) * perInterval));
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
    u = (t - t0) * perInterval;
    offset = column + (s - 1);
    return true;
}

// oterp2; the clock is interpolated only when asked for.
bool interpolateSlot(int slot, double t, const OrbitTable& table, double& x, double& y, double& z, double* clock,
                     int& error) {
    int offset = 0;
    double u = 0.0;
    if (!windowOf(slot, t, table, offset, u, error)) return false;
    interpolateWindow(u, table, offset, x, y, z, clock);
    error = 0;
    return true;
}

}  // namespace

void itrini(OrbitTable& table) {
    table.weights = kWeights;
    table.halfWindow = kHalfWindow;
}

void iterp9(double u, const double* values, const std::array<double, 9>& weights, double& result) {
    Basis basis;
    int node = 0;
    if (!basisAt(u, weights, basis, node)) {
        result = values[node];
        return;
    }
    double sum = 0.0;
    for (int j = 0; j < kWindowSize; ++j) sum = sum + values[j] / basis.denominator[j];
    result = basis.product * sum * kOneTwentyFourth;
}

bool oterp2(int slot, double t, const OrbitTable& table, double& x, double& y, double& z, double& clock,
            int& error) {
    double c = 0.0;
    if (!interpolateSlot(slot, t, table, x, y, z, &c, error)) return false;
    clock = c;
    return true;
}

bool oterpPosition(int slot, double t, const OrbitTable& table, double& x, double& y, double& z, int& error) {
    return interpolateSlot(slot, t, table, x, y, z, nullptr, error);
}

bool oterpPositions(int slotA, double tA, int slotB, double tB, const OrbitTable& table, std::array<double, 3>& a,
                    std::array<double, 3>& b, int& error) {
    int offsetA = 0, offsetB = 0;
    double uA = 0.0, uB = 0.0;
    int errorA = 0, errorB = 0;
    const bool okA = windowOf(slotA, tA, table, offsetA, uA, errorA);
    const bool okB = okA && windowOf(slotB, tB, table, offsetB, uB, errorB);
    const double kA = nearestWhole(uA);
    const double kB = nearestWhole(uB);
    // A failure, or a time on a node, is left to the one-at-a-time path, which has the answers and stops for it.
    if (!okB || std::fabs(uA - kA) <= kNodeTolerance || std::fabs(uB - kB) <= kNodeTolerance) {
        return oterpPosition(slotA, tA, table, a[0], a[1], a[2], error) &&
               oterpPosition(slotB, tB, table, b[0], b[1], b[2], error);
    }
    // Lane 0 is satellite A, lane 1 satellite B: each lane repeats iterp9's operations for its own satellite.
    const Pair u = {uA, uB};
    Pair d[kWindowSize];
    Pair prod = {1.0, 1.0};
    for (int j = 0; j < kWindowSize; ++j) {
        const double w = table.weights[static_cast<std::size_t>(j)];
        const Pair node = {static_cast<double>(j), static_cast<double>(j)};
        d[j] = (u - node) * Pair{w, w};
        prod = prod * (u - node);
    }
    const auto block = [&](int base, int offset) { return &table.data[static_cast<std::size_t>(base - 1 + offset)]; };
    const double* xA = block(table.xBase, offsetA);
    const double* yA = block(table.yBase, offsetA);
    const double* zA = block(table.zBase, offsetA);
    const double* xB = block(table.xBase, offsetB);
    const double* yB = block(table.yBase, offsetB);
    const double* zB = block(table.zBase, offsetB);
    Pair sx = {0.0, 0.0}, sy = {0.0, 0.0}, sz = {0.0, 0.0};
    for (int j = 0; j < kWindowSize; ++j) {
        sx = sx + Pair{xA[j], xB[j]} / d[j];
        sy = sy + Pair{yA[j], yB[j]} / d[j];
        sz = sz + Pair{zA[j], zB[j]} / d[j];
    }
    const Pair third = {kOneTwentyFourth, kOneTwentyFourth};
    const Pair rx = prod * sx * third;
    const Pair ry = prod * sy * third;
    const Pair rz = prod * sz * third;
    a = {rx[0], ry[0], rz[0]};
    b = {rx[1], ry[1], rz[1]};
    error = 0;
    return true;
}

}  // namespace varno
