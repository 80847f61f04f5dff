#include <algorithm>
#include <string>

#include "textio/textio.h"
#include "timebase/timebase.h"

namespace varno {

namespace {

constexpr int kStopBadSlot = 74358;

SatIndex table;
SystemSet systems = kGpsOnly;

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

void setRunSystems(const SystemSet& chosen) { systems = chosen; }

const SystemSet& runSystems() { return systems; }

bool letteredNames() { return systems != kGpsOnly; }

std::string satelliteName(SatId sat) { return letteredNames() ? sat.text() : std::to_string(sat.number); }

std::string satelliteField(SatId sat, int width) {
    if (!letteredNames()) return fmtI(sat.number, width);
    const std::string text = sat.text();
    const std::size_t w = static_cast<std::size_t>(std::max(width, 0));
    return text.size() >= w ? text : std::string(w - text.size(), ' ') + text;
}

SatId invprn(int slot) {
    if (slot < 1 || slot > table.size()) stopRun(kStopBadSlot);
    return table.at(slot - 1);
}

}  // namespace varno
