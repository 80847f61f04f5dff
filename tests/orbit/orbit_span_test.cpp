#include <memory>
#include <string>
#include <vector>

#include "sp3_fixture.h"
#include "test_run.h"

namespace varno {
namespace {

using test::Sp3Spec;

class OrbspnTest : public ::testing::Test {
protected:
    void SetUp() override {
        captureOutput();
        testRun.jd0 = 0;
    }
    // Reads the spans of files starting at the given epoch indexes (900 s apart), `epochs` each; an index of
    // 100 or more starts at index - 100 with a 300 s interval.
    OrbitSpan span(const std::vector<int>& firsts, int epochs = 12) {
        std::vector<std::unique_ptr<TextFile>> files;
        std::vector<TextFile*> pointers;
        for (std::size_t i = 0; i < firsts.size(); ++i) {
            Sp3Spec layout;
            layout.ids = {"G03"};
            layout.firstEpoch = firsts[i] % 100;
            layout.epochs = epochs;
            std::string text = test::sp3Text(layout);
            if (firsts[i] >= 100) text.replace(text.find("   900.00000000"), 15, "   300.00000000");
            files.push_back(std::make_unique<TextFile>(dir.write("day" + std::to_string(i + 1) + ".sp3", text)));
            pointers.push_back(files.back().get());
        }
        return orbspn(pointers);
    }
    std::string refusal(const std::vector<int>& firsts) {
        try {
            span(firsts);
        } catch (const InputError& e) {
            return e.what();
        }
        return "no input error";
    }
    test::TempDir dir;
};

TEST_F(OrbspnTest, FilesThatAbutOrOverlapJoinIntoOneSpan) {
    OrbitSpan joined = span({0, 12, 20});
    EXPECT_EQ(listingText(),
              " orbit ref sys/source -- WGS84 FIT TEST\n"
              "orbit strt/stop,delt,neph       0.00  27900.00 900.00    32\n");
    EXPECT_EQ(joined.start, 0.0);
    EXPECT_EQ(joined.end, 31 * 900.0);
    EXPECT_EQ(joined.epochs, 32);
}

TEST_F(OrbspnTest, GapIntervalOrderAndGridAreRefusedNamingBothFiles) {
    EXPECT_NE(refusal({0, 13}).find("day2.sp3:1: cannot join this orbit file to "), std::string::npos);
    EXPECT_NE(refusal({0, 13}).find("day1.sp3: gap between 2005-04-01 02:45:00 and 2005-04-01 03:15:00"),
              std::string::npos);
    EXPECT_NE(refusal({0, 112}).find("day2.sp3:2: cannot join"), std::string::npos);
    EXPECT_NE(refusal({0, 112}).find("interval 300 s differs from 900 s"), std::string::npos);
    EXPECT_NE(refusal({4, 0}).find("give the orbit files in time order"), std::string::npos);
}

TEST(Orbgap, SaysWhatIsCoveredWhatIsNeededAndWhichDayIsMissing) {
    testRun.jd0 = setjd0(2010, 3, 18);
    EXPECT_EQ(orbgap(testRun.jd0, 0, 85500, 0, 86370),
              "the orbit covers 2010-03-18 00:00:00 to 2010-03-18 23:45:00 but the data need 2010-03-18 00:00:00 to "
              "2010-03-18 23:59:30: the orbit file of the day after (2010-03-19) is missing; give every orbit file "
              "with --orbit, in time order");
    EXPECT_EQ(orbgap(testRun.jd0, 0, 85500, -0.0725, -0.0725),
              "the orbit covers 2010-03-18 00:00:00 to 2010-03-18 23:45:00 but the data need a satellite position at "
              "2010-03-17 23:59:59.93: the orbit file of the day before (2010-03-17) is missing; give every orbit "
              "file with --orbit, in time order");
    EXPECT_EQ(orbgap(testRun.jd0, 0, 85500, 0, 85500), "");
}

}  // namespace
}  // namespace varno
