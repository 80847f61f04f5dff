// The RINEX 2 epoch line and the satellite records that follow it, as the scan and the epoch reader of this
// subsystem read them. Internal to src/rinex: other subsystems use rinex.h only.
#pragma once

#include <array>

#include "textio/textio.h"

namespace varno::rinex_internal {

// At most this many satellites are listed on one epoch line (continuation lines are not supported).
inline constexpr int kMaxEpochSats = 12;
// Observation record lines and epoch lines are 80-column records.
inline constexpr int kRinexWidth = 80;
// Header labels start in this column.
inline constexpr int kLabelColumn = 61;

// The fields of one epoch line, year as written (two digits).
struct EpochLine {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double second = 0.0;
    int flag = 0;   // event flag; 2 and above announce `count` special records
    int count = 0;  // satellites, or special records when flag >= 2
    std::array<char, kMaxEpochSats> system{};  // system letter of satellite k (blank, 'G', 'R', ...)
    std::array<int, kMaxEpochSats> prn{};
};

// Converts the fields of an epoch line: date and time (columns 1-26), event flag and count (27-32), the twelve
// satellite entries (33-68) and the receiver clock offset (69-80, read and dropped). A field that does not
// convert, or a second that is not a finite number, is an input error naming the file, line and columns.
void parseEpochLine(const Record& line, EpochLine& epoch);

// Two-digit year to four digits: below 80 in the 2000s, 80 to 99 in the 1900s, above 99 unchanged.
int widenYear(int year);

// True when satellite k (0-based) of the epoch line is a GPS satellite: system letter blank or 'G'.
bool isGps(const EpochLine& epoch, int k);

// Reads and drops `lines` lines; end of file is an input error naming `what`. A count below 1 skips nothing.
void skipLines(TextFile& file, Record& scratch, int lines, const char* what);

}  // namespace varno::rinex_internal
