// Observation forming: one pass over both observation files, the double differences of every epoch scattered
// into per-satellite files, gathered by satellite into the gather file, and the first, untrimmed solution.
#include <array>
#include <cmath>
#include <exception>
#include <optional>

#include "adjust/adjust.h"
#include "adjust/adjust_internal.h"
#include "adjust/evaluation.h"
#include "forming/forming.h"
#include "models/models.h"
#include "rinex/rinex.h"
#include "station/station.h"
#include "textio/textio.h"
#include "timebase/timebase.h"

namespace varno {

namespace {

constexpr int kStopPoint1Geodetic = 25551;
constexpr int kStopPoint2Geodetic = 25552;
constexpr int kStopNoEquations = 87854;
constexpr int kFileEnded = 2;
// The nominal grid runs while t lies no further than this beyond the common stop (s).
constexpr double kEndTolerance = 0.2;
constexpr std::array<int, 3> kUnknowns{1, 2, 3};

using adjust_internal::EpochStore;
using adjust_internal::ScatterFile;
using adjust_internal::StoredEpoch;
using adjust_internal::StoredObservation;

// Both receivers' records at one time of the grid, with what reading them wrote and the error it met.
struct ReadEpoch {
    double t = 0;
    bool have1 = false, have2 = false;
    EpochRecord rec1, rec2;
    HeldLines lines;
    std::exception_ptr error;
    bool ended = false;  // not both records, and a file has ended: the grid stops here
    // Its place among the block's jobs, for each system (by GnssSystem) whose ranges are worked out ahead; else -1.
    std::array<int, kSystemCount> job = [] {
        std::array<int, kSystemCount> none{};
        none.fill(-1);
        return none;
    }();
};

// The epochs read ahead, and the jobs of those whose ranges are worked out ahead.
constexpr std::size_t kBlockEpochs = 256;
struct Block {
    std::vector<ReadEpoch> epochs;
    std::vector<adjust_internal::RangesJob> jobs;
};

// Writes each double difference of the epoch to its satellite's scatter file and, with a store, keeps what the
// passes read of it in `stored`. Returns how many were kept.
int scatterDifferences(const EpochEquations& equations, std::vector<ScatterFile>& files, bool keep,
                       std::vector<StoredObservation>& stored) {
    if (stored.size() < equations.differences.size()) stored.resize(equations.differences.size());
    std::fill(stored.begin(), stored.end(), StoredObservation{});
    int count = 0;
    for (const DoubleDifference& d : equations.differences) {
        ScatterRecord record;
        record.epochTime1 = equations.t1;
        record.epochTime2 = equations.t2;
        record.refRange1 = equations.refRange1;
        record.refRange2 = equations.refRange2;
        record.satRange1 = d.range1;
        record.satRange2 = d.range2;
        record.ddObserved = d.observed;
        record.ddComputed = d.computed;
        record.partials = d.partials;
        record.weight = d.weight;
        files[static_cast<std::size_t>(d.slot - 1)].write(record);
        if (keep) {
            StoredObservation& o = stored[static_cast<std::size_t>(count++)];
            o.ddObserved = record.ddObserved;
            o.weight = record.weight;
            o.rho1 = d.rho1;
            o.slot = d.slot;
        }
    }
    return count;
}

// Point 1's share of an epoch for the passes, which look the reference up by point 1's time tag (`passRef`, 0 when
// that finds none) and take its clock offset from the corrected pseudorange: when both agree with what the
// forming used (reference `formedRef`), the ranges are those it computed; otherwise they are computed for that
// reference, and left to the passes when the orbit fails.
StoredEpoch passShare(const EpochModels& models, const EpochEquations& equations, int formedRef, int passRef,
                      int count, std::vector<StoredObservation>& stored) {
    const SatIndex& sats = *models.run->sats;
    const OrbitSource& orbit = *models.orbit;
    const std::array<double, 3>& receiver = models.pair->p1L1;
    const double t1 = equations.t1;
    const double p1r = equations.refRange1;
    StoredEpoch epoch;
    epoch.epochTime1 = t1;
    epoch.epochTime2 = equations.t2;
    epoch.refRange1 = p1r;
    epoch.refRange2 = equations.refRange2;
    epoch.count = count;
    if (passRef == 0) return epoch;
    epoch.refSlot = passRef;
    if (passRef == formedRef && p1r == equations.refRange1AsRead) {
        epoch.rho1Ref = equations.rho1Ref;
        epoch.cached = 1;
        for (int i = 0; i < count; ++i) stored[static_cast<std::size_t>(i)].cached = 1;
        return epoch;
    }
    OrbitMiss miss = OrbitMiss::none;
    double dt1Pass = 0;
    SignalPath path;
    const SatId ref = invprn(sats, passRef);
    if (receiverClock(orbit, ref, receiver, t1, p1r, t1, dt1Pass, miss) &&
        signalPath(orbit, ref, receiver, t1, dt1Pass, t1, path, miss)) {
        epoch.rho1Ref = path.range;
        epoch.cached = 1;
        for (int i = 0; i < count; ++i) {
            StoredObservation& o = stored[static_cast<std::size_t>(i)];
            o.cached = signalPath(orbit, invprn(sats, o.slot), receiver, t1, dt1Pass, t1, path, miss);
            if (o.cached) o.rho1 = path.range;
        }
    }
    return epoch;
}

// Forms the equations of one epoch (both receivers hold data at t) within `system` and appends them to the
// scatter files and the store.
void scatterSystem(GnssSystem system, double t, const EpochRecord& rec1, const EpochRecord& rec2, int satCount,
                   const EpochModels& models, std::vector<ScatterFile>& files, EpochStore* store,
                   const KnownRanges* ahead, EpochEquations& equations, std::vector<StoredObservation>& stored) {
    const RunModels& run = *models.run;
    RefSatTable& references = run.references->of(system);
    // The reference satellite of an epoch is chosen by its nominal time, not by a receiver's time tag.
    int r = 0;
    if (!getrs(references, r, t)) return;
    if (!formEpoch(r, rec1, rec2, satCount, models, ahead, equations)) return;
    const double t1 = equations.t1;
    // The passes look the reference up by point 1's time tag: an epoch whose reference so found is not served by
    // the orbit then (no usable broadcast record) is left out, as it could not be evaluated.
    int fromFirst = 1;
    int passRef = 0;
    const bool passRefFound = lookrs(references, passRef, t1, fromFirst);
    if (passRefFound && passRef != r && !models.orbit->serves(invprn(*run.sats, passRef), t1)) return;
    const int count = scatterDifferences(equations, files, store != nullptr, stored);
    if (store == nullptr || count == 0) return;
    if (models.model.correlatedWeights) {
        store->weighting.addEpoch(t1, singleDifferenceShare(models.model, equations.refElevation1,
                                                            equations.refElevation2));
    }
    store->add(passShare(models, equations, r, passRefFound ? passRef : 0, count, stored), stored.data());
}

// Ranges worked out ahead for an epoch, by GnssSystem (null where none).
using AheadBySystem = std::array<const KnownRanges*, kSystemCount>;

// Forms the equations of one epoch within each system of the run.
void scatterEpoch(double t, const EpochRecord& rec1, const EpochRecord& rec2, int satCount, const EpochModels& models,
                  std::vector<ScatterFile>& files, EpochStore* store, const AheadBySystem& ahead,
                  EpochEquations& equations, std::vector<StoredObservation>& stored) {
    for (GnssSystem system : models.run->references->systems()) {
        scatterSystem(system, t, rec1, rec2, satCount, models, files, store,
                      ahead[static_cast<std::size_t>(system)], equations, stored);
    }
}

// The models of the forming: the run's, the orbit and the pair, with both receivers' geodetic positions (stops
// 25551, 25552 where there are none).
EpochModels formingModels(const RunModels& run, const OrbitSource& orbit, const StationPair& pair,
                          const ObservationModel& model) {
    EpochModels models;
    models.orbit = &orbit;
    models.pair = &pair;
    models.run = &run;
    models.model = model;
    Geodetic& g1 = models.site1;
    Geodetic& g2 = models.site2;
    if (!xyzgeo(pair.p1L1[0], pair.p1L1[1], pair.p1L1[2], g1.latitude, g1.longitude, g1.height)) {
        stopRun(kStopPoint1Geodetic);
    }
    if (!xyzgeo(pair.p2L1[0], pair.p2L1[1], pair.p2L1[2], g2.latitude, g2.longitude, g2.height)) {
        stopRun(kStopPoint2Geodetic);
    }
    return models;
}

// Reads both observation files along the nominal grid from the common start, a block of epochs at a time; epoch
// times read never feed back into t. What reading writes, and the error it meets, are held with the epoch.
class GridReader {
public:
    GridReader(const RunModels& run, const AdjustInputs& inputs, int satCount)
        : run_(run), inputs_(inputs), satCount_(satCount), t_(inputs.dataStart) {
        for (GnssSystem system : run.references->systems()) {
            cursors_[static_cast<std::size_t>(system)] = run.references->of(system).cursor;
        }
    }

    // Reads the next block (empty when the grid has ended). The reference lookups the forming will make are made
    // with a copy of each system's table cursor, and each epoch and system that has one becomes a job for the
    // ranges worked out ahead.
    void read(Block& block) {
        block.epochs.clear();
        block.jobs.clear();
        while (gridLeft_ && block.epochs.size() < kBlockEpochs) {
            ReadEpoch& read = block.epochs.emplace_back();
            read.t = t_;
            holdOutput(&read.lines);
            try {
                read.have1 = oget(*inputs_.obs1, *inputs_.summary1, *run_.sats, satCount_, t_, rec1_);
                read.have2 = oget(*inputs_.obs2, *inputs_.summary2, *run_.sats, satCount_, t_, rec2_);
                read.rec1 = rec1_;
                read.rec2 = rec2_;
            } catch (...) {
                read.error = std::current_exception();
            }
            holdOutput(nullptr);
            t_ = t_ + inputs_.interval;
            const bool both = read.have1 && read.have2;
            read.ended = !both && (rec1_.syncState == kFileEnded || rec2_.syncState == kFileEnded);
            gridLeft_ = !read.error && !read.ended && t_ - inputs_.dataEnd <= kEndTolerance;
            for (GnssSystem system : run_.references->systems()) {
                const std::size_t at = static_cast<std::size_t>(system);
                const RefSatTable& references = run_.references->of(system);
                int r = 0;
                if (both && references.nrs >= 1 && lookrs(references, r, read.t, cursors_[at])) {
                    read.job[at] = static_cast<int>(block.jobs.size());
                    block.jobs.push_back({r, &read.rec1, &read.rec2});
                }
            }
        }
    }

private:
    const RunModels& run_;
    const AdjustInputs& inputs_;
    int satCount_;
    double t_;
    bool gridLeft_ = true;
    std::array<int, kSystemCount> cursors_{};
    EpochRecord rec1_, rec2_;
};

// Forms every epoch of the grid into the scatter files (and the store). The files are read a block of epochs
// ahead while another thread works out the ranges of the block just read; what the reading writes, and the error
// it meets, wait until the epochs before have been formed.
void scatterGrid(const EpochModels& models, const AdjustInputs& inputs, int satCount, std::vector<ScatterFile>& files,
                 EpochStore* store) {
    const RunModels& run = *models.run;
    GridReader reader(run, inputs, satCount);
    // Three blocks in turn: one is formed while the ranges of the next are worked out and the one after is read.
    // They are declared before the thread, so that it has ended before they go, whichever way the forming ends.
    std::array<Block, 3> blocks;
    for (Block& block : blocks) block.epochs.reserve(kBlockEpochs);
    Block* forming = &blocks[0];
    Block* working = &blocks[1];
    Block* reading = &blocks[2];
    std::vector<KnownRanges> ranges;
    EpochEquations formed;
    std::vector<StoredObservation> stored;
    // The troposphere model corrects the ranges inside comrg0; with it on, nothing is worked out ahead.
    std::optional<adjust_internal::RangesAhead> ahead;
    if (!run.met.troposphereOn) ahead.emplace(run, *models.orbit, *models.pair, satCount);
    reader.read(*forming);
    if (ahead) ahead->begin(forming->jobs);
    reader.read(*working);
    while (!forming->epochs.empty()) {
        if (ahead) {
            ahead->take(ranges);
            ahead->begin(working->jobs);
        }
        for (const ReadEpoch& read : forming->epochs) {
            writeHeld(read.lines);
            if (read.error) std::rethrow_exception(read.error);
            if (read.have1 && read.have2) {
                AheadBySystem worked{};
                for (std::size_t at = 0; ahead && at < worked.size(); ++at) {
                    if (read.job[at] >= 0) worked[at] = &ranges[static_cast<std::size_t>(read.job[at])];
                }
                scatterEpoch(read.t, read.rec1, read.rec2, satCount, models, files, store, worked, formed, stored);
            } else if (read.ended) {
                writeListing(freeLine("eof =", read.rec1.syncState, read.rec2.syncState));
                return;
            }
        }
        reader.read(*reading);
        Block* done = forming;
        forming = working;
        working = reading;
        reading = done;
    }
}

// Reads the scatter files back, satellite by satellite: each equation into the normal equations and, without a
// store, into the gather file (with one, the passes read the store, and the gather file is written only if they
// ever fall back to it: evaluateAll writes it from the store then). Returns how many equations there were.
int gatherEquations(std::vector<ScatterFile>& files, GatherFile& gather, EpochStore* store,
                    NormalEquations& equations) {
    int m = 0;
    adjust_internal::EpochWeighting* weighting = store != nullptr && store->weighting.active() ? &store->weighting
                                                                                              : nullptr;
    if (weighting) weighting->begin();
    ScratchRecord blockStart;
    blockStart.slot = kBlockStart;
    ScratchRecord blockEnd;
    blockEnd.slot = kBlockEnd;
    const bool gathering = store == nullptr;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (gathering) gather.write(blockStart);
        ScatterRecord record;
        while (files[i].read(record)) {
            if (gathering) {
                ScratchRecord observation;
                observation.slot = static_cast<std::int32_t>(i + 1);
                observation.values = {record.epochTime1, record.epochTime2, record.refRange1, record.refRange2,
                                      record.satRange1,  record.satRange2,  record.ddObserved, record.weight,
                                      0.0,               0.0,               0.0};
                gather.write(observation);
            }
            m = m + 1;
            if (weighting) {
                weighting->add(equations, record.epochTime1, record.partials, record.ddComputed - record.ddObserved,
                               record.weight);
                continue;
            }
            nrmal2(equations.matrix.data(), equations.rhs.data(), record.partials.data(),
                   record.ddComputed - record.ddObserved, record.weight, equations.sumSquares, kUnknowns.data(), 3,
                   3);
        }
        if (gathering) gather.write(blockEnd);
    }
    if (weighting && m >= 1) weighting->finish(equations);
    return m;
}

}  // namespace

void formob(const RunModels& run, const OrbitSource& orbit, StationPair& pair, int satCount, const AdjustInputs& inputs,
            GatherFile& gather, double& rms) {
    adjust_internal::formobInto(run, orbit, pair, satCount, inputs, gather, nullptr, rms);
}

void adjust_internal::formobInto(const RunModels& run, const OrbitSource& orbit, StationPair& pair, int satCount,
                                 const AdjustInputs& inputs, GatherFile& gather, EpochStore* store, double& rms) {
    const EpochModels models = formingModels(run, orbit, pair, inputs.model);

    // Owned here so that every scatter file is removed however formob ends.
    std::vector<ScatterFile> files(static_cast<std::size_t>(std::max(satCount, 0)));
    for (int k = 1; k <= satCount; ++k) {
        // With the epoch-ordered copy the scatter files serve only the first solution.
        files[k - 1].open(inputs.scratchDirectory, adjust_internal::scatterFileName(k), store != nullptr);
    }
    writeListing(freeLine("opened", satCount, " scatter/gather files"));

    skipHeader(*inputs.obs1);
    skipHeader(*inputs.obs2);
    writeProgress(freeLine(" begin scatter & formobs"));
    scatterGrid(models, inputs, satCount, files, store);

    for (ScatterFile& file : files) file.rewind();
    NormalEquations equations;
    nrmclr(equations.matrix.data(), equations.rhs.data(), equations.sumSquares, 3);
    writeProgress(freeLine(" begin gather"));
    const int m = gatherEquations(files, gather, store, equations);
    for (ScatterFile& file : files) file.close();

    if (m < 1) {
        const std::string line = freeLine("no observation equations -- fatal termination");
        writeListing(line);
        writeConsole(line);
        stopRun(kStopNoEquations);
    }
    adjust_internal::solveAndMove(equations, m, pair, rms);
}

}  // namespace varno
