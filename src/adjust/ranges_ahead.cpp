// The ranges of the next epoch worked out while the observation files are read on.
#include "adjust/adjust_internal.h"
#include "models/models.h"

namespace varno::adjust_internal {

namespace {

// comdtr and comrng for the reference and every other satellite both receivers hold, as far as they succeed.
void rangesOf(int r, const EpochRecord& rec1, const EpochRecord& rec2, int satCount, const RunModels& run,
              const OrbitSource& orbit, const StationPair& pair, EpochRanges& out) {
    out.reset(satCount);
    out.reference = r;
    double phase1 = 0, phase2 = 0, l2Phase1 = 0, l2Phase2 = 0;
    double p1 = 0, p2 = 0;
    if (!dget(r, rec1, rec2, satCount, phase1, p1, l2Phase1, phase2, p2, l2Phase2)) return;
    const double t1 = rec1.epochTime;
    const double t2 = rec2.epochTime;
    OrbitMiss miss = OrbitMiss::none;
    const SatId ref = invprn(*run.sats, r);
    if (!receiverClock(orbit, ref, pair.p1L1, t1, p1, t1, out.dt1, miss)) return;
    if (!receiverClock(orbit, ref, pair.p2L1, t2, p2, t1, out.dt2, miss)) return;
    SignalPath s1, s2;
    if (!signalPaths(orbit, ref, pair.p1L1, t1, out.dt1, ref, pair.p2L1, t2, out.dt2, t1, s1, s2, miss)) return;
    out.rho1r = s1.range;
    out.rho2r = s2.range;
    out.ur = s2.unit;
    out.valid = true;
    for (int k = 1; k <= satCount; ++k) {
        const SatId sat = invprn(*run.sats, k);
        if (k == r || sat.system != ref.system) continue;
        if (!dget(k, rec1, rec2, satCount, phase1, p1, l2Phase1, phase2, p2, l2Phase2)) continue;
        const std::size_t at = static_cast<std::size_t>(k);
        if (signalPaths(orbit, sat, pair.p1L1, t1, out.dt1, sat, pair.p2L1, t2, out.dt2, t1, s1, s2, miss)) {
            out.rho1[at] = s1.range;
            out.rho2[at] = s2.range;
            out.u[at] = s2.unit;
            out.have[at] = 1;
        }
    }
}

}  // namespace

RangesAhead::RangesAhead(const RunModels& run, const OrbitSource& orbit, const StationPair& pair, int satCount)
    : run_(run), orbit_(orbit), pair_(pair), satCount_(satCount), thread_(&RangesAhead::work, this) {}

RangesAhead::~RangesAhead() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void RangesAhead::begin(const std::vector<RangesJob>& jobs) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_ = jobs;
        pending_ = true;
        ready_ = false;
    }
    changed_.notify_all();
}

void RangesAhead::take(std::vector<EpochRanges>& ranges) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return ready_; });
    ready_ = false;
    ranges.swap(ranges_);
}

void RangesAhead::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || pending_; });
        if (stopping_) return;
        pending_ = false;
        lock.unlock();
        ranges_.resize(jobs_.size());
        for (std::size_t i = 0; i < jobs_.size(); ++i) {
            // Anything that would stop the run is left to the epoch's own forming, which stops for it.
            try {
                rangesOf(jobs_[i].reference, *jobs_[i].rec1, *jobs_[i].rec2, satCount_, run_, orbit_, pair_,
                         ranges_[i]);
            } catch (...) {
                ranges_[i].reset(0);
            }
        }
        lock.lock();
        ready_ = true;
        changed_.notify_all();
    }
}

}  // namespace varno::adjust_internal
