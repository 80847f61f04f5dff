// Adjusted stations in the user's coordinate reference system.
#include "campaign/campaign.h"
#include "crs/crs.h"

namespace varno::campaign {

ProjectedNetwork toProjected(const std::string& crs, const std::vector<AdjustedStation>& stations) {
    try {
        const varno::crs::ProjectedPoint system = varno::crs::describe(crs);
        ProjectedNetwork out;
        out.crs = crs;
        out.crsName = system.crsName;
        out.axes.assign(system.axes.begin(), system.axes.end());
        for (const AdjustedStation& s : stations) {
            const varno::crs::ProjectedPoint p = varno::crs::project(crs, s.xyz, s.covariance, "station " + s.id);
            out.areaOfUse = p.areaOfUse;
            out.stations.push_back({s.id, p.value[0], p.value[1], p.value[2], p.sigma[0], p.sigma[1], p.sigma[2],
                                    p.outsideAreaOfUse});
        }
        return out;
    } catch (const varno::crs::CrsError& e) {
        throw CampaignError(e.what());
    }
}

}  // namespace varno::campaign
