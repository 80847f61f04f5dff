// Collecting the adjustment's figures as they come, and writing the outputs of the results at the end.
#include <algorithm>
#include <bit>
#include <cmath>

#include "results/results.h"
#include "textio/textio.h"
#include "timebase/timebase.h"

namespace varno {

namespace {

// Beyond this many epochs (46 days at 1 s) the span is not kept epoch by epoch and no PDOP is given.
constexpr double kMaxPdopEpochs = 4.0e6;
constexpr int kWordBits = 64;
constexpr const char* kCsvHeader = "time,prn,reference_prn,elevation_deg,residual_m,status\n";
constexpr std::size_t kCsvChunk = 1 << 16;

// With correlated weights: the double difference's row of W·A and W·v from its epoch's figures, and the shares W
// was made of. A double difference whose epoch the last iteration did not keep weighs as it would alone.
void generalise(PostFitDifference& d, const std::vector<EpochWeights>& epochs) {
    const auto at = std::lower_bound(epochs.begin(), epochs.end(), d.time,
                                     [](const EpochWeights& e, double t) { return e.epochTime < t; });
    if (at == epochs.end() || at->epochTime != d.time) return;
    const double own = 1.0 / d.weight - at->referenceShare;
    if (!(own > 0.0) || !std::isfinite(own)) return;
    d.generalised = true;
    d.satelliteShare = own;
    d.referenceShare = at->referenceShare;
    for (std::size_t c = 0; c < 3; ++c) d.weightedPartials[c] = (d.partials[c] - at->meanPartials[c]) / own;
    d.weightedResidual = (d.residual - at->meanResidual) / own;
}

}  // namespace

ResultsRecorder::ResultsRecorder(ResultsRequest request, const SatIndex& sats, int jd0, double spanStart,
                                 double spanEnd, double interval, int satCount)
    : request_(std::move(request)), sats_(sats), jd0_(jd0), spanStart_(spanStart), spanEnd_(spanEnd),
      interval_(interval),
      slotWords_(static_cast<std::size_t>(std::max(satCount, 1) + kWordBits - 1) / kWordBits) {
    if (request_.report || !request_.summaryPath.empty()) {
        const double epochs = interval_ > 0.0 ? std::floor((spanEnd_ - spanStart_) / interval_ + 0.5) + 1.0 : 1.0;
        if (epochs >= 1.0 && epochs <= kMaxPdopEpochs) {
            epochSlots_.assign(static_cast<std::size_t>(epochs) * slotWords_, 0);
        }
        covariance_ = std::make_unique<CovarianceAccumulator>(spanStart_, interval_);
        separation_ = std::make_unique<SeparationAccumulator>(spanStart_, interval_, satCount);
    }
    if (!request_.plotPath.empty()) {
        plot_ = std::make_unique<ResidualPlot>(jd0_, spanStart_, spanEnd_, sats_.letteredNames());
    }
    // Created now, so that a file that cannot be written is told before the adjustment, not after it.
    if (!request_.residualsCsvPath.empty()) {
        csv_ = std::make_unique<OutputFile>(request_.residualsCsvPath);
        csv_->write(kCsvHeader);
    }
}

ResultsRecorder::~ResultsRecorder() = default;

void ResultsRecorder::residual(const PostFitResidual& r) {
    if (r.sat.number > 0) {
        const auto key = static_cast<std::size_t>(r.sat.key());
        if (key >= tallies_.size()) tallies_.resize(key + 1);
        SatelliteTally& tally = tallies_[key];
        tally.sat = r.sat;
        tally.formed += 1;
        if (r.weight != 1.0) weighted_ = true;
        // Weighted as the listing's rms table sums them.
        tally.sumSquaresAll += r.weight * r.residual * r.residual;
        if (r.used) {
            tally.used += 1;
            tally.sumSquaresUsed += r.weight * r.residual * r.residual;
        }
    }
    const int slotBits = static_cast<int>(slotWords_) * kWordBits;
    if (r.used && !epochSlots_.empty() && r.slot >= 1 && r.slot <= slotBits && r.referenceSlot >= 1 &&
        r.referenceSlot <= slotBits) {
        const double index = std::floor((r.epochTime - spanStart_) / interval_ + 0.5);
        if (index >= 0.0 && index < static_cast<double>(epochSlots_.size() / slotWords_)) {
            std::uint64_t* words = &epochSlots_[static_cast<std::size_t>(index) * slotWords_];
            for (const int slot : {r.slot, r.referenceSlot}) {
                words[(slot - 1) / kWordBits] |= std::uint64_t{1} << ((slot - 1) % kWordBits);
            }
        }
    }
    if (covariance_) {
        PostFitDifference d{r.epochTime, r.slot, r.referenceSlot, r.partials, r.weight, r.residual};
        d.used = r.used;
        varianceShares(request_.model.elevationWeights, r.weight, r.elevation, request_.model.sigmaA,
                       request_.model.sigmaB, d.satelliteShare, d.referenceShare);
        if (request_.model.correlatedWeights) generalise(d, epochWeights_);
        covariance_->add(d);
        if (d.used) {
            const double w = d.weight;
            separation_->add(d.time, d.satellite, d.reference, d.partials,
                             d.generalised ? d.weightedPartials
                                           : std::array<double, 3>{w * d.partials[0], w * d.partials[1],
                                                                   w * d.partials[2]},
                             r.elevation);
        }
    }
    if (plot_) plot_->add(r);
    if (csv_) {
        csvBuffer_ += calendarText(jd0_, r.epochTime, ' ') + ',' + sats_.name(r.sat) + ',' +
                      sats_.name(r.reference) + ',' + freeNumber(r.elevation) + ',' + freeNumber(r.residual) +
                      (r.used ? ",used\n" : ",rejected\n");
        if (csvBuffer_.size() >= kCsvChunk) {
            csv_->write(csvBuffer_);
            csvBuffer_.clear();
        }
    }
}

double ResultsRecorder::meanPdop(const StationPair& pair, const OrbitSource& orbit, int& epochs) const {
    constexpr int kMinSatellites = 4;
    double sum = 0.0;
    epochs = 0;
    const std::size_t epochCount = epochSlots_.size() / slotWords_;
    for (std::size_t i = 0; i < epochCount; ++i) {
        const std::uint64_t* words = &epochSlots_[i * slotWords_];
        int held = 0;
        for (std::size_t w = 0; w < slotWords_; ++w) held += std::popcount(words[w]);
        if (held < kMinSatellites) continue;
        const double t = spanStart_ + static_cast<double>(i) * interval_;
        // Normal matrix of the undifferenced geometry at point 2: direction cosines and the receiver clock.
        std::array<double, 16> n{};
        int satellites = 0;
        for (int slot = 1; slot <= static_cast<int>(slotWords_) * kWordBits; ++slot) {
            if ((words[(slot - 1) / kWordBits] & (std::uint64_t{1} << ((slot - 1) % kWordBits))) == 0) continue;
            SatelliteState s;
            OrbitMiss miss = OrbitMiss::none;
            if (!orbit.state(invprn(sats_, slot), t, t, s, miss)) continue;
            const double dx = s.position[0] - pair.p2L1[0], dy = s.position[1] - pair.p2L1[1],
                         dz = s.position[2] - pair.p2L1[2];
            const double range = std::sqrt(dx * dx + dy * dy + dz * dz);
            const std::array<double, 4> row{-dx / range, -dy / range, -dz / range, 1.0};
            for (int a = 0; a < 4; ++a) {
                for (int b = 0; b < 4; ++b) n[b * 4 + a] += row[a] * row[b];
            }
            satellites += 1;
        }
        if (satellites < kMinSatellites || !invert(n.data(), 4)) continue;
        const double pdop = std::sqrt(n[0] + n[5] + n[10]);
        if (!std::isfinite(pdop)) continue;
        sum += pdop;
        epochs += 1;
    }
    return epochs > 0 ? sum / epochs : 0.0;
}

void ResultsRecorder::finish(const RunSummary& summary, std::ostream& out) {
    if (csv_) {
        csv_->write(csvBuffer_);
        csvBuffer_.clear();
        csv_->commit();
    }
    if (plot_) {
        OutputFile file(request_.plotPath);
        file.write(plot_->svg("post-fit double-difference residuals, " + summary.point1Id + " to " + summary.point2Id +
                              ", " + calendarText(summary.jd0, summary.spanStart, ' ').substr(0, 10)));
        file.commit();
    }
    if (!request_.summaryPath.empty() && request_.summaryPath != "-") {
        OutputFile file(request_.summaryPath);
        file.write(summaryJson(summary));
        file.commit();
    }
    if (request_.summaryPath == "-") out << summaryJson(summary);
    if (request_.report) out << reportText(summary);
    out.flush();
}

}  // namespace varno
