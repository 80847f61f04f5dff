// The data section of a RINEX 3 or 4 observation file: the scan of its epochs and the in-step epoch reader.
// An epoch is a line "> YYYY MM DD hh mm ss.sssssss  f nnn" followed by nnn lines, one per satellite ("G05" and
// then one 16-column group per type of that system's list); event flags 2 and above announce nnn other lines.
#include <algorithm>
#include <cmath>
#include <vector>

#include "epoch_line.h"
#include "record_model.h"
#include "rinex3.h"

namespace varno::rinex_internal {

namespace {

constexpr double kTolerance = 0.3;          // an epoch this close to the requested time is the requested one

constexpr int kStopFirstEpochCount = 24307;
constexpr int kStopLaterEpochCount = 24308;
constexpr int kStopTooFewEpochs = 24309;
constexpr int kStopOverflowFirst = 32898;
constexpr int kStopOverflowLater = 32899;
constexpr int kStopReadError = 66663;
constexpr int kStopEpochCount = 24303;
constexpr int kStopSynchBug = 36649;
constexpr int kStopZeroPrn = 32646;

enum SyncState { kInStep = 0, kAhead = 1, kEnded = 2 };

struct Epoch3 {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double second = 0.0;
    int flag = 0;   // event flag; 2 and above announce `count` other lines
    int count = 0;  // satellites, or lines that follow an event
};

void parseEpoch3(const Record& line, Epoch3& epoch) {
    if (line.column(1) != '>') {
        line.fail("expected an epoch line beginning with \">\" in column 1, found \"" +
                  std::string(line.columns(1, 20)) + "\"");
    }
    epoch.year = line.intField(3, 6, "year");
    epoch.month = line.intField(8, 9, "month");
    epoch.day = line.intField(11, 12, "day");
    epoch.hour = line.intField(14, 15, "hour");
    epoch.minute = line.intField(17, 18, "minute");
    epoch.second = line.realField(19, 29, 7, "second");
    if (!std::isfinite(epoch.second)) {
        line.fail("expected a finite number second in columns 19-29, found \"" +
                  std::string(line.columns(19, 29)) + "\"");
    }
    epoch.flag = line.intField(30, 32, "event flag");
    epoch.count = line.intField(33, 35, "satellite count");
    (void)line.realField(42, 56, 12, "receiver clock offset");
}

double epochTime(int jd0, const Epoch3& epoch) {
    return civjts(jd0, epoch.year, epoch.month, epoch.day, epoch.hour, epoch.minute, epoch.second);
}

// Reads the next line where an epoch line is expected; false at the end of the data section: the end of the file,
// or blank lines only up to it. A blank line followed by text is returned (and is no epoch line). After an event
// record (`afterEvent`), lines with a header label in columns 61-80 are passed over: such records often hold more
// header lines than their count gives.
bool nextEpochLine3(TextFile& file, Record& line, bool& afterEvent) {
    Record& ahead = file.aheadBuffer();
    for (;;) {
        if (!file.next(line, kRinexWidth)) return false;
        if (line.blank(1, kRinexWidth)) return !onlyBlankLinesRemain(file, ahead);
        const char label = line.column(kLabelColumn);
        const bool headerLine = line.column(1) != '>' && ((label >= 'A' && label <= 'Z') || label == '#');
        if (!afterEvent || !headerLine) break;
    }
    afterEvent = false;
    return true;
}

// Passes over the lines announced by an event record (flag 2 and above); false for an epoch.
bool passOverEvent(TextFile& file, const Epoch3& epoch, bool& afterEvent) {
    if (epoch.flag < 2) return false;
    skipLines(file, epoch.count, "an event record line");
    afterEvent = epoch.flag <= 5;
    return true;
}

// Reads the satellite lines of an epoch and enters the satellites of the run's systems into its table `sats`, in
// file order.
void enterSatellites(TextFile& file, const ObsFileSummary& summary, Record& line, SatIndex& sats, int count,
                     int overflowStop) {
    for (int k = 0; k < count; ++k) {
        file.require(line, kRinexWidth, "a satellite record");
        const std::optional<GnssSystem> system = takenSystem(line.column(1), summary);
        if (!system) continue;
        const int prn = line.intField(2, 3, "satellite number");
        if (prn > 0) enterSatellite(sats, SatId{*system, prn}, overflowStop);
    }
}

// The epoch line that does not convert is named on standard error (file, line and field), the last good one in
// the listing.
[[noreturn]] void reportReadError(const Epoch3& lastValid, const InputError& fault, const Record& line) {
    writeDiagnostic(epochLineFault(fault, line));
    writeConsole(freeLine("read error encountered -- see .lst"));
    writeListing(freeLine("last valid data header was:"));
    // The same line as for the two-digit years of a RINEX 2 file.
    writeListing(fmtI(lastValid.year % 100, 3) + fmtI(lastValid.month, 3) + fmtI(lastValid.day, 3) +
                 fmtI(lastValid.hour, 3) + fmtI(lastValid.minute, 3) + fmtF(lastValid.second, 9, 3) + " was OK");
    stopRun(kStopReadError);
}

// Value at 1-based position p of a satellite line (its group starts in column 16p - 12), absent when not declared.
double valueAt(const Record& line, int p) { return p < 1 ? kNoData : groupValue(line, 16 * p - 12); }

void takeEpoch(TextFile& file, const ObsFileSummary& summary, const SatIndex& sats, int n, int count, Record& line,
               EpochRecord& record) {
    const int width = recordWidth3(summary);
    const int slots = std::max(n, 0);
    record.clearSlots(slots);
    for (int k = 0; k < count; ++k) {
        file.require(line, width, "a satellite record");
        const std::optional<GnssSystem> system = takenSystem(line.column(1), summary);
        if (!system) continue;
        const int prn = line.intField(2, 3, "satellite number");
        if (prn <= 0) {
            writeListing(freeLine("zero prn number was not expected"));
            stopRun(kStopZeroPrn);
        }
        int slot = 0;
        const SatId sat{*system, prn};
        if (!getprn(sats, sat, slot) || slot > slots) continue;
        storeRecord(record, slot, sat, summary, [&line](int p) { return valueAt(line, p); });
    }
}

}  // namespace

void scanEpochs3(TextFile& file, ObsFileSummary& summary, SatIndex& sats) {
    Record line;
    Epoch3 epoch;
    bool afterEvent = false;
    for (;;) {
        if (!nextEpochLine3(file, line, afterEvent)) file.require(line, kRinexWidth, "an epoch line");
        parseEpoch3(line, epoch);
        if (!passOverEvent(file, epoch, afterEvent)) break;
    }
    if (epoch.count < 1) stopRun(kStopFirstEpochCount);
    summary.firstEpoch = epochTime(summary.jd0, epoch);
    enterSatellites(file, summary, line, sats, epoch.count, kStopOverflowFirst);

    Epoch3 lastValid = epoch;
    double previous = summary.firstEpoch;
    std::vector<double> spacings;
    while (nextEpochLine3(file, line, afterEvent)) {
        try {
            parseEpoch3(line, epoch);
        } catch (const InputError& fault) {
            reportReadError(lastValid, fault, line);
        }
        if (passOverEvent(file, epoch, afterEvent)) continue;
        if (epoch.count < 1) stopRun(kStopLaterEpochCount);
        summary.lastEpoch = epochTime(summary.jd0, epoch);
        spacings.push_back(summary.lastEpoch - previous);
        previous = summary.lastEpoch;
        enterSatellites(file, summary, line, sats, epoch.count, kStopOverflowLater);
        lastValid = epoch;
    }

    // A single epoch gives no interval: the rest of the run needs a span.
    if (spacings.empty()) {
        writeListing(freeLine("fewer than two epochs in observation file -- fatal"));
        stopRun(kStopTooFewEpochs);
    }
    summary.interval = typicalInterval(spacings);
}

bool oget3(TextFile& file, const ObsFileSummary& summary, const SatIndex& sats, int n, double t, EpochRecord& record) {
    Record& line = file.lineBuffer();
    Epoch3 epoch;
    bool afterEvent = false;
    for (;;) {
        if (!nextEpochLine3(file, line, afterEvent)) {
            record.syncState = kEnded;
            return false;
        }
        parseEpoch3(line, epoch);
        if (passOverEvent(file, epoch, afterEvent)) continue;
        if (epoch.count < 1) stopRun(kStopEpochCount);
        record.epochTime = epochTime(summary.jd0, epoch);
        record.holding = true;
        if (record.epochTime >= t - kTolerance) break;
        skipLines(file, epoch.count, "a satellite record");
    }

    // The epoch lies at or after t - 0.3 (the loop) and, when near, at or before t + 0.3. At exactly 0.3 s off
    // (a tag x.7 asked for at x+1) the distance |epochTime - t| can round above 0.3 where those two sums do not:
    // such an epoch is within the tolerance too, or a receiver tagging 0.3 s off the grid would stop the run.
    const bool near = std::fabs(record.epochTime - t) <= kTolerance || record.epochTime <= t + kTolerance;
    // Unreachable since `near` takes in every epoch up to t + 0.3; kept as the guard of the reader's logic.
    if (record.epochTime <= t + kTolerance && !near) {
        writeListing(freeLine("time synch logic bug in oget()"));
        stopRun(kStopSynchBug);
    }
    takeEpoch(file, summary, sats, n, epoch.count, line, record);
    record.syncState = near ? kInStep : kAhead;
    return near;
}

}  // namespace varno::rinex_internal
