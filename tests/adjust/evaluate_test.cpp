#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "adjust/adjust.h"
#include "adjust/evaluation.h"
#include "adjust_fixture.h"
#include "models/models.h"
#include "test_support.h"
#include "test_run.h"

namespace varno {
namespace {

using adjust_internal::Evaluated;
using test::AdjustScenario;
using test::FormobRun;

constexpr int kEpochs = 126;  // the reference changes from slot 1 to slot 2 at epoch 120 (7200 s)

// Slots 1 to 3 at every epoch, slot 4 from `slot4From` on; point 2's time tags `lag` seconds late.
std::string observations(const AdjustScenario& s, const std::array<double, 3>& point, double bias, double noise,
                         int slot4From, double lag) {
    std::string text = "     2.10           OBSERVATION DATA    G (GPS)             RINEX VERSION / TYPE\n"
                       "     2    C1    L1                                          # / TYPES OF OBSERV\n"
                       "                                                            END OF HEADER\n";
    char buffer[128];
    for (int e = 0; e < kEpochs; ++e) {
        std::vector<int> slots{1, 2, 3};
        if (e >= slot4From) slots.push_back(4);
        const int seconds = static_cast<int>(AdjustScenario::kT0 + e * test::kEpochStep);
        std::snprintf(buffer, sizeof buffer, " 06  8 26 %2d %2d%11.7f  0%3d", seconds / 3600, (seconds / 60) % 60,
                      seconds % 60 + lag, static_cast<int>(slots.size()));
        text += buffer;
        for (int slot : slots) {
            std::snprintf(buffer, sizeof buffer, "G%2d", AdjustScenario::kPrns[static_cast<std::size_t>(slot - 1)]);
            text += buffer;
        }
        text += "\n";
        for (int slot : slots) {
            std::snprintf(buffer, sizeof buffer, "%14.3f  %14.3f  \n", test::pseudorange(s, slot, e, point, bias, noise),
                          1000.0);
            text += buffer;
        }
    }
    return text;
}

// Both receivers' files of the scenario (point 2 with `noise`), formed into `store`.
void formStore(AdjustScenario& s, FormobRun& run, double noise, GatherFile& gather,
               adjust_internal::EpochStore& store) {
    run.obs1.open(run.dir.write("a.rnx", observations(s, s.pair.p1L1, 150.0, 0.0, 120, 0.0)));
    run.obs2.open(run.dir.write("b.rnx", observations(s, s.pair.p2L1, -75.0, noise, 120, 0.0)));
    double rms = 0;
    adjust_internal::formobInto(testRun, s.orbit, s.pair, s.satCount, run.inputs, gather, &store, rms);
}

std::vector<Evaluated> evaluate(GatherFile& gather, adjust_internal::EpochStore* store, const AdjustScenario& s,
                                const adjust_internal::ElevationSite* site) {
    std::vector<Evaluated> out;
    adjust_internal::evaluateAll(gather, store, testRun, s.orbit, s.pair, s.satCount, site, true, 45397,
                                 [&](const Evaluated& e) { out.push_back(e); });
    return out;
}

// Bit for bit: the epoch-ordered evaluation must not move a digit. The iterations' results (`full` false) carry
// only the slot, the residual, the partials and the weight.
void expectIdentical(const std::vector<Evaluated>& a, const std::vector<Evaluated>& b, bool full) {
    static_assert(sizeof(Evaluated) == 2 * sizeof(int) + 7 * sizeof(double));
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].slot, b[i].slot) << i;
        EXPECT_EQ(std::memcmp(&a[i].residual, &b[i].residual, sizeof(double) * 4), 0) << i;
        EXPECT_EQ(std::memcmp(&a[i].weight, &b[i].weight, sizeof(double)), 0) << i;
        if (!full) continue;
        EXPECT_EQ(a[i].referenceSlot, b[i].referenceSlot) << i;
        EXPECT_EQ(std::memcmp(&a[i].epochTime1, &b[i].epochTime1, sizeof(double)), 0) << i;
        EXPECT_EQ(std::memcmp(&a[i].elevation, &b[i].elevation, sizeof(double)), 0) << i;
    }
}

// The first observation of slot 4 lies on the reference table's change (7200 s): the one-by-one walk, coming from
// slot 3's block with the cursor on the second entry, differences it against slot 2, where a lookup from the start
// gives slot 1. The epoch-ordered evaluation must reproduce that, and everything else, exactly.
TEST(EvaluateAll, EpochOrderGivesTheOneByOneResultsBitForBit) {
    for (double lag : {0.0, 0.15}) {
        captureOutput();
        AdjustScenario s;
        FormobRun run(s, 1, {1}, (kEpochs - 1) * test::kEpochStep);
        run.obs1.open(run.dir.write("a.rnx", observations(s, s.pair.p1L1, 150.0, 0.0, 120, 0.0)));
        run.obs2.open(run.dir.write("b.rnx", observations(s, s.pair.p2L1, -75.0, 0.7, 120, lag)));
        const StationPair start = s.pair;
        GatherFile gather;
        adjust_internal::EpochStore store;
        double rms = 0;
        adjust_internal::formobInto(testRun, s.orbit, s.pair, s.satCount, run.inputs, gather, &store, rms);
        ASSERT_EQ(store.count(4), 6);
        // The gather file formob writes without a store, for the one-by-one evaluation; from the same start
        // it moves point 2 to the same place.
        const StationPair moved = s.pair;
        s.pair = start;
        run.obs1.open(run.dir.write("a.rnx", observations(s, s.pair.p1L1, 150.0, 0.0, 120, 0.0)));
        run.obs2.open(run.dir.write("b.rnx", observations(s, s.pair.p2L1, -75.0, 0.7, 120, lag)));
        formob(testRun, s.orbit, s.pair, s.satCount, run.inputs, gather, rms);
        ASSERT_EQ(std::memcmp(&s.pair, &moved, sizeof moved), 0);

        const int cursor = testRefs.cursor;
        const std::vector<Evaluated> fast = evaluate(gather, &store, s, nullptr);
        const int fastCursor = testRefs.cursor;
        seekrs(testRefs, cursor);
        const std::vector<Evaluated> slow = evaluate(gather, nullptr, s, nullptr);
        EXPECT_EQ(testRefs.cursor, fastCursor);
        expectIdentical(fast, slow, false);
        // The gather file written from the store serves the one-by-one evaluation as well.
        GatherFile fromStore;
        adjust_internal::gatherFromStore(store, s.satCount, fromStore);
        seekrs(testRefs, cursor);
        expectIdentical(evaluate(fromStore, nullptr, s, nullptr), slow, true);

        const adjust_internal::ElevationSite site{0.8, 0.18};
        seekrs(testRefs, cursor);
        const std::vector<Evaluated> fastPost = evaluate(gather, &store, s, &site);
        seekrs(testRefs, cursor);
        expectIdentical(fastPost, evaluate(gather, nullptr, s, &site), true);
        int shifted = 0;
        for (const Evaluated& e : fastPost) shifted += e.slot == 4 && e.epochTime1 == 7200.0 && e.referenceSlot == 2;
        EXPECT_EQ(shifted, 1);
    }
}

// The residual file that the parts of the results pass write at once is the one written in order, also when an
// orbit that fails at the last epoch sends the pass back to the one-by-one evaluation, which stops there.
TEST(Post, ResidualLinesWrittenByThePartsAreThoseWrittenInOrder) {
    for (bool orbitFails : {false, true}) {
        captureOutput();
        AdjustScenario s;
        FormobRun run(s, 1, {1}, (kEpochs - 1) * test::kEpochStep);
        GatherFile gather;
        adjust_internal::EpochStore store;
        formStore(s, run, 0.7, gather, store);
        adjust_internal::gatherFromStore(store, s.satCount, gather);
        if (orbitFails) s.cutOrbitAt(AdjustScenario::kT0 + (kEpochs - 1.5) * test::kEpochStep);
        const int cursor = testRefs.cursor;
        std::string written[2];
        for (int byEpoch = 0; byEpoch < 2; ++byEpoch) {
            seekrs(testRefs, cursor);
            captureOutput();
            const std::string path = run.dir.file("varno" + std::to_string(byEpoch) + ".res");
            std::FILE* file = std::fopen(path.c_str(), "w");
            std::fputs("first line\n", file);
            const auto results = [&] {
                adjust_internal::postFrom(gather, byEpoch == 1 ? &store : nullptr, testRun, s.orbit, s.pair, s.satCount,
                                          2.0, file, nullptr);
            };
            if (orbitFails) {
                EXPECT_STOP(results(), 34553);
            } else {
                results();
                std::fputs("last line\n", file);
            }
            std::fclose(file);
            written[byEpoch] = test::readFile(path) + listingText();
        }
        EXPECT_EQ(written[1], written[0]);
        EXPECT_GT(written[0].size(), orbitFails ? 400U : 250 * 28U);
    }
}

// The places cut the store into parts that, read one after the other, give back every epoch in order.
TEST(EpochStore, PartsReadFromItsPlacesJoinUpToTheWhole) {
    adjust_internal::EpochStore store;
    std::vector<adjust_internal::StoredObservation> stored(3);
    for (int e = 0; e < 2500; ++e) {
        adjust_internal::StoredEpoch epoch;
        epoch.epochTime1 = e;
        epoch.count = 1 + e % 3;
        for (int i = 0; i < epoch.count; ++i) stored[static_cast<std::size_t>(i)] = {e + 0.5, 1.0, 2.0 * e, i + 1, 1};
        store.add(epoch, stored.data());
    }
    store.rewind();
    const auto& places = store.places();
    ASSERT_EQ(places.size(), 3U);
    EXPECT_EQ(places[2].countBefore[1], 2048);
    EXPECT_EQ(places[2].lastBefore[3], 2045.0);
    adjust_internal::StoredEpoch epoch;
    int next = 0;
    for (std::size_t p = 0; p < places.size(); ++p) {
        adjust_internal::StoreReader reader(store, places[p].offset,
                                            p + 1 < places.size() ? places[p + 1].offset : store.size());
        while (reader.next(epoch, stored)) {
            ASSERT_EQ(epoch.epochTime1, next);
            ASSERT_EQ(stored[static_cast<std::size_t>(epoch.count - 1)].ddObserved, next + 0.5);
            ++next;
        }
    }
    EXPECT_EQ(next, 2500);
}

// An observation without a reference (a time tag beyond the table's end) stops as the one-by-one walk does, with
// its line, although the epoch-ordered walk would meet it in another order.
TEST(EvaluateAll, ObservationWithoutReferenceStopsWithItsOwnLine) {
    captureOutput();
    AdjustScenario s;
    FormobRun run(s, 1, {1}, (kEpochs - 1) * test::kEpochStep);
    GatherFile gather;
    adjust_internal::EpochStore store;
    formStore(s, run, 0.0, gather, store);
    // The table now ends before the last epoch (7350 s).
    openrs(testRefs);
    int n = 0;
    putrs(testRefs, 1, 7200.0, n);
    putrs(testRefs, 2, 7300.0, n);
    captureOutput();
    EXPECT_STOP(evaluate(gather, &store, s, nullptr), 45397);
    EXPECT_EQ(listingText(), " 1 7320 7320\n");
}

}  // namespace
}  // namespace varno
