#include <cmath>
#include <cstdio>
#include <sstream>
#include <vector>

#include "adjust/adjust.h"
#include "adjust_fixture.h"
#include "test_support.h"
#include "test_run.h"

namespace varno {
namespace {

using test::AdjustScenario;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// Slot 2 is PRN 5, slot 3 PRN 12, slot 4 PRN 3; slot 1 (PRN 27) is the reference and slot 5 (PRN 9) forms none.
TEST(Post, ResultsResidualFileAndPerSatelliteTable) {
    captureOutput();
    AdjustScenario s;
    const std::vector<ScratchRecord> records{s.observation(2, 0.0, 0.1),  s.observation(2, 30.0, -0.2),
                                             s.observation(3, 0.0, 5.0),  s.observation(3, 30.0, -6.0),
                                             s.observation(4, 30.0, 1.0), s.observation(4, 60.0, 0.5)};
    GatherFile gather;
    test::fillGather(gather, records, s.satCount);
    const double threshold = std::fabs(s.residualOf(records[4]));  // the 1 m residual lies exactly on it
    test::TempDir dir;
    const std::string resPath = dir.file("varno.res");
    std::FILE* res = std::fopen(resPath.c_str(), "w");
    ASSERT_NE(res, nullptr);
    post(gather, testRun, s.orbit, s.pair, s.satCount, threshold, res);
    std::fclose(res);

    // p2Apriori is zero here, so the shift is the position itself.
    const auto xyz = [](const std::array<double, 3>& v) { return fmtF(v[0], 14, 4) + fmtF(v[1], 14, 4) + fmtF(v[2], 14, 4); };
    const std::vector<std::string> listing = lines(listingText());
    ASSERT_EQ(listing.size(), 11u);
    EXPECT_EQ(listing[0], " adjusted point 2 marker and l1 phase center");
    EXPECT_EQ(listing[1], "  4400800.0000   799700.0000  4550450.0000");
    EXPECT_EQ(listing[2], xyz(s.pair.p2L1));
    EXPECT_EQ(listing[3], " delta x,y,z and n,e,u at point 2 marker");
    EXPECT_EQ(listing[4], xyz(s.pair.p2Marker));
    EXPECT_EQ(listing[5].size(), 42u);
    EXPECT_EQ(listing[6], " rms per satellite    (with and without trim)");
    EXPECT_EQ(listing[7], " 3       2     0.791     0.791");
    EXPECT_EQ(listing[8], " 5       2     0.158     0.158");
    EXPECT_EQ(listing[9], "12       0    0.0000    5.5227 ****");
    EXPECT_EQ(listing[10], "post-fit rms =   0.5701 m.    n=     4");

    const std::vector<std::string> resLines = lines(test::readFile(resPath));
    ASSERT_EQ(resLines.size(), records.size());
    const std::array<int, 6> prns{5, 5, 12, 12, 3, 3};
    for (std::size_t i = 0; i < records.size(); ++i) {
        const ScratchRecord& r = records[i];
        EXPECT_EQ(resLines[i], fmtF(r.values[0], 9, 1) + fmtF(s.residualOf(r), 9, 3) + fmtF(s.elevationOf(r), 6, 2) +
                                   fmtI(prns[i], 3));
        EXPECT_EQ(resLines[i].size(), 27u);
    }
    EXPECT_EQ(resLines[3].substr(9, 9), "   -6.000");
}

TEST(Post, NoResidualWithinThresholdGivesZeroRms) {
    captureOutput();
    AdjustScenario s;
    GatherFile gather;
    test::fillGather(gather, {s.observation(2, 0.0, 0.3), s.observation(4, 0.0, -0.4)}, s.satCount);
    std::FILE* res = std::tmpfile();
    post(gather, testRun, s.orbit, s.pair, s.satCount, 0.1, res);
    std::fclose(res);
    const std::vector<std::string> listing = lines(listingText());
    ASSERT_EQ(listing.size(), 10u);
    EXPECT_EQ(listing[7], " 3       0    0.0000    0.4000 ****");
    EXPECT_EQ(listing[8], " 5       0    0.0000    0.3000 ****");
    EXPECT_EQ(listing[9], "post-fit rms =   0.0000 m.    n=     0");
}

TEST(Post, StopsOfTheResults) {
    captureOutput();
    AdjustScenario s;
    std::FILE* res = std::tmpfile();
    {
        GatherFile gather;
        ScratchRecord late = s.observation(2, 0.0, 0.0);
        late.values[0] = AdjustScenario::kRefEnd + 0.5;
        test::fillGather(gather, {late}, s.satCount);
        EXPECT_STOP(post(gather, testRun, s.orbit, s.pair, s.satCount, 1.0, res), 95397);
    }
    {
        GatherFile gather;
        test::fillGather(gather, {s.observation(2, 0.0, 0.0)}, s.satCount);
        StationPair centre = s.pair;
        centre.p2L1 = {0.0, 0.0, 0.0};
        EXPECT_STOP(post(gather, testRun, s.orbit, centre, s.satCount, 1.0, res), 25);
    }
    {
        GatherFile gather;
        test::fillGather(gather, {s.observation(2, 0.0, 0.0)}, s.satCount);
        s.number({27, 100, 12, 3, 9});  // slot 2 holds no two-digit satellite number
        EXPECT_STOP(post(gather, testRun, s.orbit, s.pair, s.satCount, 1.0, res), 74358);
    }
    std::fclose(res);
}

struct RecordingObserver : AdjustObserver {
    std::vector<PostFitResidual> residuals;
    void residual(const PostFitResidual& r) override { residuals.push_back(r); }
};

TEST(Post, ObserverIsToldEveryResidualAsTheFileHasIt) {
    captureOutput();
    AdjustScenario s;
    const std::vector<ScratchRecord> records{s.observation(2, 0.0, 0.1), s.observation(3, 30.0, -6.0),
                                             s.observation(4, 60.0, 0.5)};
    GatherFile gather;
    test::fillGather(gather, records, s.satCount);
    RecordingObserver observer;
    std::FILE* res = std::tmpfile();
    post(gather, testRun, s.orbit, s.pair, s.satCount, 1.0, res, &observer);
    std::fclose(res);
    ASSERT_EQ(observer.residuals.size(), records.size());
    const std::array<int, 3> prns{5, 12, 3};
    for (std::size_t i = 0; i < records.size(); ++i) {
        const PostFitResidual& r = observer.residuals[i];
        EXPECT_EQ(r.epochTime, records[i].values[0]);
        EXPECT_EQ(r.sat, SatId::gps(prns[i]));
        EXPECT_EQ(r.reference, SatId::gps(27));
        EXPECT_EQ(r.referenceSlot, 1);
        EXPECT_EQ(r.residual, s.residualOf(records[i]));
        EXPECT_EQ(r.elevation, s.elevationOf(records[i]));
        EXPECT_EQ(r.used, i != 1);
    }
}

}  // namespace
}  // namespace varno
