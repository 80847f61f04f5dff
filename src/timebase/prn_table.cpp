#include "textio/textio.h"
#include "timebase/timebase.h"

namespace varno {

namespace {

constexpr int kStopBadSlot = 74358;

SatIndex table;

}  // namespace

const SatIndex& runSatellites() { return table; }

void newprn() { table.clear(); }

void numprn(int& n) { n = table.size(); }

bool getprn(SatId sat, int& slot) {
    const int position = table.find(sat);
    slot = position >= 0 ? position + 1 : table.size() + 1;
    return position >= 0;
}

bool putprn(SatId sat, int& slot) {
    int found = 0;
    if (getprn(sat, found)) {
        slot = found;
        return false;
    }
    slot = 0;
    if (sat.system == GnssSystem::gps && table.count(GnssSystem::gps) >= kMaxGpsSatellites) return false;
    table.add(sat);
    return true;
}

bool delprn(SatId sat, int& n) {
    const bool held = table.remove(sat);
    n = table.size();
    return held;
}

SatId invprn(int slot) {
    if (slot < 1 || slot > table.size()) stopRun(kStopBadSlot);
    return table.at(slot - 1);
}

}  // namespace varno
