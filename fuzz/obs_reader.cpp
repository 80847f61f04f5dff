// The observation readers (RINEX 2, 3 and 4, plain, compressed or compact): the scan of the whole file, then the
// in-step epoch reader over the span the scan found.
#include "fuzz_support.h"
#include "rinex/rinex.h"
#include "test_run.h"

namespace {

constexpr int kMaxEpochs = 400;  // epochs asked of the reader per input: enough to pass every record kind

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace varno;
    fuzz::freshState();
    testRun.jd0 = setjd0(2006, 8, 26);
    const std::string path = fuzz::inputFile("point.rnx", data, size);
    fuzz::guarded([&] {
        TextFile file(path);
        ObsFileSummary summary;
        oscan(file, testRun.jd0, testSats, summary);
        int satellites = 0;
        numprn(testSats, satellites);
        skipHeader(file);
        EpochRecord record;
        const double step = summary.interval > 0 ? summary.interval : 30.0;
        double t = summary.firstEpoch;
        for (int k = 0; k < kMaxEpochs && t <= summary.lastEpoch; ++k, t += step) {
            oget(file, summary, testSats, satellites, t, record);
            if (record.syncState == 2) break;
        }
    });
    return 0;
}
