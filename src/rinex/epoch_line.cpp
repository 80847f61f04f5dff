#include "epoch_line.h"

#include <cmath>

namespace varno::rinex_internal {

void parseEpochLine(const Record& line, EpochLine& epoch) {
    epoch.year = line.intField(1, 3, "year");
    epoch.month = line.intField(4, 6, "month");
    epoch.day = line.intField(7, 9, "day");
    epoch.hour = line.intField(10, 12, "hour");
    epoch.minute = line.intField(13, 15, "minute");
    epoch.second = line.realField(16, 26, 7, "second");
    // An overflowing exponent would carry an infinite time into the span arithmetic.
    if (!std::isfinite(epoch.second)) {
        line.fail("expected a finite number second in columns 16-26, found \"" +
                  std::string(line.columns(16, 26)) + "\"");
    }
    epoch.flag = line.intField(27, 29, "event flag");
    epoch.count = line.intField(30, 32, "satellite count");
    for (int k = 0; k < kMaxEpochSats; ++k) {
        const int letter = 33 + 3 * k;
        epoch.system[static_cast<size_t>(k)] = line.column(letter);
        epoch.prn[static_cast<size_t>(k)] = line.intField(letter + 1, letter + 2, "satellite number");
    }
    (void)line.realField(69, 80, 9, "receiver clock offset");
}

int widenYear(int year) {
    if (year < 80) return 2000 + year;
    if (year <= 99) return 1900 + year;
    return year;
}

bool isGps(const EpochLine& epoch, int k) {
    const char letter = epoch.system[static_cast<size_t>(k)];
    return letter == ' ' || letter == 'G';
}

void skipLines(TextFile& file, Record& scratch, int lines, const char* what) {
    for (int i = 0; i < lines; ++i) file.require(scratch, kRinexWidth, what);
}

}  // namespace varno::rinex_internal
