// varno-sim internals shared by its files: the scenario record, the constellation, the
// station geometry and the observation stream that the file writers format.
//
// The simulator is independent of the program in src/: nothing here includes or links any of it.
#pragma once


#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "basics.h"


namespace sim {

// ---------------------------------------------------------------- scenario
struct Receiver {
    std::string id;
    double interval = 30;
    double tagOffset = 0;
    double clockBias = 0;
    double clockDrift = 0;
    double jumpTime = -1, jumpSize = 0;
    bool hasJump = false;
    double startDelay = 0, stopEarly = 0;
    std::vector<std::string> types;
    std::vector<std::pair<double, double>> gaps;
    std::vector<double> events;
    int eventLines = 2;
    std::vector<double> flag1;
    double blankP1 = 0, zeroP1 = 0, zeroCode = 0;
    std::vector<int> dropSats, glonass;
    std::vector<int> galileo, sbas;  // further non-GPS entries (Enn, Snn), after the GLONASS ones
    bool interleave = false;         // entries ordered by number across systems instead of GPS first
    double nanRate = 0;              // probability that a GPS value is written as nan
    int trailingBlanks = 0;          // blank lines after the data section
    Vec3 approxError;
    double antUp = 0, antNorth = 0, antEast = 0, auxOffset = 0;
    bool posOmit = false;
    std::string posBlank = "none";
    double mask = 10;  // degrees, elevation mask at this receiver's phase centre
    double noise = 0.5, phaseNoise = 0.002, outlierRate = 0, outlierSize = 50;
    bool clockField = true;
    double corrTime = 0;        // s, correlation time of the time-correlated code error (0: none)
    double corrA = 0, corrB = 0;  // m, its standard deviation sqrt(A² + (B / sin e)²)
    std::map<char, double> systemNoise;  // m, code noise of these systems instead of `noise`
    double noiseElevation = 0;  // m; the code noise is sqrt(noise² + (this / sin e)²) when not 0
    double zenithDelay = 0;    // m, this receiver's own troposphere at the zenith (mapped like tropo)
    bool zenithAuto = false;   // zenith delay from the receiver's height (zenithDelay then unused)
    std::string format = "rinex2";  // observation file format: rinex2 (2.11), rinex3 (3.04) or rinex4 (4.00)
    std::string packing = "plain";  // plain, gzip, compress, bzip2, xz, compact, compact+gzip, compact+compress
};

struct Scenario {
    uint64_t seed = 1;
    int year = 2006, month = 8, day = 26, hour = 10, minute = 0;
    double second = 0;
    double duration = 7200;
    double lat1 = 0, lon1 = 0, h1 = 0;
    double baseline = 2000, azimuth = 0, dheight = 0;
    double separationPpm = 0;  // mm per km: differential delay growing with the baseline on point 2's code
    double apN = 0, apE = 0, apU = 0;
    int maxSats = 12;
    double tropo = 0;
    double orbitInterval = 900, orbitMargin = 1800;
    std::vector<int> orbitOmit;
    char orbitVersion = 'a';          // SP3 version written: a (numeric ids), c or d (lettered ids)
    int orbitOthers = 0;              // satellites of other systems mixed into the orbit (c and d)
    std::vector<int> orbitZero;       // PRNs written at position 0,0,0 at the middle orbit epoch
    std::vector<int> orbitBadClock;   // PRNs written with the unknown clock 999999.999999 at that epoch
    bool orbitDaily = false;          // also write the orbit as one file per day
    std::string orbitPacking = "plain";  // plain, gzip, compress, bzip2 or xz, for every orbit file
    std::vector<int> planes;
    std::set<std::string> crlf;
    std::string off = "auto";
    bool posExtra = false;
    // Point 2's motion (trajectory.cpp): static, straight, circle or stop-and-go.
    std::string navFiles;                  // navigation files written: "" or any of "234"
    std::string systems = "G";             // simulated satellite systems, letters of GRECJ in that order
    std::string trajectory = "static";
    double speed = 10, heading = 0;        // m/s; degrees clockwise from north at the start
    double radius = 200;                   // m, circle
    double stopTime = 60, goTime = 120;    // s, stop-and-go: stopped, then moving, in turn from the start
    Receiver rx[2];
};

// ---------------------------------------------------------------- options (options.cpp, option_table.cpp)
// Sets every option to its default.
void applyDefaults(Scenario& sc);
// Sets one option, KEY for both receivers or KEY1 / KEY2 for one; throws Error for an unknown key or bad value.
void applyOption(Scenario& sc, const std::string& key, const std::string& value);
// Reads key = value lines ('#' starts a comment) and applies them in order.
void applyConfigFile(Scenario& sc, const std::string& path);
void printHelp();

// ---------------------------------------------------------------- constellation (constellation.cpp)
// A satellite's motion integrated with the earth's J2 term (GLONASS): inertial states on a grid, from which
// any time is reached by a short Runge-Kutta integration (other_systems.cpp).
struct J2Track {
    double t0 = 0, step = 60;                   // grid: t0 + k step, seconds since 0h of the start day
    std::vector<std::array<double, 6>> nodes;   // inertial position (m) and velocity (m/s)
    // Earth-fixed position and velocity at t.
    void state(double t, Vec3& pos, Vec3& vel) const;
};

struct Sat {
    int prn;
    double a, e, inc, raan, argp, m0;
    double clk0, clk1;  // seconds, seconds per second
    char sys = 'G';     // system letter: G, E, C, J or R
    int channel = 0;    // GLONASS frequency channel (-7..6)
    std::shared_ptr<const J2Track> j2;  // set: the orbit is integrated with J2 instead of Keplerian
};

// ---------------------------------------------------------------- systems (systems.cpp)
// What the simulator knows of a satellite system: the constants of its broadcast user algorithm and its time
// scale, in one place.
struct SystemInfo {
    char letter;
    double gm;          // m^3/s^2 of its broadcast user algorithm
    double omegaE;      // rad/s, its earth rotation rate
    double behindGps;   // s: system time = GPS time - this (BDT 14 s); GLONASS: UTC, see leapSeconds
    int64_t weekZeroMjd;  // MJD of the start of its week 0 (its week numbers in navigation records)
    double navSpacing;  // s, spacing of its navigation records
};

const SystemInfo& systemInfo(char letter);
// GPS - UTC in seconds at 0h of day mjd (the leap seconds since 1980).
int leapSeconds(int64_t mjd);

std::vector<Sat> makeConstellation(const Scenario& sc);
// The satellites of the systems other than GPS asked for by sc.systems (other_systems.cpp).
std::vector<Sat> otherConstellations(const Scenario& sc);
// Whether satellite system `letter` is simulated.
bool simulated(const Scenario& sc, char letter);
// Inertial position and velocity of a Keplerian orbit at time t (seconds since 0h of the start day).
void keplerInertial(const Sat& s, double t, double st[6]);
// Earth-fixed position at time t (seconds since 0h of the start day, GPS time).
Vec3 satPos(const Sat& s, double t);
double satClock(const Sat& s, double t);

struct Signal {
    double tau;   // travel time, s
    double tx;    // transmission time (true GPS time)
    Vec3 sRot;    // satellite at transmission, in the earth-fixed frame of reception
    double elev;  // degrees
};

// The signal received at rx (geodetic lat, lon in radians) at true time tRx.
Signal propagate(const Sat& s, Vec3 rx, double lat, double lon, double tRx);
// Elevation-dependent mapping of a zenith delay.
double mapping(double elevDeg);

// ---------------------------------------------------------------- station geometry (station_files.cpp)
struct PosAngle {
    long long deg, min, secUnits;  // secUnits: 1e-5 arcsec
    bool negative;
};

struct PosPoint {
    PosAngle lat, lon;
    long long heightMm;
    Vec3 xyz;  // as the program derives it from these fields
    double latDeg, lonDeg;
};

// Rounds a position to the resolution of the pos fields and derives it exactly as the program reads pos.
PosPoint roundForPos(double latDeg, double lonDeg, double h);

struct Geometry {
    int64_t mjd0;       // start day
    double tStart;      // seconds since 0h of the start day
    Vec3 marker[2], l1[2];
    double lat[2], lon[2];  // geodetic of the markers (radians)
    PosPoint pos1;
    double lat2Deg, lon2Deg, h2;
};

Geometry makeGeometry(const Scenario& sc);

// ---------------------------------------------------------------- correlated code errors (correlated_errors.cpp)
// The time-correlated code error of one receiver: a first-order Gauss-Markov process per satellite.
class CorrelatedCodeError {
public:
    CorrelatedCodeError(const Scenario& sc, int receiver);
    bool on() const;
    // The error in metres of satellite (system, prn) at time t (seconds; nominal epoch times) and elevation;
    // 0 when off. Calls for one satellite come in increasing t.
    double at(char system, int prn, double t, double elevDeg);

private:
    struct State {
        Rng rng;
        double t;
        double u;
    };
    uint64_t seed_;
    int receiver_;
    double tau_, a_, b_;
    std::map<int, State> states_;
};

// ---------------------------------------------------------------- differential delay (separation_delay.cpp)
// The delay on point 2's code that grows with the baseline: per satellite pass and per 2 h block common to all
// satellites, mapped to the elevation (see the .cpp); 0 on point 1 and when separationPpm is 0.
class SeparationDelay {
public:
    SeparationDelay(const Scenario& sc, const Geometry& geo, int receiver);
    bool on() const { return sigma_ > 0; }
    // The delay in metres of satellite (system, prn) at time t (seconds after the start, nominal epoch times,
    // increasing from call to call) and elevation above point 2.
    double at(char system, int prn, double t, double elevDeg);

private:
    struct Pass {
        Rng rng;
        double last;
        double z;
    };
    uint64_t seed_;
    double sigma_ = 0;  // m, of each part
    Rng blocks_;
    long blockIndex_ = -1;
    double blockValue_ = 0;
    std::map<int, Pass> passes_;
};

// ---------------------------------------------------------------- motion of point 2 (trajectory.cpp)
struct Station {
    Vec3 marker, l1;
    double lat, lon, h;  // of the marker; radians, metres
};

bool moving(const Scenario& sc);
// Receiver i's marker and L1 phase centre at true time t (seconds since 0h of the start day); point 1 and a
// static point 2 are where the geometry puts them.
Station stationAt(const Scenario& sc, const Geometry& geo, int i, double t);

// ---------------------------------------------------------------- observations (observations.cpp)
// One observation value as a receiver reports it: blank, or value with its signal-strength digit.
struct ObsValue {
    double value = 0;
    int ss = 0;
    bool blank = false;
    bool nan = false;  // written as the text nan
};

// One satellite's record: system letter ('G', 'R', 'E', 'S'), number, one value per type of Receiver::types.
struct ObsRecord {
    char system;
    int prn;
    std::vector<ObsValue> values;
};

// What a receiver writes, in file order: epochs (flag 0 or 1, with records and the receiver clock
// offset) and event records (flag 4, with comment lines).
struct ObsEpoch {
    int64_t tagUnits;  // since 0h of the start day
    int flag;
    double clock;  // receiver clock offset, s (epochs only)
    std::vector<ObsRecord> records;
    std::vector<std::string> comments;  // event records only
};

struct ObsStream {
    std::vector<ObsEpoch> epochs;
    int epochCount = 0;   // epochs with records (event records not counted)
    int64_t firstTag = -1;  // tag of the first epoch with records, -1 when none
    int64_t minTag = INT64_MAX, maxTag = INT64_MIN;
    std::map<int, int> channels;  // simulated GLONASS slots and their frequency channels
};

// Simulates receiver i (0 or 1) of the scenario: every epoch and event record it writes.
ObsStream simulateObservations(const Scenario& sc, const std::vector<Sat>& sats, const Geometry& geo, int i);

// ---------------------------------------------------------------- file writers
// RINEX 2.11 observation file of receiver i (rinex2_writer.cpp).
std::vector<std::string> rinex2File(const Scenario& sc, const Geometry& geo, int i, const ObsStream& obs);
// RINEX 3.04 or 4.00 (`version`) observation file of receiver i, the same observations (rinex3_writer.cpp).
std::vector<std::string> rinex3File(const Scenario& sc, const Geometry& geo, int i, const ObsStream& obs,
                                    double version);
// One day's part of the orbit, 00:00 to the last epoch before the next day, named orbit-YYYYMMDD.sp3.
struct DailyOrbit {
    std::string name;
    std::vector<std::string> lines;
};
// SP3 orbit covering the tags minTag..maxTag plus the margin, in the scenario's version (sp3_writer.cpp);
// with `daily`, the same epochs are also cut into one file per day.
std::vector<std::string> sp3File(const Scenario& sc, const std::vector<Sat>& sats, const Geometry& geo,
                                 int64_t minTag, int64_t maxTag, std::vector<DailyOrbit>* daily = nullptr);
// Packings of written files (packing.cpp, compact_writer.cpp). The lines of a RINEX 2, 3 or 4 observation
// file as compact RINEX 1.0 or 3.0; trailing blank lines are left out (they end the data). Throws Error for a
// value that is not a fixed-point number (e.g. nan).
std::vector<std::string> compactRinex(const std::vector<std::string>& rinex);
// Whether `packing` names a packing of an observation file (compact ones included) or of another file.
bool knownPacking(const std::string& packing, bool observations);
// The bytes of a file of `lines` packed as `packing` (see Receiver::packing).
std::string packedFile(const std::vector<std::string>& lines, bool crlf, const std::string& packing);
// Navigation files reproducing the orbits and clocks of `sats` over the tags minTag..maxTag (nav_writer.cpp):
// each file's name and lines, for the versions asked for in sc.navFiles.
struct NavFile {
    std::string name;
    std::vector<std::string> lines;
};
std::vector<NavFile> navFiles(const Scenario& sc, const std::vector<Sat>& sats, const Geometry& geo, int64_t minTag,
                              int64_t maxTag);
// Station files (station_files.cpp). posFile also returns point 2's a priori position as written, and
// whether the program can use it.
std::vector<std::string> posFile(const Scenario& sc, const Geometry& geo, Vec3& apriori, bool& aprioriUsable);
std::vector<std::string> offFile(const Scenario& sc);
// Point 2's true track (truth-track.csv): the marker at each of its epochs.
std::vector<std::string> trackFile(const Scenario& sc, const Geometry& geo, const ObsStream& obs);
std::vector<std::string> truthFile(const Scenario& sc, const std::vector<Sat>& sats, const Geometry& geo,
                                   Vec3 apriori, bool aprioriUsable, const int epochs[2]);

}  // namespace sim
