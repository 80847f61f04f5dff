// Adjusted stations in the user's coordinate reference system, through PROJ.
#include <proj.h>

#include <cmath>
#include <memory>

#include "campaign/campaign.h"

namespace varno::campaign {

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

}  // namespace

ProjectedNetwork toProjected(const std::string& crs, const std::vector<AdjustedStation>& stations) {
    Context context(proj_context_create());
    proj_log_level(context.get(), PJ_LOG_NONE);
    Pj target(proj_create(context.get(), crs.c_str()));
    if (!target) throw CampaignError("crs " + crs + ": PROJ does not know it (" + errorText(context.get()) + ")");
    const PJ_TYPE type = proj_get_type(target.get());
    const bool geographic = type == PJ_TYPE_GEOGRAPHIC_2D_CRS || type == PJ_TYPE_GEOGRAPHIC_3D_CRS;
    if (!geographic && type != PJ_TYPE_PROJECTED_CRS && type != PJ_TYPE_COMPOUND_CRS && type != PJ_TYPE_GEOCENTRIC_CRS)
        throw CampaignError("crs " + crs + ": not a projected, geographic or geocentric reference system");
    Pj raw(proj_create_crs_to_crs(context.get(), kGeocentric, crs.c_str(), nullptr));
    if (!raw) throw CampaignError("crs " + crs + ": no transformation from WGS 84 (" + errorText(context.get()) + ")");
    Pj transform(proj_normalize_for_visualization(context.get(), raw.get()));
    if (!transform) throw CampaignError("crs " + crs + ": " + errorText(context.get()));

    ProjectedNetwork out;
    out.crs = crs;
    const char* name = proj_get_name(target.get());
    out.crsName = name ? name : crs;
    out.axes = geographic ? std::vector<std::string>{"longitude_deg", "latitude_deg", "height_m"}
               : type == PJ_TYPE_GEOCENTRIC_CRS ? std::vector<std::string>{"x_m", "y_m", "z_m"}
                                                : std::vector<std::string>{"easting_m", "northing_m", "height_m"};
    auto apply = [&](const Vec3& xyz, const std::string& id) {
        PJ_COORD c = proj_coord(xyz[0], xyz[1], xyz[2], 0);
        c = proj_trans(transform.get(), PJ_FWD, c);
        if (!std::isfinite(c.v[0]) || !std::isfinite(c.v[1]) || !std::isfinite(c.v[2]) || c.v[0] == HUGE_VAL)
            throw CampaignError("crs " + crs + ": station " + id + " cannot be transformed (" +
                                errorText(context.get()) + ")");
        return Vec3{c.v[0], c.v[1], c.v[2]};
    };
    for (const AdjustedStation& s : stations) {
        const Vec3 value = apply(s.xyz, s.id);
        double jacobian[3][3];
        for (int k = 0; k < 3; ++k) {
            Vec3 plus = s.xyz, minus = s.xyz;
            plus[k] += kStep;
            minus[k] -= kStep;
            const Vec3 a = apply(plus, s.id), b = apply(minus, s.id);
            for (int r = 0; r < 3; ++r) jacobian[r][k] = (a[r] - b[r]) / (2 * kStep);
        }
        double sigma[3];
        for (int r = 0; r < 3; ++r) {
            double variance = 0;
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j) variance += jacobian[r][i] * s.covariance[i][j] * jacobian[r][j];
            sigma[r] = std::sqrt(std::max(0.0, variance));
        }
        out.stations.push_back({s.id, value[0], value[1], value[2], sigma[0], sigma[1], sigma[2]});
    }
    return out;
}

}  // namespace varno::campaign
