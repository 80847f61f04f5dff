// The reference satellite of every epoch: built once from the geometry at point 1 before any observation is
// read, then looked up epoch by epoch through a cursor that makes lookups in time order cost almost nothing.

#include <cmath>
#include <string>

#include "models/models.h"
#include "orbit/orbit.h"
#include "station/station.h"
#include "textio/textio.h"
#include "timebase/timebase.h"

namespace varno {

namespace {

// An entry covers its epochs up to this long after its end time, so that an epoch tagged a fraction of a
// second late still finds the satellite of its sample.
constexpr double kLookupTolerance = 0.2;      // s
// The last sample may lie this far beyond the stop time.
constexpr double kSampleTolerance = 0.1;      // s
constexpr double kNominalSampleStep = 300.0;  // s

constexpr int kStopNoGeodetic = 93278;
constexpr int kStopOrbit = 34958;
constexpr int kStopNoReference = 32875;
constexpr int kStopOverflow = 87435;
// Never raised: the last entry is stretched with the slot the last sample has just filed, which extends that
// entry and never adds one.
constexpr int kStopFinalOverflow = 87436;
constexpr int kStopEmptyTable = 13598;

}  // namespace

void openrs(RefSatTable& table) {
    table.nrs = 0;
    table.cursor = 0;
}

void sizers(const RefSatTable& table, int& n) { n = table.nrs; }

bool putrs(RefSatTable& table, int slot, double t, int& n) {
    if (table.nrs == 0) {
        table.nrs = 1;
        table.cursor = 1;
        table.endTime[1] = t;
        table.refSlot[1] = slot;
    } else if (slot == table.refSlot[table.nrs]) {
        table.endTime[table.nrs] = t;
    } else if (table.nrs >= kMaxRefEntries) {
        n = table.nrs;
        return false;
    } else {
        table.nrs += 1;
        table.endTime[table.nrs] = t;
        table.refSlot[table.nrs] = slot;
    }
    n = table.nrs;
    return true;
}

bool lookrs(const RefSatTable& table, int& slot, double t, int& cursor) {
    if (table.nrs < 1) stopRun(kStopEmptyTable);
    if (table.nrs == 1) {
        slot = table.refSlot[1];
        return true;
    }
    int i = cursor < 1 ? 1 : cursor;
    // Going back before the previous entry's end restarts the walk; the tolerance applies only going forward.
    if (i >= 2 && t < table.endTime[i - 1]) i = 1;
    while (t > table.endTime[i] + kLookupTolerance) {
        if (i == table.nrs) {
            cursor = table.nrs;
            return false;
        }
        i += 1;
    }
    slot = table.refSlot[i];
    cursor = i;
    return true;
}

bool getrs(RefSatTable& table, int& slot, double t) { return lookrs(table, slot, t, table.cursor); }

void seekrs(RefSatTable& table, int cursor) { table.cursor = cursor; }

void dumprs(const RefSatTable& table, const SatIndex& sats) {
    writeListing(freeLine("dump ref. sat. table  nrs =", table.nrs));
    for (int i = 1; i <= table.nrs; ++i) {
        std::string line = fmtF(table.endTime[i], 9, 2) + fmtI(invprn(sats, table.refSlot[i]).number, 6);
        if (i > 1) line += fmtF(table.endTime[i] - table.endTime[i - 1], 12, 2);
        writeListing(line);
    }
}

void makrst(RefSatTable& table, const SatIndex& sats, double start, double stop, double interval,
            const StationPair& pair, const OrbitSource& orbit, int satCount) {
    openrs(table);

    Geodetic site;
    if (!xyzgeo(pair.p1L1[0], pair.p1L1[1], pair.p1L1[2], site.latitude, site.longitude, site.height)) {
        stopRun(kStopNoGeodetic);
    }

    // Without a positive interval no sample can be placed (the loop below would never advance).
    if (!(interval > 0.0) || !std::isfinite(interval)) stopRun(kStopNoReference);
    const double k = std::round(kNominalSampleStep / interval);
    const double step = k <= 1.0 ? interval : k * interval;

    int bestSlot = 0;
    int n = 0;
    for (double t = start; t <= stop + kSampleTolerance; t = t + step) {
        double bestElevation = 0.0;
        bestSlot = 0;
        for (int slot = 1; slot <= satCount; ++slot) {
            const SatId sat = invprn(sats, slot);
            // A satellite without a usable broadcast record then takes no part in the choice.
            if (!orbit.serves(sat, t)) continue;
            // Position at the sample time itself: the choice needs no travel time or earth rotation.
            SatelliteState s;
            OrbitMiss miss = OrbitMiss::none;
            if (!orbit.state(sat, t, t, s, miss)) {
                writeListing(freeLine("oterp error in makrst--", missCode(miss), sat.number, t));
                stopRun(kStopOrbit);
            }
            const double elevation = elevationAt(site, pair.p1L1, s.position);
            // Strictly higher: of two satellites at the same elevation the lower slot stays the reference.
            if (elevation > bestElevation) {
                bestElevation = elevation;
                bestSlot = slot;
            }
        }
        if (bestSlot == 0) stopRun(kStopNoReference);
        if (!putrs(table, bestSlot, t, n)) {
            writeListing(freeLine("ref sat table overflow at ", t));
            stopRun(kStopOverflow);
        }
    }
    // A span too short to hold a single sample has no reference satellite at all; filing slot 0 would hand the
    // callers a satellite that does not exist.
    if (bestSlot == 0) stopRun(kStopNoReference);

    // The last entry is stretched to the end of the data span.
    if (!putrs(table, bestSlot, stop, n)) stopRun(kStopFinalOverflow);

    writeListing(freeLine(table.nrs, " entries in reference satellite table"));
    dumprs(table, sats);
}

}  // namespace varno
