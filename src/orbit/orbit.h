// Orbits: the interface every orbit implements, and the precise (SP3) orbit, loaded and interpolated.
#pragma once

#include <array>
#include <memory>
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
    // Whether the source has anything for `sat` at nominal epoch `epoch`: false when a source that chooses among
    // records holds none usable for it then, and the satellite takes no part in that epoch. A tabulated source
    // says true (its misses stop the run where they are met).
    virtual bool serves(SatId, double) const { return true; }
    // Position only, for callers that do not use the clock: the same position and misses as state(). The
    // default asks state().
    virtual bool position(SatId sat, double t, double epoch, std::array<double, 3>& position,
                          OrbitMiss& miss) const;
    // Two positions at once (a at tA, b at tB, one nominal epoch), for callers with independent work to pair: the
    // same doubles as two position() calls; on a failure the miss of the first failing, in the order a, b.
    virtual bool positions(SatId a, double tA, SatId b, double tB, double epoch, std::array<double, 3>& positionA,
                           std::array<double, 3>& positionB, OrbitMiss& miss) const;
};

// The number the listing writes for a miss ("oterp error in ...-- <code>").
inline int missCode(OrbitMiss miss) { return static_cast<int>(miss); }

// The span of the orbit file(s) as their first two header lines declare it.
struct OrbitSpan {
    int jd0 = 0;            // the reference day it fixes: that of the first file's first epoch
    double start = 0.0;     // T0: first epoch of the first file, jts
    double end = 0.0;       // Tend: last epoch declared, T0 + (M - 1)·interval
    double interval = 0.0;  // tabulation interval, s (positive)
    int epochs = 0;         // M: the first file's epoch count, or the joined count for several files
    std::string source;     // columns 47-60 of the first file's line 1 (coordinate system, orbit type, agency)
};

// Reads lines 1 and 2 of every orbit file (each open at its first line; in time order), writes the listing
// lines " orbit ref sys/source -- <first file's text>" and "orbit strt/stop,delt,neph" with the joined span,
// and fixes the span's jd0 to the day of the first file's first epoch (stop 34587 for a year before 1900). Files join when
// they have the same interval and each starts on the first file's grid, not before the one before it, and no
// later than one interval after the span so far: otherwise an input error naming both files. A zero or
// negative interval, or a field that does not read, is an input error naming the file and line.
OrbitSpan orbspn(const std::vector<TextFile*>& files);

// The plain explanation of an orbit that does not reach the data: which dates and times the orbit covers
// ([orbitStart, orbitEnd]), which the data need ([needStart, needEnd], jts of reference day jd0), and which neighbouring day's
// orbit file is missing. Empty when the need lies inside the orbit.
std::string orbgap(int jd0, double orbitStart, double orbitEnd, double needStart, double needEnd);

// Loads the orbit file(s) (each open and positioned at its first line, in time order, joined as orbspn
// accepts them, times counted from reference day jd0) for the window [start, stop] of `epochs` epochs (both ends on the orbit's own grid), for the
// run's satellites `wanted` (in the run's order), into a source interpolated by the 9-point Lagrange polynomial
// (exact at tabulated epochs). SP3 versions blank and a to d; satellites of other systems than GPS are passed
// over, as are velocity, correlation and comment lines. The source carries every wanted satellite except, first,
// those of numbers 1..32 missing from the header lists (their union), with one listing line
// "lodorb reset number of sats ==> " + I3 per removal (the count of wanted satellites left), in increasing
// number; then those of numbers 1..32 with a position (0, 0, 0), a clock of 999999.999999 µs or more, or no
// record at some epoch of the window, with the line " no usable orbit for prn <n> -- dropped". A wanted
// satellite of a higher number is carried with no orbit (its state misses with `noOrbit`). Where files share an
// epoch, a good record (a position and a known clock) of either wins over a bad one; of two good ones, the
// earlier file's. A time system other than GPS gets the line
// " orbit time system -- <sys>, times used as written". The caller prunes its satellites to the source's.
// Stops: 34589, 89756; 89758 (fewer than 9 epochs: "orbit window has fewer than 9 epochs -- fatal"), 89759
// (epochs missing or off the grid: "orbit epochs missing or off grid -- fatal"). The listing lines name a
// satellite by its number, or by its id ("E12") when `letteredNames` (as the run names its satellites).
std::unique_ptr<OrbitSource> loadSp3Orbit(const std::vector<TextFile*>& files, int jd0,
                                          const std::vector<SatId>& wanted, bool letteredNames, int epochs,
                                          double start, double stop);

// A source interpolated like the loaded orbit from states given on a grid: `epochs` (at least 9) epochs from
// `firstTime` every `interval` seconds; states[k·sats.size() + i] is that of sats[i] at epoch k (from 0). A
// satellite whose first position lies within 0.1 m of the origin has no orbit. For simulations and tests.
std::unique_ptr<OrbitSource> tabulatedOrbit(const std::vector<SatId>& sats, double firstTime, double interval,
                                            int epochs, const std::vector<SatelliteState>& states);

}  // namespace varno
