// Transformation of one earth-centred WGS 84 point through PROJ, with its covariance.
#include "crs/crs.h"

#include <proj.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "station/station.h"

namespace varno::crs {

namespace {

constexpr const char* kGeocentric = "EPSG:4978";  // WGS 84 earth-centred X, Y, Z
constexpr double kStep = 0.001;                   // metres, of the central differences

struct ContextDeleter {
    void operator()(PJ_CONTEXT* c) const { proj_context_destroy(c); }
};
struct PjDeleter {
    void operator()(PJ* p) const { proj_destroy(p); }
};
using Context = std::unique_ptr<PJ_CONTEXT, ContextDeleter>;
using Pj = std::unique_ptr<PJ, PjDeleter>;

std::string errorText(PJ_CONTEXT* context) {
    const char* text = proj_context_errno_string(context, proj_context_errno(context));
    return text ? text : "unknown reason";
}

// A PROJ context with the target system and the normalised transformation from WGS 84 to it.
struct Transformation {
    Context context;
    Pj target;
    Pj transform;
    PJ_TYPE type = PJ_TYPE_UNKNOWN;
};

Transformation open(const std::string& crs) {
    Transformation t;
    t.context.reset(proj_context_create());
    proj_log_level(t.context.get(), PJ_LOG_NONE);
    PJ_CONTEXT* context = t.context.get();
    t.target.reset(proj_create(context, crs.c_str()));
    if (!t.target) throw CrsError("crs " + crs + ": PROJ does not know it (" + errorText(context) + ")");
    t.type = proj_get_type(t.target.get());
    const bool geographic = t.type == PJ_TYPE_GEOGRAPHIC_2D_CRS || t.type == PJ_TYPE_GEOGRAPHIC_3D_CRS;
    if (!geographic && t.type != PJ_TYPE_PROJECTED_CRS && t.type != PJ_TYPE_COMPOUND_CRS &&
        t.type != PJ_TYPE_GEOCENTRIC_CRS)
        throw CrsError("crs " + crs + ": not a projected, geographic or geocentric reference system");
    Pj raw(proj_create_crs_to_crs(context, kGeocentric, crs.c_str(), nullptr));
    if (!raw) throw CrsError("crs " + crs + ": no transformation from WGS 84 (" + errorText(context) + ")");
    t.transform.reset(proj_normalize_for_visualization(context, raw.get()));
    if (!t.transform) throw CrsError("crs " + crs + ": " + errorText(context));
    return t;
}

ProjectedPoint describeOpen(const std::string& crs, const Transformation& t) {
    ProjectedPoint out;
    out.crs = crs;
    const char* name = proj_get_name(t.target.get());
    out.crsName = name ? name : crs;
    const bool geographic = t.type == PJ_TYPE_GEOGRAPHIC_2D_CRS || t.type == PJ_TYPE_GEOGRAPHIC_3D_CRS;
    out.axes = geographic ? std::array<std::string, 3>{"longitude_deg", "latitude_deg", "height_m"}
               : t.type == PJ_TYPE_GEOCENTRIC_CRS ? std::array<std::string, 3>{"x_m", "y_m", "z_m"}
                                                  : std::array<std::string, 3>{"easting_m", "northing_m", "height_m"};
    return out;
}

// Fills the area of use of the target system and whether `xyz` lies outside it.
void checkAreaOfUse(const Transformation& t, const Vec3& xyz, ProjectedPoint& out) {
    double west = 0, south = 0, east = 0, north = 0;
    const char* name = nullptr;
    if (!proj_get_area_of_use(t.context.get(), t.target.get(), &west, &south, &east, &north, &name)) return;
    out.areaOfUse = name ? name : "";
    if (west == -1000 || south == -1000) return;  // PROJ's mark of bounds it does not know
    double latitude = 0, longitude = 0, height = 0;
    if (!xyzgeo(xyz[0], xyz[1], xyz[2], latitude, longitude, height)) return;  // no geodetic position to test
    latitude *= GpsConstants::degreesPerRadian;
    longitude *= GpsConstants::degreesPerRadian;
    const bool inLongitude = west <= east ? longitude >= west && longitude <= east
                                          : longitude >= west || longitude <= east;  // across the 180th meridian
    out.outsideAreaOfUse = !inLongitude || latitude < south || latitude > north;
}

}  // namespace

ProjectedPoint describe(const std::string& crs) { return describeOpen(crs, open(crs)); }

ProjectedPoint project(const std::string& crs, const Vec3& xyz, const Mat3& covariance, const std::string& what) {
    const Transformation t = open(crs);
    ProjectedPoint out = describeOpen(crs, t);
    auto apply = [&](const Vec3& p) {
        PJ_COORD c = proj_coord(p[0], p[1], p[2], 0);
        c = proj_trans(t.transform.get(), PJ_FWD, c);
        if (!std::isfinite(c.v[0]) || !std::isfinite(c.v[1]) || !std::isfinite(c.v[2]) || c.v[0] == HUGE_VAL)
            throw CrsError("crs " + crs + ": " + what + " cannot be transformed (" + errorText(t.context.get()) + ")");
        return Vec3{c.v[0], c.v[1], c.v[2]};
    };
    out.value = apply(xyz);
    double jacobian[3][3];
    for (int k = 0; k < 3; ++k) {
        Vec3 plus = xyz, minus = xyz;
        plus[k] += kStep;
        minus[k] -= kStep;
        const Vec3 a = apply(plus), b = apply(minus);
        for (int r = 0; r < 3; ++r) jacobian[r][k] = (a[r] - b[r]) / (2 * kStep);
    }
    for (int r = 0; r < 3; ++r) {
        double variance = 0;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) variance += jacobian[r][i] * covariance[i][j] * jacobian[r][j];
        out.sigma[r] = std::sqrt(std::max(0.0, variance));
    }
    checkAreaOfUse(t, xyz, out);
    return out;
}

std::string areaWarning(const ProjectedPoint& p, const std::string& what) {
    if (!p.outsideAreaOfUse) return "";
    return what + " lies outside the area of use of " + p.crs + " (" + p.areaOfUse +
           "); its coordinates in that system are distorted beyond what the system is made for";
}

}  // namespace varno::crs
