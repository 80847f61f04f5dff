// The run's physical constants and its one time scale.
//
// Every time of the run is a double number of seconds (`jts`) since 0h of the reference day `jd0`, a modified
// Julian date fixed once per run from the orbit file's first epoch and held by the run (functions that need it
// take it). No time-system conversion is made and no leap second
// is applied: times are in the time system of the input files.
#pragma once

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

// Day number (modified Julian date) of a civil date, counting every fourth year as a leap year: right from
// 1 March 1900 to 28 February 2100. A year below 1900 stops the run with `stopCode`. Month and day are not
// range-checked (day 31 of a 30-day month is the 1st of the next).
int dayNumber(int year, int month, int day, int stopCode);

// The reference day of a run whose time scale starts on this date. Stop 34587 for a year below 1900.
int setjd0(int year, int month, int day);
// Civil date and time to `jts` seconds since 0h of reference day jd0. Stop 34589 for a year below 1900. Fractions
// of seconds carry through.
double civjts(int jd0, int year, int month, int day, int hour, int minute, double second);
// `jts` seconds (t >= 0) since 0h of reference day jd0 back to the civil date and time; the inverse of civjts.
void jtsciv(int jd0, double t, int& year, int& month, int& day, int& hour, int& minute, double& second);
// Civil date and time to a modified Julian day number and fraction of day. Stop 34588 for a year below 1900.
void civmjd(int year, int month, int day, int hour, int minute, double second, int& mjd, double& fraction);
// Modified Julian day number and fraction (0 <= fraction < 1) to a civil date and time.
void mjdciv(int mjd, double fraction, int& year, int& month, int& day, int& hour, int& minute, double& second);

}  // namespace varno
