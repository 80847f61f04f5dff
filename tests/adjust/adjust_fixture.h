// A small hand-made run for the adjustment tests: five satellites standing still above two points about a
// kilometre apart, a reference satellite table with one entry, and observation records with chosen residuals.
#pragma once

#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "adjust/adjust.h"
#include "models/models.h"
#include "orbit/orbit.h"
#include "rinex/rinex.h"
#include "station/station.h"
#include "models/orbit_fixture.h"
#include "test_support.h"
#include "timebase/timebase.h"
#include "test_run.h"

namespace varno::test {

// An orbit cut short: the inner orbit up to `last`.
class CutOrbit final : public OrbitSource {
public:
    CutOrbit(std::unique_ptr<OrbitSource> inner, double last) : inner_(std::move(inner)), last_(last) {}
    bool state(SatId sat, double t, double epoch, SatelliteState& state, OrbitMiss& miss) const override {
        if (!(t <= last_)) {
            miss = OrbitMiss::outsideSpan;
            return false;
        }
        return inner_->state(sat, t, epoch, state, miss);
    }
    std::vector<SatId> satellites() const override { return inner_->satellites(); }
    double firstTime() const override { return inner_->firstTime(); }
    double lastTime() const override { return last_; }

private:
    std::unique_ptr<OrbitSource> inner_;
    double last_;
};

class AdjustScenario {
public:
    static constexpr int kEpochs = 13;
    static constexpr double kOrbitInterval = 900.0;
    static constexpr double kT0 = 3600.0;      // observation times are given from here
    // Slot 1 is the reference up to 7200 s, slot 2 after it up to kRefEnd (+0.2 s); later epochs have none.
    static constexpr double kRefEnd = 7500.0;
    // Slot → PRN: the PRN order differs from the slot order. Slot 5 flies exactly where slot 1 does.
    static constexpr std::array<int, 5> kPrns{27, 5, 12, 3, 9};

    AdjustScenario() {
        // Slot 1 near the zenith, slots 2 to 4 about 30° high to the north, south-east and south-west.
        satPositions = {{{15.652e6, 4.633e6, 20.952e6},
                         {-1.667e6, -0.303e6, 26.506e6},
                         {16.117e6, 20.296e6, 5.809e6},
                         {21.811e6, -14.557e6, 4.221e6},
                         {15.652e6, 4.633e6, 20.952e6}}};
        number(kPrns);

        pair.p1Marker = {4.4e6, 0.8e6, 4.55e6};
        pair.p1L1 = pair.p1Marker;
        pair.p2Marker = {4.4e6 + 800.0, 0.8e6 - 300.0, 4.55e6 + 450.0};
        pair.p2L1 = pair.p2Marker;
        pair.p2Apriori = {};

        openrs(testRefs);
        int entries = 0;
        putrs(testRefs, 1, 7200.0, entries);
        putrs(testRefs, 2, kRefEnd, entries);
    }

    // An observation record of `slot` at epoch kT0 + t (reference slot 1) whose residual at the current point 2 is
    // `residual` up to rounding; residualOf gives the exact value.
    ScratchRecord observation(int slot, double t, double residual) const {
        ScratchRecord r;
        r.slot = slot;
        r.values[0] = kT0 + t;
        r.values[1] = kT0 + t + 0.25;
        r.values[2] = distance(1, pair.p1L1) + 120.0;
        r.values[3] = distance(1, pair.p2L1) - 80.0;
        r.values[4] = distance(slot, pair.p1L1) + 120.0;
        r.values[5] = distance(slot, pair.p2L1) - 80.0;
        r.values[6] = 0.0;
        r.values[6] = computedDd(r) - residual;
        r.values[7] = 1.0;  // weight
        return r;
    }

    // Computed minus observed double difference of a record at the current point 2, as the iterations form it.
    double residualOf(const ScratchRecord& r) const { return computedDd(r) - r.values[6]; }

    // Elevation of the record's satellite at point 2, as the results report it.
    double elevationOf(const ScratchRecord& r) const {
        double dt1 = 0, dt2 = 0, rho1 = 0, rho2 = 0, lat = 0, lon = 0, h = 0, elevation = 0;
        xyzgeo(pair.p2L1[0], pair.p2L1[1], pair.p2L1[2], lat, lon, h);
        comdtr(testRun, 1, pair, orbit, r.values[0], r.values[1], r.values[2], r.values[3], dt1, dt2);
        comrg2(testRun, r.slot, pair, orbit, r.values[0], r.values[1], dt1, dt2, Geodetic{lat, lon}, rho1, rho2, elevation);
        return elevation;
    }

    // Enters `prns` in the PrnTable, slots 1 to 5, and makes the orbit of these satellites.
    void number(const std::array<int, 5>& prns) {
        newprn(testSats);
        std::vector<SatId> ids;
        for (int prn : prns) {
            int slot = 0;
            putprn(testSats, SatId::gps(prn), slot);
            ids.push_back(SatId::gps(prn));
        }
        satCount = static_cast<int>(prns.size());
        std::vector<SatelliteState> states;
        for (int k = 1; k <= kEpochs; ++k) {
            for (const auto& p : satPositions) states.push_back({p, 0.0});
        }
        orbit.source = tabulatedOrbit(ids, 0.0, kOrbitInterval, kEpochs, states);
    }

    // The orbit ends at `lastTime`: every later time is outside its span.
    void cutOrbitAt(double lastTime) { orbit.source = std::make_unique<CutOrbit>(std::move(orbit.source), lastTime); }

    TestOrbit orbit;
    StationPair pair;
    int satCount = 0;
    std::array<std::array<double, 3>, 5> satPositions{};

private:
    double distance(int slot, const std::array<double, 3>& p) const {
        const auto& s = satPositions[static_cast<std::size_t>(slot - 1)];
        return std::sqrt((s[0] - p[0]) * (s[0] - p[0]) + (s[1] - p[1]) * (s[1] - p[1]) + (s[2] - p[2]) * (s[2] - p[2]));
    }
    double computedDd(const ScratchRecord& r) const {
        const double t1 = r.values[0], t2 = r.values[1];
        double dt1 = 0, dt2 = 0, rho1r = 0, rho2r = 0, rho1k = 0, rho2k = 0;
        std::array<double, 3> u{};
        comdtr(testRun, 1, pair, orbit, t1, t2, r.values[2], r.values[3], dt1, dt2);
        comrng(testRun, 1, pair, orbit, t1, t2, dt1, dt2, rho1r, rho2r, u);
        comrng(testRun, r.slot, pair, orbit, t1, t2, dt1, dt2, rho1k, rho2k, u);
        return (rho2k - rho1k) - (rho2r - rho1r);
    }
};

// Writes the records to the gather file as formob lays them out: each slot's block between its start and end
// records, slots in increasing order (the records must already be sorted by slot).
inline void fillGather(GatherFile& gather, const std::vector<ScratchRecord>& records, int satCount) {
    std::size_t next = 0;
    for (int k = 1; k <= satCount; ++k) {
        ScratchRecord start;
        start.slot = kBlockStart;
        gather.write(start);
        while (next < records.size() && records[next].slot == k) gather.write(records[next++]);
        ScratchRecord end;
        end.slot = kBlockEnd;
        gather.write(end);
    }
}

inline constexpr double kEpochStep = 30.0;

// Pseudorange of satellite `slot` at a point: its distance plus a receiver-dependent bias, a little per satellite
// and a repeatable noise of amplitude `noise` varying with the epoch number e.
inline double pseudorange(const AdjustScenario& s, int slot, int e, const std::array<double, 3>& p, double bias,
                          double noise) {
    const auto& q = s.satPositions[static_cast<std::size_t>(slot - 1)];
    return std::sqrt((q[0] - p[0]) * (q[0] - p[0]) + (q[1] - p[1]) * (q[1] - p[1]) + (q[2] - p[2]) * (q[2] - p[2])) +
           bias + 0.125 * slot + noise * std::sin(1.7 * e + 2.3 * slot);
}

// A RINEX 2 observation file with types C1 and L1, epochs kT0, kT0 + 30, ... (26 Aug 2006), satellites by slot.
inline std::string rinexText(const AdjustScenario& s, const std::array<double, 3>& point, double bias, double noise,
                             int epochs, const std::vector<int>& slots) {
    std::string text = "     2.10           OBSERVATION DATA    G (GPS)             RINEX VERSION / TYPE\n"
                       "     2    C1    L1                                          # / TYPES OF OBSERV\n"
                       "                                                            END OF HEADER\n";
    char buffer[128];
    for (int e = 0; e < epochs; ++e) {
        const int seconds = static_cast<int>(AdjustScenario::kT0 + e * kEpochStep);
        std::snprintf(buffer, sizeof buffer, " 06  8 26 %2d %2d%11.7f  0%3d", seconds / 3600, (seconds / 60) % 60,
                      static_cast<double>(seconds % 60), static_cast<int>(slots.size()));
        text += buffer;
        for (int slot : slots) {
            std::snprintf(buffer, sizeof buffer, "G%2d", AdjustScenario::kPrns[static_cast<std::size_t>(slot - 1)]);
            text += buffer;
        }
        text += "\n";
        for (int slot : slots) {
            std::snprintf(buffer, sizeof buffer, "%14.3f  %14.3f  ", pseudorange(s, slot, e, point, bias, noise), 1000.0);
            text += buffer;
            text += "\n";
        }
    }
    return text;
}

// Two observation files written from the scenario and the inputs of the observation pass over them.
struct FormobRun {
    FormobRun(const AdjustScenario& s, int epochs, const std::vector<int>& slots, double dataEnd, double noise = 0.0) {
        testRun.jd0 = setjd0(2006, 8, 26);
        obs1.open(dir.write("point1.rnx", rinexText(s, s.pair.p1L1, 150.0, 0.0, epochs, slots)));
        obs2.open(dir.write("point2.rnx", rinexText(s, s.pair.p2L1, -75.0, noise, epochs, slots)));
        for (ObsFileSummary* summary : {&summary1, &summary2}) {
            summary->typeCount = 2;
            summary->typeIndex = {0, 2, 1, 0, 0};
            summary->jd0 = testRun.jd0;
        }
        inputs.obs1 = &obs1;
        inputs.obs2 = &obs2;
        inputs.summary1 = &summary1;
        inputs.summary2 = &summary2;
        inputs.dataStart = AdjustScenario::kT0;
        inputs.dataEnd = AdjustScenario::kT0 + dataEnd;
        inputs.interval = kEpochStep;
        inputs.scratchDirectory = scratch.path().string();
    }
    test::TempDir dir;
    test::TempDir scratch;
    TextFile obs1, obs2;
    ObsFileSummary summary1, summary2;
    AdjustInputs inputs;
};

}  // namespace varno::test
