// The station files: `pos` (record pairs of precise positions) and `off` (antenna offsets), each fuzzed with the
// other one fixed, through the lookups and the plausibility checks that follow them. Which file is fuzzed is
// chosen at build time (VARNO_FUZZ_OFF: the offset file).
#include "fuzz_support.h"
#include "station/station.h"

namespace {

[[maybe_unused]] const char kPos[] =
    "PT01  *80*0001VARNO-SIM POINT 1             38551741332N077035804928W\n"
    "PT01  *86*0001                               0052318\n"
    "PT02  *80*0002VARNO-SIM POINT 2             38555265519N077024837725W\n"
    "PT02  *86*0002                               0062568\n";
[[maybe_unused]] const char kOff[] =
    "PT01    1.4210    0.0000    0.0000    0.0000\n"
    "PT02    1.6305    0.0000    0.0012   -0.0008\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace varno;
    fuzz::freshState();
#ifdef VARNO_FUZZ_OFF
    const std::string posPath = fuzz::inputFile("pos", reinterpret_cast<const uint8_t*>(kPos), sizeof kPos - 1);
    const std::string offPath = fuzz::inputFile("off", data, size);
#else
    const std::string posPath = fuzz::inputFile("pos", data, size);
    const std::string offPath = fuzz::inputFile("off", reinterpret_cast<const uint8_t*>(kOff), sizeof kOff - 1);
#endif
    fuzz::guarded([&] {
        TextFile pos(posPath);
        StationPair pair;
        pair.p1Marker = {1112000.0, -4842000.0, 3985000.0};  // header positions, used where pos has none
        pair.p2Marker = {1113000.0, -4841000.0, 3985500.0};
        lodpos(pos, pair, "PT01", "PT02");
        getoff(pos, pair, "PT01", "PT02", offPath);
    });
    return 0;
}
