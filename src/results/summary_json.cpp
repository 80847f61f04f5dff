// The summary as JSON, schema "varno-summary/2" (docs/varno-summary-2.schema.json).
#include <cmath>

#include <nlohmann/json.hpp>

#include "results/results.h"
#include "timebase/timebase.h"

namespace varno {

namespace {

using Json = nlohmann::ordered_json;

constexpr double kNineDecimals = 1e9;

double degrees9(double radians) {
    return std::round(radians * GpsConstants::degreesPerRadian * kNineDecimals) / kNineDecimals;
}

// Not-a-number (a figure that has no value) becomes null.
Json number(double value) { return std::isfinite(value) ? Json(value) : Json(nullptr); }

Json matrix(const std::array<double, 9>& m) {
    Json rows = Json::array();
    for (int i = 0; i < 3; ++i) rows.push_back({number(m[i]), number(m[3 + i]), number(m[6 + i])});
    return rows;
}

// Point 2 in the run's coordinate system: its values under the axis names, their sigmas (null without a
// precision).
Json projectedJson(const crs::ProjectedPoint& p, bool withSigmas) {
    Json j = {{"crs", p.crs}, {"crs_name", p.crsName}};
    for (int i = 0; i < 3; ++i) j[p.axes[i]] = number(p.value[i]);
    for (int i = 0; i < 3; ++i) j["sigma_" + p.axes[i]] = withSigmas ? number(p.sigma[i]) : Json();
    j["area_of_use"] = p.areaOfUse;
    j["outside_area_of_use"] = p.outsideAreaOfUse;
    return j;
}

// The figures of one covariance of point 2.
void sigmas(Json& j, const FormalPrecision& p) {
    j["sigma_x_m"] = number(p.sigmaXyz[0]);
    j["sigma_y_m"] = number(p.sigmaXyz[1]);
    j["sigma_z_m"] = number(p.sigmaXyz[2]);
    j["sigma_north_m"] = number(p.sigmaNeu[0]);
    j["sigma_east_m"] = number(p.sigmaNeu[1]);
    j["sigma_up_m"] = number(p.sigmaNeu[2]);
    j["sigma_length_m"] = number(p.sigmaLength);
    j["sigma_horizontal_m"] = number(p.sigmaHorizontal);
    j["sigma_3d_m"] = number(p.sigmaThreeD);
    j["covariance_xyz_m2"] = matrix(p.covarianceXyz);
    j["covariance_neu_m2"] = matrix(p.covarianceNeu);
}

Json precisionJson(const RunSummary& s) {
    const FormalPrecision& p = s.precision;
    if (!p.available) return nullptr;
    const ErrorCorrelation& c = s.correlation;
    const std::string assumption = c.available ? correlatedAssumption(p.weighted, p.correlatedWeights)
                                               : precisionAssumption(p.weighted, p.correlatedWeights);
    Json j = {{"assumption", s.baselineTerm.available
                                 ? assumption + "; and the errors that grow with the baseline (baseline_term)"
                                 : assumption},
              {"model", c.available ? "correlated" : "white noise"},
              {"observations", p.observations},
              {"degrees_of_freedom", p.degreesOfFreedom},
              {"sum_squares_m2", number(p.sumSquares)},
              {"sigma0_m", number(p.sigma0)}};
    sigmas(j, p);
    j["correlation"] = c.available ? Json{{"estimated", c.estimate.estimated},
                                          {"correlation_time_s", number(c.estimate.correlationTime)},
                                          {"correlated_fraction", number(c.estimate.correlatedFraction)},
                                          {"long_correlation_time_s", number(c.estimate.longCorrelationTime)},
                                          {"long_correlated_fraction", number(c.estimate.longFraction)},
                                          {"at_bound", c.estimate.atBound},
                                          {"bounds_s", {kMinCorrelationTime, kMaxCorrelationTime}}}
                                   : Json();
    j["effective_observations"] = c.available ? number(c.effectiveObservations) : Json();
    const BaselineTerm& b = s.baselineTerm;
    j["baseline_term"] = b.available ? Json{{"note", kBaselineTermNote},
                                            {"ppm", number(b.ppm)},
                                            {"length_m", number(b.length)},
                                            {"shell_height_m", number(b.shellHeight)},
                                            {"passes", b.passes},
                                            {"sigma_north_m", number(b.sigmaNeu[0])},
                                            {"sigma_east_m", number(b.sigmaNeu[1])},
                                            {"sigma_up_m", number(b.sigmaNeu[2])}}
                                     : Json();
    j["troposphere_note"] = s.troposphere ? Json() : Json(kNoTroposphereNote);
    Json white = {{"assumption", precisionAssumption(s.whiteNoise.weighted, s.whiteNoise.correlatedWeights)},
                  {"sigma0_m", number(s.whiteNoise.sigma0)}};
    sigmas(white, s.whiteNoise);
    j["white_noise"] = white;
    return j;
}

}  // namespace

// The check that point 2 stood still; the window figures only when it was done.
Json staticCheckJson(const StaticCheck& c) {
    Json j = {{"done", c.done}, {"passed", c.passed}, {"window_s", number(c.windowSeconds)}, {"windows", c.windows}};
    if (!c.done) return j;
    j["sigma0_m"] = number(c.sigma0);
    j["correlation_factor"] = number(c.correlationFactor);
    j["correlation_time_s"] = number(c.correlationTime);
    j["critical_value"] = number(c.critical);
    j["largest_statistic"] = number(c.largestStatistic);
    j["largest_departure"] = {{"kind", c.largestIsChange ? "step" : "window"},
                              {"start", calendarText(c.jd0, c.largestStart)},
                              {"end", calendarText(c.jd0, c.largestEnd)},
                              {"length_m", number(c.largestDeparture)},
                              {"north_m", number(c.largestNeu[0])},
                              {"east_m", number(c.largestNeu[1])},
                              {"up_m", number(c.largestNeu[2])}};
    return j;
}

std::string summaryJson(const RunSummary& s) {
    Json satellites = Json::array();
    Json used = Json::array();
    for (const SatelliteTally& t : s.satellites) {
        satellites.push_back({{"prn", t.sat.number},
                              {"formed", t.formed},
                              {"used", t.used},
                              {"rejected", t.formed - t.used},
                              {"rms_used_m", t.used > 0 ? number(std::sqrt(t.sumSquaresUsed / t.used)) : Json()},
                              {"rms_all_m", number(std::sqrt(t.sumSquaresAll / t.formed))}});
        if (s.letteredNames) {
            satellites.back()["id"] = t.sat.text();
            if (t.used > 0) used.push_back(t.sat.text());
        } else if (t.used > 0) {
            used.push_back(t.sat.number);
        }
    }
    // With satellites of several systems: the observations and satellites of each.
    Json systems = Json::array();
    for (const SystemTally& sum : systemTallies(s.satellites))
        systems.push_back({{"system", std::string(1, systemInfo(sum.system).letter)},
                           {"formed", sum.formed},
                           {"used", sum.used},
                           {"satellites", sum.satellites}});
    Json j = {
        {"schema", kSummarySchema},
        {"span",
         {{"start", calendarText(s.jd0, s.spanStart)},
          {"end", calendarText(s.jd0, s.spanEnd)},
          {"duration_s", number(s.spanEnd - s.spanStart)},
          {"interval_s", number(s.interval)},
          {"time_system", "as in the observation files"}}},
        {"point1", {{"id", s.point1Id}, {"x_m", s.point1[0]}, {"y_m", s.point1[1]}, {"z_m", s.point1[2]}}},
        {"point2",
         {{"id", s.point2Id},
          {"x_m", s.point2[0]},
          {"y_m", s.point2[1]},
          {"z_m", s.point2[2]},
          {"latitude_deg", number(degrees9(s.latitude2))},
          {"longitude_deg", number(degrees9(s.longitude2))},
          {"height_m", number(s.height2)},
          {"apriori_x_m", s.point2Apriori[0]},
          {"apriori_y_m", s.point2Apriori[1]},
          {"apriori_z_m", s.point2Apriori[2]}}},
        {"baseline",
         {{"dx_m", s.baselineXyz[0]},
          {"dy_m", s.baselineXyz[1]},
          {"dz_m", s.baselineXyz[2]},
          {"north_m", number(s.baselineNeu[0])},
          {"east_m", number(s.baselineNeu[1])},
          {"up_m", number(s.baselineNeu[2])},
          {"length_m", s.baselineLength}}},
        {"precision", precisionJson(s)},
        {"observations",
         {{"formed", s.formed},
          {"used", s.used},
          {"rejected", s.formed - s.used},
          {"post_fit_rms_m", number(s.postFitRms)}}},
        {"satellites", satellites},
        {"satellites_used", used},
        {"pdop", {{"mean", s.pdopEpochs > 0 ? number(s.meanPdop) : Json()}, {"epochs", s.pdopEpochs}}},
        {"static_check", staticCheckJson(s.staticCheck)},
    };
    if (s.projected) j["point2"]["projected"] = projectedJson(*s.projected, s.precision.available);
    if (s.letteredNames) j["systems"] = systems;
    return j.dump(2) + "\n";
}

}  // namespace varno
