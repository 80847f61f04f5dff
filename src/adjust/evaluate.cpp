// Every stored observation evaluated at the current position of point 2: epoch by epoch over the epoch-ordered
// copy, sharing what the observations of an epoch have in common, or one by one from the gather file.
#include <algorithm>
#include <exception>
#include <thread>

#include "adjust/evaluation.h"
#include "models/models.h"
#include "textio/textio.h"

namespace varno::adjust_internal {

namespace {

// The one-by-one evaluation: the gather file in its order, every quantity computed afresh.
void evaluateOneByOne(GatherFile& gather, const RunModels& run, const OrbitSource& orbit, const StationPair& pair,
                      int satCount, const ElevationSite* site, bool listNoReference, int noReferenceStop,
                      const std::function<void(const Evaluated&)>& use) {
    gather.rewind();
    GatheredObservation o;
    while (nextObservation(gather, satCount, o)) {
        const int k = o.slot;
        const double t1 = o.epochTime1;
        const double t2 = o.epochTime2;
        // Looked up with point 1's own time tag: the nominal epoch is not stored.
        int r = 0;
        if (!getrs(run.references->of(invprn(*run.sats, k).system), r, t1)) {
            if (listNoReference) writeListing(freeLine(k, t1, t2));
            stopRun(noReferenceStop);
        }
        double dt1 = 0, dt2 = 0;
        comdtr(run, r, pair, orbit, t1, t2, o.refRange1, o.refRange2, dt1, dt2);
        double rho1r = 0, rho2r = 0, rho1k = 0, rho2k = 0;
        std::array<double, 3> ur{};
        comrng(run, r, pair, orbit, t1, t2, dt1, dt2, rho1r, rho2r, ur);
        Evaluated e;
        if (site != nullptr) {
            comrg2(run, k, pair, orbit, t1, t2, dt1, dt2, *site, rho1k, rho2k, e.elevation);
        }
        if (site == nullptr || site->partials) {
            // With a site the ranges stay comrg2's; only the unit vector is taken from here.
            double rho1 = 0, rho2 = 0;
            std::array<double, 3> uk{};
            comrng(run, k, pair, orbit, t1, t2, dt1, dt2, rho1, rho2, uk);
            if (site == nullptr) {
                rho1k = rho1;
                rho2k = rho2;
            }
            for (int c = 0; c < 3; ++c) e.partials[c] = uk[c] - ur[c];
        }
        e.slot = k;
        e.referenceSlot = r;
        e.epochTime1 = t1;
        e.residual = ((rho2k - rho1k) - (rho2r - rho1r)) - o.ddObserved;
        e.weight = o.weight;
        use(e);
    }
    gather.rewind();
}

// The reference satellite's share of one epoch: both clock offsets, both ranges and its unit vector.
struct ReferenceShare {
    int slot = 0;
    bool point1 = false;  // dt1 and rho1 computed here (not taken from the store)
    double dt1 = 0, rho1 = 0, dt2 = 0, rho2 = 0;
    std::array<double, 3> u{};
};

// Each system's lookup cursor, by GnssSystem.
using Cursors = std::array<int, kSystemCount>;

// One observation of the epoch being evaluated.
struct Pending {
    const StoredObservation* observation = nullptr;
    int slot = 0, reference = 0;
    SatId sat;
    ReferenceShare* share = nullptr;
    double rho1 = 0;
    SignalPath path2;  // the satellite as seen from point 2
};

// The shares of the references met in one epoch (almost always one; never more than its observations).
class EpochShares {
public:
    // An epoch has at most one reference for each of its satellites; the shares never move once made.
    explicit EpochShares(int satCount) : shares_(static_cast<std::size_t>(std::max(satCount, 0)) + 1) {}
    void clear() { size_ = 0; }
    // The share of reference `r`, computed on first use; false when the orbit fails.
    ReferenceShare* find(int r, const StoredEpoch& epoch, const RunModels& run, const OrbitSource& orbit,
                         const StationPair& pair) {
        for (int i = 0; i < size_; ++i) {
            if (shares_[static_cast<std::size_t>(i)].slot == r) return &shares_[static_cast<std::size_t>(i)];
        }
        if (static_cast<std::size_t>(size_) >= shares_.size()) return nullptr;
        ReferenceShare& s = shares_[static_cast<std::size_t>(size_)];
        s = ReferenceShare{};
        s.slot = r;
        OrbitMiss miss = OrbitMiss::none;
        SignalPath path;
        const SatId sat = invprn(*run.sats, r);
        const double t1 = epoch.epochTime1;
        if (!receiverClock(orbit, sat, pair.p2L1, epoch.epochTime2, epoch.refRange2, t1, s.dt2, miss)) return nullptr;
        if (!signalPath(orbit, sat, pair.p2L1, epoch.epochTime2, s.dt2, t1, path, miss)) return nullptr;
        s.rho2 = path.range;
        s.u = path.unit;
        if (r == epoch.refSlot && epoch.cached != 0) {
            s.rho1 = epoch.rho1Ref;
        } else {
            if (!receiverClock(orbit, sat, pair.p1L1, t1, epoch.refRange1, t1, s.dt1, miss)) return nullptr;
            if (!signalPath(orbit, sat, pair.p1L1, t1, s.dt1, t1, path, miss)) return nullptr;
            s.rho1 = path.range;
            s.point1 = true;
        }
        ++size_;
        return &s;
    }

private:
    std::vector<ReferenceShare> shares_;
    int size_ = 0;
};

// Point 1's clock offset for reference `share` when the store's does not belong to it.
bool point1Clock(ReferenceShare& share, const StoredEpoch& epoch, const RunModels& run, const OrbitSource& orbit,
                 const StationPair& pair) {
    if (share.point1) return true;
    OrbitMiss miss = OrbitMiss::none;
    const double t1 = epoch.epochTime1;
    if (!receiverClock(orbit, invprn(*run.sats, share.slot), pair.p1L1, t1, epoch.refRange1, t1, share.dt1, miss)) {
        return false;
    }
    share.point1 = true;
    return true;
}

// The walk of the lookup cursor over the gather order: entering and leaving cursor of every satellite's block,
// from its first and last lookups. False when a lookup finds no reference.
bool cursorChain(const RunModels& run, const EpochStore& store, int satCount, std::vector<int>& entering,
                 std::vector<int>& leaving, Cursors& last) {
    Cursors cursor{};
    for (GnssSystem system : run.references->systems()) {
        cursor[static_cast<std::size_t>(system)] = run.references->of(system).cursor;
    }
    for (int k = 1; k <= satCount; ++k) {
        if (store.count(k) == 0) continue;
        const GnssSystem system = invprn(*run.sats, k).system;
        int& walk = cursor[static_cast<std::size_t>(system)];
        entering[static_cast<std::size_t>(k)] = walk;
        int r = 0;
        const RefSatTable& references = run.references->of(system);
        if (!lookrs(references, r, store.firstTime(k), walk)) return false;
        if (store.count(k) >= 2 && !lookrs(references, r, store.lastTime(k), walk)) return false;
        leaving[static_cast<std::size_t>(k)] = walk;
    }
    last = cursor;
    return true;
}

// Moves each system's table cursor to where the walk left it.
void seekAll(RefSatTables& tables, const Cursors& last) {
    for (GnssSystem system : tables.systems()) seekrs(tables.of(system), last[static_cast<std::size_t>(system)]);
}

// One part of the epoch-ordered pass: its epochs evaluated and their results written, each satellite's lookup
// cursor moved by its own lookups. False when an observation would stop the run.
bool evaluatePart(StoreReader& reader, const RunModels& run, const OrbitSource& orbit, const StationPair& pair,
                  int satCount, const ElevationSite* site, std::vector<int>& cursor, SpillWriter& writer,
                  PlacedWriter* placed) {
    EpochShares shares(satCount);
    StoredEpoch epoch;
    std::vector<StoredObservation> observations;
    std::vector<Pending> pending;
    while (reader.next(epoch, observations)) {
        if (pending.size() < static_cast<std::size_t>(epoch.count)) pending.resize(static_cast<std::size_t>(epoch.count));
        shares.clear();
        const double t1 = epoch.epochTime1;
        const double t2 = epoch.epochTime2;
        int count = 0;
        for (int i = 0; i < epoch.count; ++i) {
            const StoredObservation& o = observations[static_cast<std::size_t>(i)];
            Pending& p = pending[static_cast<std::size_t>(count++)];
            p.observation = &o;
            p.slot = o.slot;
            if (p.slot < 1 || p.slot > satCount) return false;
            p.sat = invprn(*run.sats, p.slot);
            int& cursorOfSlot = cursor[static_cast<std::size_t>(p.slot)];
            if (!lookrs(run.references->of(p.sat.system), p.reference, epoch.epochTime1, cursorOfSlot)) return false;
            p.share = shares.find(p.reference, epoch, run, orbit, pair);
            if (p.share == nullptr) return false;
            p.rho1 = o.rho1;
            if (!(p.reference == epoch.refSlot && epoch.cached != 0 && o.cached != 0)) {
                OrbitMiss miss = OrbitMiss::none;
                SignalPath path1;
                if (!point1Clock(*p.share, epoch, run, orbit, pair)) return false;
                if (!signalPath(orbit, p.sat, pair.p1L1, t1, p.share->dt1, t1, path1, miss)) return false;
                p.rho1 = path1.range;
            }
        }
        // Point 2's ranges two satellites at a time where they share a reference (and so a clock offset).
        for (int i = 0; i < count;) {
            Pending& p = pending[static_cast<std::size_t>(i)];
            OrbitMiss miss = OrbitMiss::none;
            if (i + 1 < count && pending[static_cast<std::size_t>(i + 1)].share == p.share) {
                Pending& q = pending[static_cast<std::size_t>(i + 1)];
                const double dt2 = p.share->dt2;
                if (!signalPaths(orbit, p.sat, pair.p2L1, t2, dt2, q.sat, pair.p2L1, t2, dt2, t1, p.path2, q.path2,
                                 miss)) {
                    return false;
                }
                i += 2;
            } else {
                if (!signalPath(orbit, p.sat, pair.p2L1, t2, p.share->dt2, t1, p.path2, miss)) return false;
                i += 1;
            }
        }
        for (int i = 0; i < count; ++i) {
            const Pending& p = pending[static_cast<std::size_t>(i)];
            Evaluated e;
            e.slot = p.slot;
            e.referenceSlot = p.reference;
            e.epochTime1 = epoch.epochTime1;
            e.weight = p.observation->weight;
            if (site != nullptr) {
                e.elevation = elevationAt(*site, pair.p2L1, p.path2.satellite);
            }
            if (site == nullptr || site->partials) {
                for (int c = 0; c < 3; ++c) e.partials[c] = p.path2.unit[c] - p.share->u[c];
            }
            e.residual = ((p.path2.range - p.rho1) - (p.share->rho2 - p.share->rho1)) - p.observation->ddObserved;
            const long place = writer.put(e);
            if (placed != nullptr) placed->put(e, place);
        }
    }
    writer.finish();
    if (placed != nullptr) placed->finish();
    return true;
}

// A part of the pass: where it lies in the store, and its lookup cursors at its start and at its end.
struct Part {
    const StorePlace* place = nullptr;
    long end = 0;
    std::vector<int> start, cursor;  // by slot
    std::unique_ptr<PlacedWriter> placed;
    bool evaluated = false;
    std::exception_ptr error;
};

// How many parts a pass is cut into: one for each processor, two at least (so that one processor runs the
// same way as many), at most four, and none shorter than a place.
std::size_t partCount(const EpochStore& store) {
    const std::size_t processors = std::clamp(std::thread::hardware_concurrency(), 2U, 4U);
    return std::min(processors, store.places().size());
}

// The cursors at the start of a part: each satellite's block walked from where it enters, by its first lookup
// and the last one before the part, as cursorChain walks it. False when a lookup finds no reference.
bool partStart(const RunModels& run, const EpochStore& store, int satCount, const std::vector<int>& entering,
               Part& part) {
    part.start = entering;
    for (int k = 1; k <= satCount; ++k) {
        const std::size_t s = static_cast<std::size_t>(k);
        const int before = part.place->before(k);
        const GnssSystem system = before >= 1 ? invprn(*run.sats, k).system : GnssSystem::gps;
        int r = 0;
        const RefSatTable& references = run.references->of(system);
        if (before >= 1 && !lookrs(references, r, store.firstTime(k), part.start[s])) return false;
        if (before >= 2 && !lookrs(references, r, part.place->lastBefore[s], part.start[s])) return false;
    }
    part.cursor = part.start;
    return true;
}

// The epoch-ordered pass, its parts evaluated at once. False, with nothing handed over, what the placed writers
// wrote taken back and the table's cursor unmoved, when an observation would stop the run or the cursor walk
// cannot be reproduced: the caller then evaluates one by one.
bool evaluateByEpoch(EpochStore& store, const RunModels& run, const OrbitSource& orbit, const StationPair& pair,
                     int satCount, const ElevationSite* site, const std::function<void(const Evaluated&)>& use,
                     const PlacedOutput* placed) {
    if (satCount < 1) return false;
    std::vector<int> entering(static_cast<std::size_t>(satCount) + 1, 0);
    std::vector<int> leaving(static_cast<std::size_t>(satCount) + 1, 0);
    Cursors last{};
    if (!cursorChain(run, store, satCount, entering, leaving, last)) return false;
    store.rewind();
    if (store.places().empty()) {
        seekAll(*run.references, last);
        return true;
    }

    if (site == nullptr) placed = nullptr;
    // Correlated weights find each result's epoch by its time.
    const Kept kept = placed != nullptr                                               ? Kept::residuals
                      : (site != nullptr && site->partials) || store.weighting.active() ? Kept::everything
                      : site != nullptr                                           ? Kept::elevations
                                                                                  : Kept::partials;
    EvaluationSpill spill(store, satCount, kept);
    const std::vector<StorePlace>& places = store.places();
    std::vector<Part> parts(partCount(store));
    for (std::size_t i = 0; i < parts.size(); ++i) {
        parts[i].place = &places[i * places.size() / parts.size()];
        if (!partStart(run, store, satCount, entering, parts[i])) return false;
    }
    if (placed != nullptr) {
        for (Part& part : parts) part.placed = placed->writer();
    }
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) parts[i].end = parts[i + 1].place->offset;
    parts.back().end = store.size();

    const auto evaluate = [&](Part& part) {
        try {
            StoreReader reader(store, part.place->offset, part.end);
            SpillWriter writer(spill, *part.place);
            part.evaluated =
                evaluatePart(reader, run, orbit, pair, satCount, site, part.cursor, writer, part.placed.get());
        } catch (...) {
            part.error = std::current_exception();
        }
    };
    std::vector<std::thread> helpers;
    for (std::size_t i = 1; i < parts.size(); ++i) helpers.emplace_back(evaluate, std::ref(parts[i]));
    evaluate(parts[0]);
    for (std::thread& helper : helpers) helper.join();

    // In part order, as one walk through the epochs would have met them: the first error or stopping
    // observation decides, and each part must start where the walk left every satellite's cursor.
    const auto linkUp = [&] {
        std::vector<int> cursor = entering;
        for (const Part& part : parts) {
            if (part.error) std::rethrow_exception(part.error);
            if (!part.evaluated || part.start != cursor) return false;
            cursor = part.cursor;
        }
        for (int k = 1; k <= satCount; ++k) {
            const std::size_t s = static_cast<std::size_t>(k);
            if (store.count(k) > 0 && cursor[s] != leaving[s]) return false;
        }
        return true;
    };
    if (!linkUp()) {
        if (placed != nullptr) placed->discard();
        return false;
    }
    seekAll(*run.references, last);
    spill.replay(placed != nullptr ? placed->use : use);
    return true;
}

}  // namespace

void gatherFromStore(EpochStore& store, int satCount, GatherFile& gather) {
    ScratchRecord blockStart;
    blockStart.slot = kBlockStart;
    ScratchRecord blockEnd;
    blockEnd.slot = kBlockEnd;
    StoredEpoch epoch;
    std::vector<StoredObservation> observations;
    for (int k = 1; k <= satCount; ++k) {
        gather.write(blockStart);
        if (store.count(k) > 0) {
            store.rewind();
            while (store.next(epoch, observations)) {
                for (int i = 0; i < epoch.count; ++i) {
                    const StoredObservation& o = observations[static_cast<std::size_t>(i)];
                    if (o.slot != k) continue;
                    ScratchRecord record;
                    record.slot = k;
                    record.values = {epoch.epochTime1, epoch.epochTime2, epoch.refRange1, epoch.refRange2, 0.0, 0.0,
                                     o.ddObserved,     o.weight,         0.0,             0.0,             0.0};
                    gather.write(record);
                }
            }
        }
        gather.write(blockEnd);
    }
    store.setGathered();
}

void evaluateAll(GatherFile& gather, EpochStore* store, const RunModels& run, const OrbitSource& orbit,
                 const StationPair& pair, int satCount, const ElevationSite* site, bool listNoReference,
                 int noReferenceStop, const std::function<void(const Evaluated&)>& use, const PlacedOutput* placed) {
    if (store != nullptr && evaluateByEpoch(*store, run, orbit, pair, satCount, site, use, placed)) return;
    if (store != nullptr && !store->gathered()) gatherFromStore(*store, satCount, gather);
    evaluateOneByOne(gather, run, orbit, pair, satCount, site, listNoReference, noReferenceStop, use);
}

}  // namespace varno::adjust_internal
