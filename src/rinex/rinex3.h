// RINEX 3 and 4 observation files: the header, the "> ..." epoch lines and the satellite records of one line
// each, as the scan and the epoch reader of this subsystem read them. Internal to src/rinex: other subsystems use
// rinex.h only; oscan and oget hand such files to the functions here.
#pragma once

#include "rinex/rinex.h"
#include "textio/textio.h"

namespace varno::rinex_internal {

// True when the file's first line is a "RINEX VERSION / TYPE" line whose version reads as 3 or more: the file
// is then read with this layout (and refused here when its version or type is not one this reader knows).
// The file is rewound either way.
bool isRinex3(TextFile& file);

// Reads the header up to "END OF HEADER": version 3.xx or 4.xx observation data (type O in column 21, any
// system), MARKER NAME (listing line "station id -- <id>"), APPROX POSITION XYZ, SYS / # / OBS TYPES with its
// continuation lines. The GPS type list gives typeCount and typeIndex, whose roles are L1 = L1C; P1 = C1W, else
// C1P, else C1Y; C1 = C1C; L2 = L2W, else L2P; P2 = C2W, else C2P (1-based positions in the GPS list).
// Other labels are read past. Stop 34989 for a GPS list of no type; a version, type or list that does not
// read is an input error naming the file, line and field.
void readHeader3(TextFile& file, ObsFileSummary& summary);

// The data section of a file whose header readHeader3 has read: first and last epoch, typical interval and the
// GPS satellites, as oscan describes (the same stops).
void scanEpochs3(TextFile& file, ObsFileSummary& summary, SatIndex& sats);

// oget for a file of this layout (summary.rinex3), once no epoch already held answers the request.
bool oget3(TextFile& file, const ObsFileSummary& summary, const SatIndex& sats, int n, double t, EpochRecord& record);

}  // namespace varno::rinex_internal
