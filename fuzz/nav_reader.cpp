// The navigation file reader (RINEX 2, 3 and 4, plain or compressed), then every satellite's state from the pool
// at a few times around its records, as a run asks for them.
#include "broadcast/broadcast.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace varno;
    fuzz::freshState();
    const std::string path = fuzz::inputFile("brdc.nav", data, size);
    fuzz::guarded([&] {
        TextFile file(path);
        NavPool pool;
        readNavigation(file, pool);
        if (pool.recordCount() == 0) return;
        int mjd = 0;
        double seconds = 0.0;
        mjdOfGpsTime(pool.firstToe(), mjd, seconds);
        const BroadcastOrbit orbit(pool, mjd);
        for (SatId sat : orbit.satellites()) {
            for (double t = seconds - 3600.0; t <= seconds + 7200.0; t += 1800.0) {
                SatelliteState state;
                OrbitMiss miss = OrbitMiss::none;
                orbit.state(sat, t + 0.075, t, state, miss);
            }
        }
    });
    return 0;
}
