// The track as CSV and as GeoJSON: the same figures per epoch, formatted.
#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "kinematic/kinematic.h"

namespace varno {

namespace {

constexpr double kDegreesDecimals = 1.0e9;

// What one epoch's line shows: position in three frames and the sigmas of north, east, up.
struct TrackPoint {
    double latitude = 0, longitude = 0, height = 0;  // degrees, m
    std::array<double, 3> neu{}, sigmaNeu{};
};

TrackPoint trackPoint(const EpochSolution& s, const std::array<double, 3>& apriori, double sigma0) {
    TrackPoint p;
    double lat = 0, lon = 0;
    xyzgeo(s.marker[0], s.marker[1], s.marker[2], lat, lon, p.height);
    p.latitude = lat * GpsConstants::degreesPerRadian;
    p.longitude = lon * GpsConstants::degreesPerRadian;
    double alat = 0, alon = 0, ah = 0;
    xyzgeo(apriori[0], apriori[1], apriori[2], alat, alon, ah);
    rge(alat, alon, p.neu[0], p.neu[1], p.neu[2], s.marker[0] - apriori[0], s.marker[1] - apriori[1],
        s.marker[2] - apriori[2]);
    // The cofactors turned into the local frame at the epoch's point, scaled by the pooled rms.
    std::array<std::array<double, 3>, 3> rows{};
    for (int c = 0; c < 3; ++c) {
        std::array<double, 3> e{};
        e[static_cast<std::size_t>(c)] = 1.0;
        rge(lat, lon, rows[0][static_cast<std::size_t>(c)], rows[1][static_cast<std::size_t>(c)],
            rows[2][static_cast<std::size_t>(c)], e[0], e[1], e[2]);
    }
    for (std::size_t r = 0; r < 3; ++r) {
        double v = 0;
        for (std::size_t i = 0; i < 3; ++i) {
            for (std::size_t j = 0; j < 3; ++j) v += rows[r][i] * s.cofactor[j * 3 + i] * rows[r][j];
        }
        p.sigmaNeu[r] = sigma0 * std::sqrt(std::fmax(v, 0.0));
    }
    return p;
}

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

double rounded(double value, double scale) { return std::round(value * scale) / scale; }

}  // namespace

std::string trackCsv(const KinematicResult& result, const std::array<double, 3>& apriori) {
    std::string out =
        "time,x_m,y_m,z_m,latitude_deg,longitude_deg,height_m,north_m,east_m,up_m,sigma_north_m,sigma_east_m,"
        "sigma_up_m,satellites,double_differences,pdop,rms_m,status\n";
    for (const EpochSolution& s : result.epochs) {
        out += calendarText(result.jd0, s.t);
        if (s.status == EpochStatus::solved) {
            const TrackPoint p = trackPoint(s, apriori, result.sigma0);
            for (double v : s.marker) out += "," + fixed(v, 4);
            out += "," + fixed(p.latitude, 9) + "," + fixed(p.longitude, 9) + "," + fixed(p.height, 4);
            for (double v : p.neu) out += "," + fixed(v, 4);
            for (double v : p.sigmaNeu) out += "," + fixed(v, 4);
        } else {
            out += ",,,,,,,,,,,,";
        }
        out += "," + std::to_string(s.satellites) + "," + std::to_string(s.differences) + ",";
        if (s.pdop > 0) out += fixed(s.pdop, 2);
        out += ",";
        if (s.differences > 0 && s.status != EpochStatus::tooFewSatellites) out += fixed(s.rms, 4);
        out += std::string(",") + statusText(s.status) + "\n";
    }
    return out;
}

std::string trackGeoJson(const KinematicResult& result, const std::array<double, 3>& apriori) {
    using Json = nlohmann::ordered_json;
    Json line = Json::array();
    Json features = Json::array();
    for (const EpochSolution& s : result.epochs) {
        if (s.status != EpochStatus::solved) continue;
        const TrackPoint p = trackPoint(s, apriori, result.sigma0);
        const Json position = {rounded(p.longitude, kDegreesDecimals), rounded(p.latitude, kDegreesDecimals),
                               rounded(p.height, 1e4)};
        line.push_back(position);
        features.push_back({{"type", "Feature"},
                            {"geometry", {{"type", "Point"}, {"coordinates", position}}},
                            {"properties",
                             {{"time", calendarText(result.jd0, s.t)},
                              {"north_m", rounded(p.neu[0], 1e4)},
                              {"east_m", rounded(p.neu[1], 1e4)},
                              {"up_m", rounded(p.neu[2], 1e4)},
                              {"sigma_north_m", rounded(p.sigmaNeu[0], 1e4)},
                              {"sigma_east_m", rounded(p.sigmaNeu[1], 1e4)},
                              {"sigma_up_m", rounded(p.sigmaNeu[2], 1e4)},
                              {"satellites", s.satellites},
                              {"double_differences", s.differences},
                              {"pdop", rounded(s.pdop, 100)},
                              {"rms_m", rounded(s.rms, 1e4)},
                              {"status", statusText(s.status)}}}});
    }
    Json collection = {{"type", "FeatureCollection"}, {"features", Json::array()}};
    // A LineString needs two or more positions (RFC 7946, 3.1.4).
    if (line.size() >= 2) {
        collection["features"].push_back({{"type", "Feature"},
                                          {"geometry", {{"type", "LineString"}, {"coordinates", line}}},
                                          {"properties", {{"name", "track of point 2"}}}});
    }
    for (Json& f : features) collection["features"].push_back(std::move(f));
    return collection.dump() + "\n";
}

}  // namespace varno
