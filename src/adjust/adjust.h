// Least-squares adjustment of point 2: observation forming through scatter and gather files, normal equations,
// the trimmed iterations and the post-fit report with the residual file.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "forming/forming.h"
#include "models/models.h"
#include "orbit/orbit.h"
#include "rinex/rinex.h"
#include "station/station.h"

namespace varno {

// ---------------------------------------------------------------------------------------------------------------
// Normal equations and matrix utilities. Matrices are dense and column-major: element (i, j), 1-based, of a
// matrix with leading dimension L is m[(j − 1)·L + (i − 1)]. Nothing here allocates, checks bounds or stops.

struct NormalEquations {
    std::array<double, 9> matrix{};  // 3 × 3, upper triangle accumulated
    std::array<double, 3> rhs{};
    double sumSquares = 0.0;
};

// Clears the upper triangle (with diagonal) of the n × n matrix, the right-hand side and sumSquares.
void nrmclr(double* matrix, double* rhs, double& sumSquares, int n);
// Adds the equation Σ a(i)·x(k(i)) = l with weight w (m coefficients, indices k increasing, leading dimension ld).
void nrmal2(double* matrix, double* rhs, const double* a, double l, double w, double& sumSquares, const int* k,
            int m, int ld);
// Copies the upper triangle into the lower one.
void nrmsym(double* matrix, int n);
// Gauss–Jordan inversion in place, pivoting on the diagonal in order, no exchanges. Returns false (matrix then
// undefined) when a pivot is zero.
bool invert(double* matrix, int n);
// D = A · B, A nr × nk, B nk × nc, D nr × nc (each with its row count as leading dimension).
void ab(const double* a, const double* b, double* d, int nr, int nk, int nc);
// r = Σ v(i)², 0 for n <= 0.
void innerp(const double* v, int n, double& r);
// Print utilities for the listing (no step of the run calls them).
void writev(const double* v, int n);
void writem(const double* matrix, int rows, int columns);

// ---------------------------------------------------------------------------------------------------------------
// Scatter and gather records.

// One observation equation of one satellite at one epoch (its satellite's scatter file).
struct ScatterRecord {
    double epochTime1 = 0, epochTime2 = 0;  // the two receivers' epoch times, jts
    double refRange1 = 0, refRange2 = 0;    // reference satellite's pseudoranges, m
    double satRange1 = 0, satRange2 = 0;    // this satellite's pseudoranges, m
    double ddObserved = 0;                  // observed double difference, m
    double ddComputed = 0;                  // computed double difference at the a priori position, m
    std::array<double, 3> partials{};       // derivative of the double difference by point 2's X, Y, Z
    double weight = 1;                      // of the equation: 1 unless elevation weights are on
};

// A record of the gather file: slot 1..n an observation (first seven fields of its ScatterRecord, then its weight),
// slot 0 the start and slot 99 the end of a satellite's block.
struct ScratchRecord {
    std::int32_t slot = 0;
    std::array<double, 11> values{};
};
inline constexpr std::int32_t kBlockStart = 0;
inline constexpr std::int32_t kBlockEnd = 99;

// Name of the scatter file of slot k: "ZZ-" + A..Z for 1..26, 0..8 for 27..35. Stop 98786 outside 1..35.
std::string scrnam(int k);

// The temporary gather file: unnamed, deleted when closed.
class GatherFile {
public:
    GatherFile();  // creates it in the system's temporary folder; an input error when the system cannot
    // Creates it in `directory` (the run's scratch directory); its name is removed as soon as it is open.
    explicit GatherFile(const std::string& directory);
    ~GatherFile();
    GatherFile(const GatherFile&) = delete;
    GatherFile& operator=(const GatherFile&) = delete;
    void write(const ScratchRecord& record);
    bool read(ScratchRecord& record);  // false at end
    void rewind();

private:
    std::FILE* file_ = nullptr;
};

// ---------------------------------------------------------------------------------------------------------------
// Figures of the adjustment beyond the listing, for the results of the run; they change nothing on the listing.

// One post-fit double difference as post computes it.
struct PostFitResidual {
    double epochTime = 0;          // point 1's time tag, jts seconds
    int slot = 0, referenceSlot = 0;
    SatId sat, reference;          // the satellites of those slots
    double elevation = 0;          // of satellite `sat` above point 2's horizon, degrees
    double residual = 0;           // computed minus observed at the final position, m
    bool used = false;             // within the final threshold, so counted in the post-fit rms
    double weight = 1;             // of the double difference: 1 unless elevation weights are on
    std::array<double, 3> partials{};  // by point 2's X, Y, Z at the final position, when the observer wants them
};

// With correlated weights: what the last solution's weights made of one epoch, for the covariance of the estimate.
// The epoch's double differences weigh C⁻¹ = D⁻¹ − D⁻¹11ᵀD⁻¹ / S (S = 1/s_r + Σ 1/s_i over those kept), so the
// weighted partials of double difference i are (a_i − meanPartials) / s_i, s_i = 1/w_i − referenceShare.
struct EpochWeights {
    double epochTime = 0;                  // point 1's time tag, jts seconds
    double referenceShare = 0;             // s_r
    std::array<double, 3> meanPartials{};  // Σ (a_i/s_i) / S
    double meanResidual = 0;               // Σ (v_i/s_i) / S of the post-fit residuals
};

// Told the figures as they arise; each call does nothing unless overridden.
class AdjustObserver {
public:
    virtual ~AdjustObserver() = default;
    // With correlated weights, after each trimmed iteration: its epochs' figures, in increasing time.
    virtual void epochWeights(const std::vector<EpochWeights>& epochs) { (void)epochs; }
    // From post, once per observation record, in gather order (by slot, then by epoch).
    virtual void residual(const PostFitResidual& residual) { (void)residual; }
    // Whether post is to compute the partials of each residual too (zero otherwise).
    virtual bool wantsPartials() const { return false; }
};

// The inputs of the observation pass.
struct AdjustInputs {
    TextFile* obs1 = nullptr;                // "point1.rnx"
    TextFile* obs2 = nullptr;                // "point2.rnx"
    const ObsFileSummary* summary1 = nullptr;
    const ObsFileSummary* summary2 = nullptr;
    double dataStart = 0, dataEnd = 0, interval = 0;  // common span and step, jts seconds
    std::string residualPath = "varno.res";  // opened by adjst when residualFile is null
    std::FILE* residualFile = nullptr;       // the residual file opened by the caller, who also closes it
    std::string scratchDirectory = ".";      // where the scatter files and the gather file live
    AdjustObserver* observer = nullptr;      // told the iterations' solutions and the post-fit residuals
    ObservationModel model;                  // optional mask and weights (default: neither)
};

// The post-fit figures: the observations within the final threshold and their rms, as the listing's
// "post-fit rms =" line gives them.
struct PostFitFigures {
    int count = 0;
    double rms = 0;  // m; 0 when count is 0
};

// What the adjustment solved besides point 2 itself (the StationPair it moved).
struct AdjustSolution {
    // Of the last trimmed iteration: the inverse of its normal matrix (3 × 3, column-major, unknowns X, Y, Z of
    // point 2; weighted when elevation weights are on; zero when it kept no observation), the number of
    // observations it kept and the rms of its fit (m; that of the one before when it kept none).
    std::array<double, 9> inverseNormal{};
    int count = 0;
    double rms = 0;
    double threshold = 0;  // of the post-fit figures: 2.5 times that rms, m
    PostFitFigures postFit;
};

// The whole adjustment: formob, four comrms iterations (console " iteration -- <i>"), then the residual file and
// post. Moves p2Marker and p2L1; returns the figures of the solution.
AdjustSolution adjst(const RunModels& run, const OrbitSource& orbit, StationPair& pair, int satCount,
                     const AdjustInputs& inputs);

// Forms every double-difference equation (one pass over both observation files), gathers them by slot into the
// gather file, solves once untrimmed and moves point 2. Returns the rms in `rms`. Stops 25551, 25552, 98786,
// 87854, 87855.
void formob(const RunModels& run, const OrbitSource& orbit, StationPair& pair, int satCount, const AdjustInputs& inputs,
            GatherFile& gather, double& rms);

// One trimmed iteration over the gather file: observations with |v| <= threshold solve, sigma receives the rms,
// point 2 moves; `solution`, when given, receives the iteration's inverse normal matrix and count. Stops 45397,
// 87855.
void comrms(GatherFile& gather, const RunModels& run, const OrbitSource& orbit, StationPair& pair, double threshold,
            double& sigma, int satCount, AdjustObserver* observer = nullptr, AdjustSolution* solution = nullptr);

// Results: adjusted point 2, its shift, the residual file (27 columns a line, in gather order), the per-satellite
// rms table and the post-fit rms, which it returns. Stops 25, 95397, 74358.
PostFitFigures post(GatherFile& gather, const RunModels& run, const OrbitSource& orbit, const StationPair& pair,
                    int satCount, double threshold, std::FILE* residualFile, AdjustObserver* observer = nullptr);

}  // namespace varno
