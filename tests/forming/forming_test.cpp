#include <cmath>

#include "adjust/adjust_fixture.h"
#include "forming/forming.h"
#include "test_support.h"

namespace varno {
namespace {

using test::AdjustScenario;

// Both receivers' records of one epoch from the scenario's observations (slot 1 the reference).
void recordsOf(const std::vector<ScratchRecord>& observations, EpochRecord& rec1, EpochRecord& rec2) {
    for (const ScratchRecord& o : observations) {
        rec1.clearSlots(std::max(o.slot, static_cast<int>(rec1.present.size()) - 1));
        rec2.clearSlots(std::max(o.slot, static_cast<int>(rec2.present.size()) - 1));
    }
    for (const ScratchRecord& o : observations) {
        rec1.epochTime = o.values[0];
        rec2.epochTime = o.values[1];
        for (int point = 0; point < 2; ++point) {
            EpochRecord& rec = point == 0 ? rec1 : rec2;
            rec.present[1] = rec.present[static_cast<std::size_t>(o.slot)] = 1;
            rec.obs[1][1] = o.values[static_cast<std::size_t>(2 + point)];
            rec.obs[static_cast<std::size_t>(o.slot)][1] = o.values[static_cast<std::size_t>(4 + point)];
        }
    }
}

// One epoch formed alone: each double difference observed from the pseudoranges and computed as the iterations
// compute it; a reference below the mask, or without data, leaves the epoch out.
TEST(FormEpoch, GivesTheDoubleDifferencesOfTheEpochAgainstItsReference) {
    captureOutput();
    AdjustScenario s;
    const std::vector<ScratchRecord> observations{s.observation(2, 30.0, 0.5), s.observation(4, 30.0, -1.25)};
    EpochRecord rec1, rec2;
    recordsOf(observations, rec1, rec2);
    EpochModels models;
    models.orbit = &static_cast<const OrbitSource&>(s.orbit);
    models.pair = &s.pair;
    models.run = &testRun;
    EpochEquations out;
    ASSERT_TRUE(formEpoch(1, rec1, rec2, s.satCount, models, nullptr, out));
    ASSERT_EQ(out.differences.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        const DoubleDifference& d = out.differences[i];
        EXPECT_EQ(d.slot, observations[i].slot);
        EXPECT_EQ(d.sat, SatId::gps(AdjustScenario::kPrns[static_cast<std::size_t>(d.slot - 1)]));
        const auto& v = observations[i].values;
        EXPECT_EQ(d.observed, (v[5] - v[4]) - (v[3] - v[2]));
        EXPECT_NEAR(d.computed, s.residualOf(observations[i]) + v[6], 1e-6);
        EXPECT_EQ(d.weight, 1.0);
    }
    EXPECT_EQ(out.reference, SatId::gps(27));

    // A mask above every satellite leaves the epoch out; a reference without data too.
    xyzgeo(s.pair.p1L1[0], s.pair.p1L1[1], s.pair.p1L1[2], models.site1.latitude, models.site1.longitude,
           models.site1.height);
    models.site2 = models.site1;
    models.model.elevationMask = 89.9;
    EXPECT_FALSE(formEpoch(1, rec1, rec2, s.satCount, models, nullptr, out));
    EXPECT_TRUE(out.differences.empty());
    models.model.elevationMask = -91.0;
    EXPECT_FALSE(formEpoch(3, rec1, rec2, s.satCount, models, nullptr, out));
}

}  // namespace
}  // namespace varno
