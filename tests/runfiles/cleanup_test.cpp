#include <memory>
#include <string>
#include <vector>

#include "runfiles/runfiles.h"
#include "test_support.h"

namespace varno {
namespace {

// A day of every system holds a scratch file per satellite at once: 32 GPS and up to 99 of each of four more
// systems, with the gather file, the scratch directory and the outputs.
TEST(RemoveOnSignal, HoldsEveryScratchFileOfARunOfEverySystemAtOnce) {
    std::vector<std::unique_ptr<RemoveOnSignal>> guards;
    for (int k = 0; k < 32 + 4 * 99 + 16; ++k) {
        guards.push_back(std::make_unique<RemoveOnSignal>());
        ASSERT_NO_THROW(guards.back()->hold("/nonexistent/ZZ-" + std::to_string(k))) << k;
    }
}

}  // namespace
}  // namespace varno
