// Hand-built orbit tables for the model tests: satellites given by a function of time, tabulated on a grid, so
// that no test depends on an orbit file.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "orbit/orbit.h"
#include "timebase/timebase.h"
#include "test_run.h"

namespace varno::test {

// Position (m) and clock (s) of one satellite at time t.
struct ModelState {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    double clock = 0.0;
};
using SatelliteModel = std::function<ModelState(int slot, double t)>;

// Empties the PrnTable and enters `prns` in slots 1, 2, ...
inline void setPrns(const std::vector<int>& prns) {
    newprn(testSats);
    for (int prn : prns) {
        int slot = 0;
        putprn(testSats, SatId::gps(prn), slot);
    }
}

// The orbit of a test: converts to the source it holds.
struct TestOrbit {
    std::unique_ptr<OrbitSource> source;
    operator const OrbitSource&() const { return *source; }
};

// An orbit of `epochs` epochs from `firstTime` every `interval` seconds for the satellites of PrnTable slots
// 1..`slots`, tabulated from `model` at the grid epochs and interpolated as a loaded orbit is.
inline TestOrbit makeOrbit(int slots, double firstTime, double interval, int epochs, const SatelliteModel& model) {
    std::vector<SatId> sats;
    for (int s = 1; s <= slots; ++s) sats.push_back(invprn(testSats, s));
    std::vector<varno::SatelliteState> states;
    for (int k = 1; k <= epochs; ++k) {
        const double t = firstTime + (k - 1) * interval;
        for (int s = 1; s <= slots; ++s) {
            const ModelState state = model(s, t);
            states.push_back({{state.x, state.y, state.z}, state.clock});
        }
    }
    return TestOrbit{tabulatedOrbit(sats, firstTime, interval, epochs, states)};
}

}  // namespace varno::test
