#include "epoch_line.h"

#include "rinex/rinex.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace varno::rinex_internal {

namespace {

// Values of at most this magnitude mean "not observed".
constexpr double kAbsentMagnitude = 0.001;
// Above this interval (s) the interval is taken to the nearest multiple of 5 s.
constexpr double kRoundingThreshold = 5.1;

// True when `text`, blanks aside, is "nan" in any case with an optional sign: some writers put it for a value
// they do not have.
bool isNanText(std::string_view text) {
    char letters[3];
    size_t n = 0;
    bool sign = false;
    for (char c : text) {
        if (c == ' ') continue;
        if (n == 0 && !sign && (c == '+' || c == '-')) {
            sign = true;
            continue;
        }
        if (n == 3) return false;
        letters[n++] = static_cast<char>(c | 0x20);
    }
    return n == 3 && letters[0] == 'n' && letters[1] == 'a' && letters[2] == 'n';
}

// Satellite entries k = first .. last-1 of the epoch, from the line holding them (entry `first` in column 33).
void parseEntries(const Record& line, int first, int last, EpochLine& epoch) {
    for (int k = first; k < last; ++k) {
        const int letter = 33 + 3 * (k - first);
        epoch.system[static_cast<size_t>(k)] = line.column(letter);
        epoch.prn[static_cast<size_t>(k)] = line.intField(letter + 1, letter + 2, "satellite number");
    }
}

// The labels a RINEX 2 observation header may carry.
constexpr std::string_view kHeaderLabels[] = {
    "RINEX VERSION / TYPE", "PGM / RUN BY / DATE",  "COMMENT",           "MARKER NAME",
    "MARKER NUMBER",        "MARKER TYPE",          "OBSERVER / AGENCY", "REC # / TYPE / VERS",
    "ANT # / TYPE",         "APPROX POSITION XYZ",  "ANTENNA: DELTA H/E/N", "WAVELENGTH FACT L1/2",
    "# / TYPES OF OBSERV",  "INTERVAL",             "TIME OF FIRST OBS", "TIME OF LAST OBS",
    "RCV CLOCK OFFS APPL",  "LEAP SECONDS",         "# OF SATELLITES",   "PRN / # OF OBS",
    "SIGNAL STRENGTH UNIT", "END OF HEADER",
};

// The common shape of an epoch line: date, time, flag and count right-aligned digits, the second with seven
// decimals, the satellites of a flag 0, 1 or 6 two blanks or digits each after their letter, and a clock offset
// that converts. False for anything else, which the field readers then read (and name when it is wrong);
// otherwise `epoch` holds what they give.
bool plainEpochLine(const Record& line, EpochLine& epoch) {
    const std::string& text = line.text();
    if (line.unended() || text.size() < static_cast<std::size_t>(kRinexWidth)) return false;
    const char* c = text.data();  // c[i] is column i + 1
    const auto digit = [](char ch) { return ch >= '0' && ch <= '9'; };
    const auto value = [c](int i) { return c[i] - '0'; };
    // The three-column integers: a blank, a blank or a digit, a digit.
    static constexpr std::array<int, 7> kIntegers{0, 3, 6, 9, 12, 26, 29};
    std::array<int, 7> v{};
    for (std::size_t f = 0; f < kIntegers.size(); ++f) {
        const int i = kIntegers[f];
        if (c[i] != ' ' || !digit(c[i + 2])) return false;
        if (c[i + 1] == ' ') {
            v[f] = value(i + 2);
        } else if (digit(c[i + 1])) {
            v[f] = value(i + 1) * 10 + value(i + 2);
        } else {
            return false;
        }
    }
    const int flag = v[5];
    if (!(flag <= 1 || flag == 6)) return false;
    // The second, columns 16-26: blanks then digits, the point and seven digits.
    if (c[18] != '.' || !digit(c[17]) || !(c[16] == ' ' || digit(c[16])) || !(c[15] == ' ' || digit(c[15])) ||
        (c[15] != ' ' && c[16] == ' ')) {
        return false;
    }
    long long mantissa = (c[15] == ' ' ? 0 : value(15)) * 100 + (c[16] == ' ' ? 0 : value(16)) * 10 + value(17);
    for (int i = 19; i <= 25; ++i) {
        if (!digit(c[i])) return false;
        mantissa = mantissa * 10 + value(i);
    }
    const int listed = std::clamp(v[6], 0, kSatsPerLine);
    for (int k = 0; k < listed; ++k) {
        const int i = 32 + 3 * k;
        int prn = 0;
        for (int j = i + 1; j <= i + 2; ++j) {
            if (digit(c[j])) {
                prn = prn * 10 + value(j);
            } else if (c[j] != ' ') {
                return false;
            }
        }
        epoch.system[static_cast<std::size_t>(k)] = c[i];
        epoch.prn[static_cast<std::size_t>(k)] = prn;
    }
    double clock = 0.0;
    if (!parseRealText(std::string_view(c + 68, 12), 9, clock)) return false;
    epoch.year = v[0];
    epoch.month = v[1];
    epoch.day = v[2];
    epoch.hour = v[3];
    epoch.minute = v[4];
    epoch.second = static_cast<double>(mantissa) / 1e7;
    epoch.flag = flag;
    epoch.count = v[6];
    return true;
}

}  // namespace

void parseEpochLine(const Record& line, EpochLine& epoch) {
    if (plainEpochLine(line, epoch)) return;
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
    if (listsSatellites(epoch)) parseEntries(line, 0, std::clamp(epoch.count, 0, kSatsPerLine), epoch);
    (void)line.realField(69, 80, 9, "receiver clock offset");
}

bool listsSatellites(const EpochLine& epoch) { return epoch.flag <= 1 || epoch.flag == 6; }

void readContinuationLines(TextFile& file, Record& line, EpochLine& epoch) {
    if (!listsSatellites(epoch)) return;
    const int listed = std::min(epoch.count, kMaxEpochSats);
    for (int first = kSatsPerLine; first < listed; first += kSatsPerLine) {
        file.require(line, kRinexWidth, "an epoch continuation line");
        parseEntries(line, first, std::min(first + kSatsPerLine, listed), epoch);
    }
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

bool isHeaderLabelLine(const Record& line) {
    for (std::string_view label : kHeaderLabels) {
        if (line.startsWith(kLabelColumn, label)) return true;
    }
    return false;
}

std::string epochLineFault(const InputError& fault, const Record& line) {
    std::string text = fault.what();
    if (isHeaderLabelLine(line)) {
        text += " (a header line where an epoch line was expected: header lines in the data need an event record,"
                " flag 2-5, before them)";
    }
    return text;
}

int recordLines(int types) { return std::max(1, (types + kValuesPerLine - 1) / kValuesPerLine); }

void skipLines(TextFile& file, int lines, const char* what) {
    for (int i = 0; i < lines; ++i) file.passRequired(what);
}

void skipRecords(TextFile& file, int sats, int linesEach) {
    for (int s = 0; s < sats; ++s) {
        file.passRequired("an observation record");
        for (int l = 1; l < linesEach; ++l) {
            if (file.pass()) continue;
            if (s + 1 < sats) file.passRequired("an observation record");
            return;
        }
    }
}

bool onlyBlankLinesRemain(TextFile& file, Record& scratch) {
    while (file.next(scratch, kRinexWidth)) {
        if (!scratch.blank(1, kRinexWidth)) return false;
    }
    return true;
}

bool nextEpochLine(TextFile& file, Record& line, Record& scratch, bool& afterEvent) {
    for (;;) {
        if (!file.next(line, kRinexWidth)) return false;
        if (afterEvent && isHeaderLabelLine(line)) continue;
        afterEvent = false;
        if (line.blank(1, kRinexWidth) && onlyBlankLinesRemain(file, scratch)) return false;
        return true;
    }
}

bool passOverSpecialRecords(TextFile& file, Record& line, EpochLine& epoch, int linesEach, bool& afterEvent) {
    if (epoch.flag <= 1) return false;
    if (epoch.flag == 6) {
        readContinuationLines(file, line, epoch);
        skipRecords(file, epoch.count, linesEach);
        return true;
    }
    skipLines(file, epoch.count, "a special record");
    afterEvent = true;
    return true;
}

namespace {

// The common shape of an observation group, "   23456789.123" and two indicator columns each a blank or a digit:
// the value is the digits as a whole number divided by 1000, the one correctly rounded division the field reader
// makes for it. False for anything else, which the field reader then reads (and names when it is wrong). A value
// cut short by the end of the file never has this shape, as its missing columns read as blanks.
constexpr std::size_t kPoint = 10;
constexpr std::size_t kGroupWidth = 16;

// The most common of those shapes, no sign, its sixteen columns classified at once: false when the group has
// another shape (plainGroup then decides), otherwise the value plainGroup gives.
bool unsignedGroup(const char* f, double& value) {
#if defined(__SSE2__)
    const __m128i columns = _mm_loadu_si128(reinterpret_cast<const __m128i*>(f));
    const __m128i fromZero = _mm_sub_epi8(columns, _mm_set1_epi8('0'));
    const __m128i digits = _mm_cmpeq_epi8(_mm_min_epu8(fromZero, _mm_set1_epi8(9)), fromZero);
    const __m128i blanks = _mm_cmpeq_epi8(columns, _mm_set1_epi8(' '));
    const unsigned digit = static_cast<unsigned>(_mm_movemask_epi8(digits));
    const unsigned blank = static_cast<unsigned>(_mm_movemask_epi8(blanks));
    // Columns 0-9 blanks then digits, the point, three digits, and two indicators each a blank or a digit.
    const unsigned leading = blank & 0x3FFU;
    if (f[kPoint] != '.' || (digit & 0x3800U) != 0x3800U || ((digit | blank) & 0xC3FFU) != 0xC3FFU ||
        (leading & (leading + 1)) != 0) {
        return false;
    }
    // A blank's code with 0x10 added is the zero's, and a digit already has that bit.
    std::uint64_t high = 0;
    std::memcpy(&high, f, sizeof high);
    high = (high | 0x1010101010101010ULL) - 0x3030303030303030ULL;
    high = (high * 10 + (high >> 8)) & 0x00FF00FF00FF00FFULL;
    high = (high * 100 + (high >> 16)) & 0x0000FFFF0000FFFFULL;
    high = (high * 10000 + (high >> 32)) & 0xFFFFFFFFULL;
    const auto at = [f](std::size_t i) { return static_cast<std::uint64_t>((f[i] | 0x10) - '0'); };
    const std::uint64_t low = at(8) * 10000 + at(9) * 1000 + at(11) * 100 + at(12) * 10 + at(13);
    value = static_cast<double>(static_cast<long long>(high * 100000 + low)) / 1e3;
    return true;
#else
    (void)f;
    (void)value;
    return false;
#endif
}

bool plainGroup(const Record& line, int first, double& value) {
    const std::string& text = line.text();
    const std::size_t start = static_cast<std::size_t>(first - 1);
    if (first < 1 || start + kGroupWidth > text.size()) return false;
    const char* f = text.data() + start;
    if (unsignedGroup(f, value)) return true;
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (f[kPoint] != '.' || !digit(f[11]) || !digit(f[12]) || !digit(f[13])) return false;
    if (!(f[14] == ' ' || digit(f[14])) || !(f[15] == ' ' || digit(f[15]))) return false;
    std::size_t i = 0;
    while (i < kPoint && f[i] == ' ') ++i;
    bool negative = false;
    if (i < kPoint && (f[i] == '-' || f[i] == '+')) negative = f[i++] == '-';
    long long mantissa = 0;
    for (; i < kPoint; ++i) {
        if (!digit(f[i])) return false;
        mantissa = mantissa * 10 + (f[i] - '0');
    }
    for (std::size_t j = 11; j <= 13; ++j) mantissa = mantissa * 10 + (f[j] - '0');
    const double magnitude = static_cast<double>(mantissa) / 1e3;
    value = negative ? -magnitude : magnitude;
    return true;
}

}  // namespace

double groupValue(const Record& line, int first) {
    double v = 0.0;
    if (plainGroup(line, first, v)) return std::fabs(v) <= kAbsentMagnitude ? kNoData : v;
    try {
        v = line.realField(first, first + 13, 3, "observation value");
    } catch (const InputError&) {
        if (isNanText(line.columns(first, first + 15))) return kNoData;  // the text may run into the indicators
        if (!isNanText(line.columns(first, first + 13))) throw;
        v = kNoData;
    }
    // A one-column indicator is a blank or a digit; only anything else needs the field reader (for its error).
    const auto plainDigit = [&line](int col) {
        const char c = line.column(col);
        return c == ' ' || (c >= '0' && c <= '9');
    };
    if (!plainDigit(first + 14)) (void)line.intField(first + 14, first + 14, "loss-of-lock indicator");
    if (!plainDigit(first + 15)) (void)line.intField(first + 15, first + 15, "signal strength");
    return std::fabs(v) <= kAbsentMagnitude ? kNoData : v;
}

double typicalInterval(std::vector<double>& spacings) {
    const auto middle = spacings.begin() + static_cast<std::ptrdiff_t>((spacings.size() - 1) / 2);
    std::nth_element(spacings.begin(), middle, spacings.end());
    double interval = *middle;
    if (interval > kRoundingThreshold) interval = 5.0 * std::round(interval * 0.2);
    return interval;
}

}  // namespace varno::rinex_internal
