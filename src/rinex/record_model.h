// What the RINEX 2 and RINEX 3 readers share of a satellite's record: which satellite it is for, its entry into
// the run's table, and its values stored into the epoch record. Internal to src/rinex.
#pragma once

#include <optional>

#include "rinex/rinex.h"

namespace varno::rinex_internal {

// The system of a record whose system letter is `letter` (blank: GPS), when the run takes that system; none for a
// system it does not take or an unknown letter.
std::optional<GnssSystem> takenSystem(char letter, const ObsFileSummary& summary);

// Enters a satellite into the run's table `sats`; beyond the 32nd GPS satellite the listing line "prn table overflow"
// and stop `overflowStop`.
void enterSatellite(SatIndex& sats, SatId sat, int overflowStop);

// Stores a record of `sat` in `slot`: `value(p)` is the value at 1-based position p of the record's type list
// (kNoData when p is 0 or not declared). GPS, and every system of a RINEX 2 file, fill the four roles of
// summary.typeIndex (the P1 role falling back on C1 within the record); the other systems of a RINEX 3 file fill
// the pseudorange and its alternates from summary.codeIndex.
template <typename Value>
void storeRecord(EpochRecord& record, int slot, SatId sat, const ObsFileSummary& summary, Value value) {
    const std::size_t s = static_cast<std::size_t>(slot);
    record.present[s] = 1;
    std::array<double, 4>& obs = record.obs[s];
    if (sat.system == GnssSystem::gps || !summary.rinex3) {
        const ObsTypeIndex& index = summary.typeIndex;
        for (std::size_t j = 0; j < 4; ++j) obs[j] = value(index[j + 1]);
        if (obs[1] >= kNoData) obs[1] = value(index[0]);
        record.alternates[s] = {kNoData, kNoData};
        return;
    }
    const std::array<int, 3>& codes = summary.codeIndex[static_cast<std::size_t>(sat.system)];
    obs = {kNoData, value(codes[0]), kNoData, kNoData};
    record.alternates[s] = {value(codes[1]), value(codes[2])};
}

// The code types the run takes of each of its systems from this file, in order of preference ("G C1W/C1C,
// E C1C/C1X, C C2I"; "none" where the file declares none): what the listing names for each receiver.
std::string codeTypes(const ObsFileSummary& summary);

// The widest record line a RINEX 3 file's taken systems need: columns up to the last type position used.
int recordWidth3(const ObsFileSummary& summary);

}  // namespace varno::rinex_internal
