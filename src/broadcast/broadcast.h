// Broadcast ephemerides: the navigation files of the receivers (RINEX 2, 3 and 4) read into a pool of records, the
// state of a satellite from one record by its system's user algorithm, the choice of a record for a satellite at
// an epoch, and the pool as an orbit source of the run.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "gnss/gnss.h"
#include "orbit/orbit.h"
#include "textio/textio.h"

namespace varno {

// ---------------------------------------------------------------------------------------------------------------
// Times. A time of GPS time as whole seconds since 1980-01-06 0h and a fraction, so that the difference of two
// times (what every evaluation takes) is exact to the fraction's precision whatever their size.
struct GpsTime {
    long long second = 0;
    double fraction = 0.0;  // 0 <= fraction < 1
    friend bool operator<(const GpsTime& a, const GpsTime& b) {
        return a.second < b.second || (a.second == b.second && a.fraction < b.fraction);
    }
    friend bool operator==(const GpsTime&, const GpsTime&) = default;
};
// a − b in seconds.
double operator-(const GpsTime& a, const GpsTime& b);
// t + seconds (any sign, any size).
GpsTime operator+(const GpsTime& t, double seconds);
// 0h of a modified Julian date plus `seconds`.
GpsTime gpsTimeOfMjd(int mjd, double seconds);
// The modified Julian date and seconds of day of a time (the inverse of gpsTimeOfMjd).
void mjdOfGpsTime(const GpsTime& t, int& mjd, double& seconds);
// "YYYY-MM-DD HH:MM:SS" of a time to the nearest second, `separator` between date and time.
std::string calendarText(const GpsTime& t, char separator);
// GPS − UTC in seconds on a date (the leap seconds in force at 0h of that modified Julian date); 0 before 1981.
int leapSecondsOn(int mjd);

// ---------------------------------------------------------------------------------------------------------------
// Records

// The navigation message a record comes from. GPS and QZSS LNAV, Galileo INAV and FNAV, BeiDou D1 (MEO, IGSO) and
// D2 (GEO), GLONASS FDMA.
enum class NavMessage : std::uint8_t { lnav, inav, fnav, d1, d2, fdma };

// One ephemeris record, its times brought to GPS time. Kepler elements in metres, radians and seconds (GPS,
// Galileo, BeiDou, QZSS); the state vector of GLONASS in metres, m/s and m/s² (PZ-90, at toe).
struct Ephemeris {
    SatId sat;
    NavMessage message = NavMessage::lnav;
    GpsTime toc;          // epoch of the clock (GLONASS: tb, which is also toe)
    GpsTime toe;          // epoch of the ephemeris
    GpsTime transmitted;  // transmission time of the message (toc when the record does not say)
    double toeSeconds = 0.0;  // toe as written: seconds of the week of the system's own time scale
    int issue = 0;            // issue of data: IODE, IODnav, AODE; GLONASS: 0 (its toe says it all)
    bool healthy = true;      // the system's health flags say usable (and the numbers make an orbit)
    double fitHours = 0.0;    // GPS/QZSS fit interval (hours) or flag as written; 0 when absent
    double af0 = 0.0, af1 = 0.0, af2 = 0.0;  // clock: s, s/s, s/s² (GLONASS: −τn, γn, 0)
    double sqrtA = 0.0, e = 0.0, i0 = 0.0, omega0 = 0.0, omega = 0.0, m0 = 0.0;
    double deltaN = 0.0, idot = 0.0, omegaDot = 0.0;
    double cuc = 0.0, cus = 0.0, crc = 0.0, crs = 0.0, cic = 0.0, cis = 0.0;
    std::array<double, 3> position{}, velocity{}, acceleration{};  // GLONASS
    int channel = 0;  // GLONASS frequency number
};

// What was read from the navigation files of a run, one pool for all of them. A record that repeats one already
// held (same satellite, message, toe and issue of data) is counted and not kept.
class NavPool {
public:
    // Adds a record; false when it repeats one already held.
    bool add(const Ephemeris& record);
    // The records of a satellite, in increasing toe (then transmission time).
    const std::vector<Ephemeris>& records(SatId sat) const;
    // Every satellite with at least one record, increasing.
    std::vector<SatId> satellites() const;
    int recordCount() const { return count_; }
    int recordCount(GnssSystem system) const;
    int repeats() const { return repeats_; }
    // Records passed over as messages not used (SBAS, NavIC, CNAV, ..., STO, EOP, ION).
    int passedOver = 0;
    std::vector<std::string> files;  // the files read, in order
    // Earliest and latest toe held (meaningless when empty).
    GpsTime firstToe() const { return first_; }
    GpsTime lastToe() const { return last_; }

private:
    std::array<std::vector<Ephemeris>, kSatKeyCount> bySat_{};
    int count_ = 0;
    int repeats_ = 0;
    GpsTime first_, last_;
};

// Reads one navigation file (open at its first line) into the pool. RINEX 2.00-2.12 GPS (N), GLONASS (G), and the
// Galileo (E) and QZSS variants; RINEX 3.00-3.05 (any system letter, mixed); RINEX 4.00-4.02 `> EPH` records of
// LNAV, INAV, FNAV, D1, D2 and FDMA. Exponents D, d, E, e; blank fields read 0; every packing TextFile opens.
// Leap seconds (for GLONASS) from the header, else from the table of leap seconds. A file that is not a
// navigation file, a version not read, a field that does not convert, or a record with fewer lines than its
// system needs, is an InputError naming the file, the line and the field.
void readNavigation(TextFile& file, NavPool& pool);

// The listing's lines saying what the pool holds: " orbit -- broadcast ephemerides, files <n>", one
// " ephemeris file -- <name>" per file, " ephemerides <system> -- records <n> satellites <n>" per system held, the
// repeats and messages passed over when there are any, and " ephemerides first/last toe -- <date time> <date time>"
// (GPS time).
std::vector<std::string> poolListing(const NavPool& pool);

// ---------------------------------------------------------------------------------------------------------------
// Evaluation

// Position (m, earth-fixed) and clock (s) of the record's satellite at GPS time t, by the system's user algorithm:
// GPS/QZSS (IS-GPS-200), Galileo (OS SIS ICD) and BeiDou (B1I ICD; GEO satellites C01-C05 and C59-C63 through
// their own rotation) from the Kepler elements, Kepler's equation solved to 1e-14 rad; GLONASS by fourth-order
// Runge-Kutta integration of the state vector with J2 and the record's luni-solar accelerations, steps of at most
// 60 s, the result taken in the run's frame as PZ-90. Clock a0 + a1·dt + a2·dt² (dt from toc), without the
// relativistic term and group delays, as precise orbits give it.
// Accuracy, measured against precise orbits of the same day over 24 h at 15 min (varno-orbit --compare, 3-D rms
// over every satellite and epoch): GPS 2010-07-01 1.9 m (radial 1.0, along 1.5, cross 0.6; worst satellite 3.2 m);
// GLONASS 2009-04-01 6.4 m (radial 2.3, along 5.7, cross 1.8; R03's broadcast orbit is off by 19 m all day, the
// others by 2.6-6.7 m). Galileo and BeiDou (no precise orbit of a day with a navigation file at hand): successive
// records of 2024-05-03 agree half-way between their toes to better than 10 m (GEO, IGSO and MEO satellites).
SatelliteState ephemerisState(const Ephemeris& record, const GpsTime& t);

// Kepler's equation E − e·sin E = M solved by Newton's method until a step is below 1e-14 rad (at most 30 steps).
double eccentricAnomaly(double meanAnomaly, double eccentricity);

// How far from toe a record of that satellite may serve (s): GPS/QZSS 2 h or half the fit interval it states when
// longer; Galileo 4 h; BeiDou 6 h; GLONASS 30 min.
double recordReach(const Ephemeris& record);

// The record of `sat` for time t: among its healthy records whose toe lies within recordReach of t, the one with
// toe nearest t; on a tie the later transmitted one; Galileo INAV records before any FNAV one. Null when none.
const Ephemeris* chooseRecord(const NavPool& pool, SatId sat, const GpsTime& t);

// ---------------------------------------------------------------------------------------------------------------
// The pool as the orbit of a run whose times (jts) count seconds of GPS time from 0h of `referenceMjd`. The record
// is chosen at the nominal epoch and serves every signal time of that satellite at that epoch. Misses: notCarried
// for a satellite without any record, noRecord for one without a usable record at that epoch. The pool must outlive
// the orbit. Safe to call from several threads.
// The record is evaluated at the epoch and 0.1 s either side, once per satellite and epoch for the life of the
// orbit (kept for every later pass, whichever thread asks: about 100 bytes a satellite and epoch); a signal time
// within 0.5 s of its epoch takes its position from the second-order expansion about the epoch so formed, within
// 2e-6 m of ephemerisState (an orbit's third derivative, 1e-4 m/s³, times 0.5³ s³ / 6; 1e-8 m at a travel time of
// 0.08 s); the clock is the record's polynomial at the signal time itself. Times farther from the epoch are
// evaluated directly. What an expansion holds does not depend on when, or on which thread, it was formed.
class BroadcastOrbit : public OrbitSource {
public:
    BroadcastOrbit(const NavPool& pool, int referenceMjd);
    ~BroadcastOrbit() override;
    BroadcastOrbit(const BroadcastOrbit&) = delete;
    BroadcastOrbit& operator=(const BroadcastOrbit&) = delete;
    bool state(SatId sat, double t, double epoch, SatelliteState& state, OrbitMiss& miss) const override;
    std::vector<SatId> satellites() const override { return satellites_; }
    double firstTime() const override { return first_; }
    double lastTime() const override { return last_; }
    // True when `sat` has a usable record at `epoch` (the expansion about it is then formed and kept).
    bool serves(SatId sat, double epoch) const override;
    GpsTime timeOf(double t) const { return reference_ + t; }
    // How many of the epochs start, start + interval, ... up to stop (jts) find no usable record of `sat`;
    // `epochs` receives how many epochs that grid holds.
    int epochsWithoutRecord(SatId sat, double start, double stop, double interval, int& epochs) const;

private:
    const NavPool& pool_;
    GpsTime reference_;
    std::vector<SatId> satellites_;
    double first_ = 0.0, last_ = 0.0;
    unsigned long number_;  // this orbit's number in the process, for the per-thread expansions
    struct Expansions;      // the expansions formed so far, by satellite and epoch
    std::unique_ptr<Expansions> expansions_;
};

}  // namespace varno
