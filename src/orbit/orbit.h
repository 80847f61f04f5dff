// Precise orbit: the SP3 file loaded into a table of positions and clocks, and interpolation in it.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "gnss/gnss.h"
#include "textio/textio.h"

namespace varno {

// ---------------------------------------------------------------------------------------------------------------
// Any orbit: the one interface through which forming, iterations and results ask for a satellite's state. A
// precise (SP3) table and a store of broadcast ephemerides are two implementations; callers never learn which.

// Position (m, earth-fixed, the run's frame) and clock offset (s, satellite minus system time, as the source gives
// it) of one satellite at one time.
struct SatelliteState {
    std::array<double, 3> position{};
    double clock = 0.0;
};

// Why a source has no state: the codes the listing and the stops report (1, 2, 3 as oterp's), and 4 for a
// satellite without a usable (healthy, in time) ephemeris record at that epoch.
enum class OrbitMiss : int { none = 0, notCarried = 1, noOrbit = 2, outsideSpan = 3, noRecord = 4 };

class OrbitSource {
public:
    virtual ~OrbitSource() = default;
    // State of `sat` at time t (jts seconds of the run: GPS time for broadcast orbits). `epoch` is the nominal
    // epoch the signal belongs to: a source that chooses among records chooses once by it, so that every signal
    // time of that satellite at that epoch, at both receivers and in every pass, uses the same record (a
    // tabulated source ignores it). False with `miss` set (state untouched) when there is no state.
    virtual bool state(SatId sat, double t, double epoch, SatelliteState& state, OrbitMiss& miss) const = 0;
    // The satellites the source carries (increasing), and the span of times it can answer for (jts).
    virtual std::vector<SatId> satellites() const = 0;
    virtual double firstTime() const = 0;
    virtual double lastTime() const = 0;
};

// The loaded orbit window. `data` is one flat array, element k stored at data[k - 1] (elements numbered from 1):
// the N epoch times, then the x, y, z and clock blocks, each N epochs × S slots with the epoch index fastest
// (x of slot s at epoch k is element xBase + (s − 1)·N + (k − 1)). Metres and seconds; times in jts seconds.
struct OrbitTable {
    std::vector<double> data;
    int epochCount = 0;  // N, also the leading dimension of every block
    int timeBase = 1;
    int xBase = 1;
    int yBase = 1;
    int zBase = 1;
    int clockBase = 1;
    double firstTime = 1e+38;   // smallest epoch time stored
    double lastTime = -1e+38;   // largest epoch time stored
    double interval = 0.0;      // tabulation interval, whole seconds
    int lastWindowStart = 0;    // N − 8
    double lastWindowTime = 0;  // firstTime + (N − 9)·interval
    int halfWindow = 4;
    std::array<double, 9> weights{};  // Lagrange denominators / 24 of the nine nodes

    double& at(int element) { return data[static_cast<size_t>(element - 1)]; }
    double at(int element) const { return data[static_cast<size_t>(element - 1)]; }
};

// The span of the orbit file(s) as their first two header lines declare it.
struct OrbitSpan {
    double start = 0.0;     // T0: first epoch of the first file, jts
    double end = 0.0;       // Tend: last epoch declared, T0 + (M - 1)·interval
    double interval = 0.0;  // tabulation interval, s (positive)
    int epochs = 0;         // M: the first file's epoch count, or the joined count for several files
    std::string source;     // columns 47-60 of the first file's line 1 (coordinate system, orbit type, agency)
};

// Reads lines 1 and 2 of every orbit file (each open at its first line; in time order), writes the listing
// lines " orbit ref sys/source -- <first file's text>" and "orbit strt/stop,delt,neph" with the joined span,
// and fixes jd0 to the day of the first file's first epoch (stop 34587 for a year before 1900). Files join when
// they have the same interval and each starts on the first file's grid, not before the one before it, and no
// later than one interval after the span so far: otherwise an input error naming both files. A zero or
// negative interval, or a field that does not read, is an input error naming the file and line.
OrbitSpan orbspn(const std::vector<TextFile*>& files);

// The plain explanation of an orbit that does not reach the data: which dates and times the orbit covers
// ([orbitStart, orbitEnd]), which the data need ([needStart, needEnd], jts), and which neighbouring day's
// orbit file is missing. Empty when the need lies inside the orbit.
std::string orbgap(double orbitStart, double orbitEnd, double needStart, double needEnd);

// Loads the orbit file(s) (each open and positioned at its first line, in time order, joined as orbspn
// accepts them) for the window [start, stop] of `epochs` epochs
// (both ends on the orbit's own grid). SP3 versions blank and a to d; satellites of other systems than GPS are
// passed over, as are velocity, correlation and comment lines. Removes from the PrnTable every satellite
// missing from the header lists (their union), with one listing line "lodorb reset number of sats ==> " + I3
// per removal; then every satellite with a position (0, 0, 0), a clock of 999999.999999 µs or more, or no
// record at some epoch of the window, with the line " no usable orbit for prn <n> -- dropped". An epoch that an
// earlier file holds keeps the earlier file's values. A time system other than GPS gets the line
// " orbit time system -- <sys>, times used as written". `satCount` comes back as the count after pruning. The
// table is sized from N and S. Stops: 78439, 34589, 89756, 89757; 89758 (fewer than 9 epochs: "orbit window has
// fewer than 9 epochs -- fatal"), 89759 (epochs missing or off the grid: "orbit epochs missing or off grid --
// fatal").
void lodorb(const std::vector<TextFile*>& files, OrbitTable& table, int& satCount, int epochs, double start,
            double stop);
// The same for one file.
void lodorb(TextFile& file, OrbitTable& table, int& satCount, int epochs, double start, double stop);
// Stores one record's four values at epoch row `row`, column `slot`.
void lodor2(OrbitTable& table, int row, int slot, double x, double y, double z, double clock);
// True when `value` is one of the first `count` entries of `list`.
bool scanbf(int value, const int* list, int count);
// Sets the interpolation constants of a loaded table (weights and half window).
void itrini(OrbitTable& table);

// Position (m, earth-fixed) and clock offset (s) of satellite `prn` at time t, by 9-point Lagrange interpolation.
// False with `error` 1 (PRN not in the PrnTable), 2 (no orbit: position at epoch 1 within 0.1 m of the origin) or
// 3 (t outside [firstTime, lastTime], or not a number); the outputs are then untouched. Exact at tabulated epochs.
// The table must come from lodorb; a slot the table has no column for stops the run with code 74358.
bool oterp(int prn, double t, const OrbitTable& table, double& x, double& y, double& z, double& clock, int& error);
// The same once the satellite's slot is known.
bool oterp2(int slot, double t, const OrbitTable& table, double& x, double& y, double& z, double& clock, int& error);
// oterp2 without the clock, for callers that use only the position: the same x, y, z, errors and stops.
bool oterpPosition(int slot, double t, const OrbitTable& table, double& x, double& y, double& z, int& error);
// Two oterpPosition calls at once (satellite A at tA, B at tB), for callers with independent work to pair: the same
// doubles. On a failure the error is that of the first failing of the two calls, in the order A, B.
bool oterpPositions(int slotA, double tA, int slotB, double tB, const OrbitTable& table, std::array<double, 3>& a,
                    std::array<double, 3>& b, int& error);
// Lagrange polynomial through (j, v[j]), j = 0..8, at u. A node within 1e-13 returns v exactly (a node outside
// 0..8 stops the run with code 88998).
void iterp9(double u, const double* values, const std::array<double, 9>& weights, double& result);

}  // namespace varno
