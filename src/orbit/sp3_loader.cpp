// Reading the SP3 orbit file into the OrbitTable: the header satellite list, the pruning of the PrnTable, the
// window of epochs kept and the checks that the table is fit for 9-point interpolation.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "orbit/orbit.h"
#include "textio/textio.h"
#include "timebase/timebase.h"

namespace varno {

namespace {

constexpr int kRecordWidth = 60;
constexpr int kHeaderListSize = 34;       // two header lines of 17 satellite numbers
constexpr int kHeaderNumbersPerLine = 17;
constexpr int kSkippedHeaderLines = 18;   // header lines 5 to 22
constexpr int kMinimumEpochs = 9;         // one interpolation window
constexpr double kWindowMargin = 1e-06;   // s, an epoch this close outside the window is still kept
constexpr double kGridTolerance = 1e-03;  // s, a kept epoch farther than this from its grid time is refused
constexpr double kMetresPerKilometre = 1000.0;
constexpr double kSecondsPerMicrosecond = 1e-06;
constexpr double kNoEpochYet = 1e+38;

constexpr int kStopNotInTable = 78439;
constexpr int kStopShortEpoch = 89756;
constexpr int kStopBadSlot = 89757;
constexpr int kStopTooFewEpochs = 89758;
constexpr int kStopOffGrid = 89759;

struct HeaderList {
    int count = 0;
    int numbers[kHeaderListSize]{};
};

// Header lines 3 and 4: the count in columns 5-6, then seventeen 3-column satellite numbers from column 10.
void readSatelliteLine(const Record& line, HeaderList& list, int firstIndex) {
    for (int i = 0; i < kHeaderNumbersPerLine; ++i) {
        int col = 10 + 3 * i;
        list.numbers[firstIndex + i] = line.intField(col, col + 2, "header satellite number");
    }
}

void readHeader(TextFile& file, HeaderList& list) {
    Record line;
    file.require(line, kRecordWidth, "orbit header line 1");
    file.require(line, kRecordWidth, "orbit header line 2");
    file.require(line, kRecordWidth, "orbit header line 3 (satellite list)");
    list.count = line.intField(5, 6, "header satellite count");
    readSatelliteLine(line, list, 0);
    file.require(line, kRecordWidth, "orbit header line 4 (satellite list)");
    readSatelliteLine(line, list, kHeaderNumbersPerLine);
    for (int i = 0; i < kSkippedHeaderLines; ++i) {
        file.require(line, kRecordWidth, "orbit header line " + std::to_string(5 + i));
    }
}

// Removes, in increasing PRN order, every satellite of the run that the header does not list. Returns S.
int pruneSatellites(const HeaderList& list, int& satCount) {
    int listed = std::clamp(list.count, 0, kHeaderListSize);
    for (int prn = 1; prn <= kMaxPrn; ++prn) {
        int slot = 0;
        if (!getprn(prn, slot)) continue;
        if (scanbf(prn, list.numbers, listed)) continue;
        int n = 0;
        if (!delprn(prn, n)) stopRun(kStopNotInTable);
        satCount = n;
        writeListing("lodorb reset number of sats ==> " + fmtI(n, 3));
    }
    // S is taken from the table itself, so that the table is always sized for every slot that exists.
    int s = 0;
    numprn(s);
    satCount = s;
    return s;
}

double nearestWhole(double v) { return std::round(v); }  // halves away from zero

// The epochs kept, row by row, before the table is laid out: the table is built only once the file has shown
// that it really holds the N epochs asked for, so a window larger than the file never allocates the full table.
struct KeptEpochs {
    int satellites = 0;
    std::vector<double> times;
    std::vector<double> values;  // per epoch: x of slots 1..S, then y, z and clock

    void add(double t) {
        times.push_back(t);
        values.resize(values.size() + static_cast<std::size_t>(4 * satellites), 0.0);
    }
    void store(int slot, double x, double y, double z, double clock) {
        std::size_t row = (times.size() - 1) * static_cast<std::size_t>(4 * satellites);
        std::size_t s = static_cast<std::size_t>(slot - 1);
        std::size_t n = static_cast<std::size_t>(satellites);
        values[row + s] = x;
        values[row + n + s] = y;
        values[row + 2 * n + s] = z;
        values[row + 3 * n + s] = clock;
    }
};

[[noreturn]] void refuseGrid() {
    writeListing(freeLine("orbit epochs missing or off grid -- fatal"));
    stopRun(kStopOffGrid);
}

}  // namespace

bool scanbf(int value, const int* list, int count) {
    for (int i = 0; i < count; ++i) {
        if (list[i] == value) return true;
    }
    return false;
}

void lodor2(OrbitTable& table, int row, int slot, double x, double y, double z, double clock) {
    int n = table.epochCount;
    int offset = (slot - 1) * n + (row - 1);
    table.at(table.xBase + offset) = x;
    table.at(table.yBase + offset) = y;
    table.at(table.zBase + offset) = z;
    table.at(table.clockBase + offset) = clock;
}

void lodorb(TextFile& file, OrbitTable& table, int& satCount, int epochs, double start, double stop) {
    HeaderList list;
    readHeader(file, list);
    int satellites = pruneSatellites(list, satCount);

    int slotOf[kMaxPrn + 1]{};
    const PrnTable& prns = prnTable();
    for (int slot = 1; slot <= prns.count; ++slot) {
        int prn = prns.prn[slot];
        if (prn >= 1 && prn <= kMaxPrn) slotOf[prn] = slot;
    }

    table = OrbitTable{};
    table.epochCount = epochs;
    table.firstTime = kNoEpochYet;
    table.lastTime = -kNoEpochYet;

    KeptEpochs kept;
    kept.satellites = satellites;
    Record line;
    int n = 0;
    while (n < std::max(epochs, 1)) {
        if (!file.next(line, kRecordWidth)) break;
        if (line.column(1) != '*') continue;
        int year = line.intField(4, 7, "epoch year");
        int month = line.intField(8, 10, "epoch month");
        int day = line.intField(11, 13, "epoch day");
        int hour = line.intField(14, 16, "epoch hour");
        int minute = line.intField(17, 19, "epoch minute");
        double second = line.realField(20, 31, 8, "epoch second");
        double t = civjts(year, month, day, hour, minute, second);
        // Epochs outside the window are skipped; their position records are passed over by the next search.
        if (t < start - kWindowMargin || t > stop + kWindowMargin) continue;
        n += 1;
        kept.add(t);
        table.firstTime = std::min(table.firstTime, t);
        table.lastTime = std::max(table.lastTime, t);

        // Records are counted, not matched against the header list; velocity and other lines do not count.
        for (int r = 0; r < list.count; ++r) {
            file.require(line, kRecordWidth, "orbit position record");
            while (line.column(1) != 'P' && line.column(1) != 'p') {
                if (line.column(1) == '*') stopRun(kStopShortEpoch);
                file.require(line, kRecordWidth, "orbit position record");
            }
            int prn = line.intField(2, 4, "satellite number");
            double x = line.realField(5, 18, 6, "x (km)") * kMetresPerKilometre;
            double y = line.realField(19, 32, 6, "y (km)") * kMetresPerKilometre;
            double z = line.realField(33, 46, 6, "z (km)") * kMetresPerKilometre;
            double clock = line.realField(47, 60, 6, "clock (microseconds)") * kSecondsPerMicrosecond;
            // A satellite number outside 1..32 has no slot: dropped like a satellite the run does not use.
            int slot = (prn >= 1 && prn <= kMaxPrn) ? slotOf[prn] : 0;
            if (slot < 0 || slot > kMaxPrn) stopRun(kStopBadSlot);
            if (slot == 0) continue;
            kept.store(slot, x, y, z, clock);
        }
    }

    if (epochs < kMinimumEpochs) {
        writeListing(freeLine("orbit window has fewer than 9 epochs -- fatal"));
        stopRun(kStopTooFewEpochs);
    }
    if (n < epochs) refuseGrid();
    table.interval = nearestWhole((table.lastTime - table.firstTime) / static_cast<double>(epochs - 1));
    // Interpolation takes epoch k at firstTime + (k - 1)·interval; a table that is not on that grid (or has no
    // spacing at all) would give wrong positions without a word.
    if (!(table.interval > 0.0)) refuseGrid();
    for (int k = 1; k <= epochs; ++k) {
        double grid = table.firstTime + static_cast<double>(k - 1) * table.interval;
        if (!(std::fabs(kept.times[static_cast<std::size_t>(k - 1)] - grid) <= kGridTolerance)) refuseGrid();
    }

    long long size = static_cast<long long>(epochs) * (1 + 4LL * satellites);
    table.data.assign(static_cast<std::size_t>(size), 0.0);
    table.timeBase = 1;
    table.xBase = epochs + 1;
    table.yBase = epochs + 1 + satellites * epochs;
    table.zBase = epochs + 1 + 2 * satellites * epochs;
    table.clockBase = epochs + 1 + 3 * satellites * epochs;
    for (int k = 1; k <= epochs; ++k) {
        table.at(table.timeBase + k - 1) = kept.times[static_cast<std::size_t>(k - 1)];
        std::size_t row = static_cast<std::size_t>(k - 1) * static_cast<std::size_t>(4 * satellites);
        std::size_t s4 = static_cast<std::size_t>(satellites);
        for (int slot = 1; slot <= satellites; ++slot) {
            std::size_t s = static_cast<std::size_t>(slot - 1);
            lodor2(table, k, slot, kept.values[row + s], kept.values[row + s4 + s], kept.values[row + 2 * s4 + s],
                   kept.values[row + 3 * s4 + s]);
        }
    }
    table.lastWindowStart = epochs - 8;
    table.lastWindowTime = table.firstTime + static_cast<double>(epochs - 9) * table.interval;
    itrini(table);
}

}  // namespace varno
