#include <algorithm>
#include <string>

#include "gnss/gnss.h"
#include "textio/textio.h"

namespace varno {

namespace {

constexpr int kStopBadSlot = 74358;
}  // namespace

void newprn(SatIndex& table) { table.clear(); }

void numprn(const SatIndex& table, int& n) { n = table.size(); }

bool getprn(const SatIndex& table, SatId sat, int& slot) {
    const int position = table.find(sat);
    slot = position >= 0 ? position + 1 : table.size() + 1;
    return position >= 0;
}

bool putprn(SatIndex& table, SatId sat, int& slot) {
    int found = 0;
    if (getprn(table, sat, found)) {
        slot = found;
        return false;
    }
    slot = 0;
    if (sat.system == GnssSystem::gps && table.count(GnssSystem::gps) >= kMaxGpsSatellites) return false;
    table.add(sat);
    return true;
}

bool delprn(SatIndex& table, SatId sat, int& n) {
    const bool held = table.remove(sat);
    n = table.size();
    return held;
}

std::string satelliteName(SatId sat, bool lettered) { return lettered ? sat.text() : std::to_string(sat.number); }

std::string satelliteField(SatId sat, int width, bool lettered) {
    if (!lettered) return fmtI(sat.number, width);
    const std::string text = sat.text();
    const std::size_t w = static_cast<std::size_t>(std::max(width, 0));
    return text.size() >= w ? text : std::string(w - text.size(), ' ') + text;
}

SatId invprn(const SatIndex& table, int slot) {
    if (slot < 1 || slot > table.size()) stopRun(kStopBadSlot);
    return table.at(slot - 1);
}

}  // namespace varno
