#include <cmath>

#include "textio/textio.h"
#include "timebase/timebase.h"

namespace varno {

namespace {

constexpr double kDaysPerYear = 365.25;
constexpr double kDaysPerMonthFactor = 30.6001;
constexpr int kMjdOffset = 679019;
constexpr double kSecondsPerDayInverse = 1.1574074074074073e-05;  // 1/86400
constexpr double kSecondsPerDay = 86400.0;
constexpr int kStopSetjd0 = 34587;
constexpr int kStopCivjts = 34589;
// A run never raises it: nothing in the run calls civmjd (the tests do).
constexpr int kStopCivmjd = 34588;

int trunc(double x) { return static_cast<int>(x); }

// Julian-day arithmetic shared by mjdciv and jtsciv; valid from 1 March 1900 to 28 February 2100.
void civilFromDay(int n, double q, int& year, int& month, int& day, int& hour, int& minute, double& second) {
    int a = trunc(static_cast<double>(n) + q + 2400001.0) + 1537;
    int b = trunc(static_cast<double>(a) * 0.0027378507871321013 - 0.33429158110882956);
    int e = trunc(kDaysPerYear * static_cast<double>(b));
    int f = trunc(static_cast<double>(a - e) * 0.03267963176590926);
    day = trunc(static_cast<double>(a - e - trunc(kDaysPerMonthFactor * static_cast<double>(f))) + q);
    int g = f - 12 * trunc(static_cast<double>(f) * 0.07142857142857142);
    month = g - 1;
    year = b - trunc(static_cast<double>(g + 6) * 0.1) - 4715;
    hour = trunc(24.0 * q);
    double r = (24.0 * q - static_cast<double>(hour)) * 60.0;
    minute = trunc(r);
    second = (r - static_cast<double>(minute)) * 60.0;
}

}  // namespace

int dayNumber(int year, int month, int day, int stopCode) {
    if (year < 1900) stopRun(stopCode);
    int y = year;
    int m = month;
    if (month <= 2) {
        y = year - 1;
        m = month + 12;
    }
    return trunc(kDaysPerYear * static_cast<double>(y)) + trunc(kDaysPerMonthFactor * static_cast<double>(m + 1)) +
           day - kMjdOffset;
}

int setjd0(int year, int month, int day) { return dayNumber(year, month, day, kStopSetjd0); }

double civjts(int jd0, int year, int month, int day, int hour, int minute, double second) {
    int mjd = dayNumber(year, month, day, kStopCivjts);
    // Whole seconds are summed exactly as integers, the fraction added once at the end.
    long long whole = (static_cast<long long>(mjd) - jd0) * 86400LL + 3600LL * hour;
    whole += 60LL * minute;
    return static_cast<double>(whole) + second;
}

void jtsciv(int jd0, double t, int& year, int& month, int& day, int& hour, int& minute, double& second) {
    int n = trunc(static_cast<double>(jd0) + t * kSecondsPerDayInverse);
    double q = std::fmod(t, kSecondsPerDay) * kSecondsPerDayInverse;
    civilFromDay(n, q, year, month, day, hour, minute, second);
}

void civmjd(int year, int month, int day, int hour, int minute, double second, int& mjd, double& fraction) {
    mjd = dayNumber(year, month, day, kStopCivmjd);
    int whole = 3600 * hour + 60 * minute;
    fraction = (static_cast<double>(whole) + second) * kSecondsPerDayInverse;
}

void mjdciv(int mjd, double fraction, int& year, int& month, int& day, int& hour, int& minute, double& second) {
    civilFromDay(mjd, fraction, year, month, day, hour, minute, second);
}

}  // namespace varno
