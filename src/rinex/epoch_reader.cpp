// The in-step epoch reader: each receiver's file is read forward, one epoch held at most, to the requested times.
#include <algorithm>
#include <cmath>

#include "epoch_line.h"
#include "rinex/rinex.h"

namespace varno {

namespace {

using namespace rinex_internal;

// An epoch within this many seconds of the requested time is the requested epoch.
constexpr double kTolerance = 0.3;
// Values of at most this magnitude mean "not observed".
constexpr double kAbsentMagnitude = 0.001;
// Only the first line of a record is parsed: five values of 16 columns.
constexpr int kValuesPerLine = 5;

constexpr int kStopEndedAtRequest = 34591;
constexpr int kStopEpochCount = 24303;
constexpr int kStopSynchBug = 36649;
constexpr int kStopZeroPrn = 32646;
constexpr int kStopSlotOutside = 87473;

enum SyncState { kInStep = 0, kAhead = 1, kEnded = 2 };

// One line buffer for every call, so that the per-epoch path does not allocate.
Record& scratchLine() {
    static Record line;
    return line;
}

// Values 1..m of the first record line; values beyond m stay absent.
void parseValues(const Record& line, int m, std::array<double, kValuesPerLine + 1>& values) {
    for (int k = 1; k <= kValuesPerLine; ++k) values[static_cast<size_t>(k)] = kNoData;
    for (int k = 1; k <= m; ++k) {
        const double v = line.realField(16 * k - 15, 16 * k - 2, 3, "observation value");
        (void)line.intField(16 * k - 1, 16 * k - 1, "loss-of-lock indicator");
        (void)line.intField(16 * k, 16 * k, "signal strength");
        values[static_cast<size_t>(k)] = std::fabs(v) <= kAbsentMagnitude ? kNoData : v;
    }
}

// Value number `position` of the record, absent when the type is not declared or stands beyond the first line.
double valueAt(const std::array<double, kValuesPerLine + 1>& values, int position) {
    if (position < 1 || position > kValuesPerLine) return kNoData;
    return values[static_cast<size_t>(position)];
}

// Reads the records of the epoch line into `record`, for the satellites the table holds in slots 1..n.
void takeEpoch(TextFile& file, const ObsFileSummary& summary, int n, const EpochLine& epoch, Record& line,
               EpochRecord& record) {
    const int m = std::min(summary.typeCount, kValuesPerLine);
    const int slots = std::clamp(n, 0, kMaxPrn);
    const ObsTypeIndex& index = summary.typeIndex;
    std::fill(record.present.begin() + 1, record.present.begin() + 1 + slots, 0);
    std::array<double, kValuesPerLine + 1> values{};
    for (int k = 0; k < epoch.count; ++k) {
        if (!isGps(epoch, k)) {
            skipLines(file, line, summary.twoLineRecords ? 2 : 1, "an observation record");
            continue;
        }
        const int prn = epoch.prn[static_cast<size_t>(k)];
        if (prn <= 0) {
            writeListing(freeLine("zero prn number was not expected"));
            stopRun(kStopZeroPrn);
        }
        file.require(line, kRinexWidth, "an observation record");
        parseValues(line, m, values);
        if (summary.twoLineRecords) skipLines(file, line, 1, "the second line of an observation record");
        int slot = 0;
        if (!getprn(prn, slot) || slot > slots) continue;
        record.present[static_cast<size_t>(slot)] = 1;
        std::array<double, 4>& obs = record.obs[static_cast<size_t>(slot)];
        for (int j = 0; j < 4; ++j) obs[static_cast<size_t>(j)] = valueAt(values, index[static_cast<size_t>(j + 1)]);
        // A record without its P1 value falls back on the C1 value of the same record.
        if (obs[1] >= kNoData) obs[1] = valueAt(values, index[0]);
    }
}

}  // namespace

void skipHeader(TextFile& file) {
    file.rewind();
    Record line;
    do {
        file.require(line, kRinexWidth, "the END OF HEADER line");
    } while (!line.startsWith(kLabelColumn, "END OF HEADER"));
}

bool oget(TextFile& file, const ObsFileSummary& summary, int n, double t, EpochRecord& record) {
    if (record.holding) {
        if (record.syncState == kAhead && record.epochTime - t >= kTolerance) return false;
        if (std::fabs(record.epochTime - t) <= kTolerance) {
            if (record.syncState == kEnded) stopRun(kStopEndedAtRequest);
            record.syncState = kInStep;
            return true;
        }
    }

    Record& line = scratchLine();
    EpochLine epoch;
    const int recordLines = summary.twoLineRecords ? 2 : 1;
    for (;;) {
        if (!file.next(line, kRinexWidth)) {
            record.syncState = kEnded;
            return false;
        }
        parseEpochLine(line, epoch);
        if (epoch.flag >= 2) {
            skipLines(file, line, epoch.count, "a special record");
            continue;
        }
        if (epoch.count < 1 || epoch.count > kMaxEpochSats) stopRun(kStopEpochCount);
        record.epochTime =
            civjts(widenYear(epoch.year), epoch.month, epoch.day, epoch.hour, epoch.minute, epoch.second);
        record.holding = true;
        if (record.epochTime >= t - kTolerance) break;
        skipLines(file, line, epoch.count * recordLines, "an observation record");
    }

    const bool near = std::fabs(record.epochTime - t) <= kTolerance;
    if (record.epochTime <= t + kTolerance && !near) {
        writeListing(freeLine("time synch logic bug in oget()"));
        stopRun(kStopSynchBug);
    }
    takeEpoch(file, summary, n, epoch, line, record);
    record.syncState = near ? kInStep : kAhead;
    return near;
}

bool dget(int slot, const EpochRecord& point1, const EpochRecord& point2, int n, double& phase1, double& range1,
          double& phaseL2_1, double& phase2, double& range2, double& phaseL2_2) {
    if (slot < 1 || slot > n || slot > kMaxPrn) stopRun(kStopSlotOutside);
    const size_t s = static_cast<size_t>(slot);
    if (point1.present[s] == 0 || point2.present[s] == 0) return false;
    phase1 = point1.obs[s][0];
    range1 = point1.obs[s][1];
    phaseL2_1 = point1.obs[s][2];
    phase2 = point2.obs[s][0];
    range2 = point2.obs[s][1];
    phaseL2_2 = point2.obs[s][2];
    return range1 < kNoData && range2 < kNoData;
}

}  // namespace varno
