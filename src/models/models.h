// Observation models: receiver clock offsets, satellite ranges with travel time and earth rotation, elevations,
// the (switched-off) troposphere model, and the reference satellite of every epoch.
#pragma once

#include <array>

#include "orbit/orbit.h"
#include "station/station.h"
#include "timebase/timebase.h"

namespace varno {

// ---------------------------------------------------------------------------------------------------------------
// Ranges and geometry. The satellite is given by its PrnTable slot (stop 74358 outside 1..count); t1, t2 are the
// two receivers' own time tags (jts); lengths in metres, clock offsets in seconds. Orbit failures write
// "oterp error in comdtr--" / "oterp error in comrng--", the oterp error code and the PRN, and stop with
// 34553/34554 (comdtr, point 1/2) or 34551/34552 (comrng, comrg0, comrg2, point 1/2).

// Receiver clock offsets of both points from one satellite's pseudoranges p1, p2 (two passes each).
void comdtr(int slot, const StationPair& pair, const OrbitSource& orbit, double t1, double t2, double p1, double p2,
            double& dt1, double& dt2);
// Ranges from the satellite to both L1 phase centres (three travel-time passes from 0.075 s, earth rotation applied
// once to the third pass's position) and the unit vector from the satellite towards point 2.
void comrng(int slot, const StationPair& pair, const OrbitSource& orbit, double t1, double t2, double p1, double p2,
            double dt1, double dt2, double& rho1, double& rho2, std::array<double, 3>& u);
// comrng plus the pseudorange corrections c1, c2 (m): the slant troposphere delays at point 1 and point 2 (gettdh
// at each phase centre's latitude and height, the satellite's elevation there), 0 while the troposphere switch of
// metParams() is off. The corrections make two more travel-time solutions only when the switch is on.
void comrg0(int slot, const StationPair& pair, const OrbitSource& orbit, double t1, double t2, double p1, double p2,
            double dt1, double dt2, double& rho1, double& rho2, std::array<double, 3>& u, double lat1, double lon1,
            double h1, double lat2, double lon2, double h2, double& c1, double& c2);
// Elevations (degrees) of the satellite at both L1 phase centres along each receiver's own line of sight (the
// rotated position of comrng's third travel-time pass), at the given latitudes and longitudes (radians).
void comrge(int slot, const StationPair& pair, const OrbitSource& orbit, double t1, double t2, double dt1,
            double dt2, double lat1, double lon1, double lat2, double lon2, double& elevation1,
            double& elevation2);
// Ranges as comrng (no unit vector) and the satellite's elevation (degrees) at point 2's L1 phase centre.
void comrg2(int slot, const StationPair& pair, const OrbitSource& orbit, double t1, double t2, double p1, double p2,
            double dt1, double dt2, double& rho1, double& rho2, double lat2, double lon2, double& elevation);
// One receiver's share of comdtr and comrng, for callers that keep a receiver's results between calls: the
// identical doubles, but an orbit failure returns false with the oterp error code in `error` (outputs untouched)
// instead of writing and stopping. A slot outside the PrnTable stops with 74358.
// rcvclk: the receiver clock offset dt at `phaseCentre` from pseudorange p tagged t (comdtr for one point).
bool rcvclk(int slot, const OrbitSource& orbit, const std::array<double, 3>& phaseCentre, double t, double p,
            double& dt, int& error);
// satrng: the range rho to `phaseCentre` for a reception tagged t with clock offset dt, and the satellite position
// turned by the earth's rotation during the travel time (comrng for one point).
bool satrng(int slot, const OrbitSource& orbit, const std::array<double, 3>& phaseCentre, double t, double dt,
            double& rho, std::array<double, 3>& rotated, int& error);
// satrng twice (satellite A at centre A, tag tA, offset dtA; B likewise), computed side by side: the same doubles
// as the two calls. False on an orbit failure (then call satrng one at a time for the error of each).
bool satrngs(int slotA, const std::array<double, 3>& centreA, double tA, double dtA, int slotB,
             const std::array<double, 3>& centreB, double tB, double dtB, const OrbitSource& orbit, double& rhoA,
             std::array<double, 3>& rotatedA, double& rhoB, std::array<double, 3>& rotatedB, int& error);
// The unit vector from a rotated satellite position towards the phase centre at range rho (comrng's u).
std::array<double, 3> towards(const std::array<double, 3>& phaseCentre, const std::array<double, 3>& rotated,
                              double rho);
// Elevation (degrees, −90..90) of a satellite seen from a station at the given latitude and longitude (radians).
void comvad(double latitude, double longitude, double sx, double sy, double sz, double satX, double satY,
            double satZ, double& elevation);

// ---------------------------------------------------------------------------------------------------------------
// Troposphere model (present, switched off in this program).
struct MetParams {
    double pressure = 1013.0;         // hPa
    double relativeHumidity = 0.5;    // 0..1
    double temperature = 20.0;        // °C
    bool troposphereOn = false;
};
MetParams& metParams();
// Sets the met defaults and the switch.
void inimet(bool troposphereOn);
// Slant delay (m) at the given latitude (rad), height (m) and elevation (rad); 0 when the switch is off.
void gettdl(double latitude, double height, double elevation, double& delay);
// Slant delay (m) at a receiver's latitude (rad), height (m) and elevation (rad), with the met values of
// metParams() taken as sea-level values and carried to the height by the standard atmosphere (pressure by
// (1 − 2.2557e-5·h)^5.2568, temperature by −6.5 K/km, humidity by exp(−0.0006396·h)); 0 when the switch is off.
// Stops 80004-80006 as tropo; the derived met values are not range-checked.
void gettdh(double latitude, double height, double elevation, double& delay);
// Slant delay with input checks (stops 80001-80006; the elevation stop first writes "v=" and the value on the
// console).
void tropo(double pressure, double relativeHumidity, double temperature, double latitude, double height,
           double elevation, double& delay);
// Dry and wet zenith delays (m), no checks.
void saast(double pressure, double relativeHumidity, double temperature, double latitude, double height,
           double& dryDelay, double& wetDelay);

// ---------------------------------------------------------------------------------------------------------------
// Reference satellite table: per entry the last sample time at which its satellite was the reference (the end of
// the data span for the last entry) and its slot. Entry i covers (endTime[i−1] + 0.2, endTime[i] + 0.2].
inline constexpr int kMaxRefEntries = 100;
struct RefSatTable {
    int nrs = 0;
    int cursor = 0;
    std::array<double, kMaxRefEntries + 1> endTime{};  // [1..nrs]
    std::array<int, kMaxRefEntries + 1> refSlot{};     // [1..nrs]
};
const RefSatTable& refSatTable();

void openrs();
void sizers(int& n);
// Files `slot` at time t: extends the last entry when it holds the same slot. False when the table is full.
bool putrs(int slot, double t, int& n);
// Reference slot for epoch t; false when t lies more than 0.2 s beyond the last entry. Stop 13598 on an empty
// table. Moves the lookup cursor.
bool getrs(int& slot, double t);
// getrs with a cursor of the caller's own: the same answer getrs gives when the table's cursor stands where
// `cursor` does, and `cursor` moves as the table's would; the table's cursor stays. Cursor 1 gives the lookup
// from the first entry, which no earlier lookup influences.
bool lookrs(int& slot, double t, int& cursor);
// Moves the table's lookup cursor, as a run of getrs calls ending there would.
void seekrs(int cursor);
// Writes the table to the listing.
void dumprs();
// Builds the table over [start, stop]: every ~300 s the satellite highest above point 1's horizon. Stops 93278,
// 74358, 34958, 32875, 87435, 87436. Listing: "<nrs> entries in reference satellite table" and the dump.
void makrst(double start, double stop, double interval, const StationPair& pair, const OrbitSource& orbit,
            int satCount);

}  // namespace varno
