#include <algorithm>

#include "textio/textio.h"

namespace varno {

namespace {

constexpr int kHeaderWidth = 80;

}  // namespace

FileKind fileKind(std::string_view firstLine) {
    const Record line = Record::fromLine(firstLine, kHeaderWidth);
    const char version = line.column(2);
    if (line.column(1) == '#' && (version == ' ' || (version >= 'a' && version <= 'd'))) return FileKind::sp3Orbit;
    if (line.startsWith(61, "CRINEX VERS")) return FileKind::compactObservation;
    if (!line.startsWith(61, "RINEX VERSION / TYPE")) return FileKind::unknown;
    switch (line.column(21)) {
        case 'O': return FileKind::observation;
        case 'N': case 'G': case 'E': case 'J': case 'H': case 'L': return FileKind::navigation;
        case 'C': return FileKind::clock;
        case 'M': return FileKind::meteorological;
        default: return FileKind::unknown;
    }
}

std::string kindName(FileKind kind) {
    switch (kind) {
        case FileKind::observation: return "a RINEX observation file";
        case FileKind::compactObservation: return "a compact RINEX observation file";
        case FileKind::navigation: return "a RINEX navigation file";
        case FileKind::sp3Orbit: return "an SP3 orbit file";
        case FileKind::clock: return "a RINEX clock file";
        case FileKind::meteorological: return "a RINEX meteorological file";
        case FileKind::unknown: break;
    }
    return "";
}

void refuseOtherKind(const Record& firstLine, std::initializer_list<FileKind> accepted, std::string_view expected) {
    const FileKind kind = fileKind(firstLine.text());
    if (kind == FileKind::unknown || std::find(accepted.begin(), accepted.end(), kind) != accepted.end()) return;
    firstLine.fail("this is " + kindName(kind) + ", not " + std::string(expected));
}

}  // namespace varno
