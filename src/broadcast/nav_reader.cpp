// Reading RINEX 2, 3 and 4 navigation files into ephemeris records (the fields as the formats lay them out; the
// records' times brought to GPS time).
#include <cctype>
#include <cmath>
#include <string>
#include <vector>

#include "broadcast/broadcast.h"
#include "timebase/timebase.h"

namespace varno {

namespace {

constexpr int kWidth = 80;
constexpr int kFieldWidth = 19;
constexpr double kSecondsPerWeek = 604800.0;
constexpr double kSecondsPerDay = 86400.0;
constexpr int kKeplerLines = 8;    // the first line and seven of broadcast orbit
constexpr int kGlonassLines = 4;   // the first line and three of broadcast orbit
constexpr double kUnknownTime = 1e7;  // a transmission time this large ("0.9999e9") says "not known"
constexpr double kQzssL1cbUnavailable = 1.0;  // QZSS health with the L1C/B bit alone set

// The fields in the order the records hold them (first line: three, each further line: four).
constexpr const char* kKeplerNames[] = {
    "clock bias a0", "clock drift a1", "clock drift rate a2", "issue of data", "Crs", "Delta n", "M0", "Cuc", "e",
    "Cus", "sqrt(A)", "Toe", "Cic", "OMEGA0", "Cis", "i0", "Crc", "omega", "OMEGA DOT", "IDOT",
    "codes or data sources", "week", "spare", "accuracy", "health", "group delay", "group delay or IODC",
    "transmission time", "fit interval or spare", "spare", "spare"};
constexpr const char* kGlonassNames[] = {
    "-TauN", "GammaN", "message frame time", "X", "X velocity", "X acceleration", "health", "Y", "Y velocity",
    "Y acceleration", "frequency number", "Z", "Z velocity", "Z acceleration", "age of operation"};

// What the header says that the records need.
struct Layout {
    double version = 0.0;
    GnssSystem recordSystem = GnssSystem::gps;  // of RINEX 2 records that carry no system letter
    int leapSeconds = -1;                       // GPS − UTC from the header; −1 when it gives none
};

std::string trimmed(std::string_view text) {
    std::size_t a = 0, b = text.size();
    while (a < b && text[a] == ' ') ++a;
    while (b > a && text[b - 1] == ' ') --b;
    return std::string(text.substr(a, b - a));
}

std::vector<std::string> tokens(std::string_view text) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ') ++i;
        const std::size_t start = i;
        while (i < text.size() && text[i] != ' ') ++i;
        if (i > start) out.emplace_back(text.substr(start, i - start));
    }
    return out;
}

// The time with `secondOfPeriod` seconds into a period (week or day) nearest `near`.
GpsTime nearestWith(const GpsTime& near, double secondOfPeriod, double period) {
    const long long length = static_cast<long long>(period);
    long long start = near.second / length * length;
    if (near.second < start) start -= length;
    GpsTime t = GpsTime{start, 0.0} + secondOfPeriod;
    const double off = t - near;
    if (off > period / 2) t = t + (-period);
    if (off < -period / 2) t = t + period;
    return t;
}

// Header: the version and type line, then every line to END OF HEADER.
Layout readHeader(TextFile& file) {
    Record line;
    file.require(line, kWidth, "the RINEX VERSION / TYPE line of a navigation file");
    refuseOtherKind(line, {FileKind::navigation}, "a navigation file");
    if (!line.startsWith(61, "RINEX VERSION / TYPE")) {
        line.fail("not a navigation file: the RINEX VERSION / TYPE line was expected");
    }
    Layout layout;
    const std::vector<std::string> head = tokens(line.columns(1, 20));
    if (head.empty() || !parseRealText(head[0], 0, layout.version)) line.fail("expected a format version in columns 1-20");
    const char type = line.column(21);
    const char system = line.column(41);
    const bool v2 = layout.version >= 2.0 && layout.version < 3.0;
    const bool known = v2 ? layout.version <= 2.12 + 1e-9
                          : (layout.version >= 3.0 && layout.version <= 3.05 + 1e-9) ||
                                (layout.version >= 4.0 && layout.version <= 4.02 + 1e-9);
    if (type != 'N' && type != 'G' && type != 'E' && type != 'J') {
        line.fail("not a navigation file: file type '" + std::string(1, type) + "' in column 21");
    }
    if (!known) {
        line.fail("navigation file version " + head[0] + " is not read (2.01-2.12, 3.00-3.05, 4.00-4.02)");
    }
    if (type == 'G') {
        layout.recordSystem = GnssSystem::glonass;
    } else if (type == 'E' || system == 'E') {
        layout.recordSystem = GnssSystem::galileo;
    } else if (type == 'J' || system == 'J') {
        layout.recordSystem = GnssSystem::qzss;
    }
    const bool beidouFile = system == 'C';
    for (;;) {
        file.require(line, kWidth, "the END OF HEADER line");
        if (line.startsWith(61, "END OF HEADER")) break;
        if (line.startsWith(61, "LEAP SECONDS") && !line.blank(1, 6)) {
            const int leap = line.intField(1, 6, "leap seconds");
            // Leap seconds of BeiDou time (BDT − UTC) where the line or the file says so.
            const bool beidou = beidouFile || trimmed(line.columns(25, 27)) == "BDS";
            layout.leapSeconds = beidou ? leap + 14 : leap;
        }
    }
    return layout;
}

// The epoch of a record's first line (columns 3-22, one further right when the satellite has a system letter).
GpsTime recordEpoch(const Record& line, int shift) {
    const int first = 3 + shift, last = 22 + shift;
    const std::vector<std::string> t = tokens(line.columns(first, last));
    const std::string where = " in columns " + std::to_string(first) + "-" + std::to_string(last);
    if (t.size() != 6) line.fail("expected the epoch (year month day hour minute second)" + where);
    int v[5] = {0, 0, 0, 0, 0};
    for (int k = 0; k < 5; ++k) {
        if (!parseIntText(t[static_cast<std::size_t>(k)], v[k])) line.fail("expected an integer epoch field" + where);
    }
    double second = 0.0;
    if (!parseRealText(t[5], 0, second)) line.fail("expected the epoch's seconds" + where);
    int year = v[0];
    if (year < 100) year += year >= 80 ? 1900 : 2000;
    if (year < 1980 || year > 2099 || v[1] < 1 || v[1] > 12 || v[2] < 1 || v[2] > 31 || v[3] < 0 || v[3] > 23 ||
        v[4] < 0 || v[4] > 59 || !(second >= 0.0 && second < 61.0)) {
        line.fail("epoch out of range" + where);
    }
    return gpsTimeOfMjd(dayNumber(year, v[1], v[2], 0), v[3] * 3600.0 + v[4] * 60.0 + second);
}

// The fields of a record's lines: three on the first, four on each further one, 19 columns each.
std::vector<double> recordFields(const std::vector<Record>& lines, int shift, int lineCount,
                                 const char* const* names, std::size_t nameCount) {
    std::vector<double> values;
    for (int n = 0; n < lineCount; ++n) {
        const Record& line = lines[static_cast<std::size_t>(n)];
        const int start = n == 0 ? 23 + shift : 4 + shift;
        for (int k = 0; k < (n == 0 ? 3 : 4); ++k) {
            const int first = start + k * kFieldWidth;
            const std::size_t index = values.size();
            const std::string name = index < nameCount ? names[index] : "spare";
            values.push_back(line.realField(first, first + kFieldWidth - 1, 0, name));
        }
    }
    return values;
}

bool finite(const std::vector<double>& values) {
    for (double v : values) {
        if (!std::isfinite(v)) return false;
    }
    return true;
}

// A record of GPS, Galileo, BeiDou or QZSS from its values.
Ephemeris keplerRecord(SatId sat, const GpsTime& tocOwn, const std::vector<double>& v, NavMessage message,
                       const Record& first) {
    Ephemeris r;
    r.sat = sat;
    const double offset = systemInfo(sat.system).secondsBehindGps;
    if (!(std::fabs(v[11]) <= 2 * kSecondsPerWeek)) first.fail("Toe is not a time of the week");
    const GpsTime toeOwn = nearestWith(tocOwn, v[11], kSecondsPerWeek);
    r.toc = tocOwn + offset;
    r.toe = toeOwn + offset;
    r.toeSeconds = v[11];
    r.transmitted = std::fabs(v[27]) < kUnknownTime ? nearestWith(tocOwn, v[27], kSecondsPerWeek) + offset : r.toc;
    r.af0 = v[0], r.af1 = v[1], r.af2 = v[2];
    r.crs = v[4], r.deltaN = v[5], r.m0 = v[6], r.cuc = v[7], r.e = v[8], r.cus = v[9], r.sqrtA = v[10];
    r.cic = v[12], r.omega0 = v[13], r.cis = v[14], r.i0 = v[15], r.crc = v[16], r.omega = v[17];
    r.omegaDot = v[18], r.idot = v[19];
    r.issue = std::fabs(v[3]) < 1e9 ? static_cast<int>(v[3]) : 0;
    const double health = v[24];
    const bool sane = finite(v) && r.sqrtA > 1000.0 && r.e >= 0.0 && r.e < 1.0;
    switch (sat.system) {
        case GnssSystem::galileo: {
            const int sources = std::fabs(v[20]) < 1e6 ? static_cast<int>(v[20]) : 0;
            if (message == NavMessage::lnav) {
                const bool inav = (sources & (1 | 4 | 512)) != 0;
                message = !inav && (sources & (2 | 256)) != 0 ? NavMessage::fnav : NavMessage::inav;
            }
            const int flags = health >= 0.0 && health < 1e6 ? static_cast<int>(health) : -1;
            // E1-B signal health and data validity for INAV, E5a's for FNAV.
            const int mask = message == NavMessage::fnav ? 0x38 : 0x07;
            r.healthy = flags >= 0 && (flags & mask) == 0;
            break;
        }
        case GnssSystem::beidou:
            message = sat.number <= 5 || sat.number >= 59 ? NavMessage::d2 : NavMessage::d1;
            r.healthy = health == 0.0;
            break;
        default:
            message = NavMessage::lnav;
            // QZSS: the lowest of the six health bits is that of the L1C/B signal, not of L1 C/A; satellites in
            // normal service broadcast 1.
            r.healthy = health == 0.0 || (sat.system == GnssSystem::qzss && health == kQzssL1cbUnavailable);
            r.fitHours = v[28];
            break;
    }
    r.message = message;
    r.healthy = r.healthy && sane;
    return r;
}

// A GLONASS record (times of UTC in the file) from its values.
Ephemeris glonassRecord(SatId sat, const GpsTime& tocUtc, const std::vector<double>& v, const Layout& layout) {
    Ephemeris r;
    r.sat = sat;
    r.message = NavMessage::fdma;
    int mjd = 0;
    double seconds = 0.0;
    mjdOfGpsTime(tocUtc, mjd, seconds);
    const int leap = layout.leapSeconds >= 0 ? layout.leapSeconds : leapSecondsOn(mjd);
    r.toc = tocUtc + leap;
    r.toe = r.toc;
    r.toeSeconds = seconds;
    // The message frame time counts seconds of the UTC day in RINEX 2 and of the UTC week from RINEX 3 on.
    const double period = layout.version < 3.0 ? kSecondsPerDay : kSecondsPerWeek;
    r.transmitted = std::fabs(v[2]) < kUnknownTime ? nearestWith(tocUtc, v[2], period) + leap : r.toc;
    r.af0 = v[0], r.af1 = v[1];
    for (std::size_t k = 0; k < 3; ++k) {
        r.position[k] = v[3 + 4 * k] * 1000.0;
        r.velocity[k] = v[4 + 4 * k] * 1000.0;
        r.acceleration[k] = v[5 + 4 * k] * 1000.0;
    }
    r.channel = std::fabs(v[10]) < 100 ? static_cast<int>(v[10]) : 0;
    const double radius = std::hypot(r.position[0], r.position[1], r.position[2]);
    r.healthy = v[6] == 0.0 && finite(v) && radius > 1e6;
    return r;
}

// One record (its lines as read): its satellite, epoch and fields; SBAS and NavIC records are passed over.
void takeRecord(const std::vector<Record>& lines, const Layout& layout, NavPool& pool, NavMessage message,
                bool messageGiven) {
    const Record& first = lines.front();
    const int shift = std::isalpha(static_cast<unsigned char>(first.column(1))) ? 1 : 0;
    std::optional<SatId> sat;
    if (shift == 1) {
        sat = SatId::parse(first.columns(1, 3), false);
    } else {
        const std::optional<SatId> number = SatId::parse(first.columns(1, 2), true);
        if (number) sat = SatId{layout.recordSystem, number->number};
    }
    if (!sat) first.fail("expected a satellite in columns 1-" + std::to_string(2 + shift) + ", found '" +
                         std::string(first.columns(1, 2 + shift)) + "'");
    if (sat->system == GnssSystem::sbas || sat->system == GnssSystem::navic) {
        ++pool.passedOver;
        return;
    }
    const bool glonass = sat->system == GnssSystem::glonass;
    const int needed = glonass ? kGlonassLines : kKeplerLines;
    if (static_cast<int>(lines.size()) < needed) {
        lines.back().fail("the record of " + sat->text() + " begun on line " + std::to_string(first.lineNumber()) +
                          " ends after " + std::to_string(lines.size()) + " lines where " + std::to_string(needed) +
                          " are expected");
    }
    const GpsTime epoch = recordEpoch(first, shift);
    if (glonass) {
        const std::vector<double> v = recordFields(lines, shift, needed, kGlonassNames, std::size(kGlonassNames));
        pool.add(glonassRecord(*sat, epoch, v, layout));
    } else {
        const std::vector<double> v = recordFields(lines, shift, needed, kKeplerNames, std::size(kKeplerNames));
        pool.add(keplerRecord(*sat, epoch, v, messageGiven ? message : NavMessage::lnav, first));
    }
}

// The message of a RINEX 4 `> EPH` line that is read, or false for one passed over.
bool ephemerisMessage(const std::vector<std::string>& head, NavMessage& message) {
    if (head.size() < 4 || head[1] != "EPH" || head[2].empty()) return false;
    const char system = head[2][0];
    const std::string& type = head[3];
    if ((system == 'G' || system == 'J') && type == "LNAV") message = NavMessage::lnav;
    else if (system == 'E' && type == "INAV") message = NavMessage::inav;
    else if (system == 'E' && type == "FNAV") message = NavMessage::fnav;
    else if (system == 'C' && type == "D1") message = NavMessage::d1;
    else if (system == 'C' && type == "D2") message = NavMessage::d2;
    else if (system == 'R' && type == "FDMA") message = NavMessage::fdma;
    else return false;
    return true;
}

}  // namespace

void readNavigation(TextFile& file, NavPool& pool) {
    const Layout layout = readHeader(file);
    const bool v4 = layout.version >= 4.0;
    pool.files.push_back(file.name());
    Record line;
    bool have = file.next(line, kWidth);
    std::vector<Record> lines;
    while (have) {
        if (line.blank(1, kWidth)) {
            have = file.next(line, kWidth);
            continue;
        }
        lines.clear();
        NavMessage message = NavMessage::lnav;
        bool read = true;
        if (v4) {
            if (line.column(1) != '>') line.fail("expected a record's first line beginning with '>'");
            read = ephemerisMessage(tokens(line.columns(1, kWidth)), message);
            const Record head = line;
            // The record's lines: everything to the next '>' line.
            while ((have = file.next(line, kWidth)) && line.column(1) != '>') {
                if (!line.blank(1, kWidth)) lines.push_back(line);
            }
            if (read && lines.empty()) head.fail("an ephemeris record without any line");
        } else {
            if (line.blank(1, 2)) line.fail("expected a record's first line (a satellite in columns 1-3)");
            lines.push_back(line);
            while ((have = file.next(line, kWidth)) && line.blank(1, 2)) {
                if (!line.blank(1, kWidth)) lines.push_back(line);
            }
        }
        if (read) {
            takeRecord(lines, layout, pool, message, v4);
        } else {
            ++pool.passedOver;
        }
    }
}

}  // namespace varno
