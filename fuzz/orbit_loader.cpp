// The SP3 loader (versions a to d, plain or compressed): the span of the header, then the table over it.
#include "fuzz_support.h"
#include "orbit/orbit.h"

namespace {

constexpr int kMaxSatellites = 32;
constexpr int kMaxEpochs = 400;  // orbit epochs loaded per input, so that a huge declared count stays cheap

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace varno;
    fuzz::freshState();
    for (int prn = 1; prn <= kMaxSatellites; ++prn) {
        int slot = 0;
        putprn(prn, slot);
    }
    const std::string path = fuzz::inputFile("orbit.sp3", data, size);
    fuzz::guarded([&] {
        TextFile file(path);
        std::vector<TextFile*> files{&file};
        const OrbitSpan span = orbspn(files);
        file.rewind();
        const int epochs = std::min(span.epochs, kMaxEpochs);
        if (epochs < 1) return;
        OrbitTable table;
        int satellites = kMaxSatellites;
        lodorb(files, table, satellites, epochs, span.start, span.start + (epochs - 1) * span.interval);
        itrini(table);
        double x = 0, y = 0, z = 0, clock = 0;
        int error = 0;
        oterp(1, span.start + 0.5 * (epochs - 1) * span.interval, table, x, y, z, clock, error);
    });
    return 0;
}
