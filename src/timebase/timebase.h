// The run's physical constants, its one time scale and the table of satellites that take part in the run.
//
// Every time of the run is a double number of seconds (`jts`) since 0h of the reference day `jd0`, a modified
// Julian date fixed once from the orbit file's first epoch. No time-system conversion is made and no leap second
// is applied: times are in the time system of the input files.
#pragma once

#include <string>

#include "gnss/gnss.h"

namespace varno {

// ---------------------------------------------------------------------------------------------------------------
// Physical constants of the run, written as the exact doubles the computation uses.
struct GpsConstants {
    static constexpr double pi = 3.141592653589793;
    static constexpr double degreesPerRadian = 57.29577951308232;
    static constexpr double speedOfLight = 299792458.0;           // m/s
    static constexpr double l1Frequency = 1575420000.0;           // Hz
    static constexpr double l2Frequency = 1227600000.0;           // Hz
    static constexpr double l1Wavelength = 0.19029367279836487;   // m
    static constexpr double l2Wavelength = 0.24421021342456825;   // m
    static constexpr double earthRotationRate = 7.2921151467e-05; // rad/s
};


// ---------------------------------------------------------------------------------------------------------------
// Calendar and time scale

// The reference day (modified Julian date); 0 until setjd0 runs.
int jd0();
// Forgets the reference day (tests, and the start of a run).
void resetTimebase();

// Day number (modified Julian date) of a civil date, counting every fourth year as a leap year: right from
// 1 March 1900 to 28 February 2100. A year below 1900 stops the run with `stopCode`. Month and day are not
// range-checked (day 31 of a 30-day month is the 1st of the next).
int dayNumber(int year, int month, int day, int stopCode);

// Fixes the reference day. Stop 34587 for a year below 1900.
void setjd0(int year, int month, int day);
// Civil date and time to `jts` seconds. Stop 34589 for a year below 1900. Fractions of seconds carry through.
double civjts(int year, int month, int day, int hour, int minute, double second);
// `jts` seconds (t >= 0) back to the civil date and time; the inverse of civjts.
void jtsciv(double t, int& year, int& month, int& day, int& hour, int& minute, double& second);
// Civil date and time to a modified Julian day number and fraction of day. Stop 34588 for a year below 1900.
void civmjd(int year, int month, int day, int hour, int minute, double second, int& mjd, double& fraction);
// Modified Julian day number and fraction (0 <= fraction < 1) to a civil date and time.
void mjdciv(int mjd, double fraction, int& year, int& month, int& day, int& hour, int& minute, double& second);

// ---------------------------------------------------------------------------------------------------------------
// The run's satellites

// At most this many GPS satellites take part in a run (a rule of the run, not the size of any array); the other
// systems are limited only by their numbers.
inline constexpr int kMaxGpsSatellites = 32;

// The satellites of the run, numbered by slot 1..size() (slot = the index's position + 1) in order of insertion;
// the arrays of the adjustment hold one value per slot.
const SatIndex& runSatellites();

// Empties the table.
void newprn();
// n = number of satellites held.
void numprn(int& n);
// True with `slot` when `sat` is held; otherwise false with slot = count + 1.
bool getprn(SatId sat, int& slot);
// Inserts `sat` when absent and the rule allows it: true, slot = 0. Already present: false, slot = its slot.
// A GPS satellite beyond the kMaxGpsSatellites-th: false, slot = 0.
bool putprn(SatId sat, int& slot);
// Removes `sat`, moving the later entries down one slot: true, n = new count. Absent: false, n = count.
bool delprn(SatId sat, int& n);
// The satellite held in `slot`; a slot outside 1..count stops the run with code 74358.
SatId invprn(int slot);

// The systems the run was asked for (GPS alone until set). With any choice but GPS alone the run names its
// satellites with their system letter.
void setRunSystems(const SystemSet& systems);
const SystemSet& runSystems();
bool letteredNames();
// A satellite's name: its number ("5"), or with letteredNames() its id ("E12").
std::string satelliteName(SatId sat);
// The same right-justified in `width` columns.
std::string satelliteField(SatId sat, int width);

}  // namespace varno
