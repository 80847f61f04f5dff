// Whole runs of the bundled example with every result asked for.
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "run/run.h"
#include "test_support.h"

namespace varno {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

// Checks `value` against the JSON Schema keywords the summary schema uses. Returns "" or the first problem.
std::string schemaProblem(const json& value, const json& schema, const json& root, const std::string& where) {
    if (schema.contains("$ref")) {
        const std::string ref = schema["$ref"];
        return schemaProblem(value, root["$defs"][ref.substr(ref.rfind('/') + 1)], root, where);
    }
    if (schema.contains("const") && value != schema["const"]) return where + ": not " + schema["const"].dump();
    if (schema.contains("type")) {
        const json types = schema["type"].is_array() ? schema["type"] : json::array({schema["type"]});
        bool match = false;
        for (const std::string type : types) {
            match = match || (type == "object" && value.is_object()) || (type == "array" && value.is_array()) ||
                    (type == "string" && value.is_string()) || (type == "null" && value.is_null()) ||
                    (type == "number" && value.is_number()) || (type == "integer" && value.is_number_integer()) ||
                    (type == "boolean" && value.is_boolean());
        }
        if (!match) return where + ": not of type " + schema["type"].dump();
    }
    if (value.is_number()) {
        if (schema.contains("minimum") && value.get<double>() < schema["minimum"].get<double>()) return where + ": below minimum";
        if (schema.contains("maximum") && value.get<double>() > schema["maximum"].get<double>()) return where + ": above maximum";
    }
    if (value.is_object()) {
        for (const std::string key : schema.value("required", json::array())) {
            if (!value.contains(key)) return where + ": no " + key;
        }
        for (const auto& [key, item] : value.items()) {
            if (schema.contains("properties") && schema["properties"].contains(key)) {
                const std::string p = schemaProblem(item, schema["properties"][key], root, where + "." + key);
                if (!p.empty()) return p;
            } else if (schema.value("additionalProperties", true) == false) {
                return where + ": unexpected " + key;
            }
        }
    }
    if (value.is_array()) {
        if (value.size() < schema.value("minItems", 0u) || value.size() > schema.value("maxItems", 1000000u)) {
            return where + ": wrong number of items";
        }
        for (std::size_t i = 0; schema.contains("items") && i < value.size(); ++i) {
            const std::string p = schemaProblem(value[i], schema["items"], root, where + "[" + std::to_string(i) + "]");
            if (!p.empty()) return p;
        }
    }
    return "";
}

// Runs varno in a fresh copy of the example; the directory's files are read back afterwards.
struct ExampleRun {
    test::TempDir dir;
    int status = -1;
    explicit ExampleRun(RunOptions options = {}) {
        const fs::path example = fs::path(VARNO_SOURCE_DIR) / "examples" / "baseline-2km";
        for (const char* name : {"point1.rnx", "point2.rnx", "orbit.sp3", "pos", "off"}) {
            if (fs::exists(example / name)) fs::copy_file(example / name, dir.path() / name);
        }
        const fs::path before = fs::current_path();
        fs::current_path(dir.path());
        options.quiet = true;
        status = runVarno(options);
        fs::current_path(before);
    }
    std::string file(const std::string& name) const { return test::readFile(dir.file(name)); }
};

std::array<double, 3> threeValues(const std::string& line) {
    std::array<double, 3> v{};
    std::istringstream(line) >> v[0] >> v[1] >> v[2];
    return v;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

TEST(ResultsRun, SummaryAgreesWithListingAndTruthAndLeavesListingAlone) {
    const ExampleRun plain;
    RunOptions options;
    options.summary = "summary.json";
    options.plot = "plot.svg";
    options.residualsCsv = "residuals.csv";
    options.crs = "EPSG:32618";
    const ExampleRun full(options);
    ASSERT_EQ(plain.status, 0);
    ASSERT_EQ(full.status, 0);
    EXPECT_EQ(full.file("varno.lst"), plain.file("varno.lst"));
    EXPECT_EQ(full.file("varno.res"), plain.file("varno.res"));

    const json summary = json::parse(full.file("summary.json"));
    const json schema = json::parse(test::readFile(std::string(VARNO_SOURCE_DIR) + "/docs/varno-summary-2.schema.json"));
    EXPECT_EQ(schemaProblem(summary, schema, schema, "summary"), "");

    // Point 2 and the baseline as the listing prints them (4 decimals).
    const std::vector<std::string> listing = lines(full.file("varno.lst"));
    std::array<double, 3> listed2{}, listed1{};
    for (std::size_t i = 0; i + 1 < listing.size(); ++i) {
        if (listing[i] == " adjusted point 2 marker and l1 phase center") listed2 = threeValues(listing[i + 1]);
        if (listing[i] == " coordinate dump") listed1 = threeValues(listing[i + 1]);
    }
    const json& p2 = summary["point2"];
    const json& b = summary["baseline"];
    const json& sigma = summary["precision"];
    const std::array<const char*, 3> axes{"x_m", "y_m", "z_m"}, deltas{"dx_m", "dy_m", "dz_m"};
    const std::array<const char*, 3> sigmas{"sigma_x_m", "sigma_y_m", "sigma_z_m"};
    // The simulator's true point 2 of this example.
    const std::array<double, 3> truth{1113644.6562, -4841748.4265, 3986424.2300};
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(fmtF(p2[axes[c]].get<double>(), 14, 4), fmtF(listed2[c], 14, 4));
        EXPECT_NEAR(b[deltas[c]].get<double>(), listed2[c] - listed1[c], 1e-4);
        const double s = sigma[sigmas[c]].get<double>();
        EXPECT_TRUE(std::isfinite(s) && s > 0.0);
        EXPECT_LT(std::fabs(p2[axes[c]].get<double>() - truth[c]), 4.0 * s);
    }
    EXPECT_NEAR(b["length_m"].get<double>(), 2000.0, 0.2);
    // UTM zone 18N as PROJ's cs2cs gives it for the summary's latitude, longitude and height; the sigmas close to
    // the local east, north and up ones (scale 1.0004, grid convergence 1.3 degrees).
    const json& utm = p2["projected"];
    EXPECT_EQ(utm["crs_name"], "WGS 84 / UTM zone 18N");
    EXPECT_NEAR(utm["easting_m"].get<double>(), 322588.3314, 1e-3);
    EXPECT_NEAR(utm["northing_m"].get<double>(), 4311143.0522, 1e-3);
    EXPECT_NEAR(utm["height_m"].get<double>(), p2["height_m"].get<double>(), 1e-6);
    EXPECT_NEAR(utm["sigma_easting_m"].get<double>(), sigma["sigma_east_m"].get<double>(), 1e-3);
    EXPECT_NEAR(utm["sigma_northing_m"].get<double>(), sigma["sigma_north_m"].get<double>(), 1e-3);
    EXPECT_NEAR(utm["sigma_height_m"].get<double>(), sigma["sigma_up_m"].get<double>(), 1e-4);
    EXPECT_EQ(summary["observations"]["formed"].get<std::size_t>(), lines(full.file("varno.res")).size());

    // One CSV row per residual line, the same residual.
    const std::vector<std::string> csv = lines(full.file("residuals.csv"));
    const std::vector<std::string> res = lines(full.file("varno.res"));
    ASSERT_EQ(csv.size(), res.size() + 1);
    EXPECT_EQ(csv[0], "time,prn,reference_prn,elevation_deg,residual_m,status");
    for (std::size_t i = 0; i < res.size(); i += 97) {
        std::vector<std::string> fields;
        std::istringstream row(csv[i + 1]);
        for (std::string f; std::getline(row, f, ',');) fields.push_back(f);
        ASSERT_EQ(fields.size(), 6u);
        EXPECT_EQ(fmtF(std::stod(fields[4]), 9, 3), res[i].substr(9, 9));
        EXPECT_EQ(std::stoi(fields[1]), std::stoi(res[i].substr(24, 3)));
    }
    EXPECT_EQ(full.file("plot.svg").rfind("<?xml", 0), 0u);
    // Nothing but the outputs asked for is left beside the inputs.
    EXPECT_EQ(std::distance(fs::directory_iterator(full.dir.path()), {}), 4 + 2 + 3 + fs::exists(full.dir.file("off")));
}

TEST(ResultsRun, RelativeResultNamesGoToTheOutputDirectory) {
    RunOptions options;
    options.outputDirectory = "out";
    options.summary = "summary.json";
    options.plot = (fs::temp_directory_path() / ("varno-plot-" + std::to_string(::getpid()) + ".svg")).string();
    const ExampleRun run(options);
    ASSERT_EQ(run.status, 0);
    EXPECT_TRUE(fs::exists(run.dir.path() / "out" / "summary.json"));
    EXPECT_TRUE(fs::remove(options.plot));  // an absolute name stays as it is
}

}  // namespace
}  // namespace varno
