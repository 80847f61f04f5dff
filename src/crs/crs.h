// Coordinate reference systems: one earth-centred WGS 84 point and its covariance expressed, through PROJ, in the
// system the user names (projected, geographic, compound or geocentric).
#pragma once

#include <array>
#include <stdexcept>
#include <string>

namespace varno::crs {

// Thrown when a system is unknown or a point cannot be transformed; the message names the crs as given.
class CrsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

using Vec3 = std::array<double, 3>;
using Mat3 = std::array<std::array<double, 3>, 3>;

struct ProjectedPoint {
    std::string crs;                   // as given, e.g. EPSG:25831
    std::string crsName;               // PROJ's name of it
    std::array<std::string, 3> axes;  // easting_m, northing_m, height_m; or longitude_deg, latitude_deg, height_m
                                       // for a geographic system; x_m, y_m, z_m for a geocentric one
    Vec3 value{};                      // in the order of `axes`
    Vec3 sigma{};                      // same units (degrees for longitude and latitude)
    std::string areaOfUse;             // PROJ's name of the area the system is made for ("" when it states none)
    bool outsideAreaOfUse = false;     // the point lies outside that area's bounding box: its figures are
                                       // distorted beyond what the system was made for
};

// The system alone (crs, crsName, axes; value and sigma zero). Throws CrsError unless PROJ knows `crs` as a
// projected, geographic, compound or geocentric system with a transformation from WGS 84, so that callers can
// reject a bad option before any work is done.
ProjectedPoint describe(const std::string& crs);

// Converts `xyz` (earth-centred WGS 84, metres) to `crs`, propagating `covariance` (metres squared, X Y Z) with the
// numerical Jacobian of the transformation (central differences of 1 mm), and tells whether the point lies outside
// the system's area of use (its bounding box in longitude and latitude, which may cross the 180th meridian).
// Throws CrsError naming the crs and `what` (e.g. "station KOSG") when the system is unknown or the point cannot be
// transformed.
ProjectedPoint project(const std::string& crs, const Vec3& xyz, const Mat3& covariance, const std::string& what);

// One line for the user (without a "warning:" label) when `p` lies outside its system's area of use, naming `what` (e.g. "point 2"); "" when
// it lies inside or the system states no area.
std::string areaWarning(const ProjectedPoint& p, const std::string& what);

}  // namespace varno::crs
