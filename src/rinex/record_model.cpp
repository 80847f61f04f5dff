#include "rinex/record_model.h"

#include <algorithm>
#include <string>
#include <vector>

#include "epoch_line.h"
#include "timebase/timebase.h"

namespace varno::rinex_internal {

std::optional<GnssSystem> takenSystem(char letter, const ObsFileSummary& summary) {
    const std::optional<GnssSystem> system = letter == ' ' ? GnssSystem::gps : systemOfLetter(letter);
    if (!system || !summary.systems[static_cast<std::size_t>(*system)]) return std::nullopt;
    return system;
}

void enterSatellite(SatIndex& sats, SatId sat, int overflowStop) {
    int slot = 0;
    if (!putprn(sats, sat, slot) && slot == 0) {
        writeListing(freeLine("prn table overflow"));
        stopRun(overflowStop);
    }
}

std::string codeTypes(const ObsFileSummary& summary) {
    std::string text;
    for (GnssSystem system : allSystems()) {
        const std::size_t s = static_cast<std::size_t>(system);
        if (!summary.systems[s]) continue;
        std::string names;
        if (!summary.rinex3) {
            names = summary.typeIndex[0] != 0 ? "P1/C1" : "P1 or C1";
        } else {
            const std::vector<std::string>& list = summary.typesOf(system);
            std::vector<int> positions{summary.typeIndex[2], summary.typeIndex[0]};
            if (system != GnssSystem::gps) positions.assign(summary.codeIndex[s].begin(), summary.codeIndex[s].end());
            for (int p : positions) {
                if (p < 1 || static_cast<std::size_t>(p) > list.size()) continue;
                if (!names.empty()) names += '/';
                names += list[static_cast<std::size_t>(p) - 1];
            }
        }
        if (!text.empty()) text += ", ";
        text += std::string(1, systemInfo(system).letter) + " " + (names.empty() ? "none" : names);
    }
    return text;
}

int recordWidth3(const ObsFileSummary& summary) {
    int last = *std::max_element(summary.typeIndex.begin(), summary.typeIndex.end());
    for (GnssSystem system : allSystems()) {
        if (system == GnssSystem::gps || !summary.systems[static_cast<std::size_t>(system)]) continue;
        const std::array<int, 3>& codes = summary.codeIndex[static_cast<std::size_t>(system)];
        last = std::max(last, *std::max_element(codes.begin(), codes.end()));
    }
    return std::max(kRinexWidth, 3 + 16 * last);
}

}  // namespace varno::rinex_internal
