// GPS time as whole seconds and a fraction, and the leap seconds between GPS time and UTC.
#include <cmath>

#include "broadcast/broadcast.h"

namespace varno {

namespace {

constexpr int kGpsEpochMjd = 44244;  // 1980-01-06
constexpr long long kSecondsPerDay = 86400;

// Modified Julian date from which each count of GPS − UTC holds (the leap seconds inserted since 1980).
constexpr std::array<int, 18> kLeapStart{44786, 45151, 45516, 46247, 47161, 47892, 48257, 48804, 49169,
                                         49534, 50083, 50630, 51179, 53736, 54832, 56109, 57204, 57754};

GpsTime normalised(long long second, double fraction) {
    const double whole = std::floor(fraction);
    return GpsTime{second + static_cast<long long>(whole), fraction - whole};
}

}  // namespace

double operator-(const GpsTime& a, const GpsTime& b) {
    return static_cast<double>(a.second - b.second) + (a.fraction - b.fraction);
}

GpsTime operator+(const GpsTime& t, double seconds) {
    const double whole = std::floor(seconds);
    return normalised(t.second + static_cast<long long>(whole), t.fraction + (seconds - whole));
}

GpsTime gpsTimeOfMjd(int mjd, double seconds) {
    return GpsTime{static_cast<long long>(mjd - kGpsEpochMjd) * kSecondsPerDay, 0.0} + seconds;
}

void mjdOfGpsTime(const GpsTime& t, int& mjd, double& seconds) {
    long long day = t.second / kSecondsPerDay;
    if (t.second % kSecondsPerDay < 0) --day;
    mjd = static_cast<int>(day) + kGpsEpochMjd;
    seconds = static_cast<double>(t.second - day * kSecondsPerDay) + t.fraction;
}

int leapSecondsOn(int mjd) {
    int count = 0;
    for (int start : kLeapStart) {
        if (mjd >= start) ++count;
    }
    return count;
}

}  // namespace varno
