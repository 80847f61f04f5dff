// Point 2 epoch by epoch: the double differences of one epoch, a solution of point 2 from each epoch alone (a
// receiver that moves), solutions over short windows, and the check that a point taken as static stood still.
// Nothing here writes to the listing; the track files are written whole or not at all.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "adjust/adjust.h"
#include "orbit/orbit.h"
#include "results/results.h"
#include "rinex/rinex.h"
#include "station/station.h"

namespace varno {

// ---------------------------------------------------------------------------------------------------------------
// One epoch's equations.

// One double difference (satellite `slot` minus the epoch's reference satellite, point 2 minus point 1).
struct EpochDifference {
    int slot = 0;
    double misclosure = 0;             // observed minus computed at the linearisation point, m
    std::array<double, 3> partials{};  // of the computed double difference by point 2's L1 X, Y, Z
    // Variance of this satellite's share (its two pseudoranges), in units where a double difference of four
    // equal pseudoranges has variance 1: 0.5 without elevation weights.
    double variance = 0.5;
    std::array<double, 3> lineOfSight{};  // unit vector from point 2 towards the satellite (for PDOP)
};

struct KinematicEquations {
    int referenceSlot = 0;
    double referenceVariance = 0.5;  // the reference satellite's share, shared by every double difference
    std::array<double, 3> referenceLineOfSight{};
    std::vector<EpochDifference> differences;
};

// The double differences of one epoch (both receivers' records at nominal time t) with point 2's L1 phase centre
// at `point2L1` and point 1 as `pair` holds it: the reference satellite from the table (looked up with the
// caller's `cursor`), the receivers' clock offsets from the reference's pseudoranges, the same ranges, mask,
// weights and troposphere as the static adjustment. Satellites whose orbit does not answer are left out.
// False (no equations) when the reference satellite is not seen by both receivers, is masked or has no orbit.
// Never stops and writes nothing.
bool formEpochEquations(double t, const EpochRecord& rec1, const EpochRecord& rec2, int satCount, const RunModels& run,
                        const OrbitSource& orbit, const StationPair& pair, const std::array<double, 3>& point2L1,
                        const ObservationModel& model, int& cursor, KinematicEquations& equations);

// Adds one epoch's double differences to normal equations in X, Y, Z with their full covariance (each pair of
// double differences shares the reference satellite's share): N += AᵀC⁻¹A, rhs += AᵀC⁻¹l, sumSquares += lᵀC⁻¹l.
// The matrix is filled whole (no nrmsym needed).
void addEpoch(const KinematicEquations& equations, NormalEquations& normal);

// ---------------------------------------------------------------------------------------------------------------
// Solutions of point 2.

enum class EpochStatus { solved, tooFewSatellites, rejected };
// "solved", "too few satellites", "rejected by a residual test".
const char* statusText(EpochStatus status);

// One epoch's solution of point 2's marker.
struct EpochSolution {
    double t = 0;                        // nominal time, jts
    EpochStatus status = EpochStatus::tooFewSatellites;
    std::array<double, 3> marker{};      // earth-centred, m (meaningful when solved)
    std::array<double, 9> cofactor{};    // (AᵀPA)⁻¹, 3 × 3 column-major, m² per unit variance
    int satellites = 0;                  // the reference included
    int differences = 0;
    double pdop = 0;                     // of the undifferenced geometry; 0 with fewer than four satellites
    double rms = 0;                      // sqrt(vᵀC⁻¹v / n) of the epoch's residuals, m
    double sumSquares = 0;               // vᵀC⁻¹v, m²
};

// Iterates one epoch's least squares (double differences weighted by their full covariance) from `start` (L1 phase centre) to convergence (a step below 0.1 mm, at most
// 10 forms): the solution, its cofactor matrix and residuals. Fewer than three double differences: too few
// satellites; no convergence, or residuals that fail the test (rms against an a priori 3 m double-difference
// sigma at 99.9 %): rejected. `residuals` receives (slot, residual) of the final form when solved.
// `point2L1` receives the converged L1 position (unchanged unless solved).
EpochSolution solveEpoch(double t, const EpochRecord& rec1, const EpochRecord& rec2, int satCount, const RunModels& run,
                         const OrbitSource& orbit, const StationPair& pair, const ObservationModel& model, int& cursor,
                         std::array<double, 3>& point2L1, std::vector<std::pair<int, double>>& residuals,
                         int& referenceSlot);

// ---------------------------------------------------------------------------------------------------------------
// The check that point 2 stood still (its figures, StaticCheck, are part of the run's summary).

// Everything the pass gives.
struct KinematicResult {
    int jd0 = 0;  // the reference day its times count from
    std::vector<EpochSolution> epochs;
    StaticCheck check;
    double sigma0 = 0;  // pooled double-difference rms of the solved epochs (scales the epoch sigmas), m
};

struct KinematicInputs {
    TextFile* obs1 = nullptr;
    TextFile* obs2 = nullptr;
    const ObsFileSummary* summary1 = nullptr;
    const ObsFileSummary* summary2 = nullptr;
    double dataStart = 0, dataEnd = 0, interval = 0;
    ObservationModel model;
    bool keepEpochs = true;  // false: the result's `epochs` stays empty (no track file asked for; memory stays flat)
};

// One more pass over both observation files after the static adjustment (`pair` holds its final point 2): every
// epoch solved alone, each linearised at the previous epoch's solution (the static one for the first), and the
// windows solved at the static solution for the static check. Whatever reading writes is dropped (the static
// pass wrote it already). Read errors stop as in the static pass.
KinematicResult kinematicPass(const RunModels& run, const OrbitSource& orbit, const StationPair& pair, int satCount,
                              const KinematicInputs& inputs);

// The test of the windows (exposed for tests): per window the solution's departure d from the static position
// and its normal matrix N; statistic dᵀ(σ0²·F·N⁻¹ + f²·I)⁻¹d against the χ²(3) value of 0.001 / windows, where
// f is 10 ppm of the baseline length (m) for the errors differencing leaves; only departures of at least 1 m count. `residualSeries` are the epoch solutions' residuals per satellite pair in
// epoch order (not-a-number where missing).
struct WindowSolution {
    double start = 0, end = 0;  // jts
    int epochs = 0;
    std::array<double, 3> departure{};  // earth-centred, m
    std::array<double, 9> normal{};     // 3 × 3 column-major
};
StaticCheck staticCheck(const std::vector<WindowSolution>& windows, int epochsPerWindow, double interval,
                        double sigma0, const std::vector<std::vector<float>>& residualSeries,
                        const std::array<double, 3>& staticMarker, double baselineLength);
// Variance inflation of the mean of n samples with autocorrelations rho[k] (rho[0] = 1): 1 + 2Σ(1 − k/n)ρk, the
// sum ending at the first lag whose correlation is not positive; at least the AR(1) value of rho[1], at least 1.
double correlationFactor(const std::vector<double>& rho, int n);
// The value x with P(χ²(3) > x) = alpha (0 < alpha < 1).
double chiSquare3Quantile(double alpha);

// The lines of a failed check: the listing's warning line and the one line for standard error, each naming the
// largest window departure and when it happened.
std::string staticCheckListingLine(const StaticCheck& check);
std::string staticCheckWarning(const StaticCheck& check);
// The warning when the check could not be made (too few windows), for a run that requires it.
std::string staticCheckNotDoneWarning(const StaticCheck& check);

// ---------------------------------------------------------------------------------------------------------------
// Track files. `apriori` is point 2's a priori marker (north, east, up are taken from it).

// CSV with a header row: time, x_m, y_m, z_m, latitude_deg, longitude_deg, height_m, north_m, east_m, up_m,
// sigma_north_m, sigma_east_m, sigma_up_m, satellites, double_differences, pdop, rms_m, status.
std::string trackCsv(const KinematicResult& result, const std::array<double, 3>& apriori);
// GeoJSON (RFC 7946) FeatureCollection: a LineString of the solved epochs, then a Point feature per solved epoch
// with the CSV's figures as properties. Longitude, latitude, height in that order, degrees to 9 decimals.
std::string trackGeoJson(const KinematicResult& result, const std::array<double, 3>& apriori);
// SVG: north against east (from the a priori point, one scale), and ellipsoidal height against time, of the
// solved epochs.
std::string trackSvg(const KinematicResult& result, const std::array<double, 3>& apriori, const std::string& title);

}  // namespace varno
