// Loop misclosures: each baseline outside a spanning tree of the network closes one independent loop through the
// tree; the loop's vectors, taken with their signs, should sum to zero.
#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <map>

#include "campaign/campaign.h"

namespace varno::campaign {

namespace {

constexpr double kLoopProbability = 0.95;

struct Tree {
    std::map<std::string, std::string> parent;
    std::map<std::string, int> parentEdge;   // baseline index joining a station to its parent
    std::map<std::string, int> depth;
};

// The tree path from `station` up to `ancestorDepth`: stations and the baseline of each step.
void climb(const Tree& tree, std::string& station, int depth, std::vector<std::string>& stations,
           std::vector<int>& edges) {
    while (tree.depth.at(station) > depth) {
        edges.push_back(tree.parentEdge.at(station));
        station = tree.parent.at(station);
        stations.push_back(station);
    }
}

}  // namespace

std::vector<Loop> loopMisclosures(const std::vector<Baseline>& baselines) {
    // Breadth-first spanning forest, in the order of the baselines (stable for the same job list).
    Tree tree;
    std::vector<bool> inTree(baselines.size(), false);
    std::vector<std::string> order;
    for (const Baseline& b : baselines)
        for (const std::string* id : {&b.from, &b.to})
            if (!tree.depth.count(*id)) {
                tree.depth[*id] = 0;
                order.push_back(*id);
                for (size_t head = order.size() - 1; head < order.size(); ++head) {
                    const std::string at = order[head];
                    for (size_t k = 0; k < baselines.size(); ++k) {
                        const Baseline& e = baselines[k];
                        const std::string* other = e.from == at ? &e.to : e.to == at ? &e.from : nullptr;
                        if (!other || tree.depth.count(*other)) continue;
                        tree.depth[*other] = tree.depth[at] + 1;
                        tree.parent[*other] = at;
                        tree.parentEdge[*other] = static_cast<int>(k);
                        inTree[k] = true;
                        order.push_back(*other);
                    }
                }
            }

    const double limit = chiSquareQuantile(kLoopProbability, 3);
    std::vector<Loop> loops;
    for (size_t k = 0; k < baselines.size(); ++k) {
        if (inTree[k]) continue;
        const Baseline& closing = baselines[k];
        // Walk from both ends up to their common ancestor.
        std::string a = closing.to, b = closing.from;
        std::vector<std::string> up{a}, down{b};
        std::vector<int> upEdges, downEdges;
        climb(tree, a, std::min(tree.depth[a], tree.depth[b]), up, upEdges);
        climb(tree, b, std::min(tree.depth[a], tree.depth[b]), down, downEdges);
        while (a != b) {
            climb(tree, a, tree.depth[a] - 1, up, upEdges);
            climb(tree, b, tree.depth[b] - 1, down, downEdges);
        }
        // The loop: from -> to along the closing baseline, then to -> ancestor -> from along the tree.
        Loop loop;
        loop.stations.push_back(closing.from);
        std::vector<int> edges{static_cast<int>(k)};
        loop.stations.insert(loop.stations.end(), up.begin(), up.end());
        edges.insert(edges.end(), upEdges.begin(), upEdges.end());
        for (size_t d = down.size() - 1; d-- > 0;) loop.stations.push_back(down[d]);
        for (size_t d = downEdges.size(); d-- > 0;) edges.push_back(downEdges[d]);
        Eigen::Vector3d sum = Eigen::Vector3d::Zero();
        Eigen::Matrix3d covariance = Eigen::Matrix3d::Zero();
        for (size_t step = 0; step < edges.size(); ++step) {
            const Baseline& e = baselines[edges[step]];
            const double sign = e.from == loop.stations[step] ? 1 : -1;
            const Eigen::Vector3d v(e.vector[0], e.vector[1], e.vector[2]);
            sum += sign * v;
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c) covariance(r, c) += e.covariance[r][c];
            loop.lengthM += v.norm();
            loop.jobs.push_back(e.job);
        }
        for (int c = 0; c < 3; ++c) loop.misclosure[c] = sum(c);
        loop.misclosureMm = sum.norm() * 1000;
        loop.ppm = loop.lengthM > 0 ? sum.norm() / loop.lengthM * 1e6 : 0;
        const Eigen::Vector3d direction = sum.norm() > 0 ? Eigen::Vector3d(sum / sum.norm()) : Eigen::Vector3d::UnitX();
        loop.sigmaMm = std::sqrt(direction.dot(covariance * direction)) * 1000;
        loop.ratio = loop.sigmaMm > 0 ? loop.misclosureMm / loop.sigmaMm : 0;
        loop.chiSquare = sum.dot(covariance.ldlt().solve(sum));
        loop.passed = loop.chiSquare <= limit;
        loops.push_back(loop);
    }
    return loops;
}

}  // namespace varno::campaign
