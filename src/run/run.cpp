#include "run/run.h"

#include <iostream>

#include "textio/textio.h"
#include "timebase/timebase.h"

namespace varno {

namespace {

constexpr const char* kBanner = "Pseudorange Program -- L1 only -- 2006aug26";

void runStages() {
    writeListing(freeLine(kBanner));
    TextFile pos(RunFiles::position);
    TextFile obs1(RunFiles::point1);
    TextFile obs2(RunFiles::point2);
    TextFile orbit(RunFiles::orbit);
}

}  // namespace

int runVarno() {
    resetTimebase();
    newprn();
    if (!openListing(RunFiles::listing)) {
        std::cerr << "varno: cannot create " << RunFiles::listing << '\n';
        return 1;
    }
    int status = 0;
    try {
        runStages();
        writeListing(freeLine("End of Processing"));
    } catch (const StopRequest& stop) {
        closeListing();
        writeConsole("STOP " + std::to_string(stop.code));
        status = stop.code & 0xFF;
    } catch (const InputError& error) {
        closeListing();
        std::cerr << "varno: " << error.what() << '\n';
        status = 2;
    }
    closeListing();
    return status;
}

}  // namespace varno
