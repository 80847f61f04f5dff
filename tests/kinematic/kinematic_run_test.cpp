// Whole runs on simulated receivers that drive, move a little, or stand still with correlated code errors.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "e2e/run_support.h"

namespace varno::test {
namespace {

using Json = nlohmann::json;

void simulate(const TempDir& dir, const std::string& options) {
    const RunResult sim = runIn(dir.path(), simPath() + " " + options + " .");
    ASSERT_EQ(sim.status, 0) << sim.err;
}

std::vector<std::map<std::string, std::string>> csvRows(const std::string& text) {
    std::vector<std::string> all = lines(text);
    std::vector<std::map<std::string, std::string>> rows;
    const auto split = [](const std::string& line) {
        std::vector<std::string> fields;
        std::string field;
        std::istringstream in(line);
        while (std::getline(in, field, ',')) fields.push_back(field);
        if (!line.empty() && line.back() == ',') fields.push_back("");
        return fields;
    };
    const std::vector<std::string> header = split(all.at(0));
    for (size_t i = 1; i < all.size(); ++i) {
        const std::vector<std::string> fields = split(all[i]);
        std::map<std::string, std::string> row;
        for (size_t k = 0; k < header.size() && k < fields.size(); ++k) row[header[k]] = fields[k];
        rows.push_back(row);
    }
    return rows;
}

bool isPosition(const Json& p) {
    return p.is_array() && p.size() == 3 && p[0].is_number() && p[1].is_number() && p[2].is_number() &&
           std::fabs(p[0].get<double>()) <= 180 && std::fabs(p[1].get<double>()) <= 90;
}

// What RFC 7946 asks of the collection written: a FeatureCollection of Features, each with a geometry of a valid
// type with positions [longitude, latitude, height], a LineString of two or more positions, properties an object.
std::string geoJsonFault(const Json& j) {
    if (j.value("type", "") != "FeatureCollection" || !j["features"].is_array()) return "not a FeatureCollection";
    for (const Json& f : j["features"]) {
        if (f.value("type", "") != "Feature" || !f.contains("properties") || !f["properties"].is_object()) {
            return "feature without type or properties";
        }
        const Json& g = f["geometry"];
        const std::string type = g.value("type", "");
        if (type == "Point" && isPosition(g["coordinates"])) continue;
        if (type == "LineString" && g["coordinates"].is_array() && g["coordinates"].size() >= 2 &&
            std::all_of(g["coordinates"].begin(), g["coordinates"].end(), isPosition)) {
            continue;
        }
        return "bad geometry " + g.dump().substr(0, 80);
    }
    return "";
}

TEST(KinematicRun, ADriveIsFollowedEpochByEpochAndFailsTheStaticCheck) {
    TempDir dir;
    simulate(dir, "--duration=1800 --interval=1 --baseline=2000 --trajectory=straight --speed=10");
    const RunResult run = runIn(dir.path(), varnoPath() + " -q --require-static --kinematic k.csv --track t.geojson "
                                                          "--plot-track t.svg --summary s.json");
    EXPECT_EQ(run.status, 4);
    EXPECT_EQ(lines(run.err).size(), 1u) << run.err;
    EXPECT_NE(run.err.find("point 2 did not stand still"), std::string::npos) << run.err;
    EXPECT_NE(readFile(dir.file("varno.lst")).find(" warning -- point 2 did not stand still"), std::string::npos);
    EXPECT_FALSE(Json::parse(readFile(dir.file("s.json")))["static_check"]["passed"].get<bool>());

    // Per-epoch errors against the true track: the code noise (0.5 m a pseudorange, so 0.71 m between receivers)
    // times the PDOP.
    std::map<std::string, std::map<std::string, std::string>> truth;
    for (auto& row : csvRows(readFile(dir.file("truth-track.csv")))) truth[row["time"].substr(0, 19)] = row;
    double sum = 0, pdop = 0;
    int solved = 0;
    auto rows = csvRows(readFile(dir.file("k.csv")));
    ASSERT_EQ(rows.size(), 1801u);
    for (auto& row : rows) {
        if (row["status"] != "solved") continue;
        auto& t = truth.at(row["time"].substr(0, 19));
        for (const char* c : {"x_m", "y_m", "z_m"}) sum += std::pow(std::stod(row[c]) - std::stod(t[c]), 2);
        pdop += std::stod(row["pdop"]);
        solved += 1;
    }
    EXPECT_GT(solved, 1790);
    const double rms = std::sqrt(sum / solved);
    const double expected = 0.5 * std::sqrt(2.0) * pdop / solved;
    EXPECT_GT(rms, 0.7 * expected);
    EXPECT_LT(rms, 1.3 * expected);

    const Json track = Json::parse(readFile(dir.file("t.geojson")));
    EXPECT_EQ(geoJsonFault(track), "");
    EXPECT_EQ(track["features"].size(), static_cast<size_t>(solved) + 1);
    EXPECT_NE(readFile(dir.file("t.svg")).find("</svg>"), std::string::npos);
}

TEST(KinematicRun, StandingStillWithCorrelatedErrorsPassesAndAFiveMetreMoveIsCaught) {
    const std::string session = "--duration=3600 --interval=1 --correlation-time=120 --correlated-noise=0.2,0.3";
    TempDir still;
    simulate(still, session);
    RunResult run = runIn(still.path(), varnoPath() + " -q --require-static --summary s.json");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Json::parse(readFile(still.file("s.json")))["static_check"]["passed"].get<bool>());
    EXPECT_EQ(readFile(still.file("varno.lst")).find("stand still"), std::string::npos);

    // Stopped for 1700 s, 5 m in 100 s, stopped again.
    TempDir moved;
    simulate(moved, session + " --trajectory=stop-and-go --speed=0.05 --stop-go=1700,100");
    run = runIn(moved.path(), varnoPath() + " -q");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.err.find("point 2 did not stand still"), std::string::npos) << run.err;
}

TEST(StationOptions, PositionsAndIdsFromTheCommandLine) {
    TempDir dir;
    simulate(dir, "--duration=1800");
    const std::string plain = runIn(dir.path(), varnoPath() + " -q").status == 0 ? readFile(dir.file("varno.lst")) : "";
    const auto truthLine = [&](const std::string& key) {
        for (const std::string& line : lines(readFile(dir.file("truth")))) {
            if (line.rfind(key + " = ", 0) == 0) return line.substr(key.size() + 3);
        }
        return std::string();
    };
    std::string xyz = truthLine("point1");
    std::replace(xyz.begin(), xyz.end(), ' ', ',');
    RunResult run = runIn(dir.path(), varnoPath() + " -q --point1-xyz " + xyz + " --point2-id PT02");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string listing = readFile(dir.file("varno.lst"));
    EXPECT_NE(listing.find(" point 1 position from --point1-xyz\n"), std::string::npos);
    EXPECT_NE(listing.find(" point 2 position from the position file (PT02)\n"), std::string::npos);
    ASSERT_TRUE(adjustedMarker(listing) && adjustedMarker(plain));
    EXPECT_LT(distance(*adjustedMarker(listing), *adjustedMarker(plain)), 1e-3);

    run = runIn(dir.path(), varnoPath() + " -q --point1-id NONE");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "varno: station id 'NONE' given by --point1-id is not in the position file pos\n");
    run = runIn(dir.path(), varnoPath() + " -q --point1-xyz " + xyz + " --point1-llh 38.9,-77.1,52");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("point 1's position is given twice (--point1-xyz and --point1-llh)"), std::string::npos);
}

}  // namespace
}  // namespace varno::test
