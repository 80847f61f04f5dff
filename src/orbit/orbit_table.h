// Internal to src/orbit: the table of positions and clocks behind the precise orbit, its loading and its
// 9-point interpolation. Not part of the interface; the rest of the program sees an OrbitSource.
#pragma once

#include <array>
#include <vector>

#include "gnss/gnss.h"
#include "textio/textio.h"

namespace varno {

// The loaded orbit window. `data` is one flat array, element k stored at data[k - 1] (elements numbered from 1):
// the N epoch times, then the x, y, z and clock blocks, each N epochs × S columns with the epoch index fastest
// (x of column s at epoch k is element xBase + (s − 1)·N + (k − 1)). Metres and seconds; times in jts seconds.
struct OrbitTable {
    std::vector<double> data;
    int epochCount = 0;  // N, also the leading dimension of every block
    int timeBase = 1;
    int xBase = 1;
    int yBase = 1;
    int zBase = 1;
    int clockBase = 1;
    double firstTime = 1e+38;   // smallest epoch time stored
    double lastTime = -1e+38;   // largest epoch time stored
    double interval = 0.0;      // tabulation interval, whole seconds
    int lastWindowStart = 0;    // N − 8
    double lastWindowTime = 0;  // firstTime + (N − 9)·interval
    int halfWindow = 4;
    std::array<double, 9> weights{};  // Lagrange denominators / 24 of the nine nodes

    double& at(int element) { return data[static_cast<size_t>(element - 1)]; }
    double at(int element) const { return data[static_cast<size_t>(element - 1)]; }
    // Sizes `data` for `epochs` epochs and `columns` columns (all zero) and sets the bases.
    void layOut(int epochs, int columns);
};

// Loads the table as loadSp3Orbit describes. `columns` comes in as the wanted satellites and goes out as the
// carried ones, column 1 first; the listing names satellites with their letter when `letteredNames`.
void lodorb(const std::vector<TextFile*>& files, int jd0, OrbitTable& table, std::vector<SatId>& columns,
            bool letteredNames, int epochs, double start, double stop);
// Stores one record's four values at epoch row `row`, column `column`.
void lodor2(OrbitTable& table, int row, int column, double x, double y, double z, double clock);
// True when `value` is one of the first `count` entries of `list`.
bool scanbf(int value, const int* list, int count);
// Sets the interpolation constants of a loaded table (weights and half window).
void itrini(OrbitTable& table);

// Position (m, earth-fixed) and clock offset (s) of the satellite in `column` at time t, by 9-point Lagrange
// interpolation. False with `error` 2 (no orbit: position at epoch 1 within 0.1 m of the origin) or 3 (t outside
// [firstTime, lastTime], or not a number); the outputs are then untouched. Exact at tabulated epochs. A column
// the table does not have stops the run with code 74358.
bool oterp2(int column, double t, const OrbitTable& table, double& x, double& y, double& z, double& clock,
            int& error);
// oterp2 without the clock, for callers that use only the position: the same x, y, z, errors and stops.
bool oterpPosition(int column, double t, const OrbitTable& table, double& x, double& y, double& z, int& error);
// Two oterpPosition calls at once (column A at tA, B at tB): the same doubles. On a failure the error is that of
// the first failing of the two calls, in the order A, B.
bool oterpPositions(int columnA, double tA, int columnB, double tB, const OrbitTable& table,
                    std::array<double, 3>& a, std::array<double, 3>& b, int& error);
// Lagrange polynomial through (j, v[j]), j = 0..8, at u. A node within 1e-13 returns v exactly (a node outside
// 0..8 stops the run with code 88998).
void iterp9(double u, const double* values, const std::array<double, 9>& weights, double& result);

}  // namespace varno
