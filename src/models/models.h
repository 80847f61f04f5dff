// Observation models: the signal path from a satellite to a receiver (range, travel time, earth rotation,
// elevation) and the receiver clock offset, the (switched-off) troposphere model, and the reference satellite of
// every epoch.
#pragma once

#include <array>
#include <vector>

#include "orbit/orbit.h"
#include "station/station.h"
#include "timebase/timebase.h"

namespace varno {

// ---------------------------------------------------------------------------------------------------------------
// The one range computation: a signal from a satellite to a receiver. Times are jts; `epoch` is the nominal epoch
// the signal belongs to, handed to the orbit so that a source choosing among records chooses once per satellite
// and epoch (callers pass point 1's time tag of the epoch). Lengths in metres, clock offsets in seconds.

// Geodetic coordinates of a point: latitude and longitude in radians, height in metres.
struct Geodetic {
    double latitude = 0.0;
    double longitude = 0.0;
    double height = 0.0;
};

// One signal path, for a reception tagged t at `receiver` (earth-fixed) with receiver clock offset dt.
struct SignalPath {
    double range = 0.0;                 // to the rotated satellite position
    double travelTime = 0.0;            // of the third pass
    std::array<double, 3> satellite{};  // at transmission, turned by the earth's rotation during the travel time
    std::array<double, 3> unit{};       // from the satellite towards the receiver: d range / d receiver X, Y, Z
    double elevation = 0.0;             // degrees above the receiver's horizon, when asked for (else 0)
};

// Three travel-time passes from 0.075 s (always all made, so that every caller gets the same doubles), the earth
// rotation applied once to the third pass's position. With `site` (the receiver's geodetic coordinates) the
// elevation is computed too. False with the orbit's `miss` (path untouched) when the orbit has no position.
bool signalPath(const OrbitSource& orbit, SatId sat, const std::array<double, 3>& receiver, double t, double dt,
                double epoch, SignalPath& path, OrbitMiss& miss, const Geodetic* site = nullptr);
// Two signal paths (a and b) computed side by side, without elevations: the same doubles as two signalPath calls.
// False on any orbit failure (then call signalPath one at a time for the miss of each).
bool signalPaths(const OrbitSource& orbit, SatId satA, const std::array<double, 3>& receiverA, double tA, double dtA,
                 SatId satB, const std::array<double, 3>& receiverB, double tB, double dtB, double epoch,
                 SignalPath& a, SignalPath& b, OrbitMiss& miss);
// The clock offset dt of a receiver at `receiver` from one satellite's pseudorange p tagged t: two passes from 0,
// no earth rotation. False with the orbit's `miss` (dt untouched).
bool receiverClock(const OrbitSource& orbit, SatId sat, const std::array<double, 3>& receiver, double t, double p,
                   double epoch, double& dt, OrbitMiss& miss);
// Elevation (degrees, −90..90) of `satellite` seen from `station` at the station's geodetic `site`.
double elevationAt(const Geodetic& site, const std::array<double, 3>& station, const std::array<double, 3>& satellite);

// ---------------------------------------------------------------------------------------------------------------
// Troposphere model (present, switched off in this program).
struct MetParams {
    double pressure = 1013.0;       // hPa
    double relativeHumidity = 0.5;  // 0..1
    double temperature = 20.0;      // °C
    bool troposphereOn = false;
};

struct RefSatTables;

// What the models of one run read besides the orbit and the points: the run's satellite table (slots to
// satellites), its reference satellite tables (whose lookup cursors the adjustment moves), its reference day (for
// the plain words of an orbit that does not reach) and its met values. The run context owns what it points to.
struct RunModels {
    const SatIndex* sats = nullptr;
    RefSatTables* references = nullptr;
    int jd0 = 0;
    MetParams met;
};

// ---------------------------------------------------------------------------------------------------------------
// The range computation for both receivers of the pair, as the forming and the passes use it, with the orbit
// failures written to the listing and made stops: "oterp error in comdtr--" / "oterp error in comrng--", the
// error code and the PRN, and stops 34553/34554 (comdtr, point 1/2) or 34551/34552 (comrng, comrg0, comrg2,
// point 1/2). The satellite is given by its slot in the table of `run` (stop 74358 outside 1..count); t1, t2 are the two
// receivers' own time tags; point 1's is the nominal epoch.

// Receiver clock offsets of both points from one satellite's pseudoranges p1, p2.
void comdtr(const RunModels& run, int slot, const StationPair& pair, const OrbitSource& orbit, double t1, double t2,
            double p1, double p2, double& dt1, double& dt2);
// Ranges from the satellite to both L1 phase centres and the unit vector from the satellite towards point 2.
void comrng(const RunModels& run, int slot, const StationPair& pair, const OrbitSource& orbit, double t1, double t2,
            double dt1, double dt2, double& rho1, double& rho2, std::array<double, 3>& u);
// comrng plus the pseudorange corrections c1, c2 (m): the slant troposphere delays at point 1 and point 2 (gettdh
// at each phase centre's latitude and height, the satellite's elevation there), 0 while the troposphere switch of
// run.met is off. The corrections make two more travel-time solutions only when the switch is on.
void comrg0(const RunModels& run, int slot, const StationPair& pair, const OrbitSource& orbit, double t1, double t2,
            double dt1, double dt2, const Geodetic& site1, const Geodetic& site2, double& rho1, double& rho2,
            std::array<double, 3>& u, double& c1, double& c2);
// Elevations (degrees) of the satellite at both L1 phase centres along each receiver's own line of sight.
void comrge(const RunModels& run, int slot, const StationPair& pair, const OrbitSource& orbit, double t1, double t2,
            double dt1, double dt2, const Geodetic& site1, const Geodetic& site2, double& elevation1,
            double& elevation2);
// Ranges as comrng (no unit vector) and the satellite's elevation (degrees) at point 2's L1 phase centre.
void comrg2(const RunModels& run, int slot, const StationPair& pair, const OrbitSource& orbit, double t1, double t2,
            double dt1, double dt2, const Geodetic& site2, double& rho1, double& rho2, double& elevation);

// ---------------------------------------------------------------------------------------------------------------
// Troposphere delays, with the met values and switch of a run (MetParams above).

// The met defaults with the switch.
MetParams inimet(bool troposphereOn);
// Slant delay (m) at the given latitude (rad), height (m) and elevation (rad); 0 when the switch is off.
void gettdl(const MetParams& met, double latitude, double height, double elevation, double& delay);
// Slant delay (m) at a receiver's latitude (rad), height (m) and elevation (rad), with the met values of
// `met` taken as sea-level values and carried to the height by the standard atmosphere (pressure by
// (1 − 2.2557e-5·h)^5.2568, temperature by −6.5 K/km, humidity by exp(−0.0006396·h)); 0 when the switch is off.
// Stops 80004-80006 as tropo; the derived met values are not range-checked.
void gettdh(const MetParams& met, double latitude, double height, double elevation, double& delay);
// Slant delay with input checks (stops 80001-80006; the elevation stop first writes "v=" and the value on the
// console).
void tropo(double pressure, double relativeHumidity, double temperature, double latitude, double height,
           double elevation, double& delay);
// Dry and wet zenith delays (m), no checks.
void saast(double pressure, double relativeHumidity, double temperature, double latitude, double height,
           double& dryDelay, double& wetDelay);

// ---------------------------------------------------------------------------------------------------------------
// Reference satellite tables, one for each system of the run (double differences are formed within a system):
// per entry the last sample time at which its satellite was the reference (the end of the data span for the last
// entry) and its slot. Entry i covers (endTime[i−1] + 0.2, endTime[i] + 0.2]. Each run holds its own tables (in
// its run context); the operations act on the table they are given.
inline constexpr int kMaxRefEntries = 100;
struct RefSatTable {
    int nrs = 0;
    int cursor = 0;
    std::array<double, kMaxRefEntries + 1> endTime{};  // [1..nrs]
    std::array<int, kMaxRefEntries + 1> refSlot{};     // [1..nrs]
};
// The tables of a run, one for each system, and the systems makrst built one for.
struct RefSatTables {
    std::array<RefSatTable, kSystemCount> bySystem{};
    std::vector<GnssSystem> built;
    RefSatTable& of(GnssSystem system) { return bySystem[static_cast<std::size_t>(system)]; }
    const RefSatTable& of(GnssSystem system) const { return bySystem[static_cast<std::size_t>(system)]; }
    // The systems makrst built a table for, in table order (GPS alone before it has run: tables filed without
    // makrst are GPS's).
    const std::vector<GnssSystem>& systems() const;
};

void openrs(RefSatTable& table);
void sizers(const RefSatTable& table, int& n);
// Files `slot` at time t: extends the last entry when it holds the same slot. False when the table is full.
bool putrs(RefSatTable& table, int slot, double t, int& n);
// Reference slot for epoch t; false when t lies more than 0.2 s beyond the last entry. Stop 13598 on an empty
// table. Moves the lookup cursor.
bool getrs(RefSatTable& table, int& slot, double t);
// getrs with a cursor of the caller's own: the same answer getrs gives when the table's cursor stands where
// `cursor` does, and `cursor` moves as the table's would; the table's cursor stays. Cursor 1 gives the lookup
// from the first entry, which no earlier lookup influences.
bool lookrs(const RefSatTable& table, int& slot, double t, int& cursor);
// Moves the table's lookup cursor, as a run of getrs calls ending there would.
void seekrs(RefSatTable& table, int cursor);
// Writes the tables to the listing, their satellites named from the run's table `sats`.
void dumprs(const RefSatTables& tables, const SatIndex& sats);
// Builds `tables` afresh, one for each system among slots 1..satCount of `sats`, over [start, stop]: every ~300 s
// the satellite of the system highest above point 1's horizon. With one system a sample without a satellite above
// the horizon stops the run; with several, each system takes its highest satellite wherever it stands (one below
// the horizon is never observed, and its system adds nothing there). Stops 93278, 74358, 34958, 32875, 87435,
// 87436. Listing: "<nrs> entries in reference satellite table" (with several systems, one line for each) and the
// dump.
void makrst(RefSatTables& tables, const SatIndex& sats, double start, double stop, double interval,
            const StationPair& pair, const OrbitSource& orbit, int satCount);

}  // namespace varno
