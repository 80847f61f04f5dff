#include <filesystem>

#include "results/results.h"
#include "test_support.h"
#include "timebase/timebase.h"
#include "test_run.h"

namespace varno {
namespace {

TEST(CalendarText, RoundsToTheMillisecondAcrossMinuteAndDay) {
    testRun.jd0 = setjd0(2006, 8, 26);
    EXPECT_EQ(calendarText(testRun.jd0, civjts(testRun.jd0, 2006, 8, 26, 10, 0, 30.25)), "2006-08-26T10:00:30.250");
    EXPECT_EQ(calendarText(testRun.jd0, civjts(testRun.jd0, 2006, 8, 26, 23, 59, 59.9996), ' '),
              "2006-08-27 00:00:00.000");
    EXPECT_EQ(calendarText(testRun.jd0, civjts(testRun.jd0, 2006, 8, 31, 12, 0, 0.0)), "2006-08-31T12:00:00.000");
    EXPECT_EQ(calendarText(testRun.jd0, -0.5), "2006-08-25T23:59:59.500");
    testRun.jd0 = 0;
}

TEST(OutputFile, NothingReplacedUntilCommitted) {
    test::TempDir dir;
    const std::string path = dir.write("summary.json", "old\n");
    {
        OutputFile file(path);
        file.write("new\n");
    }
    EXPECT_EQ(test::readFile(path), "old\n");
    {
        OutputFile file(path);
        file.write("new\n");
        file.commit();
    }
    EXPECT_EQ(test::readFile(path), "new\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    EXPECT_THROW(OutputFile(dir.file("no/such/dir/x.json")), InputError);
}

}  // namespace
}  // namespace varno
