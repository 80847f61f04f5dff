// Forming the double differences of one epoch.
#include <algorithm>
#include <cmath>

#include "forming/forming.h"
#include "models/models.h"
#include "rinex/rinex.h"
#include "timebase/timebase.h"

namespace varno {

namespace {

// Variance (m²) of one undifferenced pseudorange seen at `elevation` degrees under the elevation model.
double pseudorangeVariance(const ObservationModel& model, double elevation) {
    const double s = std::sin(elevation / GpsConstants::degreesPerRadian);
    return model.sigmaA * model.sigmaA + model.sigmaB * model.sigmaB / (s * s);
}

// The reference's clock offsets and ranges; its pseudoranges are corrected in `out`.
void referenceShare(int r, const EpochModels& m, const KnownRanges* known, double& dt1, double& dt2,
                    std::array<double, 3>& ur, EpochEquations& out) {
    double c1 = 0, c2 = 0;
    if (known != nullptr) {
        dt1 = known->dt1;
        dt2 = known->dt2;
        out.rho1Ref = known->rho1r;
        out.rho2Ref = known->rho2r;
        ur = known->ur;
    } else {
        comdtr(*m.run, r, *m.pair, *m.orbit, out.t1, out.t2, out.refRange1, out.refRange2, dt1, dt2);
        comrg0(*m.run, r, *m.pair, *m.orbit, out.t1, out.t2, dt1, dt2, m.site1, m.site2, out.rho1Ref, out.rho2Ref, ur,
               c1, c2);
    }
    out.refRange1AsRead = out.refRange1;
    out.refRange1 = out.refRange1 - c1;
    out.refRange2 = out.refRange2 - c2;
}

}  // namespace

void KnownRanges::reset(int satCount) {
    valid = false;
    reference = 0;
    dt1 = dt2 = rho1r = rho2r = 0;
    ur = {};
    const std::size_t size = static_cast<std::size_t>(std::max(satCount, 0)) + 1;
    have.assign(size, 0);
    rho1.resize(size);
    rho2.resize(size);
    u.resize(size);
}

double singleDifferenceShare(const ObservationModel& model, double elevation1, double elevation2) {
    const double zenith = 4.0 * (model.sigmaA * model.sigmaA + model.sigmaB * model.sigmaB);
    return (pseudorangeVariance(model, elevation1) + pseudorangeVariance(model, elevation2)) / zenith;
}

bool formEpoch(int r, const EpochRecord& rec1, const EpochRecord& rec2, int satCount, const EpochModels& m,
               const KnownRanges* known, EpochEquations& out) {
    out.differences.clear();
    double phase1 = 0, phase2 = 0, l2Phase1 = 0, l2Phase2 = 0;
    double p1r = 0, p2r = 0;
    if (!dget(r, rec1, rec2, satCount, phase1, p1r, l2Phase1, phase2, p2r, l2Phase2)) return false;
    out.t1 = rec1.epochTime;
    out.t2 = rec2.epochTime;
    out.referenceSlot = r;
    out.reference = invprn(*m.run->sats, r);
    out.refRange1 = p1r;
    out.refRange2 = p2r;
    // An epoch, or a satellite at an epoch, that the orbit does not serve (no usable broadcast record) is left out.
    if (!m.orbit->serves(out.reference, out.t1)) return false;
    if (known != nullptr && !(known->valid && known->reference == r)) known = nullptr;
    double dt1 = 0, dt2 = 0;
    std::array<double, 3> ur{};
    referenceShare(r, m, known, dt1, dt2, ur, out);
    const ObservationModel& model = m.model;
    const bool elevations = model.needsElevations();
    out.refElevation1 = out.refElevation2 = 0;
    if (elevations) {
        comrge(*m.run, r, *m.pair, *m.orbit, out.t1, out.t2, dt1, dt2, m.site1, m.site2, out.refElevation1,
               out.refElevation2);
        if (out.refElevation1 < model.elevationMask || out.refElevation2 < model.elevationMask) return false;
    }

    for (int k = 1; k <= satCount; ++k) {
        // Within the reference's system only: no bias between systems is estimated.
        const SatId sat = invprn(*m.run->sats, k);
        if (k == r || sat.system != out.reference.system) continue;
        double p1k = 0, p2k = 0;
        if (!dget(k, rec1, rec2, satCount, phase1, p1k, l2Phase1, phase2, p2k, l2Phase2)) continue;
        if (!m.orbit->serves(sat, out.t1)) continue;
        DoubleDifference d;
        double rho2k = 0, c1k = 0, c2k = 0;
        std::array<double, 3> uk{};
        const std::size_t at = static_cast<std::size_t>(k);
        if (known != nullptr && at < known->have.size() && known->have[at] != 0) {
            d.rho1 = known->rho1[at];
            rho2k = known->rho2[at];
            uk = known->u[at];
        } else {
            comrg0(*m.run, k, *m.pair, *m.orbit, out.t1, out.t2, dt1, dt2, m.site1, m.site2, d.rho1, rho2k, uk, c1k,
                   c2k);
        }
        d.range1 = p1k - c1k;
        d.range2 = p2k - c2k;
        if (elevations) {
            comrge(*m.run, k, *m.pair, *m.orbit, out.t1, out.t2, dt1, dt2, m.site1, m.site2, d.elevation1,
                   d.elevation2);
            if (d.elevation1 < model.elevationMask || d.elevation2 < model.elevationMask) continue;
            if (model.elevationWeights) {
                const double zenith = 4.0 * (model.sigmaA * model.sigmaA + model.sigmaB * model.sigmaB);
                d.weight = zenith / (pseudorangeVariance(model, d.elevation1) + pseudorangeVariance(model, d.elevation2) +
                                     pseudorangeVariance(model, out.refElevation1) +
                                     pseudorangeVariance(model, out.refElevation2));
            }
        }
        d.slot = k;
        d.sat = invprn(*m.run->sats, k);
        d.observed = (d.range2 - d.range1) - (out.refRange2 - out.refRange1);
        d.computed = (rho2k - d.rho1) - (out.rho2Ref - out.rho1Ref);
        for (int c = 0; c < 3; ++c) d.partials[c] = uk[c] - ur[c];
        out.differences.push_back(d);
    }
    return true;
}

}  // namespace varno
