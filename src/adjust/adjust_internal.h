// Pieces shared by the files of the adjustment; not part of its interface.
#pragma once

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "adjust/adjust.h"
#include "forming/forming.h"
#include "rinex/rinex.h"
#include "runfiles/runfiles.h"
#include "station/station.h"

namespace varno::adjust_internal {

// The scatter file of slot k: scrnam's name for the first 35 slots, "ZZ-<k>" beyond.
std::string scatterFileName(int k);

// One satellite's scatter file: a named binary file of ScatterRecords (12 doubles each, or the last 6) in the
// scratch directory, created by open and removed by close. The destructor closes and removes it, so a stop or an error
// unwinding through its owner leaves nothing behind, and a signal's handler removes it too. write and read do not
// allocate.
class ScatterFile {
public:
    ScatterFile() = default;
    ~ScatterFile();
    ScatterFile(const ScatterFile&) = delete;
    ScatterFile& operator=(const ScatterFile&) = delete;

    // Creates the file `name` in `directory`; an input error when it cannot be created, or when a file of that
    // name exists already (that file is left as it is). With `equationsOnly` a record keeps only what the
    // solution reads (both double differences, the partials and the weight); the other fields read back as 0.
    void open(const std::string& directory, const std::string& name, bool equationsOnly = false);
    void write(const ScatterRecord& record);  // an input error when the system cannot write it
    void rewind();                            // after the last write: the records can now be read back
    bool read(ScatterRecord& record);         // false at the end
    void close();                             // closes and removes the file (no effect when not open)
    bool isOpen() const { return file_ != nullptr; }

private:
    std::FILE* file_ = nullptr;
    std::string path_;
    bool equationsOnly_ = false;
    RemoveOnSignal guard_;
};

// The clock offsets and ranges of an epoch worked out ahead on a thread of its own: where they fail (they never
// write or stop), the forming computes them and meets the failure.
using EpochRanges = KnownRanges;

// One epoch and system of a block for RangesAhead: the system's reference satellite and both receivers' records (not
// owned); the ranges of that system's satellites are worked out.
struct RangesJob {
    int reference = 0;
    const EpochRecord* rec1 = nullptr;
    const EpochRecord* rec2 = nullptr;
};

// A block of epochs at a time: begin hands it over, take waits for its ranges (one for each job, in order).
class RangesAhead {
public:
    RangesAhead(const RunModels& run, const OrbitSource& orbit, const StationPair& pair, int satCount);
    ~RangesAhead();  // waits for the thread
    RangesAhead(const RangesAhead&) = delete;
    RangesAhead& operator=(const RangesAhead&) = delete;
    // Starts on the jobs, whose records must stay as they are until take returns. One block at a time.
    void begin(const std::vector<RangesJob>& jobs);
    // Waits for the ranges of the block begun last and swaps them into `ranges`.
    void take(std::vector<EpochRanges>& ranges);

private:
    void work();

    const RunModels& run_;
    const OrbitSource& orbit_;
    const StationPair& pair_;
    int satCount_ = 0;
    std::vector<RangesJob> jobs_;
    std::vector<EpochRanges> ranges_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool pending_ = false, ready_ = false, stopping_ = false;
    std::thread thread_;
};

// One observation record of the gather file, with its fields named.
struct GatheredObservation {
    int slot = 0;
    double epochTime1 = 0, epochTime2 = 0;
    double refRange1 = 0, refRange2 = 0;
    double satRange1 = 0, satRange2 = 0;
    double ddObserved = 0;
    double weight = 1;  // of the double difference: 1 unless elevation weights are on
};

// Reads on to the next observation record (slot 1..satCount), passing over the start and end records of the
// satellite blocks. False at the end of the file.
bool nextObservation(GatherFile& gather, int satCount, GatheredObservation& observation);

// Completes and solves the normal equations of m observations, writes the "max shift = " line and moves
// p2Marker and p2L1 by the solution; rms receives the rms of the fit. When the equations cannot be solved (a zero
// pivot, a solution that is not finite, or a sum of squares below that of the solution) writes
// "normal equations singular -- fatal termination" and stops 87855. Requires m >= 1.
void solveAndMove(NormalEquations& equations, int m, StationPair& pair, double& rms);

}  // namespace varno::adjust_internal
