// The campaign report as JSON (schema varno-campaign/1) and as CSV tables.
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "campaign/campaign.h"

namespace varno::campaign {

namespace {

using Json = nlohmann::ordered_json;

Json testJson(const GlobalTest& t) {
    return {{"sum_squares", t.sumSquares}, {"redundancy", t.redundancy}, {"variance_factor", t.varianceFactor},
            {"lower", t.lower},           {"upper", t.upper},            {"passed", t.passed}};
}

Json matrixJson(const Mat3& m) {
    Json rows = Json::array();
    for (const auto& row : m) rows.push_back({row[0], row[1], row[2]});
    return rows;
}

const ProjectedStation* projectedOf(const Report& r, const std::string& id) {
    if (!r.projected) return nullptr;
    for (const auto& s : r.projected->stations)
        if (s.id == id) return &s;
    return nullptr;
}

std::string number(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

}  // namespace

const Adjustment& finalAdjustment(const Report& report) {
    return report.network.constrainedDone ? report.network.constrained : report.network.minimal;
}

const AdjustedBaseline* adjustedBaseline(const Report& report, const std::string& job) {
    for (const AdjustedBaseline& b : report.network.minimal.baselines)
        if (b.job == job) return &b;
    return nullptr;
}

std::string reportJson(const Report& r) {
    const Campaign& c = *r.campaign;
    Json root;
    root["schema"] = "varno-campaign/1";
    root["name"] = c.name;
    root["held"] = c.held;
    root["variance_factor_applied"] = c.varianceFactor;
    root["w_critical"] = c.wCritical;
    root["final_adjustment"] = r.network.constrainedDone ? "constrained" : "minimal";
    Json sessions = Json::array();
    for (const Session& s : r.plan->sessions) {
        Json stations = Json::array();
        for (int k : s.occupations) stations.push_back(c.occupations[k].station);
        sessions.push_back({{"name", s.name}, {"start_s", s.start}, {"end_s", s.end}, {"stations", stations}});
    }
    root["sessions"] = sessions;
    Json stations = Json::array();
    for (const AdjustedStation& s : finalAdjustment(r).stations) {
        Json j = {{"id", s.id},
                  {"control", s.control},
                  {"held", s.held},
                  {"x_m", s.xyz[0]},
                  {"y_m", s.xyz[1]},
                  {"z_m", s.xyz[2]},
                  {"sigma_x_m", s.sigma[0]},
                  {"sigma_y_m", s.sigma[1]},
                  {"sigma_z_m", s.sigma[2]},
                  {"latitude_deg", s.latitude},
                  {"longitude_deg", s.longitude},
                  {"height_m", s.height},
                  {"sigma_north_m", s.sigmaNeu[0]},
                  {"sigma_east_m", s.sigmaNeu[1]},
                  {"sigma_up_m", s.sigmaNeu[2]},
                  {"covariance_xyz_m2", matrixJson(s.covariance)},
                  {"ellipse", {{"major_m", s.ellipseMajor}, {"minor_m", s.ellipseMinor}, {"azimuth_deg", s.ellipseAzimuth}}}};
        const ProjectedStation* p = projectedOf(r, s.id);
        j["projected"] = p ? Json{{"axes", r.projected->axes},
                                  {"values", {p->easting, p->northing, p->height}},
                                  {"sigmas", {p->sigmaE, p->sigmaN, p->sigmaH}},
                                  {"outside_area_of_use", p->outsideAreaOfUse}}
                           : Json();
        stations.push_back(j);
    }
    root["stations"] = stations;
    Json baselines = Json::array();
    for (size_t k = 0; k < r.baselines.size(); ++k) {
        const Baseline& b = r.baselines[k];
        Json j = {{"job", b.job}, {"session", b.session}, {"from", b.from}, {"to", b.to}, {"dx_m", b.vector[0]},
                  {"dy_m", b.vector[1]}, {"dz_m", b.vector[2]}, {"covariance_xyz_m2", matrixJson(b.covariance)},
                  {"summary_schema", b.schema}};
        const AdjustedBaseline* a = adjustedBaseline(r, b.job);
        j["residual_m"] = a ? Json{a->residual[0], a->residual[1], a->residual[2]} : Json();
        j["w_test"] = a ? Json(a->wTest) : Json();
        j["flagged"] = a && a->flagged;
        baselines.push_back(j);
    }
    root["baselines"] = baselines;
    Json failed = Json::array();
    for (const FailedJob& f : r.failed) failed.push_back({{"job", f.job}, {"explanation", f.explanation}});
    root["failed_jobs"] = failed;
    Json loops = Json::array();
    for (const Loop& l : r.network.loops)
        loops.push_back({{"stations", l.stations}, {"jobs", l.jobs},
                         {"misclosure_xyz_m", {l.misclosure[0], l.misclosure[1], l.misclosure[2]}},
                         {"misclosure_mm", l.misclosureMm}, {"length_m", l.lengthM}, {"ppm", l.ppm},
                         {"sigma_mm", l.sigmaMm}, {"ratio", l.ratio}, {"chi_square", l.chiSquare}, {"passed", l.passed}});
    root["loops"] = loops;
    root["global_test"] = testJson(r.network.minimal.global);
    root["constrained_global_test"] = r.network.constrainedDone ? testJson(r.network.constrained.global) : Json();
    root["control_fit"] = r.network.constrainedDone ? testJson(r.network.controlFit) : Json();
    Json controls = Json::array();
    for (const AdjustedBaseline& b : r.network.constrained.controls)
        controls.push_back({{"id", b.to}, {"residual_m", {b.residual[0], b.residual[1], b.residual[2]}},
                            {"w_test", b.wTest}, {"flagged", b.flagged}});
    root["controls"] = controls;
    Json relative = Json::array();
    for (const RelativePrecision& p : r.network.relative)
        relative.push_back({{"from", p.from}, {"to", p.to}, {"length_m", p.length}, {"sigma_length_m", p.sigmaLength},
                            {"ppm", p.ppm}, {"sigma_north_m", p.sigmaNeu[0]}, {"sigma_east_m", p.sigmaNeu[1]},
                            {"sigma_up_m", p.sigmaNeu[2]}});
    root["relative_precision"] = relative;
    root["crs"] = r.projected ? Json{{"name", r.projected->crs}, {"description", r.projected->crsName},
                                     {"axes", r.projected->axes}}
                              : Json();
    Json notes = Json::array();
    for (const auto& n : r.plan->notes) notes.push_back(n);
    for (const auto& n : r.network.notes) notes.push_back(n);
    root["notes"] = notes;
    return root.dump(2) + "\n";
}

std::string stationsCsv(const Report& r) {
    std::string out = "id,control,held,x_m,y_m,z_m,sigma_x_m,sigma_y_m,sigma_z_m,latitude_deg,longitude_deg,height_m,"
                      "sigma_north_m,sigma_east_m,sigma_up_m,ellipse_major_m,ellipse_minor_m,ellipse_azimuth_deg";
    if (r.projected)
        for (const auto& axis : r.projected->axes) out += "," + axis + ",sigma_" + axis;
    out += "\n";
    for (const AdjustedStation& s : finalAdjustment(r).stations) {
        out += s.id + "," + (s.control ? "yes" : "no") + "," + (s.held ? "yes" : "no");
        for (double v : s.xyz) out += "," + number(v, 4);
        for (double v : s.sigma) out += "," + number(v, 4);
        out += "," + number(s.latitude, 9) + "," + number(s.longitude, 9) + "," + number(s.height, 4);
        for (double v : s.sigmaNeu) out += "," + number(v, 4);
        out += "," + number(s.ellipseMajor, 4) + "," + number(s.ellipseMinor, 4) + "," + number(s.ellipseAzimuth, 1);
        if (const ProjectedStation* p = projectedOf(r, s.id)) {
            const int decimals = r.projected->axes[0] == "longitude_deg" ? 9 : 4;
            out += "," + number(p->easting, decimals) + "," + number(p->sigmaE, decimals) + "," +
                   number(p->northing, decimals) + "," + number(p->sigmaN, decimals) + "," + number(p->height, 4) +
                   "," + number(p->sigmaH, 4);
        }
        out += "\n";
    }
    return out;
}

std::string baselinesCsv(const Report& r) {
    std::string out = "job,session,from,to,dx_m,dy_m,dz_m,sigma_dx_m,sigma_dy_m,sigma_dz_m,w_test,flagged\n";
    for (const Baseline& b : r.baselines) {
        out += b.job + "," + b.session + "," + b.from + "," + b.to;
        for (double v : b.vector) out += "," + number(v, 4);
        for (int k = 0; k < 3; ++k) out += "," + number(std::sqrt(b.covariance[k][k]), 4);
        const AdjustedBaseline* a = adjustedBaseline(r, b.job);
        out += a ? "," + number(a->wTest, 2) + "," + (a->flagged ? "yes" : "no") : ",,";
        out += "\n";
    }
    return out;
}

}  // namespace varno::campaign
