// The RINEX 2 epoch line, its continuation lines and the satellite records that follow it, as the scan and the
// epoch reader of this subsystem read them. Internal to src/rinex: other subsystems use rinex.h only.
#pragma once

#include <array>
#include <vector>

#include "textio/textio.h"

namespace varno::rinex_internal {

// Satellites listed on one epoch line (or continuation line), in columns 33-68.
inline constexpr int kSatsPerLine = 12;
// The satellite count field has three digits, so no epoch lists more.
inline constexpr int kMaxEpochSats = 999;
// Observation types of one file: up to 9 on each "# / TYPES OF OBSERV" line, 5 values on each record line.
inline constexpr int kMaxTypes = 99;
inline constexpr int kTypesPerLine = 9;
inline constexpr int kValuesPerLine = 5;
// Observation record lines and epoch lines are 80-column records.
inline constexpr int kRinexWidth = 80;
// Header labels start in this column.
inline constexpr int kLabelColumn = 61;

// The fields of one epoch line and its continuation lines, year as written (two digits). Only the first
// min(count, kMaxEpochSats) satellite entries are filled.
struct EpochLine {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double second = 0.0;
    int flag = 0;   // event flag; 2 to 5 announce `count` special records, 6 a cycle-slip record
    int count = 0;  // satellites, or special records when flag is 2 to 5
    std::array<char, kMaxEpochSats> system;  // system letter of satellite k (blank, 'G', 'R', ...)
    std::array<int, kMaxEpochSats> prn;
};

// Converts the fields of an epoch line: date and time (columns 1-26), event flag and count (27-32), the satellite
// entries on this line (33-68; with a flag of 2 to 5 none) and the receiver clock offset (69-80, read and dropped).
// A field that does not convert, or a second that is not a finite number, is an input error naming the file, line
// and columns.
void parseEpochLine(const Record& line, EpochLine& epoch);

// True when an epoch line lists satellites: event flag 0, 1 (power failure) or 6 (cycle-slip records).
bool listsSatellites(const EpochLine& epoch);

// Reads the continuation lines of an epoch line with more than 12 satellites (satellites 13 onwards, 12 to a line
// in columns 33-68). End of file is an input error; a field that does not convert too.
void readContinuationLines(TextFile& file, Record& line, EpochLine& epoch);

// Two-digit year to four digits: below 80 in the 2000s, 80 to 99 in the 1900s, above 99 unchanged.
int widenYear(int year);

// True when satellite k (0-based) of the epoch line is a GPS satellite: system letter blank or 'G'.
bool isGps(const EpochLine& epoch, int k);

// True when columns 61-80 of the line hold a RINEX 2 header label (COMMENT, MARKER NAME, ...): such lines follow
// event records beyond the count their epoch line gives.
bool isHeaderLabelLine(const Record& line);

// What to tell the user of an epoch line that does not convert: the fault (file, line, field) and, for a header
// line standing in the data, that it needs an event record before it.
std::string epochLineFault(const InputError& fault, const Record& line);

// Lines of one satellite's record with `types` observation types: five values a line, at least one line.
int recordLines(int types);

// Reads the next line where an epoch line is expected into `line`. False at the end of the data section: the end of
// the file, or blank lines only up to it. After an event record (`afterEvent`), lines that carry a header label
// are passed over: such records often hold more lines than their count gives. A blank line followed by text is
// returned as it is (it reads as an epoch without satellites). `scratch` serves the reading ahead.
bool nextEpochLine(TextFile& file, Record& line, Record& scratch, bool& afterEvent);

// Passes over the special records announced by an epoch line: `count` lines after an event flag of 2 to 5 (and
// above 6), then sets `afterEvent`; the satellite list and the records of `linesEach` lines after flag 6. True
// when the line announced special records, false for an epoch (flag 0 or 1).
bool passOverSpecialRecords(TextFile& file, Record& line, EpochLine& epoch, int linesEach, bool& afterEvent);

// The value of the 16-column group starting in column `first`: F14.3, then loss-of-lock indicator and signal
// strength (single digits, read and dropped). Blank, "nan" (any case, optional sign) and magnitudes up to 0.001
// are absent (kNoData); any other text that does not convert is an input error naming the columns.
double groupValue(const Record& line, int first);

// The typical spacing of the epochs: the median of the spacings (for an even count the lower middle one), so that
// data gaps do not lengthen it. Above 5.1 s it is taken to the nearest multiple of 5 s. `spacings` is not empty;
// its order changes.
double typicalInterval(std::vector<double>& spacings);

// Reads and drops `lines` lines; end of file is an input error naming `what`. A count below 1 skips nothing.
void skipLines(TextFile& file, int lines, const char* what);

// Reads and drops the records of `sats` satellites of `linesEach` lines. A file that ends inside the last record,
// after its first line, ends there (its missing lines would have been blank); an earlier end is an input error.
void skipRecords(TextFile& file, int sats, int linesEach);

// Called with an epoch line that is blank: true when every line after it to the end of the file is blank too, so
// that the data section ended. Reads ahead with `scratch`; false when a line with text follows.
bool onlyBlankLinesRemain(TextFile& file, Record& scratch);

}  // namespace varno::rinex_internal
