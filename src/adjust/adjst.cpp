// The adjustment of point 2 from start to end: observation forming and the first solution, four trimmed
// iterations, and the results with the residual file.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "adjust/adjust.h"
#include "adjust/evaluation.h"
#include "textio/textio.h"

namespace varno {

namespace {

constexpr int kIterations = 4;
// Observations whose residual lies within this many times the previous rms enter the next solution.
constexpr double kThresholdFactor = 2.5;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

AdjustSolution adjst(const RunModels& run, const OrbitSource& orbit, StationPair& pair, int satCount,
                     const AdjustInputs& inputs) {
    GatherFile gather(inputs.scratchDirectory);
    adjust_internal::EpochStore store;
    AdjustSolution solution;
    adjust_internal::formobInto(run, orbit, pair, satCount, inputs, gather, &store, solution.rms);

    for (int i = 1; i <= kIterations; ++i) {
        writeProgress(freeLine(" iteration -- ", i));
        const double threshold = kThresholdFactor * solution.rms;
        adjust_internal::comrmsFrom(gather, &store, run, orbit, pair, threshold, solution.rms, satCount,
                                    inputs.observer, &solution);
    }

    solution.threshold = kThresholdFactor * solution.rms;
    if (inputs.residualFile != nullptr) {
        solution.postFit = adjust_internal::postFrom(gather, &store, run, orbit, pair, satCount, solution.threshold,
                                                     inputs.residualFile, inputs.observer);
        return solution;
    }
    // Closed on every way out, so whatever was written reaches the file even when a stop ends the run here.
    std::unique_ptr<std::FILE, FileCloser> residualFile(std::fopen(inputs.residualPath.c_str(), "w"));
    if (!residualFile) {
        throw InputError("cannot create " + inputs.residualPath + ": " + std::strerror(errno));
    }
    solution.postFit = adjust_internal::postFrom(gather, &store, run, orbit, pair, satCount, solution.threshold,
                                                 residualFile.get(), inputs.observer);
    if (std::fclose(residualFile.release()) != 0) {
        throw InputError("cannot write " + inputs.residualPath + ": " + std::strerror(errno));
    }
    return solution;
}

}  // namespace varno
