// varno-sim: the differential delay that grows with the baseline, on point 2's code values.
//
// Point 2's code of satellite k at time t gains M(e) (z_p + z_b): M the obliquity factor of a thin shell 350 km
// above a sphere of 6371 km at the satellite's elevation e above point 2, z_p one normal draw for each pass of
// the satellite (a pass ends where point 2 does not see the satellite for more than 900 s), z_b one for each
// block of 7200 s from the start, common to all satellites; Var z_p = Var z_b = (k L)^2 / 2, L the distance of
// the two markers and k the option's ppm. Phases are left alone: the program uses the codes.

#include "sim.h"

namespace sim {

namespace {

constexpr double kShell = 350.0e3, kSphere = 6371.0e3;  // m
constexpr double kPassGap = 900.0, kBlock = 7200.0;    // s
constexpr uint64_t kPassStreams = 0x5E000000ULL, kBlockStream = 0x5EFFFFFFULL;

double obliquity(double elevDeg) {
    const double s = kSphere / (kSphere + kShell) * std::cos(std::max(elevDeg, 0.0) / kDegPerRad);
    return 1.0 / std::sqrt(1.0 - s * s);
}

}  // namespace

SeparationDelay::SeparationDelay(const Scenario& sc, const Geometry& geo, int receiver)
    : seed_(sc.seed), blocks_(streamSeed(sc.seed, kBlockStream)) {
    if (receiver != 1 || !(sc.separationPpm > 0)) return;
    sigma_ = sc.separationPpm * 1e-6 * norm(geo.marker[1] - geo.marker[0]) * std::sqrt(0.5);
}

double SeparationDelay::at(char system, int prn, double t, double elevDeg) {
    if (!on()) return 0.0;
    const int key = static_cast<int>(static_cast<unsigned char>(system)) * 1000 + prn;
    auto it = passes_.find(key);
    if (it == passes_.end()) {
        it = passes_.emplace(key, Pass{Rng(streamSeed(seed_, kPassStreams + static_cast<uint64_t>(key))), t, 0.0}).first;
        it->second.z = sigma_ * it->second.rng.gauss();
    } else if (t - it->second.last > kPassGap) {
        it->second.z = sigma_ * it->second.rng.gauss();
    }
    it->second.last = t;
    // Blocks are met in increasing time; one skipped (no epoch in it) still takes its draw.
    const long block = static_cast<long>(std::floor(t / kBlock));
    while (blockIndex_ < block) {
        blockValue_ = sigma_ * blocks_.gauss();
        ++blockIndex_;
    }
    return obliquity(elevDeg) * (it->second.z + blockValue_);
}

}  // namespace sim
