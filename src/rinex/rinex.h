// Receiver observation input: the scan of a RINEX 2, 3 or 4 observation file, the choice of the common span and
// interval of the two receivers, and the in-step epoch reader.
#pragma once

#include <array>
#include <span>
#include <string>
#include <vector>

#include "gnss/gnss.h"
#include "orbit/orbit.h"
#include "station/station.h"
#include "textio/textio.h"
#include "timebase/timebase.h"

namespace varno {

// Marks an absent observation value.
inline constexpr double kNoData = 1.0e31;

// 1-based positions in the header's type list of the types the program needs (0: not declared):
// [0] C1 when P1 is also declared, else 0; [1] L1; [2] P1, or C1 when P1 is not declared; [3] L2; [4] P2.
using ObsTypeIndex = std::array<int, 5>;

// What the scan of one observation file delivers. Header values of lines the file lacks keep what the caller
// had (station id, type count, index and twoLineRecords).
struct ObsFileSummary {
    int jd0 = 0;                     // the run's reference day, which the epoch times (jts) count from
    std::string stationId = "    ";  // columns 1-4 of MARKER NAME
    std::string receiverType;        // columns 21-40 of REC # / TYPE / VERS, as written
    double firstEpoch = 0.0;         // jts of the first epoch with flag 0 or 1
    double lastEpoch = 0.0;          // jts of the last such epoch
    double interval = 0.0;           // s, median epoch spacing, rounded to a multiple of 5 s above 5.1 s
    int typeCount = 0;               // declared types (up to 99, on one or more type lines)
    ObsTypeIndex typeIndex{};
    double x = 0.0, y = 0.0, z = 0.0;  // APPROX POSITION XYZ, zero when absent
    bool twoLineRecords = false;       // more than 5 types: each satellite's record spans ceil(types / 5) lines
    // RINEX 3 or 4 layout: one record line per satellite, led by its id ("G05"); typeCount and typeIndex are
    // those of the GPS type list.
    bool rinex3 = false;
    // RINEX 3 or 4: each system's declared observation types (SYS / # / OBS TYPES), indexed by GnssSystem; empty
    // for a system the header does not list (or an unknown letter) and for RINEX 2 files.
    std::array<std::vector<std::string>, kSystemCount> systemTypes{};
    const std::vector<std::string>& typesOf(GnssSystem system) const {
        return systemTypes[static_cast<std::size_t>(system)];
    }
    // The systems whose satellites the run takes: the caller's choice, GPS alone unless it sets them. A RINEX 2
    // file's satellites of every system take the roles of its one type list.
    SystemSet systems = kGpsOnly;
    // RINEX 3 or 4, each system but GPS: 1-based positions in the system's type list of the code types of its
    // pseudorange (codePreference order, the first three declared; 0 after them).
    std::array<std::array<int, 3>, kSystemCount> codeIndex{};
};

// 1-based position of `code` among the first n entries of `list` (exact two-character comparison), 0 if absent.
int alook(const std::string& code, std::span<const std::string> list, int n);

// Scans one observation file from its first line to its end, adding every GPS satellite seen to the run's table
// `sats`, its epoch times counted from reference day jd0 (kept in summary.jd0)
// (satellites of other systems are passed over). A first line "RINEX VERSION / TYPE" of version 3.xx or 4.xx
// selects the RINEX 3 layout (other versions of 3 or more, and files other than observation data, are input
// errors); any other file is read as RINEX 2. Listing line "station id -- <id>".
// Epochs are those with event flag 0 or 1, their satellites listed on the epoch line and its continuation lines
// (in RINEX 3, one record line each); event records (flags 2-5, with any header-label lines beyond their count) and cycle-slip records (flag 6) are
// passed over; blank lines at the end of the file end the data section.
// Stops: 34989, 24307, 24308, 32898, 32899, 66663 (with "read error encountered -- see .lst" on the console),
// 24309 ("fewer than two epochs in observation file -- fatal"). A file without any valid epoch is an input error.
void oscan(TextFile& file, int jd0, SatIndex& sats, ObsFileSummary& summary);

// The date of the file's first epoch (open at its first line; rewound afterwards): from the header's TIME OF FIRST
// OBS line, else from the first epoch line (two-digit years of RINEX 2: 80-99 are 19xx). An input error naming the
// file and line when neither gives a date from 1980 to 2099.
void firstEpochDate(TextFile& file, int& year, int& month, int& day);

// The span plan of the run: what the orbit loader and the adjustment need.
struct SpanPlan {
    int jd0 = 0;             // the run's reference day (modified Julian date)
    int satCount = 0;        // run's satellite count after both scans
    int orbitEpochs = 0;     // N, orbit epochs to load
    double orbitStart = 0;   // first orbit epoch to load, jts
    double orbitStop = 0;    // last orbit epoch to load, jts
    double dataStart = 0;    // common start, jts
    double dataEnd = 0;      // common stop, jts
    double interval = 0;     // common interval, whole seconds
};

// Reads the orbit file's first two lines, fixes plan.jd0, scans both observation files (rewinding them afterwards)
// into the run's satellite table `sats` (emptied first),
// and returns the span plan and both scan summaries. `pair` is cleared and receives the header positions as
// markers. Listing lines in the order of a good run; stops 34587, 43586 ("data interval below 1 s -- fatal"),
// 43587 ("receiver data do not overlap -- fatal"), 43588 ("orbit interval too short -- fatal").
// With several orbit files (in time order) the orbit span is their join (orbspn, orbit/orbit.h); 43588 then
// also carries the plain words of what the orbit covers and which day's file is missing.
void recon(const std::vector<TextFile*>& orbits, TextFile& obs1, TextFile& obs2, SatIndex& sats, SpanPlan& plan,
           ObsFileSummary& summary1, ObsFileSummary& summary2, StationPair& pair);
void recon(TextFile& orbit, TextFile& obs1, TextFile& obs2, SatIndex& sats, SpanPlan& plan, ObsFileSummary& summary1,
           ObsFileSummary& summary2, StationPair& pair);
// The same for an orbit that has no file span (broadcast ephemerides): plan.jd0 must be set; the common span must
// lie inside the source's [firstTime, lastTime] (else stop 43588); the orbit window of the plan stays empty. The
// last listing line is "satellites" and the count.
void recon(const OrbitSource& orbit, TextFile& obs1, TextFile& obs2, SatIndex& sats, SpanPlan& plan,
           ObsFileSummary& summary1, ObsFileSummary& summary2, StationPair& pair);

// One receiver's observations at the epoch it holds.
struct EpochRecord {
    double epochTime = 0.0;  // jts of the last epoch line read
    int syncState = 0;       // 0 in step (epoch delivered), 1 ahead (later epoch held), 2 file ended
    bool holding = false;    // an epoch has been read in this pass
    // By slot of the run's satellites, sized by the reader to the run's count + 1 (element 0
    // unused); a slot beyond the size has no record.
    std::vector<int> present;                     // [slot], 1 when the satellite has a record
    std::vector<std::array<double, 4>> obs;       // [slot]: L1 phase, L1 pseudorange, L2 phase, P2
    // [slot]: the pseudoranges of the system's later code types, taken in order where the first is absent at
    // either receiver (kNoData for a GPS satellite and every RINEX 2 record).
    std::vector<std::array<double, 2>> alternates;
    // Marks slots 1..n without record, sizing the arrays to hold them.
    void clearSlots(int n);
};

// Rewinds an observation file and reads past its header: the next line is the first epoch line. End of file
// before "END OF HEADER" is an input error.
void skipHeader(TextFile& file);

// Reads the receiver's file forward until it holds an epoch within 0.3 s of t. True when the epoch's data are in
// the record (syncState 0); false when the receiver has no epoch at t (1: a later epoch is held) or the file ended
// (2). `sats` is the run's satellite table and `n` its count. A pass starts with a fresh EpochRecord (holding false): its first
// call always reads. Stops: 34591, 24303, 36649, 32646.
bool oget(TextFile& file, const ObsFileSummary& summary, const SatIndex& sats, int n, double t, EpochRecord& record);

// Values of `slot` at both receivers: L1 phase, L1 pseudorange, L2 phase of point 1 then point 2. False when the
// satellite is missing at either receiver (outputs untouched) or either pseudorange is absent. The pseudoranges are
// of the first code type both receivers recorded. Stop 87473 for a slot outside 1..n.
bool dget(int slot, const EpochRecord& point1, const EpochRecord& point2, int n, double& phase1, double& range1,
          double& phaseL2_1, double& phase2, double& range2, double& phaseL2_2);

}  // namespace varno
