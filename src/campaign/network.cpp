// The network adjustment of the baselines: minimally constrained (one control held), then constrained to every
// control with its sigma. Least squares with Eigen; one linear step is exact, since the model is linear.
#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "campaign/campaign.h"
#include "station/station.h"

namespace varno::campaign {

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;
constexpr double kTestProbability = 0.95;
constexpr double kNoRedundancy = 1e-10;  // a residual variance below this share of the observation's: uncontrolled

using Matrix = Eigen::MatrixXd;
using Vector = Eigen::VectorXd;

Eigen::Matrix3d toEigen(const Mat3& m) {
    Eigen::Matrix3d e;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) e(r, c) = m[r][c];
    return e;
}

Mat3 fromEigen(const Eigen::Matrix3d& e) {
    Mat3 m{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) m[r][c] = e(r, c);
    return m;
}

// Rows: north, east, up at the geodetic position.
Eigen::Matrix3d neuRotation(double latitude, double longitude) {
    const double sp = std::sin(latitude), cp = std::cos(latitude), sl = std::sin(longitude), cl = std::cos(longitude);
    Eigen::Matrix3d r;
    r << -sp * cl, -sp * sl, cp, -sl, cl, 0, cp * cl, cp * sl, sp;
    return r;
}

// One 3-row observation: X(to) - X(from) (from -1: X(to) itself) with its covariance.
struct Observation {
    int from = -1, to = -1;
    Eigen::Vector3d value;
    Eigen::Matrix3d covariance;
    std::string job, fromId, toId;
};

struct Solution {
    Vector x;
    Matrix qxx;
    std::vector<Eigen::Vector3d> residuals;
    std::vector<Eigen::Vector3d> w;
    double sumSquares = 0;
    int redundancy = 0;
};

// Solves for the stations whose column is not -1; `approx` holds every station's approximate position.
Solution solve(const std::vector<Observation>& obs, const std::vector<int>& column, int unknowns,
               const std::vector<Eigen::Vector3d>& approx) {
    Matrix n = Matrix::Zero(unknowns, unknowns);
    Vector u = Vector::Zero(unknowns);
    std::vector<Eigen::Matrix3d> weights;
    std::vector<Eigen::Vector3d> misclosures;
    for (const Observation& o : obs) {
        const Eigen::Matrix3d p = o.covariance.inverse();
        Eigen::Vector3d l = o.value - approx[o.to];
        if (o.from >= 0) l += approx[o.from];
        weights.push_back(p);
        misclosures.push_back(l);
        const int a = o.from >= 0 ? column[o.from] : -1, b = column[o.to];
        if (b >= 0) {
            n.block<3, 3>(b, b) += p;
            u.segment<3>(b) += p * l;
        }
        if (a >= 0) {
            n.block<3, 3>(a, a) += p;
            u.segment<3>(a) -= p * l;
        }
        if (a >= 0 && b >= 0) {
            n.block<3, 3>(a, b) -= p;
            n.block<3, 3>(b, a) -= p;
        }
    }
    Solution s;
    const Eigen::LDLT<Matrix> factor(n);
    s.qxx = factor.solve(Matrix::Identity(unknowns, unknowns));
    s.x = s.qxx * u;
    for (size_t k = 0; k < obs.size(); ++k) {
        const Observation& o = obs[k];
        const int a = o.from >= 0 ? column[o.from] : -1, b = column[o.to];
        Eigen::Vector3d ax = Eigen::Vector3d::Zero();
        Eigen::Matrix3d aqa = Eigen::Matrix3d::Zero();
        if (b >= 0) ax += s.x.segment<3>(b), aqa += s.qxx.block<3, 3>(b, b);
        if (a >= 0) ax -= s.x.segment<3>(a), aqa += s.qxx.block<3, 3>(a, a);
        if (a >= 0 && b >= 0) aqa -= s.qxx.block<3, 3>(a, b) + s.qxx.block<3, 3>(b, a);
        const Eigen::Vector3d v = ax - misclosures[k];
        s.residuals.push_back(v);
        s.sumSquares += v.dot(weights[k] * v);
        // Baarda's w for each component of a correlated observation: (e' P v) / sqrt(e' P Qvv P e).
        const Eigen::Matrix3d qvv = o.covariance - aqa;
        const Eigen::Vector3d pv = weights[k] * v;
        const Eigen::Matrix3d pqp = weights[k] * qvv * weights[k];
        Eigen::Vector3d w = Eigen::Vector3d::Zero();
        for (int c = 0; c < 3; ++c)
            if (pqp(c, c) > kNoRedundancy * weights[k](c, c)) w(c) = pv(c) / std::sqrt(pqp(c, c));
        s.w.push_back(w);
    }
    s.redundancy = 3 * static_cast<int>(obs.size()) - unknowns;
    return s;
}

GlobalTest globalTest(double sumSquares, int redundancy) {
    GlobalTest t;
    t.sumSquares = sumSquares;
    t.redundancy = redundancy;
    if (redundancy <= 0) return t;
    t.varianceFactor = sumSquares / redundancy;
    t.lower = chiSquareQuantile((1 - kTestProbability) / 2, redundancy) / redundancy;
    t.upper = chiSquareQuantile((1 + kTestProbability) / 2, redundancy) / redundancy;
    t.passed = t.varianceFactor >= t.lower && t.varianceFactor <= t.upper;
    return t;
}

AdjustedStation stationOf(const std::string& id, const Eigen::Vector3d& xyz, const Eigen::Matrix3d& covariance) {
    AdjustedStation s;
    s.id = id;
    for (int k = 0; k < 3; ++k) s.xyz[k] = xyz(k);
    s.covariance = fromEigen(covariance);
    double latitude = 0, longitude = 0, height = 0;
    xyzgeo(xyz(0), xyz(1), xyz(2), latitude, longitude, height);
    s.latitude = latitude * kDegreesPerRadian;
    s.longitude = longitude * kDegreesPerRadian;
    s.height = height;
    const Eigen::Matrix3d r = neuRotation(latitude, longitude);
    const Eigen::Matrix3d neu = r * covariance * r.transpose();
    for (int k = 0; k < 3; ++k) {
        s.sigma[k] = std::sqrt(std::max(0.0, covariance(k, k)));
        s.sigmaNeu[k] = std::sqrt(std::max(0.0, neu(k, k)));
    }
    const double mean = (neu(0, 0) + neu(1, 1)) / 2;
    const double radius = std::hypot((neu(0, 0) - neu(1, 1)) / 2, neu(0, 1));
    s.ellipseMajor = std::sqrt(std::max(0.0, mean + radius));
    s.ellipseMinor = std::sqrt(std::max(0.0, mean - radius));
    double azimuth = 0.5 * std::atan2(2 * neu(0, 1), neu(0, 0) - neu(1, 1)) * kDegreesPerRadian;
    s.ellipseAzimuth = azimuth < 0 ? azimuth + 180 : azimuth;
    return s;
}

// Whether every solved station still reaches a held station or a control through `obs` with `skip` left out.
bool connected(const std::vector<Observation>& obs, const std::vector<int>& column, size_t skip,
               const std::vector<bool>& dropped) {
    const int anchor = static_cast<int>(column.size());
    std::vector<int> parent(column.size() + 1);
    for (size_t k = 0; k < parent.size(); ++k) parent[k] = static_cast<int>(k);
    const auto find = [&](int i) {
        while (parent[static_cast<size_t>(i)] != i) i = parent[static_cast<size_t>(i)];
        return i;
    };
    for (size_t k = 0; k < column.size(); ++k)
        if (column[k] < 0) parent[static_cast<size_t>(find(static_cast<int>(k)))] = find(anchor);
    for (size_t k = 0; k < obs.size(); ++k) {
        if (k == skip || dropped[k]) continue;
        const int a = obs[k].from >= 0 ? obs[k].from : anchor;
        parent[static_cast<size_t>(find(a))] = find(obs[k].to);
    }
    for (size_t k = 0; k < column.size(); ++k)
        if (find(static_cast<int>(k)) != find(anchor)) return false;
    return true;
}

// Data snooping: the baseline with the largest w beyond the critical value is flagged and the network solved
// again without it, until no baseline is beyond it; the w-test presumes one blunder at a time, and a blunder
// also pushes up the w of the baselines that share its station. Returns the flagged baselines' jobs.
std::set<std::string> snoop(const std::vector<Observation>& obs, const std::vector<int>& column, int unknowns,
                            const std::vector<Eigen::Vector3d>& approx, double critical, Solution s) {
    std::set<std::string> flagged;
    std::vector<bool> dropped(obs.size(), false);
    std::vector<size_t> kept(obs.size());
    for (size_t k = 0; k < obs.size(); ++k) kept[k] = k;
    for (;;) {
        size_t worst = obs.size();
        double largest = critical;
        for (size_t i = 0; i < kept.size(); ++i) {
            const double w = s.w[i].cwiseAbs().maxCoeff();
            if (obs[kept[i]].from >= 0 && w > largest) largest = w, worst = kept[i];
        }
        if (worst == obs.size()) break;
        flagged.insert(obs[worst].job);
        if (!connected(obs, column, worst, dropped) || 3 * (static_cast<int>(kept.size()) - 1) <= unknowns) break;
        dropped[worst] = true;
        std::vector<Observation> rest;
        kept.clear();
        for (size_t k = 0; k < obs.size(); ++k)
            if (!dropped[k]) rest.push_back(obs[k]), kept.push_back(k);
        s = solve(rest, column, unknowns, approx);
    }
    return flagged;
}

Adjustment adjustmentOf(const std::vector<Observation>& obs, const Solution& s, const std::vector<std::string>& ids,
                        const std::vector<int>& column, const std::vector<Eigen::Vector3d>& approx, double critical,
                        int unknowns) {
    Adjustment a;
    const std::set<std::string> snooped = snoop(obs, column, unknowns, approx, critical, s);
    for (size_t k = 0; k < ids.size(); ++k) {
        Eigen::Vector3d xyz = approx[k];
        Eigen::Matrix3d q = Eigen::Matrix3d::Zero();
        if (column[k] >= 0) {
            xyz += s.x.segment<3>(column[k]);
            q = s.qxx.block<3, 3>(column[k], column[k]);
        }
        a.stations.push_back(stationOf(ids[k], xyz, q));
        a.stations.back().held = column[k] < 0;
    }
    for (size_t k = 0; k < obs.size(); ++k) {
        AdjustedBaseline b{obs[k].job, obs[k].fromId, obs[k].toId, {}, s.w[k].cwiseAbs().maxCoeff(), false};
        for (int c = 0; c < 3; ++c) b.residual[c] = s.residuals[k](c);
        b.flagged = obs[k].from >= 0 ? snooped.count(obs[k].job) > 0 : b.wTest > critical;
        (obs[k].from >= 0 ? a.baselines : a.controls).push_back(b);
    }
    a.global = globalTest(s.sumSquares, s.redundancy);
    return a;
}

}  // namespace

NetworkResult adjustNetwork(const Campaign& campaign, const std::vector<Baseline>& baselines) {
    NetworkResult result;
    result.loops = loopMisclosures(baselines);
    if (campaign.held.empty()) throw CampaignError(campaign.file + ": no control station to hold (key control.held)");

    // The stations that connect to the held one; approximate positions along the connecting baselines.
    const auto& held = campaign.controls.at(campaign.held);
    std::map<std::string, Eigen::Vector3d> reached{
        {campaign.held, Eigen::Vector3d(held.xyz[0], held.xyz[1], held.xyz[2])}};
    for (bool grew = true; grew;) {
        grew = false;
        for (const Baseline& b : baselines) {
            const Eigen::Vector3d v(b.vector[0], b.vector[1], b.vector[2]);
            if (reached.count(b.from) && !reached.count(b.to)) reached[b.to] = reached[b.from] + v, grew = true;
            else if (reached.count(b.to) && !reached.count(b.from)) reached[b.from] = reached[b.to] - v, grew = true;
        }
    }
    if (reached.size() < 2) throw CampaignError("no baseline reaches the held station " + campaign.held);
    std::vector<std::string> ids;
    std::vector<Eigen::Vector3d> approx;
    std::map<std::string, int> index;
    for (const auto& [id, xyz] : reached) {
        index[id] = static_cast<int>(ids.size());
        ids.push_back(id);
        approx.push_back(xyz);
    }
    std::vector<Observation> obs;
    std::set<std::string> unconnected;
    for (const Baseline& b : baselines) {
        if (!index.count(b.from)) {
            unconnected.insert(b.from), unconnected.insert(b.to);
            continue;
        }
        obs.push_back({index[b.from], index[b.to], Eigen::Vector3d(b.vector[0], b.vector[1], b.vector[2]),
                       toEigen(b.covariance), b.job, b.from, b.to});
    }
    for (const auto& id : unconnected)
        result.notes.push_back("station " + id + " has no baseline connecting it to " + campaign.held + "; left out");

    std::vector<int> column(ids.size(), -1);
    int unknowns = 0;
    for (size_t k = 0; k < ids.size(); ++k)
        if (ids[k] != campaign.held) column[k] = 3 * unknowns++;
    const Solution minimal = solve(obs, column, 3 * unknowns, approx);
    result.minimal = adjustmentOf(obs, minimal, ids, column, approx, campaign.wCritical, 3 * unknowns);

    std::vector<Observation> constrained = obs;
    for (size_t k = 0; k < ids.size(); ++k) {
        const auto control = campaign.controls.find(ids[k]);
        if (control == campaign.controls.end()) continue;
        const ControlStation& c = control->second;
        Eigen::Matrix3d q = Eigen::Matrix3d::Zero();
        for (int a = 0; a < 3; ++a) q(a, a) = c.sigma[a] * c.sigma[a];
        constrained.push_back({-1, static_cast<int>(k), Eigen::Vector3d(c.xyz[0], c.xyz[1], c.xyz[2]), q, "control",
                               "", c.id});
    }
    for (size_t k = 0; k < ids.size(); ++k) result.minimal.stations[k].control = campaign.controls.count(ids[k]) > 0;
    std::vector<int> allColumns(ids.size());
    for (size_t k = 0; k < ids.size(); ++k) allColumns[k] = 3 * static_cast<int>(k);
    const int controls = static_cast<int>(constrained.size() - obs.size());
    Solution all;
    if (controls >= 2) {
        all = solve(constrained, allColumns, 3 * static_cast<int>(ids.size()), approx);
        result.constrained = adjustmentOf(constrained, all, ids, allColumns, approx, campaign.wCritical,
                                          3 * static_cast<int>(ids.size()));
        for (size_t k = 0; k < ids.size(); ++k)
            result.constrained.stations[k].control = campaign.controls.count(ids[k]) > 0;
        // The controls' fit is one-sided: only too large an increase of vTPv speaks against them.
        const int dof = 3 * (controls - 1);
        result.controlFit = globalTest(all.sumSquares - minimal.sumSquares, dof);
        result.controlFit.lower = 0;
        result.controlFit.upper = chiSquareQuantile(kTestProbability, dof) / dof;
        result.controlFit.passed = result.controlFit.varianceFactor <= result.controlFit.upper;
        result.constrainedDone = true;
    } else {
        result.notes.push_back("one control station in the network: no constrained adjustment");
    }

    // Relative precision of the station pairs that share a baseline, from the final adjustment.
    const Adjustment& last = result.constrainedDone ? result.constrained : result.minimal;
    const Solution& source = result.constrainedDone ? all : minimal;
    const std::vector<int>& columns = result.constrainedDone ? allColumns : column;
    auto block = [&](int i, int j) -> Eigen::Matrix3d {
        if (columns[i] < 0 || columns[j] < 0) return Eigen::Matrix3d::Zero();
        return source.qxx.block<3, 3>(columns[i], columns[j]);
    };
    std::set<std::pair<int, int>> pairs;
    for (const Observation& o : obs) pairs.insert({std::min(o.from, o.to), std::max(o.from, o.to)});
    for (const auto& [i, j] : pairs) {
        const Eigen::Matrix3d q = block(i, i) + block(j, j) - block(i, j) - block(j, i);
        const AdjustedStation &si = last.stations[i], &sj = last.stations[j];
        const Eigen::Vector3d d(sj.xyz[0] - si.xyz[0], sj.xyz[1] - si.xyz[1], sj.xyz[2] - si.xyz[2]);
        RelativePrecision r;
        r.from = ids[i];
        r.to = ids[j];
        r.length = d.norm();
        r.sigmaLength = r.length > 0 ? std::sqrt(std::max(0.0, d.dot(q * d))) / r.length : 0;
        const Eigen::Matrix3d rot = neuRotation(si.latitude / kDegreesPerRadian, si.longitude / kDegreesPerRadian);
        const Eigen::Matrix3d neu = rot * q * rot.transpose();
        for (int k = 0; k < 3; ++k) r.sigmaNeu[k] = std::sqrt(std::max(0.0, neu(k, k)));
        r.ppm = r.length > 0 ? r.sigmaLength / r.length * 1e6 : 0;
        result.relative.push_back(r);
    }
    return result;
}

}  // namespace varno::campaign
