// The program as a user meets it: started in a directory, with or without its input files.
#include <gtest/gtest.h>

#include "e2e/run_support.h"

namespace varno::test {
namespace {

TEST(Varno, EmptyDirectoryNamesPosAndLeavesOnlyTheBanner) {
    TempDir dir;
    RunResult r = runIn(dir.path(), varnoPath());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "varno: cannot open pos: No such file or directory\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(readFile(dir.file("varno.lst")), " Pseudorange Program -- L1 only -- 2006aug26\n");
}

TEST(Varno, InputFilesAreOpenedInOrderAndTheFirstMissingOneIsNamed) {
    TempDir dir;
    dir.write("pos", "");
    dir.write("point1.rnx", "");
    RunResult r = runIn(dir.path(), varnoPath());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "varno: cannot open point2.rnx: No such file or directory\n");
    dir.write("point2.rnx", "");
    r = runIn(dir.path(), varnoPath());
    EXPECT_EQ(r.err, "varno: cannot open orbit.sp3: No such file or directory\n");
}

TEST(Varno, EmptyOrbitFileIsAnInputErrorNamingFileAndLine) {
    TempDir dir;
    for (const char* name : {"pos", "point1.rnx", "point2.rnx", "orbit.sp3"}) dir.write(name, "");
    RunResult r = runIn(dir.path(), varnoPath());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("varno: orbit.sp3:1: ", 0), 0u) << r.err;
    EXPECT_EQ(r.out, "");
}

TEST(Varno, StopReportsItsCodeOnTheConsoleAndInTheExitStatus) {
    // Receivers that do not overlap: the orbit is read, both files scanned, then stop 43587.
    if (!std::filesystem::exists(dataDir("gsi-3040-0759-3km"))) GTEST_SKIP() << "dataset not present: gsi-3040-0759-3km";
    TempDir dir;
    copyRunFiles(dataDir("gsi-3040-0759-3km"), dir.path());
    std::string p1 = readFile(dir.file("point1.rnx"));
    std::string p2 = readFile(dir.file("point2.rnx"));
    // Keep point 1's first ten minutes and point 2's last ten.
    auto cut = [](const std::string& text, const std::string& fromEpoch, bool keepHead) {
        size_t header = text.find("END OF HEADER");
        size_t body = text.find('\n', header) + 1;
        size_t at = text.find(fromEpoch, body);
        return keepHead ? text.substr(0, at) : text.substr(0, body) + text.substr(at);
    };
    dir.write("point1.rnx", cut(p1, " 05  4  2  0 10", true));
    dir.write("point2.rnx", cut(p2, " 05  4  2  0 50", false));
    RunResult r = runIn(dir.path(), varnoPath());
    EXPECT_EQ(r.status, 43587 & 0xFF);
    EXPECT_EQ(r.out, "STOP 43587\n");
    std::vector<std::string> listing = lines(readFile(dir.file("varno.lst")));
    ASSERT_FALSE(listing.empty());
    EXPECT_EQ(listing.back(), " receiver data do not overlap -- fatal");
}

TEST(Varno, InputThatCannotBeReadIsNamedNotTakenAsEmpty) {
    TempDir dir;
    for (const char* name : {"pos", "point1.rnx", "point2.rnx"}) dir.write(name, "");
    std::filesystem::create_directory(dir.file("orbit.sp3"));
    RunResult r = runIn(dir.path(), varnoPath());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "varno: cannot read orbit.sp3: Is a directory\n");
}

TEST(Varno, ListingThatCannotBeWrittenIsNotACompleteRun) {
    if (!std::filesystem::exists("/dev/full") || !std::filesystem::exists(dataDir("gsi-3040-0759-3km"))) {
        GTEST_SKIP();
    }
    TempDir dir;
    copyRunFiles(dataDir("gsi-3040-0759-3km"), dir.path());
    std::filesystem::create_symlink("/dev/full", dir.file("varno.lst"));
    RunResult r = runIn(dir.path(), varnoPath());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "varno: cannot write varno.lst\n");
}

}  // namespace
}  // namespace varno::test
