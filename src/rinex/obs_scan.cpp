// The scan of one RINEX 2 observation file: header values, first and last epoch, typical interval, satellites seen.
#include <algorithm>
#include <cmath>
#include <vector>

#include "epoch_line.h"
#include "record_model.h"
#include "rinex3.h"
#include "rinex/rinex.h"

namespace varno {

namespace {

using namespace rinex_internal;


constexpr int kStopNoTypes = 34989;
constexpr int kStopFirstEpochCount = 24307;
constexpr int kStopLaterEpochCount = 24308;
constexpr int kStopTooFewEpochs = 24309;
constexpr int kStopOverflowFirst = 32898;
constexpr int kStopOverflowLater = 32899;
constexpr int kStopReadError = 66663;

// The observation types of the header as far as read: the first "# / TYPES OF OBSERV" line gives the count and
// up to nine codes, continuation lines (count field blank) nine more each.
struct TypeList {
    std::array<std::string, kMaxTypes> codes;
    int declared = 0;
    int read = 0;
};

void readTypes(const Record& line, ObsFileSummary& summary, TypeList& list) {
    const bool continuation = list.read < list.declared && line.blank(1, 6);
    if (!continuation) {
        const int count = line.intField(1, 6, "number of observation types");
        if (count < 1) stopRun(kStopNoTypes);
        if (count > kMaxTypes) {
            line.fail("expected at most " + std::to_string(kMaxTypes) +
                      " observation types in columns 1-6, found " + std::to_string(count));
        }
        list.declared = count;
        list.read = 0;
    }
    const int onLine = std::min(kTypesPerLine, list.declared - list.read);
    for (int k = 1; k <= onLine; ++k) {
        list.codes[static_cast<size_t>(list.read++)] = std::string(line.columns(6 * k + 5, 6 * k + 6));
    }
    summary.typeCount = list.declared;
    summary.twoLineRecords = list.declared > 5;
    ObsTypeIndex& index = summary.typeIndex;
    index[1] = alook("L1", list.codes, list.read);
    const int p1 = alook("P1", list.codes, list.read);
    if (p1 != 0) {
        index[2] = p1;
        index[0] = alook("C1", list.codes, list.read);
    } else {
        index[2] = alook("C1", list.codes, list.read);
        index[0] = 0;
    }
    index[3] = alook("L2", list.codes, list.read);
    index[4] = alook("P2", list.codes, list.read);
}

// Reads the header up to and including its END OF HEADER line. The version-specific part of the scan.
void readHeader(TextFile& file, Record& line, ObsFileSummary& summary) {
    TypeList types;
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
        } else if (line.startsWith(kLabelColumn, "REC # / TYPE / VERS")) {
            summary.receiverType = std::string(line.columns(21, 40));
        } else if (line.startsWith(kLabelColumn, "APPROX POSITION XYZ")) {
            summary.x = line.realField(1, 14, 4, "approximate X");
            summary.y = line.realField(15, 28, 4, "approximate Y");
            summary.z = line.realField(29, 42, 4, "approximate Z");
        } else if (line.startsWith(kLabelColumn, "ANTENNA: DELTA H/E/N")) {
            // Antenna offsets come from the offset file.
        } else if (line.startsWith(kLabelColumn, "# / TYPES OF OBSERV")) {
            readTypes(line, summary, types);
        } else if (line.startsWith(kLabelColumn, "END OF HEADER")) {
            if (types.read < types.declared) {
                line.fail("expected the " + std::to_string(types.declared) + " observation types declared, found " +
                          std::to_string(types.read) + " on the # / TYPES OF OBSERV lines");
            }
            return;
        }
    }
}

// Enters the satellites of the run's systems of a valid epoch into the run's table, in list order.
void enterSatellites(const EpochLine& epoch, const ObsFileSummary& summary, SatIndex& sats, int overflowStop) {
    for (int k = 0; k < epoch.count; ++k) {
        const int prn = epoch.prn[static_cast<size_t>(k)];
        const std::optional<GnssSystem> system = takenSystem(epoch.system[static_cast<size_t>(k)], summary);
        if (prn > 0 && system) enterSatellite(sats, SatId{*system, prn}, overflowStop);
    }
}

double epochTime(int jd0, const EpochLine& epoch) {
    return civjts(jd0, widenYear(epoch.year), epoch.month, epoch.day, epoch.hour, epoch.minute, epoch.second);
}

// The date and time fields of an epoch line as written.
struct EpochFields {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double second = 0.0;
};

EpochFields fieldsOf(const EpochLine& epoch) {
    return {epoch.year, epoch.month, epoch.day, epoch.hour, epoch.minute, epoch.second};
}

// The epoch line that does not convert is named on standard error (file, line and field), the last good one in
// the listing.
[[noreturn]] void reportReadError(const EpochFields& lastValid, const InputError& fault, const Record& line) {
    writeDiagnostic(epochLineFault(fault, line));
    writeConsole(freeLine("read error encountered -- see .lst"));
    writeListing(freeLine("last valid data header was:"));
    writeListing(fmtI(lastValid.year, 3) + fmtI(lastValid.month, 3) + fmtI(lastValid.day, 3) +
                 fmtI(lastValid.hour, 3) + fmtI(lastValid.minute, 3) + fmtF(lastValid.second, 9, 3) + " was OK");
    stopRun(kStopReadError);
}

}  // namespace

int alook(const std::string& code, std::span<const std::string> list, int n) {
    const int last = std::min(n, static_cast<int>(list.size()));
    for (int i = 0; i < last; ++i) {
        if (list[static_cast<size_t>(i)] == code) return i + 1;
    }
    return 0;
}

void oscan(TextFile& file, int jd0, SatIndex& sats, ObsFileSummary& summary) {
    summary.jd0 = jd0;
    Record line;
    Record ahead;
    summary.x = summary.y = summary.z = 0.0;
    if (isRinex3(file)) {
        readHeader3(file, summary);
        scanEpochs3(file, summary, sats);
        return;
    }
    // A navigation, orbit or clock file given as observations: one line saying what it is (the RINEX 3 header
    // check says it of a file of version 3 or more).
    if (file.next(line, kRinexWidth)) {
        refuseOtherKind(line, {FileKind::observation, FileKind::compactObservation}, "an observation file");
    }
    file.rewind();
    readHeader(file, line, summary);
    const int linesEach = recordLines(summary.typeCount);

    // The first valid epoch: special records before it are passed over, and errors here are input errors.
    EpochLine epoch;
    bool afterEvent = false;
    for (;;) {
        if (!nextEpochLine(file, line, ahead, afterEvent)) {
            throw InputError(file.name() + ":" + std::to_string(file.lineNumber() + 1) +
                             ": end of file where an epoch line was expected");
        }
        parseEpochLine(line, epoch);
        if (!passOverSpecialRecords(file, line, epoch, linesEach, afterEvent)) break;
    }
    if (epoch.count < 1) stopRun(kStopFirstEpochCount);
    readContinuationLines(file, line, epoch);
    summary.firstEpoch = epochTime(jd0, epoch);
    enterSatellites(epoch, summary, sats, kStopOverflowFirst);
    skipRecords(file, epoch.count, linesEach);

    EpochFields lastValid = fieldsOf(epoch);
    double previous = summary.firstEpoch;
    std::vector<double> spacings;
    while (nextEpochLine(file, line, ahead, afterEvent)) {
        try {
            parseEpochLine(line, epoch);
        } catch (const InputError& fault) {
            reportReadError(lastValid, fault, line);
        }
        if (passOverSpecialRecords(file, line, epoch, linesEach, afterEvent)) continue;
        if (epoch.count < 1) stopRun(kStopLaterEpochCount);
        readContinuationLines(file, line, epoch);
        summary.lastEpoch = epochTime(jd0, epoch);
        spacings.push_back(summary.lastEpoch - previous);
        previous = summary.lastEpoch;
        enterSatellites(epoch, summary, sats, kStopOverflowLater);
        skipRecords(file, epoch.count, linesEach);
        lastValid = fieldsOf(epoch);
    }

    // A single epoch gives no interval: the rest of the run needs a span.
    if (spacings.empty()) {
        writeListing(freeLine("fewer than two epochs in observation file -- fatal"));
        stopRun(kStopTooFewEpochs);
    }
    summary.interval = typicalInterval(spacings);
}

}  // namespace varno
