// Internal to src/orbit: the SP3 header as the loader and the span reading see it. Not part of the interface.
#pragma once

#include <string>
#include <vector>

#include "gnss/gnss.h"
#include "textio/textio.h"

namespace varno::sp3 {

inline constexpr int kRecordWidth = 60;
// Line 1 is read wider, so that the label of another kind of file (columns 61-80) shows what that file is.
inline constexpr int kFirstLineWidth = 80;

// The version character of line 1 (column 2): blank for the original layout, 'a' to 'd'. Any other character
// after a '#' in column 1 is an input error naming the line; so is a line 1 announcing another kind of file
// ("this is a RINEX navigation file, not an SP3 orbit file").
char version(const Record& line1);

// Reads a 3-column satellite id at `col` ("  1", " 12", "G01", "R05"): true with `sat` for a GPS satellite
// (numeric, or 'G' and a number) or one of another known system whose id reads ("E12"); false for an unknown
// letter or another system's id that does not read. A GPS number that is not an integer is an input error naming
// `what`.
bool satelliteId(const Record& line, int col, const char* what, SatId& sat);

// What the loader needs from one file's header.
struct SatelliteHeader {
    char version = ' ';
    int count = 0;            // position records per epoch, as the header says
    std::vector<SatId> listed;  // the first `count` entries of the list (number 0 where an id does not read)
    std::string timeSystem;   // columns 10-12 of the first "%c" line in SP3-c and -d, otherwise empty
};

// Reads the header of a file positioned at its first line. Versions blank and a-c: 22 lines, the satellite
// list on line 3, line 4 and any of lines 5-7 marked "+ ". Version d: line 3, every following "+ " line, the
// "++" lines and the first "%c" line; the lines after it (the rest of the header) are passed over by the
// epoch search. End of file inside the header is an input error.
void readSatelliteHeader(TextFile& file, SatelliteHeader& header);

}  // namespace varno::sp3
