// varno-sim: time-correlated code errors, one first-order Gauss-Markov process per receiver and satellite.
//
// A unit process u is started in its stationary distribution when the satellite is first observed and updated
// exactly over the time since its previous value: u' = phi u + sqrt(1 - phi^2) w, phi = exp(-dt / tau), w a
// standard normal draw. The error is sigma(e) u with sigma(e) = sqrt(A^2 + (B / sin e)^2), so that it has that
// standard deviation at every elevation, and the statistics do not depend on the sampling interval.

#include "sim.h"

namespace sim {

CorrelatedCodeError::CorrelatedCodeError(const Scenario& sc, int receiver)
    : seed_(sc.seed), receiver_(receiver), tau_(sc.rx[receiver].corrTime), a_(sc.rx[receiver].corrA),
      b_(sc.rx[receiver].corrB) {}

bool CorrelatedCodeError::on() const { return tau_ > 0 && (a_ > 0 || b_ > 0); }

double CorrelatedCodeError::at(char system, int prn, double t, double elevDeg) {
    if (!on()) return 0.0;
    // Each satellite draws from its own stream, so a process does not depend on which others are seen.
    const int key = static_cast<int>(static_cast<unsigned char>(system)) * 1000 + prn;
    auto it = states_.find(key);
    if (it == states_.end()) {
        const uint64_t stream = 0x6D000000ULL + 0x10000ULL * static_cast<uint64_t>(receiver_) + static_cast<uint64_t>(key);
        it = states_.emplace(key, State{Rng(streamSeed(seed_, stream)), t, 0.0}).first;
        it->second.u = it->second.rng.gauss();
    } else {
        State& s = it->second;
        const double phi = std::exp(-std::max(0.0, t - s.t) / tau_);
        s.u = phi * s.u + std::sqrt(1.0 - phi * phi) * s.rng.gauss();
        s.t = t;
    }
    const double grow = b_ / std::sin(std::max(elevDeg, 0.1) / kDegPerRad);
    return std::sqrt(a_ * a_ + grow * grow) * it->second.u;
}

}  // namespace sim
