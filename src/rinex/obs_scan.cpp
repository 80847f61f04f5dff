// The scan of one RINEX 2 observation file: header values, first and last epoch, mean interval, satellites seen.
#include <cmath>

#include "epoch_line.h"
#include "rinex/rinex.h"

namespace varno {

namespace {

using namespace rinex_internal;

constexpr int kMaxTypes = 9;
// Above this mean interval (s) the mean is taken to the nearest multiple of 5 s, absorbing data gaps.
constexpr double kRoundingThreshold = 5.1;

constexpr int kStopNoTypes = 34989;
constexpr int kStopFirstEpochCount = 24307;
constexpr int kStopLaterEpochCount = 24308;
constexpr int kStopTooFewEpochs = 24309;
constexpr int kStopOverflowFirst = 32898;
constexpr int kStopOverflowLater = 32899;
constexpr int kStopReadError = 66663;

void readTypes(const Record& line, ObsFileSummary& summary) {
    const int count = line.intField(1, 6, "number of observation types");
    if (count < 1) stopRun(kStopNoTypes);
    if (count > kMaxTypes) {
        line.fail("expected at most 9 observation types in columns 1-6 (continuation lines are not read), found " +
                  std::to_string(count));
    }
    std::array<std::string, kMaxTypes> types;
    for (int k = 1; k <= count; ++k) {
        types[static_cast<size_t>(k - 1)] = std::string(line.columns(6 * k + 5, 6 * k + 6));
    }
    summary.typeCount = count;
    summary.twoLineRecords = count > 5;
    ObsTypeIndex& index = summary.typeIndex;
    index[1] = alook("L1", types, count);
    const int p1 = alook("P1", types, count);
    if (p1 != 0) {
        index[2] = p1;
        index[0] = alook("C1", types, count);
    } else {
        index[2] = alook("C1", types, count);
        index[0] = 0;
    }
    index[3] = alook("L2", types, count);
    index[4] = alook("P2", types, count);
}

void readHeader(TextFile& file, Record& line, ObsFileSummary& summary) {
    for (;;) {
        file.require(line, kRinexWidth, "the END OF HEADER line");
        if (line.startsWith(kLabelColumn, "RINEX VERSION / TYPE")) {
            // Version 3 files share the label but not the layout of the types and epochs: refuse them here
            // rather than at some later field that happens not to convert.
            double version = 0.0;
            if (parseRealText(line.columns(1, 9), 2, version) && version >= 3.0) {
                line.fail("expected a RINEX version 2 observation file, found version " +
                          std::string(line.columns(1, 9).substr(line.columns(1, 9).find_first_not_of(' '))));
            }
        } else if (line.startsWith(kLabelColumn, "MARKER NAME")) {
            summary.stationId = std::string(line.columns(1, 4));
            writeListing(freeLine("station id -- ", summary.stationId));
        } else if (line.startsWith(kLabelColumn, "APPROX POSITION XYZ")) {
            summary.x = line.realField(1, 14, 4, "approximate X");
            summary.y = line.realField(15, 28, 4, "approximate Y");
            summary.z = line.realField(29, 42, 4, "approximate Z");
        } else if (line.startsWith(kLabelColumn, "ANTENNA: DELTA H/E/N")) {
            // Antenna offsets come from the offset file.
        } else if (line.startsWith(kLabelColumn, "# / TYPES OF OBSERV")) {
            readTypes(line, summary);
        } else if (line.startsWith(kLabelColumn, "END OF HEADER")) {
            return;
        }
    }
}

// Enters the GPS satellites of a valid epoch into the PrnTable, in list order.
void enterSatellites(const EpochLine& epoch, int overflowStop) {
    for (int k = 0; k < epoch.count; ++k) {
        const int prn = epoch.prn[static_cast<size_t>(k)];
        if (prn <= 0 || !isGps(epoch, k)) continue;
        int slot = 0;
        if (!putprn(prn, slot) && slot == 0) {
            writeListing(freeLine("prn table overflow"));
            stopRun(overflowStop);
        }
    }
}

double epochTime(const EpochLine& epoch) {
    return civjts(widenYear(epoch.year), epoch.month, epoch.day, epoch.hour, epoch.minute, epoch.second);
}

bool validSatCount(int count) { return count >= 1 && count <= kMaxEpochSats; }

[[noreturn]] void reportReadError(const EpochLine& lastValid) {
    writeConsole(freeLine("read error encountered -- see .lst"));
    writeListing(freeLine("last valid data header was:"));
    writeListing(fmtI(lastValid.year, 3) + fmtI(lastValid.month, 3) + fmtI(lastValid.day, 3) +
                 fmtI(lastValid.hour, 3) + fmtI(lastValid.minute, 3) + fmtF(lastValid.second, 9, 3) + " was OK");
    stopRun(kStopReadError);
}

}  // namespace

int alook(const std::string& code, const std::array<std::string, 9>& list, int n) {
    const int last = n < kMaxTypes ? n : kMaxTypes;
    for (int i = 0; i < last; ++i) {
        if (list[static_cast<size_t>(i)] == code) return i + 1;
    }
    return 0;
}

void oscan(TextFile& file, ObsFileSummary& summary) {
    Record line;
    summary.x = summary.y = summary.z = 0.0;
    readHeader(file, line, summary);
    const int recordLines = summary.twoLineRecords ? 2 : 1;

    // The first valid epoch: event records before it are passed over, and errors here are input errors.
    EpochLine epoch;
    for (;;) {
        file.require(line, kRinexWidth, "an epoch line");
        parseEpochLine(line, epoch);
        if (epoch.flag < 2) break;
        skipLines(file, line, epoch.count, "a special record");
    }
    if (!validSatCount(epoch.count)) stopRun(kStopFirstEpochCount);
    summary.firstEpoch = epochTime(epoch);
    enterSatellites(epoch, kStopOverflowFirst);
    skipLines(file, line, epoch.count * recordLines, "an observation record");

    EpochLine lastValid = epoch;
    double previous = summary.firstEpoch;
    double intervalSum = 0.0;
    int epochs = 0;
    while (file.next(line, kRinexWidth)) {
        try {
            parseEpochLine(line, epoch);
        } catch (const InputError&) {
            reportReadError(lastValid);
        }
        if (epoch.flag >= 2) {
            skipLines(file, line, epoch.count, "a special record");
            continue;
        }
        if (!validSatCount(epoch.count)) stopRun(kStopLaterEpochCount);
        summary.lastEpoch = epochTime(epoch);
        epochs += 1;
        intervalSum += summary.lastEpoch - previous;
        previous = summary.lastEpoch;
        enterSatellites(epoch, kStopOverflowLater);
        skipLines(file, line, epoch.count * recordLines, "an observation record");
        lastValid = epoch;
    }

    // A single epoch gives no interval: the rest of the run needs a span.
    if (epochs == 0) {
        writeListing(freeLine("fewer than two epochs in observation file -- fatal"));
        stopRun(kStopTooFewEpochs);
    }
    double mean = intervalSum / epochs;
    if (mean > kRoundingThreshold) mean = 5.0 * std::round(mean * 0.2);
    summary.meanInterval = mean;
}

}  // namespace varno
