#include <filesystem>
#include <stdexcept>

#include "adjust/adjust.h"
#include "adjust/adjust_internal.h"
#include "test_support.h"

namespace varno {
namespace {

using adjust_internal::ScatterFile;

TEST(Scrnam, LettersThenDigits) {
    EXPECT_EQ(scrnam(1), "ZZ-A");
    EXPECT_EQ(scrnam(26), "ZZ-Z");
    EXPECT_EQ(scrnam(27), "ZZ-0");
    EXPECT_EQ(scrnam(35), "ZZ-8");
    EXPECT_STOP(scrnam(0), 98786);
    EXPECT_STOP(scrnam(36), 98786);
}

TEST(GatherFile, RecordsComeBackInOrderAfterEveryRewind) {
    GatherFile gather;
    ScratchRecord start;
    start.slot = kBlockStart;
    ScratchRecord observation;
    observation.slot = 7;
    observation.values = {3600.25, 3600.5, 2.1e7, -2.2e7, 1e-300, 23456789.123456789, -0.1, 0, 0, 0, 0};
    ScratchRecord end;
    end.slot = kBlockEnd;
    gather.write(start);
    gather.write(observation);
    gather.write(end);
    for (int pass = 0; pass < 2; ++pass) {
        gather.rewind();
        ScratchRecord r;
        ASSERT_TRUE(gather.read(r));
        EXPECT_EQ(r.slot, kBlockStart);
        ASSERT_TRUE(gather.read(r));
        EXPECT_EQ(r.slot, 7);
        EXPECT_EQ(r.values, observation.values);
        ASSERT_TRUE(gather.read(r));
        EXPECT_EQ(r.slot, kBlockEnd);
        EXPECT_FALSE(gather.read(r));
    }
}

ScatterRecord sampleScatter(double t) {
    ScatterRecord r;
    r.epochTime1 = t;
    r.epochTime2 = t + 0.001;
    r.refRange1 = 2.1e7;
    r.refRange2 = 2.1e7 + 12.5;
    r.satRange1 = 2.3e7;
    r.satRange2 = 2.3e7 - 3.25;
    r.ddObserved = -15.75;
    r.ddComputed = -15.5;
    r.partials = {0.1, -0.2, 0.3};
    return r;
}

TEST(ScatterFile, RoundTripAndRemovalOnClose) {
    test::TempDir dir;
    const std::string path = dir.file("ZZ-C");
    ScatterFile file;
    file.open(dir.path().string(), "ZZ-C");
    EXPECT_TRUE(std::filesystem::exists(path));
    file.write(sampleScatter(30.0));
    file.write(sampleScatter(60.0));
    file.rewind();
    ScatterRecord r;
    ASSERT_TRUE(file.read(r));
    EXPECT_EQ(r.epochTime1, 30.0);
    ASSERT_TRUE(file.read(r));
    const ScatterRecord expected = sampleScatter(60.0);
    EXPECT_EQ(r.epochTime2, expected.epochTime2);
    EXPECT_EQ(r.refRange2, expected.refRange2);
    EXPECT_EQ(r.satRange2, expected.satRange2);
    EXPECT_EQ(r.ddObserved, expected.ddObserved);
    EXPECT_EQ(r.ddComputed, expected.ddComputed);
    EXPECT_EQ(r.partials, expected.partials);
    EXPECT_FALSE(file.read(r));
    file.close();
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(ScatterFile, UnwindingRemovesTheFile) {
    test::TempDir dir;
    EXPECT_STOP(
        {
            ScatterFile file;
            file.open(dir.path().string(), "ZZ-A");
            file.write(sampleScatter(0.0));
            stopRun(87854);
        },
        87854);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(ScatterFile, UncreatableFileIsAnInputError) {
    test::TempDir dir;
    ScatterFile file;
    try {
        file.open(dir.file("missing"), "ZZ-A");
        FAIL() << "no error";
    } catch (const InputError& e) {
        EXPECT_NE(std::string(e.what()).find("cannot create"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("ZZ-A"), std::string::npos) << e.what();
    }
}

TEST(ScatterFile, FileOfTheSameNameIsNeitherOverwrittenNorRemoved) {
    test::TempDir dir;
    const std::string mine = dir.write("ZZ-A", "the user's notes\n");
    {
        ScatterFile file;
        try {
            file.open(dir.path().string(), "ZZ-A");
            FAIL() << "no error";
        } catch (const InputError& e) {
            EXPECT_NE(std::string(e.what()).find("a file of that name is in the way"), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(test::readFile(mine), "the user's notes\n");
}

}  // namespace
}  // namespace varno
