// The SP3 loader (versions a to d, plain or compressed): the span of the header, then the table over it.
#include "fuzz_support.h"
#include "orbit/orbit.h"
#include "test_run.h"

namespace {

constexpr int kMaxSatellites = 32;
constexpr int kMaxEpochs = 400;  // orbit epochs loaded per input, so that a huge declared count stays cheap

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace varno;
    fuzz::freshState();
    std::vector<SatId> wanted;
    for (int prn = 1; prn <= kMaxSatellites; ++prn) wanted.push_back(SatId::gps(prn));
    const std::string path = fuzz::inputFile("orbit.sp3", data, size);
    fuzz::guarded([&] {
        TextFile file(path);
        std::vector<TextFile*> files{&file};
        const OrbitSpan span = orbspn(files);
        file.rewind();
        const int epochs = std::min(span.epochs, kMaxEpochs);
        if (epochs < 1) return;
        const auto orbit =
            loadSp3Orbit(files, testRun.jd0, wanted, false, epochs, span.start, span.start + (epochs - 1) * span.interval);
        SatelliteState state;
        OrbitMiss miss = OrbitMiss::none;
        const double t = span.start + 0.5 * (epochs - 1) * span.interval;
        orbit->state(SatId::gps(1), t, t, state, miss);
    });
    return 0;
}
