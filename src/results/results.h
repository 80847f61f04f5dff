// Results of a run beside the listing: the baseline with its formal precision, a machine-readable summary
// ("varno-summary/2" JSON), a short report, a residual plot (SVG) and the residuals as CSV. None of it changes
// the listing or the residual file.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "adjust/adjust.h"
#include "crs/crs.h"
#include "orbit/orbit.h"
#include "precision/precision.h"
#include "runfiles/runfiles.h"
#include "separation/separation.h"
#include "station/station.h"

namespace varno {

inline constexpr const char* kSummarySchema = "varno-summary/2";
// What the formal precision assumes, stated wherever it is given: `weighted` when the adjustment weighted the
// double differences (elevation weights), `correlatedWeights` when it weighted each epoch's by their covariance.
std::string precisionAssumption(bool weighted, bool correlatedWeights = false);
// The same for the precision under correlated errors (the model of precision/precision.h).
std::string correlatedAssumption(bool weighted, bool correlatedWeights = false);
// What the precision leaves out when the run had no troposphere model (one line, no end).
inline constexpr const char* kNoTroposphereNote =
    "no troposphere model was used: the sigmas cannot cover the tropospheric delay left out";

// ---------------------------------------------------------------------------------------------------------------
// Formal precision of point 2 (so of the baseline, point 1 being held fixed).
struct FormalPrecision {
    bool available = false;      // false with fewer than 4 observations used or no solution of the last iteration
    int observations = 0;        // n, observations used (within the final threshold)
    int degreesOfFreedom = 0;    // n − 3
    bool weighted = false;       // the double differences carried weights other than 1
    bool correlatedWeights = false;  // each epoch's double differences weighted by their covariance
    double sumSquares = 0;       // vᵀPv of the used post-fit residuals (P = 1 without weights), m²
    double sigma0 = 0;           // sqrt(vᵀv / (n − 3)), m
    std::array<double, 9> covarianceXyz{};  // σ0²·N⁻¹, m², 3 × 3 column-major
    std::array<double, 9> covarianceNeu{};  // rotated to north, east, up at point 2, m²
    std::array<double, 3> sigmaXyz{};       // m
    std::array<double, 3> sigmaNeu{};       // m
    double sigmaLength = 0;                 // of the baseline length, m (not a number for a zero baseline)
    // The σ of the isotropic error with the same 95 % radius, horizontally and in space (m): 2.45 and 2.80 times
    // them are the 95 % radii (√(mean variance) when the variances are equal, larger otherwise).
    double sigmaHorizontal = 0;
    double sigmaThreeD = 0;
};

// σ0² = sumSquares / (count − 3), covariance σ0²·inverseNormal (symmetrised), rotated with the local frame at
// (latitude, longitude) of point 2 (radians); the length's sigma along `baseline` (point 2 − point 1, m).
// Not available (all zero) when count < 4 or the inverse is zero.
FormalPrecision formalPrecision(const std::array<double, 9>& inverseNormal, double sumSquares, int count,
                                double latitude, double longitude, const std::array<double, 3>& baseline);
// `white` with its covariance replaced by `covarianceXyz` (m², symmetrised) and every figure derived from it.
FormalPrecision withCovariance(const FormalPrecision& white, const std::array<double, 9>& covarianceXyz,
                               double latitude, double longitude, const std::array<double, 3>& baseline);

// How the correlated errors came out (see precision/precision.h).
struct ErrorCorrelation {
    bool available = false;          // the precision holds the covariance under correlated errors
    CorrelationEstimate estimate;
    double effectiveObservations = 0;
};

// The share of the precision from the errors that grow with the baseline (see separation/separation.h).
struct BaselineTerm {
    bool available = false;             // the precision holds it
    double ppm = 0;                     // k, mm of vertical delay per km
    double length = 0;                  // L, m
    double shellHeight = 0;             // m
    int passes = 0;                     // satellite passes
    std::array<double, 3> sigmaNeu{};   // its own σ north, east, up, m
};
// What the term covers (one line, no end).
inline constexpr const char* kBaselineTermNote =
    "includes the errors that grow with the baseline (differential ionosphere, orbit): a vertical delay of k ppm "
    "of the baseline mapped to each elevation, half of its variance common to all satellites over 2 h, half per "
    "satellite pass";

// ---------------------------------------------------------------------------------------------------------------
// The summary of one run.
struct SatelliteTally {
    SatId sat;
    int formed = 0;                // double differences formed with this satellite (not as reference)
    int used = 0;                  // of them within the final threshold
    double sumSquaresUsed = 0;     // Σ w·v² of the used, m²
    double sumSquaresAll = 0;      // Σ w·v² of all, m²
};

// The check that point 2 stood still: window solutions of point 2 against the static solution.
struct StaticCheck {
    int jd0 = 0;                  // the reference day its times count from
    bool done = false;            // false: too few windows to judge (passed then stays true)
    bool passed = true;
    double windowSeconds = 0;     // window length
    int windows = 0;              // windows with a solution
    double sigma0 = 0;            // double-difference rms of the epoch solutions, m
    double correlationFactor = 1;  // variance inflation of a window mean from the residuals' autocorrelation
    double correlationTime = 0;   // s, from the lag-one autocorrelation
    double critical = 0;          // χ²(3) value a window's statistic must not exceed
    double largestStatistic = 0;  // the largest window statistic
    double largestDeparture = 0;  // 3-D departure of that window from the static solution, m
    std::array<double, 3> largestNeu{};  // the same in north, east, up, m
    double largestStart = 0, largestEnd = 0;  // that window, jts
    bool largestIsChange = false;  // the largest is a step: the windows from largestStart against those before
};

struct RunSummary {
    int jd0 = 0;  // the reference day its times count from
    bool letteredNames = false;  // satellites named by id ("E12"), as a run of any systems but GPS alone names them
    std::string point1Id, point2Id;
    double spanStart = 0, spanEnd = 0, interval = 0;    // common span and step, jts seconds
    std::array<double, 3> point1{}, point2{}, point2Apriori{};  // markers, earth-centred, m
    double latitude2 = 0, longitude2 = 0, height2 = 0;  // point 2 marker, radians and m
    std::array<double, 3> baselineXyz{};                // point 2 − point 1, m
    std::array<double, 3> baselineNeu{};                // the same in north, east, up at point 1, m
    double baselineLength = 0;                          // m
    FormalPrecision precision;    // under correlated errors when correlation.available, else = whiteNoise
    FormalPrecision whiteNoise;   // σ0²·N⁻¹, the errors taken as white and uncorrelated
    ErrorCorrelation correlation;
    BaselineTerm baselineTerm;    // added to `precision` when available
    bool troposphere = false;     // the run modelled the troposphere
    int formed = 0, used = 0;
    double postFitRms = 0;                              // of the used residuals, m (as the listing gives it)
    std::vector<SatelliteTally> satellites;             // every satellite that formed one, increasing
    int pdopEpochs = 0;                                 // epochs used with at least four satellites
    double meanPdop = 0;                                // over those epochs (0 when there is none)
    StaticCheck staticCheck;                            // written when done
    std::optional<crs::ProjectedPoint> projected;       // point 2 in the system the run names, sigmas from
                                                        // `precision` (zero when it is not available)
};

// "YYYY-MM-DDThh:mm:ss.sss" (or with a blank for the T) of a jts time (seconds since 0h of reference day jd0),
// rounded to the millisecond.
std::string calendarText(int jd0, double t, char separator = 'T');

// The summary as JSON of schema "varno-summary/2", pretty-printed, ending in a newline.
std::string summaryJson(const RunSummary& summary);

// The observations (as the satellite of a double difference) and satellites of one system, summed over its tallies.
struct SystemTally {
    GnssSystem system = GnssSystem::gps;
    int formed = 0, used = 0, satellites = 0;
};
// One entry per system with at least one satellite in `satellites`, in the order of allSystems().
std::vector<SystemTally> systemTallies(const std::vector<SatelliteTally>& satellites);
// A short human-readable block of the same figures.
std::string reportText(const RunSummary& summary);

// ---------------------------------------------------------------------------------------------------------------
// Residual plot: post-fit residual against time (one colour per PRN, trimmed observations marked) and against
// elevation. Residuals are binned as they come (per PRN, a few hundred bins of time and of elevation, each
// keeping its extremes, mean and spread), so memory and the size of the picture do not grow with the span.
class ResidualPlot {
public:
    // Times of reference day jd0; satellites named by id ("E12") and coloured by system when `letteredNames`.
    ResidualPlot(int jd0, double spanStart, double spanEnd, bool letteredNames = false);
    void add(const PostFitResidual& residual);
    // The standalone SVG document.
    std::string svg(const std::string& title) const;

private:
    struct Bin {
        float usedMin = 0, usedMax = 0, rejectedMin = 0, rejectedMax = 0;
        std::uint32_t usedCount = 0, rejectedCount = 0;
        double usedSum = 0, usedSumSquares = 0;
    };
    struct Series {
        SatId sat;
        std::vector<Bin> time, elevation;
    };
    Series& series(SatId sat);
    int jd0_;
    double spanStart_, spanEnd_;
    bool lettered_;
    std::vector<Series> series_;  // increasing satellite
};

// ---------------------------------------------------------------------------------------------------------------
// What the run asks for. Empty paths: not written. "-" for the summary: standard output.
struct ResultsRequest {
    std::string summaryPath;
    bool report = false;
    std::string plotPath;
    std::string residualsCsvPath;
    bool troposphere = false;  // the run models the troposphere
    ObservationModel model;    // the run's weights
    bool any() const { return report || !summaryPath.empty() || !plotPath.empty() || !residualsCsvPath.empty(); }
};

// Collects the figures while the adjustment runs (the residual CSV is written as the residuals come), then
// forms the summary and writes what was asked for.
class ResultsRecorder : public AdjustObserver {
public:
    // The common span and step in jts seconds of reference day jd0; the run's satellites are `sats`, in slots
    // 1..satCount.
    ResultsRecorder(ResultsRequest request, const SatIndex& sats, int jd0, double spanStart, double spanEnd,
                    double interval, int satCount);
    ~ResultsRecorder() override;

    void epochWeights(const std::vector<EpochWeights>& epochs) override { epochWeights_ = epochs; }
    void residual(const PostFitResidual& residual) override;
    bool wantsPartials() const override { return covariance_ != nullptr; }

    // After the adjustment: the summary at the final `pair`, its formal precision from the last iteration of
    // `adjustment`, with PDOP from `orbit`.
    RunSummary summarise(const StationPair& pair, const AdjustSolution& adjustment,
                         const std::array<double, 3>& point2Apriori, const OrbitSource& orbit,
                         const std::string& point1Id, const std::string& point2Id) const;
    // Writes every output asked for (report and "-" summary to `out`), each file put in place whole.
    void finish(const RunSummary& summary, std::ostream& out);

private:
    double meanPdop(const StationPair& pair, const OrbitSource& orbit, int& epochs) const;

    ResultsRequest request_;
    const SatIndex& sats_;
    int jd0_;
    double spanStart_, spanEnd_, interval_;
    std::vector<EpochWeights> epochWeights_;  // the last iteration's, with correlated weights
    std::vector<SatelliteTally> tallies_;        // indexed by SatId::key()
    bool weighted_ = false;
    // Per epoch of the span, `slotWords_` words: the slots of the used double differences, a bit each.
    std::vector<std::uint64_t> epochSlots_;
    std::size_t slotWords_ = 1;
    std::unique_ptr<CovarianceAccumulator> covariance_;  // with a summary or a report
    std::unique_ptr<SeparationAccumulator> separation_;  // the same
    std::unique_ptr<ResidualPlot> plot_;
    std::unique_ptr<OutputFile> csv_;
    std::string csvBuffer_;
};

}  // namespace varno
