// Hand-built orbit tables for the model tests: satellites given by a function of time, tabulated on a grid, so
// that no test depends on an orbit file.
#pragma once

#include <array>
#include <functional>
#include <vector>

#include "orbit/orbit.h"
#include "timebase/timebase.h"

namespace varno::test {

// Position (m) and clock (s) of one satellite at time t.
struct SatelliteState {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    double clock = 0.0;
};
using SatelliteModel = std::function<SatelliteState(int slot, double t)>;

// Empties the PrnTable and enters `prns` in slots 1, 2, ...
inline void setPrns(const std::vector<int>& prns) {
    newprn();
    for (int prn : prns) {
        int slot = 0;
        putprn(prn, slot);
    }
}

// An orbit table of `epochs` epochs from `firstTime` every `interval` seconds for `slots` satellites, filled from
// `model` at the grid epochs, with the layout and interpolation constants a loaded table carries.
inline OrbitTable makeOrbit(int slots, double firstTime, double interval, int epochs, const SatelliteModel& model) {
    OrbitTable table;
    const int n = epochs;
    table.epochCount = n;
    table.data.assign(static_cast<size_t>(n * (1 + 4 * slots)), 0.0);
    table.timeBase = 1;
    table.xBase = n + 1;
    table.yBase = table.xBase + n * slots;
    table.zBase = table.yBase + n * slots;
    table.clockBase = table.zBase + n * slots;
    for (int k = 1; k <= n; ++k) {
        const double t = firstTime + (k - 1) * interval;
        table.at(table.timeBase + k - 1) = t;
        for (int s = 1; s <= slots; ++s) {
            const SatelliteState state = model(s, t);
            const int offset = (s - 1) * n + (k - 1);
            table.at(table.xBase + offset) = state.x;
            table.at(table.yBase + offset) = state.y;
            table.at(table.zBase + offset) = state.z;
            table.at(table.clockBase + offset) = state.clock;
        }
    }
    table.firstTime = firstTime;
    table.lastTime = firstTime + (n - 1) * interval;
    table.interval = interval;
    table.lastWindowStart = n - 8;
    table.lastWindowTime = firstTime + (n - 9) * interval;
    table.halfWindow = 4;
    table.weights = {1680.0, -210.0, 60.0, -30.0, 24.0, -30.0, 60.0, -210.0, 1680.0};
    return table;
}

}  // namespace varno::test
