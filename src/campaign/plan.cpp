// Sessions of overlapping occupations and the baselines to process in each.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <numeric>

#include "campaign/campaign.h"

namespace varno::campaign {

namespace {

double overlapOf(const Occupation& a, const Occupation& b) {
    return std::min(a.end, b.end) - std::max(a.start, b.start);
}

double distance(const Vec3& a, const Vec3& b) {
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

// A station id as part of a folder name: characters other than letters, digits, '_' and '.' become '_'.
std::string safeName(std::string id) {
    for (char& ch : id)
        if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '_' && ch != '.') ch = '_';
    return id == "." || id == ".." ? "_" : id;
}

struct Components {
    std::vector<int> parent;
    explicit Components(size_t n) : parent(n) { std::iota(parent.begin(), parent.end(), 0); }
    int find(int k) {
        while (parent[k] != k) k = parent[k] = parent[parent[k]];
        return k;
    }
    bool join(int a, int b) {
        a = find(a);
        b = find(b);
        if (a == b) return false;
        parent[std::max(a, b)] = std::min(a, b);
        return true;
    }
};

}  // namespace

Vec3 aprioriPosition(const Campaign& campaign, const Occupation& occupation) {
    const auto control = campaign.controls.find(occupation.station);
    return control != campaign.controls.end() ? control->second.xyz : occupation.approx;
}

Plan planCampaign(const Campaign& campaign) {
    Plan plan;
    const auto& occ = campaign.occupations;
    const size_t n = occ.size();
    Components sessions(n);
    for (size_t a = 0; a < n; ++a)
        for (size_t b = a + 1; b < n; ++b)
            if (overlapOf(occ[a], occ[b]) >= campaign.minOverlap) sessions.join(static_cast<int>(a), static_cast<int>(b));

    std::vector<std::vector<int>> groups;
    std::vector<int> groupOf(n, -1);
    for (size_t k = 0; k < n; ++k) {
        const int root = sessions.find(static_cast<int>(k));
        if (groupOf[root] < 0) {
            groupOf[root] = static_cast<int>(groups.size());
            groups.emplace_back();
        }
        groups[groupOf[root]].push_back(static_cast<int>(k));
    }
    std::sort(groups.begin(), groups.end(), [&](const auto& a, const auto& b) {
        return occ[a.front()].start < occ[b.front()].start;
    });

    for (const auto& group : groups) {
        // One file per station: the longer one where a station was occupied twice.
        std::vector<int> members;
        for (int k : group) {
            auto same = std::find_if(members.begin(), members.end(), [&](int m) { return occ[m].station == occ[k].station; });
            if (same == members.end()) {
                members.push_back(k);
                continue;
            }
            const int keep = occ[k].end - occ[k].start > occ[*same].end - occ[*same].start ? k : *same;
            plan.notes.push_back("station " + occ[k].station + ": " + occ[keep == k ? *same : k].path +
                                 " passed over for the longer " + occ[keep].path);
            *same = keep;
        }
        if (members.size() < 2) {
            plan.notes.push_back("file " + occ[members.front()].path + " overlaps no other by the minimum time");
            continue;
        }
        Session session;
        session.name = "S" + std::to_string(plan.sessions.size() + 1);
        session.occupations = members;
        session.start = occ[members.front()].start;
        session.end = occ[members.front()].end;
        for (int k : members) {
            session.start = std::min(session.start, occ[k].start);
            session.end = std::max(session.end, occ[k].end);
        }

        struct Edge {
            int a, b;
            double length, overlap;
        };
        std::vector<Edge> edges;
        for (size_t i = 0; i < members.size(); ++i)
            for (size_t j = i + 1; j < members.size(); ++j) {
                const Occupation &a = occ[members[i]], &b = occ[members[j]];
                const double overlap = overlapOf(a, b);
                if (overlap < campaign.minOverlap) continue;
                edges.push_back({members[i], members[j],
                                 distance(aprioriPosition(campaign, a), aprioriPosition(campaign, b)), overlap});
            }
        // Ties in length are broken by station ids, so that the plan does not depend on the order of the files.
        std::sort(edges.begin(), edges.end(), [&](const Edge& x, const Edge& y) {
            if (x.length != y.length) return x.length < y.length;
            return std::tie(occ[x.a].station, occ[x.b].station) < std::tie(occ[y.a].station, occ[y.b].station);
        });
        Components tree(n);
        int joined = 0;
        for (const Edge& e : edges) {
            const bool inTree = tree.join(e.a, e.b);
            joined += inTree;
            if (!inTree && !campaign.allPairs) continue;
            // Point 1 is the held station, else a control, else the first id in order.
            auto rank = [&](int k) {
                const std::string& id = occ[k].station;
                return std::make_pair(id == campaign.held ? 0 : campaign.controls.count(id) ? 1 : 2, id);
            };
            const bool swap = rank(e.b) < rank(e.a);
            PlannedBaseline b;
            b.session = session.name;
            b.from = swap ? e.b : e.a;
            b.to = swap ? e.a : e.b;
            b.length = e.length;
            b.overlap = e.overlap;
            b.trivial = !inTree;
            b.job = session.name + "-" + safeName(occ[b.from].station) + "-" + safeName(occ[b.to].station);
            plan.baselines.push_back(b);
        }
        if (joined + 1 < static_cast<int>(members.size()))
            plan.notes.push_back("session " + session.name + ": its stations do not all overlap by the minimum time; " +
                                 std::to_string(members.size() - 1 - joined) + " parts stay unconnected");
        plan.sessions.push_back(session);
    }
    return plan;
}

}  // namespace varno::campaign
