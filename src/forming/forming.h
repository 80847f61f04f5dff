// The equations of one epoch: from both receivers' records of an epoch and the run's models, the epoch's double
// differences of pseudoranges against a reference satellite, with their computed values, partials, elevations
// and weights. The static adjustment forms every epoch through it; a per-epoch solver or a network calls it the
// same way and gets the same doubles.
#pragma once

#include <array>
#include <vector>

#include "gnss/gnss.h"
#include "models/models.h"
#include "orbit/orbit.h"
#include "rinex/rinex.h"
#include "station/station.h"
#include "timebase/timebase.h"

namespace varno {

// Optional choices of the observation model. With the defaults every observation is formed and all weigh 1, and
// the results are those of the plain model to the last bit.
struct ObservationModel {
    // Degrees; a double difference is formed only when its satellite and the reference satellite stand at or above
    // it at both receivers. Below -90: no mask.
    double elevationMask = -91.0;
    // Each double difference weighs sigmaZenith² / σ²(DD), where σ²(DD) is the sum over its four undifferenced
    // pseudoranges of σa² + σb² / sin² e, and sigmaZenith² that sum with every satellite at the zenith; residuals
    // are then compared, trimmed and summed as sqrt(weight) · v.
    bool elevationWeights = false;
    double sigmaA = 0.3;  // m, elevation-independent part
    double sigmaB = 0.3;  // m, part growing as 1 / sin e
    // With elevation weights: the double differences of an epoch weighted by the inverse of their covariance
    // (they share the reference satellite's single difference), as generalised least squares.
    bool correlatedWeights = false;
    bool needsElevations() const { return elevationMask >= -90.0 || elevationWeights; }
};

// The variance of one satellite's single difference seen at elevations e1 and e2 (degrees) from the two points,
// in units of a double difference of four pseudoranges at the zenith: a double difference weighs 1 / (s_i + s_r).
double singleDifferenceShare(const ObservationModel& model, double elevation1, double elevation2);

// What forming an epoch reads of the run: the orbit, the run's models (its satellites, reference day and met
// values, whose troposphere switch applies), both points (L1 phase centres, earth-fixed and geodetic) and the
// observation model.
struct EpochModels {
    const OrbitSource* orbit = nullptr;
    const RunModels* run = nullptr;
    const StationPair* pair = nullptr;
    Geodetic site1, site2;  // of pair->p1L1 and pair->p2L1
    ObservationModel model;
};

// Clock offsets and ranges of an epoch worked out beforehand (on another thread) with receiverClock and
// signalPaths: the doubles comdtr and comrng give. Used only where `valid` and for the same reference.
struct KnownRanges {
    bool valid = false;  // the reference's offsets and ranges are here
    int reference = 0;
    double dt1 = 0, dt2 = 0, rho1r = 0, rho2r = 0;
    std::array<double, 3> ur{};
    std::vector<char> have;  // [slot]: the satellite's ranges are here (a slot beyond the size: not here)
    std::vector<double> rho1, rho2;
    std::vector<std::array<double, 3>> u;
    // Nothing known, with room for slots 1..satCount (the arrays keep their storage).
    void reset(int satCount);
};

// One double difference: satellite `slot` minus the reference, point 2 minus point 1.
struct DoubleDifference {
    int slot = 0;
    SatId sat;
    double range1 = 0, range2 = 0;      // the satellite's pseudoranges, troposphere-corrected, m
    double observed = 0, computed = 0;  // m; computed at the current point 2
    std::array<double, 3> partials{};   // d computed / d point 2's X, Y, Z
    double weight = 1;                  // 1 unless elevation weights are on
    double elevation1 = 0, elevation2 = 0;  // of the satellite, degrees (0 unless the model needs elevations)
    double rho1 = 0;                    // computed range at point 1, m
};

// The equations of one epoch.
struct EpochEquations {
    double t1 = 0, t2 = 0;                  // the receivers' time tags
    int referenceSlot = 0;
    SatId reference;
    double refRange1 = 0, refRange2 = 0;    // the reference's pseudoranges, troposphere-corrected
    double refRange1AsRead = 0;             // point 1's, before the correction
    double rho1Ref = 0, rho2Ref = 0;        // computed ranges of the reference
    double refElevation1 = 0, refElevation2 = 0;  // degrees (0 unless the model needs elevations)
    std::vector<DoubleDifference> differences;  // by increasing slot
};

// Forms the epoch whose records are rec1 and rec2 (satellites by slot 1..satCount of the run's table) against
// reference `referenceSlot`, of the satellites of the reference's system. False (and `out.differences` empty) when
// the reference lacks a pseudorange at either receiver, stands below the elevation mask or is not served by the
// orbit at point 1's time tag (OrbitSource::serves); satellites missing at a receiver, below the mask or not served
// are left out. `known` (may be null) supplies ranges worked out before. A missing orbit writes and stops as comdtr
// and comrng do.
bool formEpoch(int referenceSlot, const EpochRecord& rec1, const EpochRecord& rec2, int satCount,
               const EpochModels& models, const KnownRanges* known, EpochEquations& out);

}  // namespace varno
