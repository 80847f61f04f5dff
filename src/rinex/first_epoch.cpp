// The date of an observation file's first epoch, before any scan: what fixes the reference day of a run whose
// orbit has no epochs of its own.
#include <sstream>

#include "rinex/rinex.h"

namespace varno {

namespace {

constexpr int kWidth = 80;

bool dateOf(std::string_view text, bool twoDigitYear, int& year, int& month, int& day) {
    std::istringstream in{std::string(text)};
    if (!(in >> year >> month >> day)) return false;
    if (twoDigitYear && year < 100) year += year >= 80 ? 1900 : 2000;
    return year >= 1980 && year <= 2099 && month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

}  // namespace

void firstEpochDate(TextFile& file, int& year, int& month, int& day) {
    Record line;
    bool found = false;
    for (;;) {
        file.require(line, kWidth, "the END OF HEADER line");
        if (line.startsWith(61, "END OF HEADER")) break;
        if (line.startsWith(61, "TIME OF FIRST OBS")) found = dateOf(line.columns(1, 18), false, year, month, day);
    }
    while (!found && file.next(line, kWidth)) {
        if (line.blank(1, kWidth)) continue;
        // RINEX 3 and 4: "> yyyy mm dd ..."; RINEX 2: " yy mm dd ...".
        found = line.column(1) == '>' ? dateOf(line.columns(2, 13), false, year, month, day)
                                      : dateOf(line.columns(1, 9), true, year, month, day);
        if (!found) line.fail("expected the first epoch's date (year, month, day)");
    }
    if (!found) file.require(line, kWidth, "the first epoch");
    file.rewind();
}

}  // namespace varno
