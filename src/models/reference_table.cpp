// The reference satellite of every epoch: built once from the geometry at point 1 before any observation is
// read, then looked up epoch by epoch through a cursor that makes lookups in time order cost almost nothing.

#include <algorithm>
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

const std::vector<GnssSystem>& RefSatTables::systems() const {
    static const std::vector<GnssSystem> gpsAlone{GnssSystem::gps};
    return built.empty() ? gpsAlone : built;
}

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

void dumprs(const RefSatTables& tables, const SatIndex& sats) {
    for (GnssSystem system : tables.systems()) {
        const RefSatTable& table = tables.of(system);
        writeListing(freeLine("dump ref. sat. table  nrs =", table.nrs));
        for (int i = 1; i <= table.nrs; ++i) {
            std::string line = fmtF(table.endTime[i], 9, 2) + sats.field(invprn(sats, table.refSlot[i]), 6);
            if (i > 1) line += fmtF(table.endTime[i] - table.endTime[i - 1], 12, 2);
            writeListing(line);
        }
    }
}

namespace {

// The systems of the run's satellites in slots 1..satCount, in table order.
std::vector<GnssSystem> systemsOf(const SatIndex& sats, int satCount) {
    std::array<bool, kSystemCount> present{};
    for (int slot = 1; slot <= satCount; ++slot) present[static_cast<std::size_t>(invprn(sats, slot).system)] = true;
    std::vector<GnssSystem> systems;
    for (GnssSystem system : allSystems()) {
        if (present[static_cast<std::size_t>(system)]) systems.push_back(system);
    }
    return systems;
}

// Of each system, the slot of its highest satellite at t as seen from `site` (the geodetic position of
// `receiver`), above `floor` degrees; 0 for a system with none. A satellite the orbit does not serve at t takes no
// part. Stops 34958 where the orbit has no state for a satellite it serves.
std::array<int, kSystemCount> highestAt(const SatIndex& sats, int satCount, const OrbitSource& orbit,
                                        const Geodetic& site, const std::array<double, 3>& receiver, double t,
                                        double floor) {
    std::array<double, kSystemCount> bestElevation;
    bestElevation.fill(floor);
    std::array<int, kSystemCount> bestSlot{};
    for (int slot = 1; slot <= satCount; ++slot) {
        const SatId sat = invprn(sats, slot);
        if (!orbit.serves(sat, t)) continue;
        const std::size_t of = static_cast<std::size_t>(sat.system);
        // Position at the sample time itself: the choice needs no travel time or earth rotation.
        SatelliteState s;
        OrbitMiss miss = OrbitMiss::none;
        if (!orbit.state(sat, t, t, s, miss)) {
            writeListing(freeLine("oterp error in makrst--", missCode(miss)) + " " + sats.name(sat) + freeLine(t));
            stopRun(kStopOrbit);
        }
        const double elevation = elevationAt(site, receiver, s.position);
        // Strictly higher: of two satellites at the same elevation the lower slot stays the reference.
        if (elevation > bestElevation[of]) {
            bestElevation[of] = elevation;
            bestSlot[of] = slot;
        }
    }
    return bestSlot;
}

// The listing's count of entries: one line for a single system, one per system with several.
void listTableSizes(const RefSatTables& tables, const std::vector<GnssSystem>& systems) {
    if (systems.size() <= 1) {
        writeListing(freeLine(tables.of(systems.empty() ? GnssSystem::gps : systems.front()).nrs,
                              " entries in reference satellite table"));
        return;
    }
    for (GnssSystem system : systems) {
        writeListing(freeLine(tables.of(system).nrs, " entries in reference satellite table of ",
                              systemInfo(system).name));
    }
}

}  // namespace

void makrst(RefSatTables& tables, const SatIndex& sats, double start, double stop, double interval,
            const StationPair& pair, const OrbitSource& orbit, int satCount) {
    for (RefSatTable& table : tables.bySystem) openrs(table);

    Geodetic site;
    if (!xyzgeo(pair.p1L1[0], pair.p1L1[1], pair.p1L1[2], site.latitude, site.longitude, site.height)) {
        stopRun(kStopNoGeodetic);
    }

    // Without a positive interval no sample can be placed (the loop below would never advance).
    if (!(interval > 0.0) || !std::isfinite(interval)) stopRun(kStopNoReference);
    const double k = std::round(kNominalSampleStep / interval);
    const double step = k <= 1.0 ? interval : k * interval;

    tables.built = systemsOf(sats, satCount);
    const std::vector<GnssSystem>& systems = tables.built;
    // One system keeps the rule of a satellite above the horizon; with several each takes its highest.
    const double floor = systems.size() > 1 ? -91.0 : 0.0;

    std::array<int, kSystemCount> bestSlot{};
    bool any = false;
    int n = 0;
    for (double t = start; t <= stop + kSampleTolerance; t = t + step) {
        bestSlot = highestAt(sats, satCount, orbit, site, pair.p1L1, t, floor);
        any = false;
        for (GnssSystem system : systems) {
            const int best = bestSlot[static_cast<std::size_t>(system)];
            if (best == 0) continue;
            any = true;
            if (!putrs(tables.of(system), best, t, n)) {
                writeListing(freeLine("ref sat table overflow at ", t));
                stopRun(kStopOverflow);
            }
        }
        if (!any) stopRun(kStopNoReference);
    }
    // A span too short to hold a single sample has no reference satellite at all; filing slot 0 would hand the
    // callers a satellite that does not exist.
    if (!any) stopRun(kStopNoReference);

    // The last entry of each table is stretched to the end of the data span.
    for (GnssSystem system : systems) {
        const int best = bestSlot[static_cast<std::size_t>(system)];
        if (best != 0 && !putrs(tables.of(system), best, stop, n)) stopRun(kStopFinalOverflow);
    }
    listTableSizes(tables, systems);
    dumprs(tables, sats);
}

}  // namespace varno
