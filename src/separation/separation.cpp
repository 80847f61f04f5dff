// The streaming sums of the covariance from the errors that grow with the baseline: per satellite the runs as
// the differenced satellite and the epochs as a reference, joined into passes at the end.
#include <algorithm>
#include <cmath>

#include <Eigen/Dense>

#include "separation/separation.h"

namespace varno {

namespace {

constexpr int kUnknowns = 3;
constexpr long kMaxEpochs = 10'000'000;
constexpr double kDegree = 3.14159265358979323846 / 180.0;

// Upper triangle (xx, xy, xz, yy, yz, zz) of a symmetric 3 × 3 matrix.
constexpr std::array<std::array<int, 2>, 6> kUpper{{{0, 0}, {0, 1}, {0, 2}, {1, 1}, {1, 2}, {2, 2}}};

bool finite(const std::array<double, 3>& v) {
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

}  // namespace

double obliquity(double elevation) {
    const double e = std::max(elevation, 0.0) * kDegree;
    const double s = kShellEarthRadius / (kShellEarthRadius + kShellHeight) * std::cos(e);
    return 1.0 / std::sqrt(1.0 - s * s);
}

SeparationAccumulator::SeparationAccumulator(double spanStart, double interval, int satellites)
    : spanStart_(spanStart), interval_(interval), satellites_(std::max(satellites, 0)),
      seen_(static_cast<std::size_t>(satellites_) + 1, 0), runs_(static_cast<std::size_t>(satellites_) + 1) {}

void SeparationAccumulator::add(double time, int satellite, int reference, const std::array<double, 3>& partials,
                                const std::array<double, 3>& weightedPartials, double elevation) {
    const bool slots = satellite >= 1 && satellite <= satellites_ && reference >= 1 && reference <= satellites_ &&
                       satellite != reference;
    const double place = std::floor((time - spanStart_) / interval_ + 0.5);
    if (refused_ || !slots || !std::isfinite(time) || !finite(partials) || !finite(weightedPartials) ||
        !std::isfinite(elevation) || !(interval_ > 0.0) || !(place >= 0.0 && place < double{kMaxEpochs})) {
        refused_ = true;
        return;
    }
    if (satellite != slot_) {
        if (seen_[static_cast<std::size_t>(satellite)] != 0) {
            refused_ = true;
            return;
        }
        if (slot_ != 0) seen_[static_cast<std::size_t>(slot_)] = 1;
        slot_ = satellite;
    } else if (time < blockTime_) {
        refused_ = true;
        return;
    }
    blockTime_ = time;

    for (std::size_t i = 0; i < kUpper.size(); ++i) {
        const auto r = static_cast<std::size_t>(kUpper[i][0]), c = static_cast<std::size_t>(kUpper[i][1]);
        normal_[i] += 0.5 * (partials[r] * weightedPartials[c] + weightedPartials[r] * partials[c]);
    }
    ++count_;

    std::vector<Run>& runs = runs_[static_cast<std::size_t>(satellite)];
    const long block = static_cast<long>(std::floor((time - spanStart_) / kCommonBlock));
    if (runs.empty() || time - runs.back().last > kPassGap || runs.back().block != block) {
        runs.push_back({time, time, block, {}});
    }
    Run& run = runs.back();
    run.last = time;
    const double m = obliquity(elevation);
    for (std::size_t c = 0; c < 3; ++c) run.sum[c] += m * weightedPartials[c];

    const auto epoch = static_cast<std::size_t>(place);
    if (epoch >= epochs_.size()) epochs_.resize(std::max(epoch + 1, epochs_.size() * 3 / 2));
    ReferenceEpoch* at = &epochs_[epoch];
    if (at->reference == 0) at->reference = reference;
    if (at->reference != reference) at = &moreReferences_[{static_cast<long>(epoch), reference}];
    at->reference = reference;
    at->time = time;
    for (std::size_t c = 0; c < 3; ++c) at->sum[c] += weightedPartials[c];
}

SeparationCovariance SeparationAccumulator::finish(double length,
                                                   const std::function<double(int, double)>& referenceElevation) const {
    SeparationCovariance result;
    result.length = length;
    if (refused_ || count_ <= kUnknowns || !std::isfinite(length)) return result;
    Eigen::Matrix3d normal;
    for (std::size_t i = 0; i < kUpper.size(); ++i) {
        normal(kUpper[i][0], kUpper[i][1]) = normal(kUpper[i][1], kUpper[i][0]) = normal_[i];
    }
    Eigen::FullPivLU<Eigen::Matrix3d> lu(normal);
    if (!lu.isInvertible()) return result;

    // Each satellite's contributions in time: its runs, and the epochs where it was the reference.
    struct Piece {
        double first = 0, last = 0;
        long block = 0;
        Eigen::Vector3d c;
    };
    std::vector<std::vector<Piece>> pieces(runs_.size());
    for (std::size_t k = 0; k < runs_.size(); ++k) {
        for (const Run& r : runs_[k]) pieces[k].push_back({r.first, r.last, r.block, {r.sum[0], r.sum[1], r.sum[2]}});
    }
    const auto addReference = [&](const ReferenceEpoch& e) {
        if (e.reference == 0) return;
        double elevation = referenceElevation(e.reference, e.time);
        if (!std::isfinite(elevation)) {
            result.unknownElevations += 1;
            elevation = 0.0;  // the largest obliquity: the term is not understated
        }
        const double m = obliquity(elevation);
        pieces[static_cast<std::size_t>(e.reference)].push_back(
            {e.time, e.time, static_cast<long>(std::floor((e.time - spanStart_) / kCommonBlock)),
             {-m * e.sum[0], -m * e.sum[1], -m * e.sum[2]}});
    };
    for (const ReferenceEpoch& e : epochs_) addReference(e);
    for (const auto& [key, e] : moreReferences_) addReference(e);

    // Σ c_p c_pᵀ over the passes, and the same over the blocks of the common part.
    Eigen::Matrix3d passes = Eigen::Matrix3d::Zero();
    std::map<long, Eigen::Vector3d> blocks;
    for (std::vector<Piece>& list : pieces) {
        if (list.empty()) continue;
        std::stable_sort(list.begin(), list.end(), [](const Piece& a, const Piece& b) { return a.first < b.first; });
        Eigen::Vector3d pass = Eigen::Vector3d::Zero();
        double last = list.front().first;
        for (const Piece& p : list) {
            if (p.first - last > kPassGap) {
                passes += pass * pass.transpose();
                result.passes += 1;
                pass.setZero();
            }
            pass += p.c;
            last = std::max(last, p.last);
            blocks.try_emplace(p.block, Eigen::Vector3d::Zero()).first->second += p.c;
        }
        passes += pass * pass.transpose();
        result.passes += 1;
    }
    Eigen::Matrix3d common = Eigen::Matrix3d::Zero();
    for (const auto& [block, c] : blocks) common += c * c.transpose();
    result.blocks = static_cast<int>(blocks.size());
    const Eigen::Matrix3d middle = (1.0 - kCommonShare) * passes + kCommonShare * common;
    const double sigma = result.ppm * 1.0e-6 * length;
    const Eigen::Matrix3d inverse = lu.inverse();
    Eigen::Matrix3d covariance = sigma * sigma * inverse * middle * inverse;
    covariance = 0.5 * (covariance + covariance.transpose()).eval();
    if (!std::isfinite(covariance.sum())) return result;
    for (int c = 0; c < 3; ++c) {
        for (int r = 0; r < 3; ++r) result.covariance[static_cast<std::size_t>(c * 3 + r)] = covariance(r, c);
    }
    result.available = true;
    return result;
}

}  // namespace varno
