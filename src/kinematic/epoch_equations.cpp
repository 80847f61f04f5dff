// The double differences of one epoch at a given position of point 2: the one place where the per-epoch solutions
// and the windows meet the observation records, the ranges and the reference satellite table.
#include <cmath>

#include "forming/forming.h"
#include "kinematic/kinematic.h"
#include "models/models.h"

namespace varno {

namespace {

// Both receivers' pseudoranges of one satellite, their ranges, and its elevations.
struct SatelliteView {
    double p1 = 0, p2 = 0;
    double rho1 = 0, rho2 = 0;
    std::array<double, 3> towards2{};  // from the satellite towards point 2
    double elevation1 = 0, elevation2 = 0;  // degrees
};

bool view(int slot, const EpochRecord& rec1, const EpochRecord& rec2, int satCount, const RunModels& run,
          const OrbitSource& orbit, const std::array<double, 3>& centre1, const std::array<double, 3>& centre2,
          const Geodetic& g1, const Geodetic& g2, double dt1, double dt2, SatelliteView& v) {
    double phase1 = 0, phase2 = 0, l2Phase1 = 0, l2Phase2 = 0;
    if (!dget(slot, rec1, rec2, satCount, phase1, v.p1, l2Phase1, phase2, v.p2, l2Phase2)) return false;
    OrbitMiss miss = OrbitMiss::none;
    const SatId sat = invprn(*run.sats, slot);
    SignalPath path1, path2;
    // Point 1's time tag is the epoch by which a broadcast orbit chooses its record, as in the static adjustment.
    if (!signalPath(orbit, sat, centre1, rec1.epochTime, dt1, rec1.epochTime, path1, miss, &g1)) return false;
    if (!signalPath(orbit, sat, centre2, rec2.epochTime, dt2, rec1.epochTime, path2, miss, &g2)) return false;
    v.rho1 = path1.range;
    v.rho2 = path2.range;
    v.towards2 = path2.unit;
    v.elevation1 = path1.elevation;
    v.elevation2 = path2.elevation;
    if (run.met.troposphereOn) {
        const double radiansPerDegree = 1.0 / GpsConstants::degreesPerRadian;
        double c1 = 0, c2 = 0;
        gettdh(run.met, g1.latitude, g1.height, v.elevation1 * radiansPerDegree, c1);
        gettdh(run.met, g2.latitude, g2.height, v.elevation2 * radiansPerDegree, c2);
        v.p1 -= c1;
        v.p2 -= c2;
    }
    return true;
}

// A satellite's share of a double difference's variance, in units of that of four pseudoranges at the zenith.
double share(const ObservationModel& model, const SatelliteView& v) {
    return singleDifferenceShare(model, v.elevation1, v.elevation2);
}

bool masked(const ObservationModel& model, const SatelliteView& v) {
    return model.elevationMask >= -90.0 && (v.elevation1 < model.elevationMask || v.elevation2 < model.elevationMask);
}

}  // namespace

bool formEpochEquations(double t, const EpochRecord& rec1, const EpochRecord& rec2, int satCount, const RunModels& run,
                        const OrbitSource& orbit, const StationPair& pair, const std::array<double, 3>& point2L1,
                        const ObservationModel& model, int& cursor, KinematicEquations& equations) {
    equations.differences.clear();
    int r = 0;
    // The reference satellite of an epoch is chosen by its nominal time, as in the static adjustment. An epoch's
    // solution is of the run's first system alone: one reference, no bias between systems.
    const GnssSystem system = run.references->systems().front();
    const RefSatTable& references = run.references->of(system);
    if (references.nrs < 1 || !lookrs(references, r, t, cursor)) return false;
    Geodetic g1, g2;
    if (!xyzgeo(pair.p1L1[0], pair.p1L1[1], pair.p1L1[2], g1.latitude, g1.longitude, g1.height)) return false;
    if (!xyzgeo(point2L1[0], point2L1[1], point2L1[2], g2.latitude, g2.longitude, g2.height)) return false;

    double phase1 = 0, phase2 = 0, l2Phase1 = 0, l2Phase2 = 0, p1r = 0, p2r = 0;
    if (!dget(r, rec1, rec2, satCount, phase1, p1r, l2Phase1, phase2, p2r, l2Phase2)) return false;
    double dt1 = 0, dt2 = 0;
    OrbitMiss miss = OrbitMiss::none;
    const SatId reference = invprn(*run.sats, r);
    if (!receiverClock(orbit, reference, pair.p1L1, rec1.epochTime, p1r, rec1.epochTime, dt1, miss)) return false;
    if (!receiverClock(orbit, reference, point2L1, rec2.epochTime, p2r, rec1.epochTime, dt2, miss)) return false;
    SatelliteView ref;
    if (!view(r, rec1, rec2, satCount, run, orbit, pair.p1L1, point2L1, g1, g2, dt1, dt2, ref) || masked(model, ref)) {
        return false;
    }
    equations.referenceSlot = r;
    if (model.elevationWeights) equations.referenceVariance = share(model, ref);
    for (int c = 0; c < 3; ++c) equations.referenceLineOfSight[c] = -ref.towards2[c];

    for (int k = 1; k <= satCount; ++k) {
        if (k == r || invprn(*run.sats, k).system != system) continue;
        SatelliteView v;
        if (!view(k, rec1, rec2, satCount, run, orbit, pair.p1L1, point2L1, g1, g2, dt1, dt2, v) || masked(model, v)) {
            continue;
        }
        EpochDifference d;
        d.slot = k;
        const double observed = (v.p2 - v.p1) - (ref.p2 - ref.p1);
        const double computed = (v.rho2 - v.rho1) - (ref.rho2 - ref.rho1);
        d.misclosure = observed - computed;
        for (int c = 0; c < 3; ++c) {
            d.partials[c] = v.towards2[c] - ref.towards2[c];
            d.lineOfSight[c] = -v.towards2[c];
        }
        if (model.elevationWeights) d.variance = share(model, v);
        equations.differences.push_back(d);
    }
    return true;
}

}  // namespace varno
