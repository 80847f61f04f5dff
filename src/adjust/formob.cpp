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

// Forms the equations of one epoch (both receivers hold data at t) within `system` and appends them to the
// scatter files.
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
    const double p1r = equations.refRange1;
    const StationPair& pair = *models.pair;
    const OrbitSource& orbit = *models.orbit;
    // The passes look the reference up by point 1's time tag: an epoch whose reference so found is not served by
    // the orbit then (no usable broadcast record) is left out, as it could not be evaluated.
    int fromFirst = 1;
    int passRef = 0;
    const bool passRefFound = lookrs(references, passRef, t1, fromFirst);
    if (passRefFound && passRef != r && !orbit.serves(invprn(*run.sats, passRef), t1)) return;
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
        if (store != nullptr) {
            StoredObservation& o = stored[static_cast<std::size_t>(count++)];
            o.ddObserved = record.ddObserved;
            o.weight = record.weight;
            o.rho1 = d.rho1;
            o.slot = d.slot;
        }
    }
    if (store == nullptr || count == 0) return;
    if (models.model.correlatedWeights) {
        store->weighting.addEpoch(t1, singleDifferenceShare(models.model, equations.refElevation1,
                                                            equations.refElevation2));
    }

    // Point 1's share for the passes, which look the reference up by point 1's time tag and take its clock
    // offset from the corrected pseudorange: when both agree with what was used here, the ranges are those
    // computed above; otherwise they are computed for that reference (and left out when the orbit fails).
    StoredEpoch epoch;
    epoch.epochTime1 = t1;
    epoch.epochTime2 = equations.t2;
    epoch.refRange1 = p1r;
    epoch.refRange2 = equations.refRange2;
    epoch.count = count;
    if (passRefFound) {
        epoch.refSlot = passRef;
        if (passRef == r && p1r == equations.refRange1AsRead) {
            epoch.rho1Ref = equations.rho1Ref;
            epoch.cached = 1;
            for (int i = 0; i < count; ++i) stored[static_cast<std::size_t>(i)].cached = 1;
        } else {
            OrbitMiss miss = OrbitMiss::none;
            double dt1Pass = 0;
            SignalPath path;
            const SatId ref = invprn(*run.sats, passRef);
            if (receiverClock(orbit, ref, pair.p1L1, t1, p1r, t1, dt1Pass, miss) &&
                signalPath(orbit, ref, pair.p1L1, t1, dt1Pass, t1, path, miss)) {
                epoch.rho1Ref = path.range;
                epoch.cached = 1;
                for (int i = 0; i < count; ++i) {
                    StoredObservation& o = stored[static_cast<std::size_t>(i)];
                    o.cached = signalPath(orbit, invprn(*run.sats, o.slot), pair.p1L1, t1, dt1Pass, t1, path, miss);
                    if (o.cached) o.rho1 = path.range;
                }
            }
        }
    }
    store->add(epoch, stored.data());
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

}  // namespace

void formob(const RunModels& run, const OrbitSource& orbit, StationPair& pair, int satCount, const AdjustInputs& inputs,
            GatherFile& gather, double& rms) {
    adjust_internal::formobInto(run, orbit, pair, satCount, inputs, gather, nullptr, rms);
}

void adjust_internal::formobInto(const RunModels& run, const OrbitSource& orbit, StationPair& pair, int satCount,
                                 const AdjustInputs& inputs, GatherFile& gather, EpochStore* store, double& rms) {
    EpochModels models;
    models.orbit = &orbit;
    models.pair = &pair;
    models.run = &run;
    models.model = inputs.model;
    Geodetic& g1 = models.site1;
    Geodetic& g2 = models.site2;
    if (!xyzgeo(pair.p1L1[0], pair.p1L1[1], pair.p1L1[2], g1.latitude, g1.longitude, g1.height)) {
        stopRun(kStopPoint1Geodetic);
    }
    if (!xyzgeo(pair.p2L1[0], pair.p2L1[1], pair.p2L1[2], g2.latitude, g2.longitude, g2.height)) {
        stopRun(kStopPoint2Geodetic);
    }

    // Owned here so that every scatter file is removed however formob ends.
    std::vector<ScatterFile> files(static_cast<std::size_t>(std::max(satCount, 0)));
    std::vector<StoredObservation> stored;
    for (int k = 1; k <= satCount; ++k) {
        const std::string name = adjust_internal::scatterFileName(k);
        // With the epoch-ordered copy the scatter files serve only the first solution.
        files[k - 1].open(inputs.scratchDirectory, name, store != nullptr);
    }
    writeListing(freeLine("opened", satCount, " scatter/gather files"));

    skipHeader(*inputs.obs1);
    skipHeader(*inputs.obs2);
    writeProgress(freeLine(" begin scatter & formobs"));

    // The loop walks the nominal grid from the common start; epoch times read never feed back into t. The files
    // are read a block of epochs ahead while another thread works out the ranges of the block just read; what the
    // reading writes, and the error it meets, wait until the epochs before have been formed.
    EpochRecord rec1;
    EpochRecord rec2;
    double t = inputs.dataStart;
    bool gridLeft = true;
    // The reference lookups the forming will make, made ahead with a copy of each system's table cursor.
    const std::vector<GnssSystem>& systems = run.references->systems();
    std::array<int, kSystemCount> cursors{};
    for (GnssSystem system : systems) cursors[static_cast<std::size_t>(system)] = run.references->of(system).cursor;
    const auto readBlock = [&](Block& block) {
        block.epochs.clear();
        block.jobs.clear();
        while (gridLeft && block.epochs.size() < kBlockEpochs) {
            ReadEpoch& read = block.epochs.emplace_back();
            read.t = t;
            holdOutput(&read.lines);
            try {
                read.have1 = oget(*inputs.obs1, *inputs.summary1, *run.sats, satCount, t, rec1);
                read.have2 = oget(*inputs.obs2, *inputs.summary2, *run.sats, satCount, t, rec2);
                read.rec1 = rec1;
                read.rec2 = rec2;
            } catch (...) {
                read.error = std::current_exception();
            }
            holdOutput(nullptr);
            t = t + inputs.interval;
            const bool both = read.have1 && read.have2;
            read.ended = !both && (rec1.syncState == kFileEnded || rec2.syncState == kFileEnded);
            gridLeft = !read.error && !read.ended && t - inputs.dataEnd <= kEndTolerance;
            for (GnssSystem system : systems) {
                const std::size_t at = static_cast<std::size_t>(system);
                const RefSatTable& references = run.references->of(system);
                int r = 0;
                if (both && references.nrs >= 1 && lookrs(references, r, read.t, cursors[at])) {
                    read.job[at] = static_cast<int>(block.jobs.size());
                    block.jobs.push_back({r, &read.rec1, &read.rec2});
                }
            }
        }
    };
    // Three blocks in turn: one is formed while the ranges of the next are worked out and the one after is read.
    // They are declared before the thread, so that it has ended before they go, whichever way the forming ends.
    std::array<Block, 3> blocks;
    for (Block& block : blocks) block.epochs.reserve(kBlockEpochs);
    Block* forming = &blocks[0];
    Block* working = &blocks[1];
    Block* reading = &blocks[2];
    std::vector<KnownRanges> ranges;
    EpochEquations formed;
    // The troposphere model corrects the ranges inside comrg0; with it on, nothing is worked out ahead.
    std::optional<adjust_internal::RangesAhead> ahead;
    if (!run.met.troposphereOn) ahead.emplace(run, orbit, pair, satCount);
    readBlock(*forming);
    if (ahead) ahead->begin(forming->jobs);
    readBlock(*working);
    bool done = false;
    while (!done && !forming->epochs.empty()) {
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
                done = true;
                break;
            }
        }
        if (done) break;
        readBlock(*reading);
        Block* formed = forming;
        forming = working;
        working = reading;
        reading = formed;
    }

    for (int k = 1; k <= satCount; ++k) files[k - 1].rewind();

    NormalEquations equations;
    nrmclr(equations.matrix.data(), equations.rhs.data(), equations.sumSquares, 3);
    int m = 0;
    writeProgress(freeLine(" begin gather"));
    adjust_internal::EpochWeighting* weighting = store != nullptr && store->weighting.active() ? &store->weighting
                                                                                              : nullptr;
    if (weighting) weighting->begin();

    ScratchRecord blockStart;
    blockStart.slot = kBlockStart;
    ScratchRecord blockEnd;
    blockEnd.slot = kBlockEnd;
    // With the epoch-ordered copy the passes read that, and the gather file is written only if they ever fall
    // back to it (evaluateAll writes it from the copy then).
    const bool gathering = store == nullptr;
    for (int k = 1; k <= satCount; ++k) {
        if (gathering) gather.write(blockStart);
        ScatterRecord record;
        while (files[k - 1].read(record)) {
            if (gathering) {
                ScratchRecord observation;
                observation.slot = k;
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
    for (int k = 1; k <= satCount; ++k) files[k - 1].close();

    if (m < 1) {
        const std::string line = freeLine("no observation equations -- fatal termination");
        writeListing(line);
        writeConsole(line);
        stopRun(kStopNoEquations);
    }
    if (weighting) weighting->finish(equations);
    adjust_internal::solveAndMove(equations, m, pair, rms);
}

}  // namespace varno
