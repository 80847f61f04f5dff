// varno-orbit's own reading of precise (SP3) orbits of every system, as an orbit source for comparisons.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "broadcast/broadcast.h"

namespace varno::orbittool {

// SP3 files (versions a to d, every satellite system) tabulated in memory: positions interpolated by a 9-point
// Lagrange polynomial over the tabulated epochs around t, clocks linearly between the two neighbouring epochs.
// Records with a zero position are left out; bad clocks (999999.999999) give no clock (NaN). Times (jts) count
// from 0h of `referenceMjd`, in the files' time system taken as GPS time.
class PreciseOrbit : public OrbitSource {
public:
    // Reads the files (InputError naming file and line for a line that does not read).
    PreciseOrbit(const std::vector<std::string>& paths, int referenceMjd);
    bool state(SatId sat, double t, double epoch, SatelliteState& state, OrbitMiss& miss) const override;
    std::vector<SatId> satellites() const override;
    double firstTime() const override { return times_.empty() ? 0.0 : times_.front(); }
    double lastTime() const override { return times_.empty() ? 0.0 : times_.back(); }

private:
    struct Sample {
        double x, y, z, clock;
        bool present = false;
    };
    std::vector<double> times_;                    // tabulated epochs, increasing (jts)
    std::map<SatId, std::vector<Sample>> samples_;  // per satellite, one per tabulated epoch
    GpsTime reference_;
};

}  // namespace varno::orbittool
