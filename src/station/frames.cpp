// Geodetic <-> earth-centred conversions on the WGS 84 ellipsoid and the rotations between earth-centred axes
// and the local north/east/up frame. No state, no output, no stops.
#include <cmath>

#include "station/station.h"

namespace varno {

namespace {

// Relative change of tan(latitude) at which the iteration is taken as converged.
constexpr double kTanLatitudeTolerance = 5e-15;
// Largest iteration count before xyzgeo gives up: at most 11 new values of tan(latitude) are computed.
constexpr int kMaxIterations = 10;
// Above this |latitude| (rad, pi/4 to four decimals) the height comes from Z; below it from the distance to the
// polar axis, whichever divides by the larger of sin and cos.
constexpr double kHeightFormulaLatitude = 0.7854;

double primeVerticalRadius(double sinLatitude) {
    return kSemiMajorAxis / std::sqrt(1.0 - kEccentricitySquared * (sinLatitude * sinLatitude));
}

}  // namespace

void geoxyz(double latitude, double longitude, double height, double& x, double& y, double& z) {
    const double sinLat = std::sin(latitude);
    const double cosLat = std::cos(latitude);
    const double n = primeVerticalRadius(sinLat);
    x = (n + height) * cosLat * std::cos(longitude);
    y = (n + height) * cosLat * std::sin(longitude);
    z = (n * kOneMinusE2 + height) * sinLat;
}

bool xyzgeo(double x, double y, double z, double& latitude, double& longitude, double& height) {
    const double p = std::sqrt(x * x + y * y);
    double t = z / (p * kOneMinusE2);
    int k = 0;
    for (;;) {
        if (k > kMaxIterations) {
            latitude = 0.0;
            longitude = 0.0;
            height = 0.0;
            return false;
        }
        k = k + 1;
        const double tNext = z / (p - kAE2 / std::sqrt(1.0 + kOneMinusE2 * (t * t)));
        const double r = std::fabs((tNext - t) / tNext);
        t = tNext;
        // On the equator plane t stays 0 and on the polar axis it is infinite: the relative change is then not
        // a number, and the latitude is already exact.
        if (r <= kTanLatitudeTolerance || std::isnan(r)) break;
    }
    const double lat = std::atan(t);
    const double lon = std::atan2(y, x);
    const double sinLat = std::sin(lat);
    const double n = primeVerticalRadius(sinLat);
    double h = 0.0;
    if (std::fabs(lat) > kHeightFormulaLatitude) {
        h = z / sinLat - n + kEccentricitySquared * n;
    } else {
        h = p / std::cos(lat) - n;
    }
    // The earth's centre (0/0 from the start) and non-finite input have no geodetic coordinates; reporting them
    // as converged would hand NaN to the caller as a position.
    if (!std::isfinite(lat) || !std::isfinite(lon) || !std::isfinite(h)) {
        latitude = 0.0;
        longitude = 0.0;
        height = 0.0;
        return false;
    }
    latitude = lat;
    longitude = lon;
    height = h;
    return true;
}

void rge(double latitude, double longitude, double& north, double& east, double& up, double dx, double dy, double dz) {
    const double sLat = std::sin(latitude);
    const double cLat = std::cos(latitude);
    const double sLon = std::sin(longitude);
    const double cLon = std::cos(longitude);
    north = -sLat * cLon * dx - sLat * sLon * dy + cLat * dz;
    east = -sLon * dx + cLon * dy;
    up = cLat * cLon * dx + cLat * sLon * dy + sLat * dz;
}

void reg(double latitude, double longitude, double& dx, double& dy, double& dz, double north, double east, double up) {
    const double sLat = std::sin(latitude);
    const double cLat = std::cos(latitude);
    const double sLon = std::sin(longitude);
    const double cLon = std::cos(longitude);
    dx = -sLat * cLon * north - sLon * east + cLat * cLon * up;
    dy = -sLat * sLon * north + cLon * east + cLat * sLon * up;
    dz = cLat * north + sLat * up;
}

}  // namespace varno
