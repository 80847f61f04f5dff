// The baselines as the jobs' summaries give them.
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "campaign/campaign.h"

namespace varno::campaign {

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const json& member(const json& object, const std::string& name, const std::string& path, const std::string& file) {
    if (!object.is_object() || !object.contains(name) || object.at(name).is_null())
        throw CampaignError(file + ": member " + path + name + " is missing or null");
    return object.at(name);
}

double numberOf(const json& object, const std::string& name, const std::string& path, const std::string& file) {
    const json& value = member(object, name, path, file);
    if (!value.is_number()) throw CampaignError(file + ": member " + path + name + " is not a number");
    return value.get<double>();
}

}  // namespace

Baseline readSummary(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw CampaignError("cannot open " + path);
    json root;
    try {
        root = json::parse(in);
    } catch (const json::parse_error& e) {
        throw CampaignError(path + ": not JSON (" + e.what() + ")");
    }
    Baseline b;
    b.schema = member(root, "schema", "", path).get<std::string>();
    if (b.schema != "varno-summary/1" && b.schema != "varno-summary/2")
        throw CampaignError(path + ": schema " + b.schema + " is not varno-summary/1 or /2");
    b.from = member(member(root, "point1", "", path), "id", "point1.", path).get<std::string>();
    b.to = member(member(root, "point2", "", path), "id", "point2.", path).get<std::string>();
    const json& vector = member(root, "baseline", "", path);
    b.vector = {numberOf(vector, "dx_m", "baseline.", path), numberOf(vector, "dy_m", "baseline.", path),
                numberOf(vector, "dz_m", "baseline.", path)};
    const json& covariance = member(member(root, "precision", "", path), "covariance_xyz_m2", "precision.", path);
    if (!covariance.is_array() || covariance.size() != 3)
        throw CampaignError(path + ": member precision.covariance_xyz_m2 is not a 3 x 3 matrix");
    for (size_t r = 0; r < 3; ++r) {
        if (!covariance[r].is_array() || covariance[r].size() != 3)
            throw CampaignError(path + ": member precision.covariance_xyz_m2 is not a 3 x 3 matrix");
        for (size_t c = 0; c < 3; ++c) {
            if (!covariance[r][c].is_number())
                throw CampaignError(path + ": precision.covariance_xyz_m2 has no value in row " +
                                    std::to_string(r + 1) + ", column " + std::to_string(c + 1));
            b.covariance[r][c] = covariance[r][c].get<double>();
        }
    }
    // Positive definite: the leading minors are positive (else the baseline cannot be weighted).
    const Mat3& c = b.covariance;
    const double minor2 = c[0][0] * c[1][1] - c[0][1] * c[1][0];
    const double minor3 = c[0][0] * (c[1][1] * c[2][2] - c[1][2] * c[2][1]) -
                          c[0][1] * (c[1][0] * c[2][2] - c[1][2] * c[2][0]) +
                          c[0][2] * (c[1][0] * c[2][1] - c[1][1] * c[2][0]);
    if (!(c[0][0] > 0 && minor2 > 0 && minor3 > 0))
        throw CampaignError(path + ": precision.covariance_xyz_m2 is not positive definite");
    return b;
}

void readBaselines(const Campaign& campaign, const Plan& plan, std::vector<Baseline>& baselines,
                   std::vector<FailedJob>& failed) {
    for (const PlannedBaseline& p : plan.baselines) {
        const fs::path job = fs::path(campaign.workDirectory) / "jobs" / p.job;
        if (!fs::exists(job / "run.sh")) continue;  // not part of the job list (a trivial pair)
        if (!fs::exists(job / "summary.json")) {
            std::ifstream why(job / "failed");
            std::string text;
            if (!why || !std::getline(why, text)) text = "not run";
            failed.push_back({p.job, text});
            continue;
        }
        if (!jobUpToDate(job.string())) {
            failed.push_back({p.job, "out of date: its command or inputs changed since it ran (run the campaign again)"});
            continue;
        }
        try {
            Baseline b = readSummary((job / "summary.json").string());
            b.job = p.job;
            b.session = p.session;
            for (auto& row : b.covariance)
                for (double& v : row) v *= campaign.varianceFactor;
            baselines.push_back(b);
        } catch (const CampaignError& e) {
            failed.push_back({p.job, e.what()});
        }
    }
}

}  // namespace varno::campaign
