// Reading the SP3 orbit file into the OrbitTable: the header satellite list, the satellites carried, the window
// of epochs kept and the checks that the table is fit for 9-point interpolation.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "orbit/orbit.h"
#include "orbit/orbit_table.h"
#include "orbit/sp3_header.h"
#include "textio/textio.h"
#include "timebase/timebase.h"

namespace varno {

namespace {

using sp3::kRecordWidth;
constexpr int kMinimumEpochs = 9;         // one interpolation window
constexpr double kWindowMargin = 1e-06;   // s, an epoch this close outside the window is still kept
constexpr double kGridTolerance = 1e-03;  // s, a kept epoch farther than this from its grid time is refused
constexpr double kMetresPerKilometre = 1000.0;
constexpr double kSecondsPerMicrosecond = 1e-06;
constexpr double kBadClock = 999999.999999;  // microseconds: the clock is unknown
constexpr double kNoEpochYet = 1e+38;

constexpr int kStopShortEpoch = 89756;
// The GPS numbers the header lists and the records give a column to: the numbers of the run's table; the other
// systems' satellites have columns for every number.
constexpr int kHighestGpsNumber = 32;
constexpr int kStopTooFewEpochs = 89758;
constexpr int kStopOffGrid = 89759;

bool listedIn(SatId sat, const std::vector<sp3::SatelliteHeader>& headers) {
    for (const sp3::SatelliteHeader& header : headers) {
        if (std::find(header.listed.begin(), header.listed.end(), sat) != header.listed.end()) return true;
    }
    return false;
}

// Every satellite that may have a column, by system and number: GPS 1..32, the other systems every number.
template <typename Visit>
void everyColumnSatellite(Visit visit) {
    for (GnssSystem system : allSystems()) {
        const int last = system == GnssSystem::gps ? kHighestGpsNumber : systemInfo(system).maxNumber;
        for (int number = 1; number <= last; ++number) visit(SatId{system, number});
    }
}

bool mayHaveColumn(SatId sat) {
    const int last = sat.system == GnssSystem::gps ? kHighestGpsNumber : systemInfo(sat.system).maxNumber;
    return sat.number >= 1 && sat.number <= last;
}

// Position of `sat` in `columns`, −1 when absent.
int columnIndex(const std::vector<SatId>& columns, SatId sat) {
    const auto at = std::find(columns.begin(), columns.end(), sat);
    return at == columns.end() ? -1 : static_cast<int>(at - columns.begin());
}

// Removes, by system and increasing number, every wanted satellite that may have a column and no header lists.
void pruneSatellites(const std::vector<sp3::SatelliteHeader>& headers, std::vector<SatId>& columns) {
    everyColumnSatellite([&](SatId sat) {
        const int at = columnIndex(columns, sat);
        if (at < 0 || listedIn(sat, headers)) return;
        columns.erase(columns.begin() + at);
        writeListing("lodorb reset number of sats ==> " + fmtI(static_cast<int>(columns.size()), 3));
    });
}

// One note per time system other than GPS; the epochs are used as they are written.
void noteTimeSystems(const std::vector<sp3::SatelliteHeader>& headers) {
    std::vector<std::string> noted;
    for (const sp3::SatelliteHeader& header : headers) {
        const std::string& system = header.timeSystem;
        if (system.empty() || system == "GPS" || system == "   " || system == "ccc") continue;
        if (std::find(noted.begin(), noted.end(), system) != noted.end()) continue;
        noted.push_back(system);
        writeListing(freeLine("orbit time system -- ", system, ", times used as written"));
    }
}

double nearestWhole(double v) { return std::round(v); }  // halves away from zero

// The epochs kept, row by row, before the table is laid out: the table is built only once the file has shown
// that it really holds the N epochs asked for, so a window larger than the file never allocates the full table.
struct KeptEpochs {
    int satellites = 0;
    std::vector<double> times;
    std::vector<double> values;  // per epoch: x of slots 1..S, then y, z and clock
    std::vector<char> usable;    // per epoch and slot: a record with a position and a clock was met
    std::vector<std::string> where;  // per epoch: "file:line: " of its epoch line

    void add(double t) {
        times.push_back(t);
        values.resize(values.size() + static_cast<std::size_t>(4 * satellites), 0.0);
        usable.resize(usable.size() + static_cast<std::size_t>(satellites), 0);
    }
    std::size_t row(std::size_t k) const { return k * static_cast<std::size_t>(4 * satellites); }
    // Stores a record at kept epoch k. An epoch met again in a later file (`again`) takes only a good record
    // where it holds a bad one or none.
    void store(std::size_t k, int slot, double x, double y, double z, double clock, bool good, bool again) {
        std::size_t at = row(k);
        std::size_t s = static_cast<std::size_t>(slot - 1);
        std::size_t n = static_cast<std::size_t>(satellites);
        if (again && (!good || usable[k * n + s])) return;
        values[at + s] = x;
        values[at + n + s] = y;
        values[at + 2 * n + s] = z;
        values[at + 3 * n + s] = clock;
        usable[k * n + s] = good ? 1 : 0;
    }
    // The kept epoch at time t (within `tolerance`), or −1.
    long find(double t, double tolerance) const {
        for (std::size_t k = times.size(); k-- > 0;) {
            if (std::fabs(times[k] - t) <= tolerance) return static_cast<long>(k);
        }
        return -1;
    }
    // True when slot `slot` has a usable record at every kept epoch.
    bool complete(int slot) const {
        std::size_t n = static_cast<std::size_t>(satellites);
        for (std::size_t k = 0; k < times.size(); ++k) {
            if (!usable[k * n + static_cast<std::size_t>(slot - 1)]) return false;
        }
        return true;
    }
};

std::string where(const Record& line) { return line.fileName() + ":" + std::to_string(line.lineNumber()) + ": "; }

[[noreturn]] void refuseGrid(const std::string& detail) {
    writeListing(freeLine("orbit epochs missing or off grid -- fatal"));
    stopRun(kStopOffGrid, detail);
}

// Reads the position records of one epoch (the header's count of them) into kept epoch k.
void readRecords(TextFile& file, const sp3::SatelliteHeader& header, const std::vector<SatId>& columns,
                 std::size_t k, bool again, KeptEpochs& kept) {
    Record line;
    // Records are counted, not matched against the header list; velocity and other lines do not count.
    for (int r = 0; r < header.count; ++r) {
        file.require(line, kRecordWidth, "orbit position record");
        while (line.column(1) != 'P' && line.column(1) != 'p') {
            if (line.column(1) == '*') {
                stopRun(kStopShortEpoch, where(line) + "an epoch line where position record " +
                                             std::to_string(r + 1) + " of the " + std::to_string(header.count) +
                                             " the header lists was expected");
            }
            file.require(line, kRecordWidth, "orbit position record");
        }
        SatId sat;
        if (!sp3::satelliteId(line, 2, "satellite number", sat)) continue;
        double xKm = line.realField(5, 18, 6, "x (km)");
        double yKm = line.realField(19, 32, 6, "y (km)");
        double zKm = line.realField(33, 46, 6, "z (km)");
        double clockMicro = line.realField(47, 60, 6, "clock (microseconds)");
        // A GPS number outside 1..32 has no column: dropped like a satellite the run does not use.
        const int slot = mayHaveColumn(sat) ? columnIndex(columns, sat) + 1 : 0;
        if (slot == 0) continue;
        const bool good = !(xKm == 0.0 && yKm == 0.0 && zKm == 0.0) && !(clockMicro >= kBadClock);
        kept.store(k, slot, xKm * kMetresPerKilometre, yKm * kMetresPerKilometre, zKm * kMetresPerKilometre,
                   clockMicro * kSecondsPerMicrosecond, good, again);
    }
}

// Reads one file's epochs into `kept` until N epochs are kept or the file ends. `skipUpTo`: epochs at or before
// this time are held by an earlier file: where this file gives one of them again, its good records replace bad
// ones (zero position or unknown clock) of the earlier file, and are otherwise passed over.
void readEpochs(TextFile& file, int jd0, const sp3::SatelliteHeader& header, const std::vector<SatId>& columns,
                int epochs, double start, double stop, double skipUpTo, KeptEpochs& kept, OrbitTable& table) {
    Record line;
    const bool later = skipUpTo > -kNoEpochYet;
    for (;;) {
        const bool full = static_cast<int>(kept.times.size()) >= std::max(epochs, 1);
        // The first file stops at N; a later one also reads on through the epochs it shares with the earlier.
        if (full && !later) break;
        if (!file.next(line, kRecordWidth)) break;
        if (line.column(1) != '*') continue;
        int year = line.intField(4, 7, "epoch year");
        int month = line.intField(8, 10, "epoch month");
        int day = line.intField(11, 13, "epoch day");
        int hour = line.intField(14, 16, "epoch hour");
        int minute = line.intField(17, 19, "epoch minute");
        double second = line.realField(20, 31, 8, "epoch second");
        double t = civjts(jd0, year, month, day, hour, minute, second);
        // Epochs outside the window are skipped; their position records are passed over by the next search.
        if (t < start - kWindowMargin) continue;
        if (t > stop + kWindowMargin) {
            if (full) break;
            continue;
        }
        if (t <= skipUpTo + kGridTolerance) {
            const long k = kept.find(t, kGridTolerance);
            if (k >= 0) readRecords(file, header, columns, static_cast<std::size_t>(k), true, kept);
            continue;
        }
        if (full) break;
        kept.add(t);
        kept.where.push_back(where(line));
        table.firstTime = std::min(table.firstTime, t);
        table.lastTime = std::max(table.lastTime, t);
        readRecords(file, header, columns, kept.times.size() - 1, false, kept);
    }
}

// Drops, by system and increasing number, every satellite that may have a column and lacks a usable record at
// some kept epoch. Returns, for every column before the drop (from 1), its column after it (0: dropped).
std::vector<int> dropUnusable(const KeptEpochs& kept, std::vector<SatId>& columns, bool letteredNames) {
    const std::vector<SatId> before = columns;
    everyColumnSatellite([&](SatId sat) {
        const int at = columnIndex(before, sat);
        if (at < 0 || kept.complete(at + 1)) return;
        columns.erase(columns.begin() + columnIndex(columns, sat));
        writeListing(freeLine("no usable orbit for prn") + " " + satelliteName(sat, letteredNames) + " -- dropped");
    });
    std::vector<int> newColumn(before.size() + 1, 0);
    for (std::size_t c = 0; c < before.size(); ++c) newColumn[c + 1] = columnIndex(columns, before[c]) + 1;
    return newColumn;
}

}  // namespace

bool scanbf(int value, const int* list, int count) {
    for (int i = 0; i < count; ++i) {
        if (list[i] == value) return true;
    }
    return false;
}

void lodor2(OrbitTable& table, int row, int column, double x, double y, double z, double clock) {
    int n = table.epochCount;
    int offset = (column - 1) * n + (row - 1);
    table.at(table.xBase + offset) = x;
    table.at(table.yBase + offset) = y;
    table.at(table.zBase + offset) = z;
    table.at(table.clockBase + offset) = clock;
}

void OrbitTable::layOut(int epochs, int columns) {
    epochCount = epochs;
    data.assign(static_cast<std::size_t>(static_cast<long long>(epochs) * (1 + 4LL * columns)), 0.0);
    timeBase = 1;
    xBase = epochs + 1;
    yBase = epochs + 1 + columns * epochs;
    zBase = epochs + 1 + 2 * columns * epochs;
    clockBase = epochs + 1 + 3 * columns * epochs;
}

void lodorb(const std::vector<TextFile*>& files, int jd0, OrbitTable& table, std::vector<SatId>& columns,
            bool letteredNames, int epochs, double start, double stop) {
    std::vector<sp3::SatelliteHeader> headers(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) sp3::readSatelliteHeader(*files[i], headers[i]);
    noteTimeSystems(headers);
    pruneSatellites(headers, columns);

    table = OrbitTable{};
    table.epochCount = epochs;
    table.firstTime = kNoEpochYet;
    table.lastTime = -kNoEpochYet;

    KeptEpochs kept;
    kept.satellites = static_cast<int>(columns.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        // Within one file every epoch of the window is kept; a later file adds only what comes after.
        const double skipUpTo = i == 0 || kept.times.empty() ? -kNoEpochYet : table.lastTime;
        readEpochs(*files[i], jd0, headers[i], columns, epochs, start, stop, skipUpTo, kept, table);
    }
    const int n = static_cast<int>(kept.times.size());

    if (epochs < kMinimumEpochs) {
        writeListing(freeLine("orbit window has fewer than 9 epochs -- fatal"));
        stopRun(kStopTooFewEpochs, (kept.where.empty() ? std::string() : kept.where.back()) +
                                       "the orbit window holds " + std::to_string(epochs) +
                                       " epochs; interpolation needs 9: give a longer orbit");
    }
    if (n < epochs) {
        refuseGrid(files.back()->name() + ":" + std::to_string(files.back()->lineNumber()) + ": the orbit ends after " +
                   std::to_string(n) + " of the " + std::to_string(epochs) +
                   " epochs of the window (the header declares more epochs than the file holds)");
    }
    table.interval = nearestWhole((table.lastTime - table.firstTime) / static_cast<double>(epochs - 1));
    // Interpolation takes epoch k at firstTime + (k - 1)·interval; a table that is not on that grid (or has no
    // spacing at all) would give wrong positions without a word.
    if (!(table.interval > 0.0)) refuseGrid(kept.where.back() + "the orbit epochs have no spacing");
    for (int k = 1; k <= epochs; ++k) {
        double grid = table.firstTime + static_cast<double>(k - 1) * table.interval;
        const std::size_t at = static_cast<std::size_t>(k - 1);
        if (!(std::fabs(kept.times[at] - grid) <= kGridTolerance)) {
            refuseGrid(kept.where[at] + "epoch off the " + freeNumber(table.interval) +
                       " s grid of the window, or an epoch before it is missing");
        }
    }

    // A zero position or an unknown clock anywhere in the window would be interpolated into wrong ranges.
    const std::vector<int> newSlot = dropUnusable(kept, columns, letteredNames);
    const int read = kept.satellites;

    table.layOut(epochs, static_cast<int>(columns.size()));
    for (int k = 1; k <= epochs; ++k) {
        table.at(table.timeBase + k - 1) = kept.times[static_cast<std::size_t>(k - 1)];
        std::size_t row = kept.row(static_cast<std::size_t>(k - 1));
        std::size_t s4 = static_cast<std::size_t>(read);
        for (int old = 1; old <= read; ++old) {
            const int slot = newSlot[static_cast<std::size_t>(old)];
            if (slot == 0) continue;
            std::size_t s = static_cast<std::size_t>(old - 1);
            lodor2(table, k, slot, kept.values[row + s], kept.values[row + s4 + s], kept.values[row + 2 * s4 + s],
                   kept.values[row + 3 * s4 + s]);
        }
    }
    table.lastWindowStart = epochs - 8;
    table.lastWindowTime = table.firstTime + static_cast<double>(epochs - 9) * table.interval;
    itrini(table);
}

}  // namespace varno
