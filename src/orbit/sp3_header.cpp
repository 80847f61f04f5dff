// The SP3 header as the loader reads it: the version, the satellite list (any system, any number of lines)
// and the time system.
#include "orbit/sp3_header.h"

#include <cctype>
#include <optional>
#include <string>

namespace varno::sp3 {

namespace {

constexpr int kIdsPerLine = 17;
constexpr int kFirstIdColumn = 10;
constexpr int kFixedHeaderLines = 22;    // versions blank to c
constexpr int kLastFixedListLine = 7;    // lines 3 to 7 may carry satellite ids in versions blank to c
constexpr int kTimeSystemLine = 13;      // the first "%c" line in versions blank to c

bool isListLine(const Record& line) { return line.column(1) == '+' && line.column(2) != '+'; }
bool isAccuracyLine(const Record& line) { return line.column(1) == '+' && line.column(2) == '+'; }

void readIds(const Record& line, std::vector<SatId>& ids) {
    for (int i = 0; i < kIdsPerLine; ++i) {
        SatId sat;
        ids.push_back(satelliteId(line, kFirstIdColumn + 3 * i, "header satellite number", sat) ? sat : SatId{});
    }
}

std::string timeSystemOf(const Record& line) {
    if (!line.startsWith(1, "%c")) return "";
    return std::string(line.columns(10, 12));
}

}  // namespace

char version(const Record& line1) {
    refuseOtherKind(line1, {FileKind::sp3Orbit}, "an SP3 orbit file");
    const char v = line1.column(2);
    if (line1.column(1) == '#' && v != ' ' && (v < 'a' || v > 'd')) {
        line1.fail("expected an SP3 version (blank or a to d) in column 2, found \"" + std::string(1, v) + "\"");
    }
    return v;
}

bool satelliteId(const Record& line, int col, const char* what, SatId& sat) {
    const char system = line.column(col);
    if (system == 'G') {
        sat = SatId::gps(line.intField(col + 1, col + 2, what));
        return true;
    }
    if (std::isalpha(static_cast<unsigned char>(system))) {
        const std::optional<SatId> other = SatId::parse(line.columns(col, col + 2), false);
        if (other) sat = *other;
        return other.has_value();
    }
    // Numeric ids read as the whole three columns, however they are aligned.
    sat = SatId::gps(line.intField(col, col + 2, what));
    return true;
}

void readSatelliteHeader(TextFile& file, SatelliteHeader& header) {
    header = SatelliteHeader{};
    Record line;
    file.require(line, kFirstLineWidth, "orbit header line 1");
    header.version = version(line);
    file.require(line, kRecordWidth, "orbit header line 2");
    file.require(line, kRecordWidth, "orbit header line 3 (satellite list)");
    std::vector<SatId> ids;
    if (header.version == 'd') {
        header.count = line.intField(4, 6, "header satellite count");
        readIds(line, ids);
        auto next = [&] {
            file.require(line, kRecordWidth, "orbit header line " + std::to_string(file.lineNumber() + 1));
        };
        next();
        while (isListLine(line)) {
            readIds(line, ids);
            next();
        }
        while (isAccuracyLine(line)) next();
        if (!line.startsWith(1, "%c")) {
            line.fail("expected the time system line (\"%c\") after the satellite lists, found \"" +
                      std::string(line.columns(1, 2)) + "\"");
        }
        header.timeSystem = timeSystemOf(line);
    } else {
        header.count = line.intField(5, 6, "header satellite count");
        readIds(line, ids);
        file.require(line, kRecordWidth, "orbit header line 4 (satellite list)");
        readIds(line, ids);
        for (int number = 5; number <= kFixedHeaderLines; ++number) {
            file.require(line, kRecordWidth, "orbit header line " + std::to_string(number));
            if (number <= kLastFixedListLine && isListLine(line)) readIds(line, ids);
            if (number == kTimeSystemLine && header.version == 'c') header.timeSystem = timeSystemOf(line);
        }
    }
    const std::size_t listed = header.count > 0 ? static_cast<std::size_t>(header.count) : 0;
    if (ids.size() > listed) ids.resize(listed);
    header.listed = std::move(ids);
}

}  // namespace varno::sp3
