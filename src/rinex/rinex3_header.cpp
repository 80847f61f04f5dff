// The header of a RINEX 3 or 4 observation file: version and type, marker, approximate position and the
// per-system observation type lists.
#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "epoch_line.h"
#include "rinex3.h"

namespace varno::rinex_internal {

namespace {

constexpr int kStopNoTypes = 34989;
// Versions read with this layout: 3.00 up to (not including) 5.00.
constexpr double kFirstVersion = 3.0;
constexpr double kBeyondVersion = 5.0;
// A SYS / # / OBS TYPES line holds at most this many 4-column type entries.
constexpr int kTypesPerLine = 13;

// Where the version line's label may start: column 61, or 66 in the wider clock-file headers.
bool isVersionLine(const Record& line) {
    return line.startsWith(kLabelColumn, "RINEX VERSION / TYPE") ||
           line.startsWith(kLabelColumn + 5, "RINEX VERSION / TYPE");
}

std::string trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return "";
    return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

void checkVersionLine(const Record& line) {
    double version = 0.0;
    if (!parseRealText(line.columns(1, 9), 2, version) || version < kFirstVersion || version >= kBeyondVersion) {
        line.fail("expected a RINEX observation file of version 2, 3 or 4 in columns 1-9, found version " +
                  trimmed(line.columns(1, 9)));
    }
    const char type = line.column(21);
    if (type == 'O') return;
    const char* kind = type == 'N' ? "a navigation file"
                       : type == 'M' ? "a meteorological file"
                       : type == 'C' ? "a clock file"
                                     : "a file of another type";
    line.fail(std::string("expected observation data (O in column 21), found ") + kind + " (type \"" +
              std::string(1, type) + "\")");
}

// The type list being read: system letter, declared count and the codes read so far.
struct TypeList {
    char system = ' ';
    int count = 0;
    std::vector<std::string> codes;
    bool complete() const { return static_cast<int>(codes.size()) >= count; }
};

void readTypeLine(const Record& line, TypeList& list, ObsFileSummary& summary, bool& haveGps) {
    if (line.column(1) != ' ') {
        if (!list.complete()) line.fail("expected a continuation of the SYS / # / OBS TYPES list of system " +
                                        std::string(1, list.system) + ", found system " +
                                        std::string(1, line.column(1)));
        list = TypeList{};
        list.system = line.column(1);
        list.count = line.intField(4, 6, "number of observation types");
        if (list.system == 'G' && list.count < 1) stopRun(kStopNoTypes);
        if (list.count < 0) line.fail("expected a number of observation types in columns 4-6, found " +
                                      std::to_string(list.count));
    } else if (list.complete()) {
        line.fail("expected a system letter in column 1 of SYS / # / OBS TYPES, found a blank");
    }
    for (int k = 1; k <= kTypesPerLine && !list.complete(); ++k) {
        list.codes.emplace_back(line.columns(4 * k + 4, 4 * k + 6));
    }
    if (!list.complete()) return;
    const std::optional<GnssSystem> system = systemOfLetter(list.system);
    if (system) summary.systemTypes[static_cast<std::size_t>(*system)] = list.codes;
    if (list.system == 'G') haveGps = true;
}

// 1-based position of the first of `codes` found in the list, 0 when none is declared.
int lookup(const std::vector<std::string>& list, std::initializer_list<const char*> codes) {
    for (const char* code : codes) {
        for (size_t i = 0; i < list.size(); ++i) {
            if (list[i] == code) return static_cast<int>(i) + 1;
        }
    }
    return 0;
}

void assignRoles(const std::vector<std::string>& gps, ObsFileSummary& summary) {
    summary.typeCount = static_cast<int>(gps.size());
    ObsTypeIndex& index = summary.typeIndex;
    index[1] = lookup(gps, {"L1C"});
    const int p1 = lookup(gps, {"C1W", "C1P", "C1Y"});
    const int c1 = lookup(gps, {"C1C"});
    index[2] = p1 != 0 ? p1 : c1;
    index[0] = p1 != 0 ? c1 : 0;
    index[3] = lookup(gps, {"L2W", "L2P"});
    index[4] = lookup(gps, {"C2W", "C2P"});
}

// Each system's code types but GPS's, in order of preference as far as the system's list declares them.
void assignCodes(ObsFileSummary& summary) {
    for (GnssSystem system : allSystems()) {
        if (system == GnssSystem::gps) continue;
        const std::vector<std::string>& list = summary.typesOf(system);
        std::array<int, 3>& codes = summary.codeIndex[static_cast<std::size_t>(system)];
        codes.fill(0);
        std::size_t n = 0;
        for (const std::string& code : codePreference(system)) {
            const auto at = std::find(list.begin(), list.end(), code);
            if (at != list.end() && n < codes.size()) codes[n++] = static_cast<int>(at - list.begin()) + 1;
        }
    }
}

}  // namespace

bool isRinex3(TextFile& file) {
    Record line;
    bool found = false;
    if (file.next(line, kRinexWidth + 5) && isVersionLine(line)) {
        double version = 0.0;
        found = parseRealText(line.columns(1, 9), 2, version) && version >= kFirstVersion;
    }
    file.rewind();
    return found;
}

void readHeader3(TextFile& file, ObsFileSummary& summary) {
    Record line;
    file.require(line, kRinexWidth + 5, "the RINEX VERSION / TYPE line");
    checkVersionLine(line);
    summary.rinex3 = true;
    summary.twoLineRecords = false;
    TypeList list;
    bool haveGps = false;
    for (;;) {
        file.require(line, kRinexWidth, "the END OF HEADER line");
        if (line.startsWith(kLabelColumn, "MARKER NAME")) {
            summary.stationId = std::string(line.columns(1, 4));
            writeListing(freeLine("station id -- ", summary.stationId));
        } else if (line.startsWith(kLabelColumn, "REC # / TYPE / VERS")) {
            summary.receiverType = std::string(line.columns(21, 40));
        } else if (line.startsWith(kLabelColumn, "APPROX POSITION XYZ")) {
            summary.x = line.realField(1, 14, 4, "approximate X");
            summary.y = line.realField(15, 28, 4, "approximate Y");
            summary.z = line.realField(29, 42, 4, "approximate Z");
        } else if (line.startsWith(kLabelColumn, "SYS / # / OBS TYPES")) {
            readTypeLine(line, list, summary, haveGps);
        } else if (line.startsWith(kLabelColumn, "END OF HEADER")) {
            if (!list.complete()) line.fail("expected the rest of the SYS / # / OBS TYPES list of system " +
                                            std::string(1, list.system) + " before END OF HEADER");
            break;
        }
    }
    if (haveGps) assignRoles(summary.typesOf(GnssSystem::gps), summary);
    assignCodes(summary);
}

}  // namespace varno::rinex_internal
