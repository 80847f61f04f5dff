// The cost of a satellite state from broadcast ephemerides against one interpolated in a tabulated orbit: the same
// satellites at the same signal times (a day of 1 Hz epochs, each satellite asked 12 times an epoch as a run asks:
// two receivers, six passes), side by side in one run.
// Usage: varno-orbit-bench ORBIT.SP3 NAV... (a real data set's orbit and the navigation files it was made from).
#include <algorithm>
#include <chrono>
#include <memory>
#include <cstdio>
#include <deque>
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
        std::vector<SatId> sats;
        for (int prn = 1; prn <= kMaxGpsSatellites; ++prn) sats.push_back(SatId::gps(prn));
        const std::unique_ptr<OrbitSource> table =
            loadSp3Orbit(files, span.jd0, sats, false, span.epochs, span.start, span.end);
        sats = table->satellites();
        NavPool pool;
        std::deque<TextFile> navs;
        for (int k = 2; k < argc; ++k) readNavigation(navs.emplace_back(argv[k]), pool);
        const BroadcastOrbit orbit(pool, span.jd0);
        // Every satellite of the table at every second of the span that both orbits cover.
        const double from = std::max(table->firstTime(), orbit.firstTime()) + 3600.0;
        const double to = std::min(table->lastTime(), orbit.lastTime()) - 3600.0;
        double sums[2] = {0.0, 0.0};
        long calls = 0;
        Clock::time_point marks[3];
        marks[0] = Clock::now();
        for (int which = 0; which < 2; ++which) {
            const OrbitSource& source = which == 0 ? *table : static_cast<const OrbitSource&>(orbit);
            for (double t = from; t < to; t += 1.0) {
                for (SatId sat : sats) {
                    for (int k = 0; k < kAsked; ++k) {
                        SatelliteState s;
                        OrbitMiss miss = OrbitMiss::none;
                        if (source.state(sat, t - kTravel - 1e-6 * k, t, s, miss)) sums[which] += s.position[0];
                        calls += which == 0 ? 1 : 0;
                    }
                }
            }
            marks[which + 1] = Clock::now();
        }
        const double a = seconds(marks[0], marks[1]), b = seconds(marks[1], marks[2]);
        std::printf("%ld states: tabulated %.3f s (%.0f ns each), broadcast %.3f s (%.0f ns each), ratio %.2f\n",
                    calls, a, 1e9 * a / calls, b, 1e9 * b / calls, b / a);
        return sums[0] == sums[1] ? 3 : 0;  // keeps both loops from being optimised away
    } catch (const InputError& error) {
        std::fprintf(stderr, "varno-orbit-bench: %s\n", error.what());
        return 2;
    }
}
