// A whole run over a small fixed data set with one of its files replaced by the fuzz input: the first byte picks
// the file (point 1, point 2, orbit, pos, off), the rest is its content. Status 3 (an internal error: an
// exception the program does not expect from any input) is a finding.
#include <filesystem>

#include "fuzz_support.h"
#include "run/run.h"

namespace {

const char* const kFiles[] = {"point1.rnx", "point2.rnx", "orbit.sp3", "pos", "off"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace varno;
    if (size == 0) return 0;
    namespace fs = std::filesystem;
    const std::string& dir = fuzz::workDirectory();
    const size_t chosen = data[0] % std::size(kFiles);
    for (size_t k = 0; k < std::size(kFiles); ++k) {
        if (k == chosen) continue;
        fs::copy_file(fs::path(VARNO_FUZZ_RUN_DATA) / kFiles[k], fs::path(dir) / kFiles[k],
                      fs::copy_options::overwrite_existing);
    }
    const std::string replaced = fuzz::inputFile(kFiles[chosen], data + 1, size - 1);
    RunOptions options;
    options.point1 = dir + "/point1.rnx";
    options.point2 = dir + "/point2.rnx";
    options.orbits = {dir + "/orbit.sp3"};
    options.position = dir + "/pos";
    options.offsets = dir + "/off";
    options.outputDirectory = dir + "/out";
    options.quiet = true;
    if (runVarno(options) == 3) std::abort();
    return 0;
}
