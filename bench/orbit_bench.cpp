// The cost of a satellite state from broadcast ephemerides against one interpolated in a tabulated orbit: the same
// satellites at the same signal times (a day of 1 Hz epochs, each satellite asked 12 times an epoch as a run asks:
// two receivers, six passes), side by side in one run.
// Usage: varno-orbit-bench ORBIT.SP3 NAV... (a real data set's orbit and the navigation files it was made from).
#include <chrono>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "broadcast/broadcast.h"
#include "orbit/orbit.h"
#include "timebase/timebase.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kTravel = 0.075;  // s, about a signal's travel time
constexpr int kAsked = 12;         // times a satellite's state is asked at an epoch: two receivers, six passes

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

}  // namespace

int main(int argc, char** argv) {
    using namespace varno;
    if (argc < 3) {
        std::fprintf(stderr, "usage: varno-orbit-bench ORBIT.SP3 NAV...\n");
        return 2;
    }
    try {
        TextFile sp3(argv[1]);
        std::vector<TextFile*> files{&sp3};
        const OrbitSpan span = orbspn(files);
        sp3.rewind();
        std::vector<SatId> wanted;
        for (int prn = 1; prn <= 32; ++prn) wanted.push_back(SatId::gps(prn));
        const std::unique_ptr<OrbitSource> table = loadSp3Orbit(files, wanted, span.epochs, span.start, span.end);
        const std::vector<SatId> sats = table->satellites();
        NavPool pool;
        std::deque<TextFile> navs;
        for (int k = 2; k < argc; ++k) readNavigation(navs.emplace_back(argv[k]), pool);
        const BroadcastOrbit orbit(pool, jd0());
        // Every satellite of the table at every second of the span that both orbits cover.
        const double from = table->firstTime() + 4 * span.interval, to = table->lastTime() - 4 * span.interval;
        double sumTable = 0.0, sumBroadcast = 0.0;
        long calls = 0;
        const auto timeSource = [&](const OrbitSource& source, double& sum) {
            for (double t = from; t < to; t += 1.0) {
                for (const SatId sat : sats) {
                    for (int k = 0; k < kAsked; ++k) {
                        SatelliteState s;
                        OrbitMiss miss = OrbitMiss::none;
                        if (source.state(sat, t - kTravel - 1e-6 * k, t, s, miss)) sum += s.position[0];
                        ++calls;
                    }
                }
            }
        };
        const Clock::time_point t0 = Clock::now();
        timeSource(*table, sumTable);
        const Clock::time_point t1 = Clock::now();
        timeSource(orbit, sumBroadcast);
        calls /= 2;
        const Clock::time_point t2 = Clock::now();
        const double a = seconds(t0, t1), b = seconds(t1, t2);
        std::printf("%ld states: tabulated %.3f s (%.0f ns each), broadcast %.3f s (%.0f ns each), ratio %.2f\n",
                    calls, a, 1e9 * a / calls, b, 1e9 * b / calls, b / a);
        return sumTable == sumBroadcast ? 3 : 0;  // keeps both loops from being optimised away
    } catch (const InputError& error) {
        std::fprintf(stderr, "varno-orbit-bench: %s\n", error.what());
        return 2;
    }
}
