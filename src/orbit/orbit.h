// Precise orbit: the SP3 file loaded into a table of positions and clocks, and interpolation in it.
#pragma once

#include <array>
#include <vector>

#include "textio/textio.h"

namespace varno {

// The loaded orbit window. `data` is one flat array, element k stored at data[k - 1] (elements numbered from 1):
// the N epoch times, then the x, y, z and clock blocks, each N epochs × S slots with the epoch index fastest
// (x of slot s at epoch k is element xBase + (s − 1)·N + (k − 1)). Metres and seconds; times in jts seconds.
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
};

// Loads the orbit file (open and positioned at its first line) for the window [start, stop] of `epochs` epochs
// (both ends on the orbit's own grid). Removes from the PrnTable every satellite missing from the header list,
// with one listing line "lodorb reset number of sats ==> " + I3 per removal; `satCount` comes back as the count
// after pruning. The table is sized from N and S. Stops: 78439, 34589, 89756, 89757; 89758 (fewer than 9
// epochs: "orbit window has fewer than 9 epochs -- fatal"), 89759 (epochs missing or off the grid: "orbit epochs
// missing or off grid -- fatal").
void lodorb(TextFile& file, OrbitTable& table, int& satCount, int epochs, double start, double stop);
// Stores one record's four values at epoch row `row`, column `slot`.
void lodor2(OrbitTable& table, int row, int slot, double x, double y, double z, double clock);
// True when `value` is one of the first `count` entries of `list`.
bool scanbf(int value, const int* list, int count);
// Sets the interpolation constants of a loaded table (weights and half window).
void itrini(OrbitTable& table);

// Position (m, earth-fixed) and clock offset (s) of satellite `prn` at time t, by 9-point Lagrange interpolation.
// False with `error` 1 (PRN not in the PrnTable), 2 (no orbit: position at epoch 1 within 0.1 m of the origin) or
// 3 (t outside [firstTime, lastTime], or not a number); the outputs are then untouched. Exact at tabulated epochs.
// The table must come from lodorb; a slot the table has no column for stops the run with code 74358.
bool oterp(int prn, double t, const OrbitTable& table, double& x, double& y, double& z, double& clock, int& error);
// The same once the satellite's slot is known.
bool oterp2(int slot, double t, const OrbitTable& table, double& x, double& y, double& z, double& clock, int& error);
// oterp2 without the clock, for callers that use only the position: the same x, y, z, errors and stops.
bool oterpPosition(int slot, double t, const OrbitTable& table, double& x, double& y, double& z, int& error);
// Lagrange polynomial through (j, v[j]), j = 0..8, at u. A node within 1e-13 returns v exactly (a node outside
// 0..8 stops the run with code 88998).
void iterp9(double u, const double* values, const std::array<double, 9>& weights, double& result);

}  // namespace varno
