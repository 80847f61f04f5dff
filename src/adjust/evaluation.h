// The evaluation of every stored observation at the current position of point 2, shared by the trimmed
// iterations and the results; internal to the adjustment.
//
// The gather file holds the observations by satellite, and the iterations consume them in that order. Evaluating
// them in that order repeats work: point 1 never moves, so its ranges are the same in every pass, and the
// reference satellite's clock offsets and ranges are the same for every observation of an epoch. formob therefore
// also keeps an epoch-ordered copy (EpochStore) with point 1's ranges. A pass walks it epoch by epoch, computes the
// reference satellite's share once per epoch, spills each result to its satellite's region of a scratch file and
// then hands the results over in gather order. Every value is the double the observation-by-observation
// evaluation gives; where that cannot be assured (a stop lies ahead) the pass is evaluated observation by
// observation from the gather file instead.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "adjust/adjust.h"
#include "adjust/adjust_internal.h"
#include "adjust/correlated.h"
#include "orbit/orbit.h"
#include "station/station.h"

namespace varno::adjust_internal {

// One observation evaluated at the current position of point 2. For the iterations (no elevation site) the
// epoch-ordered pass fills only the slot, the residual, the partials and the weight.
struct Evaluated {
    int slot = 0;
    int referenceSlot = 0;             // the reference satellite it was differenced against in this pass
    double epochTime1 = 0;             // point 1's time tag, jts seconds
    double residual = 0;               // computed minus observed double difference, m
    std::array<double, 3> partials{};  // its derivatives by point 2's X, Y, Z (iterations; results on request)
    double elevation = 0;              // of the satellite above point 2's horizon, degrees (results only)
    double weight = 1;
};

// One epoch of the epoch-ordered copy: what its observations share.
struct StoredEpoch {
    double epochTime1 = 0, epochTime2 = 0;
    double refRange1 = 0, refRange2 = 0;  // as in the gather file
    double rho1Ref = 0;                   // point 1's range to `refSlot` (valid when `cached`)
    std::int32_t refSlot = 0;             // the reference for epochTime1 looked up from the table's first entry
    std::int32_t cached = 0;              // 1 when rho1Ref and every observation's rho1 belong to refSlot
    std::int32_t count = 0;               // observations that follow
};

// One observation of the epoch-ordered copy.
struct StoredObservation {
    double ddObserved = 0;
    double weight = 1;
    double rho1 = 0;  // point 1's range to the satellite, with the clock offset of the epoch's refSlot
    std::int32_t slot = 0;
    std::int32_t cached = 0;  // 1 when rho1 is valid
};

class EpochStore;

// A place in the epoch-ordered copy from which a part of it can be read, with what the epochs before it hold.
struct StorePlace {
    long offset = 0;  // bytes before its first epoch
    // By slot; a slot beyond the size had no observation before it.
    std::vector<int> countBefore;    // observations of each slot before it
    std::vector<double> lastBefore;  // point 1's time of each slot's last one before it
    int before(int slot) const {
        return static_cast<std::size_t>(slot) < countBefore.size() ? countBefore[static_cast<std::size_t>(slot)] : 0;
    }
};

// Reads the epochs of one part of a complete store, [from, to) in bytes, by its own positioned reads, so that
// several parts can be read at once.
class StoreReader {
public:
    StoreReader(const EpochStore& store, long from, long to);
    // The next epoch of the part; false at its end. `observations` receives epoch.count entries (grown to hold
    // them).
    bool next(StoredEpoch& epoch, std::vector<StoredObservation>& observations);

private:
    bool fill(std::size_t bytes);

    int fd_ = -1;
    long next_ = 0, end_ = 0;  // file offsets: the next byte to read, the part's end
    std::vector<unsigned char> buffer_;
    std::size_t used_ = 0, at_ = 0;
};

// The epoch-ordered copy of the gather file's observations, in a temporary file, with each satellite's count
// and the time tags of its first and last observation.
class EpochStore {
public:
    EpochStore();  // an input error when the temporary file cannot be created
    ~EpochStore();
    EpochStore(const EpochStore&) = delete;
    EpochStore& operator=(const EpochStore&) = delete;

    // Appends an epoch and its observations (epoch.count of them, in increasing slot order, slots from 1).
    void add(const StoredEpoch& epoch, const StoredObservation* observations);
    // Reading from the first epoch on (writes are complete).
    void rewind();
    // The next epoch; false at the end. `observations` receives epoch.count entries.
    bool next(StoredEpoch& epoch, std::vector<StoredObservation>& observations);
    // After rewind: the store's places, one every 1024 epochs from the first; and its size in bytes.
    const std::vector<StorePlace>& places() const { return places_; }
    long size() const { return size_; }
    int descriptor() const { return fileno(file_); }
    // The scratch file the passes spill their results to, created on first use and kept with the store, so that
    // each pass writes over the last one's blocks instead of making new ones.
    std::FILE* spillFile();

    int count(int slot) const { return held(slot) ? count_[static_cast<std::size_t>(slot)] : 0; }
    double firstTime(int slot) const { return held(slot) ? first_[static_cast<std::size_t>(slot)] : 0.0; }
    double lastTime(int slot) const { return held(slot) ? last_[static_cast<std::size_t>(slot)] : 0.0; }
    long total() const { return total_; }
    // Whether every observation added weighs 1.
    bool unitWeights() const { return unitWeights_; }
    // Whether the gather file holds these observations too (evaluateAll writes it on its first need).
    bool gathered() const { return gathered_; }
    void setGathered() { gathered_ = true; }
    // With correlated weights, every epoch formed and its reference's share (empty otherwise).
    EpochWeighting weighting;

private:
    void flush();
    bool held(int slot) const { return slot >= 0 && static_cast<std::size_t>(slot) < count_.size(); }

    std::FILE* file_ = nullptr;
    std::vector<unsigned char> buffer_;
    std::size_t used_ = 0;
    long size_ = 0;
    long epochs_ = 0;
    std::vector<StorePlace> places_;
    std::unique_ptr<StoreReader> reader_;  // while reading
    std::FILE* spill_ = nullptr;
    std::vector<int> count_;  // by slot, grown as slots come
    std::vector<double> first_;
    std::vector<double> last_;
    long total_ = 0;
    bool unitWeights_ = true;
    bool gathered_ = false;
};

// Where point 2's elevations are wanted: the latitude and longitude (rad) of its L1 phase centre; with
// `partials` the partials are computed too.
struct ElevationSite : Geodetic {
    bool partials = false;
};

// What an epoch-ordered pass keeps of each result for the hand-over in gather order.
enum class Kept {
    partials,   // the iterations: v and the three partials
    elevations, // the results: v, t1, reference and elevation
    residuals,  // the results when their lines are written by the parts: v alone
    everything, // the results with partials: v, t1, reference, elevation and the three partials
};

// The results of one epoch-ordered pass in a scratch file, in each satellite's region, read back in gather
// order. A record holds what `Kept` says, followed by the weight unless every observation weighs 1.
class EvaluationSpill {
public:
    // In the store's spill file; an input error when it cannot be created.
    EvaluationSpill(EpochStore& store, int satCount, Kept kept);
    EvaluationSpill(const EvaluationSpill&) = delete;
    EvaluationSpill& operator=(const EvaluationSpill&) = delete;
    // Hands every result over in gather order (every writer finished).
    void replay(const std::function<void(const Evaluated&)>& use);

private:
    friend class SpillWriter;
    static constexpr std::size_t kPerSlot = 256;
    std::FILE* file_ = nullptr;
    int satCount_ = 0;
    Kept kept_ = Kept::partials;
    bool weights_ = false;
    std::size_t doubles_ = 4;
    std::vector<long> regionStart_;  // first record of each region; [satCount + 1] the end
};

// Writes the results of one part of a pass into their places in the spill; `before` counts each slot's results
// that the parts before it hold. Writers of different parts may run at once.
class SpillWriter {
public:
    SpillWriter(EvaluationSpill& spill, const StorePlace& place);
    // Returns the result's place in gather order: the number of results before it there.
    long put(const Evaluated& e);
    void finish();  // writes what is buffered

private:
    void flush(int slot);

    EvaluationSpill& spill_;
    std::vector<double> buffers_;
    std::vector<int> filled_;
    std::vector<long> next_;  // next record of each region
};

// Writes `bytes` bytes at `offset` of the file `fd`, in as many calls as it takes (several writers may write
// different places of one file at once). False, with errno set, when the system cannot write them.
bool writeAt(int fd, const void* data, std::size_t bytes, long long offset);

// An output that the parts of an epoch-ordered pass write at once, each result at its place in gather order,
// instead of through the hand-over in gather order.
class PlacedWriter {
public:
    virtual ~PlacedWriter() = default;
    virtual void put(const Evaluated& e, long place) = 0;
    virtual void finish() = 0;  // writes what is buffered
};

struct PlacedOutput {
    std::function<std::unique_ptr<PlacedWriter>()> writer;  // a writer for each part
    // Takes back what the parts wrote, when the pass is then evaluated one by one after all.
    std::function<void()> discard;
    // Receives in gather order the slot, the residual and the weight of each result the parts wrote.
    std::function<void(const Evaluated&)> use;
};

// Evaluates every observation record of the gather file at the current position of point 2 and hands each to
// `use`, in gather order. With a store (made by formobInto, which then leaves the gather file unwritten) the
// epoch-ordered evaluation is used; without one, or when it meets an observation that would stop the run, the
// observations are evaluated one by one from the gather file (first written from the store when it has not been)
// with getrs, comdtr, comrng and (with a site) comrg2, which raise the stops.
// No reference for an observation: with `listNoReference` the listing line "slot epochTime1 epochTime2"; then
// stop `noReferenceStop`. With a site the elevations are computed and the partials are not (unless the site asks
// for them too); without one, the reverse. The table's lookup cursor ends where the one-by-one evaluation leaves it.
// With `placed` (and a site), an epoch-ordered pass hands its results to the parts' writers and `placed->use`
// instead of `use`; a pass evaluated one by one hands them to `use` as without.
void evaluateAll(GatherFile& gather, EpochStore* store, const RunModels& run, const OrbitSource& orbit,
                 const StationPair& pair, int satCount, const ElevationSite* site, bool listNoReference,
                 int noReferenceStop, const std::function<void(const Evaluated&)>& use,
                 const PlacedOutput* placed = nullptr);

// Writes the gather file (empty until now) from the store: each satellite's block, its observations in epoch
// order, as formob writes them, except the satellite's own pseudoranges (not kept in the store; written as 0),
// which the one-by-one evaluation does not use.
void gatherFromStore(EpochStore& store, int satCount, GatherFile& gather);

// formob, with the epoch-ordered copy written into `store` when one is given; the gather file is then not
// written (evaluateAll writes it from the store when it needs it).
void formobInto(const RunModels& run, const OrbitSource& orbit, StationPair& pair, int satCount,
                const AdjustInputs& inputs, GatherFile& gather, EpochStore* store, double& rms);
// comrms over `store` when one is given; with `solution` its inverse normal matrix and count are put there.
void comrmsFrom(GatherFile& gather, EpochStore* store, const RunModels& run, const OrbitSource& orbit,
                StationPair& pair, double threshold, double& sigma, int satCount, AdjustObserver* observer,
                AdjustSolution* solution = nullptr);
// post over `store` when one is given.
PostFitFigures postFrom(GatherFile& gather, EpochStore* store, const RunModels& run, const OrbitSource& orbit,
                        const StationPair& pair, int satCount, double threshold, std::FILE* residualFile,
                        AdjustObserver* observer);

}  // namespace varno::adjust_internal
