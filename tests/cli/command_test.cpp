// The command line as a user meets it: the built varno started with options in a scratch directory.
#include <gtest/gtest.h>

#include "e2e/run_support.h"

namespace varno::test {
namespace {

namespace fs = std::filesystem;

const fs::path kExample = fs::path(VARNO_SOURCE_DIR) / "examples" / "baseline-2km";

std::vector<std::string> names(const fs::path& dir) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(dir)) found.push_back(entry.path().filename().string());
    std::sort(found.begin(), found.end());
    return found;
}

TEST(CommandLine, HelpAndVersionRunAndWriteNothing) {
    TempDir dir;
    copyRunFiles(kExample, dir.path());
    std::vector<std::string> before = names(dir.path());
    RunResult help = runIn(dir.path(), varnoPath() + " --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: varno [OPTION]...\n", 0), 0u);
    EXPECT_EQ(help.err, "");
    RunResult version = runIn(dir.path(), varnoPath() + " --version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("varno ", 0), 0u);
    EXPECT_NE(version.out.find("\nbuild: "), std::string::npos);
    EXPECT_EQ(names(dir.path()), before);
}

TEST(CommandLine, RefusedCommandLineIsOneLineStatusTwoAndRunsNothing) {
    TempDir dir;
    copyRunFiles(kExample, dir.path());
    std::vector<std::string> before = names(dir.path());
    for (const char* args : {" --bogus", " --pos", " stray", " -q -o"}) {
        RunResult r = runIn(dir.path(), varnoPath() + args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_EQ(lines(r.err).size(), 1u) << args;
        EXPECT_NE(r.err.find("; try 'varno --help'\n"), std::string::npos) << r.err;
    }
    EXPECT_EQ(names(dir.path()), before);
}

TEST(CommandLine, DefaultNamesThroughOptionsEqualTheRunWithoutArguments) {
    TempDir plain;
    TempDir named;
    copyRunFiles(kExample, plain.path());
    copyRunFiles(kExample, named.path());
    RunResult a = runIn(plain.path(), varnoPath());
    RunResult b = runIn(named.path(), varnoPath() + " --point1 point1.rnx --point2=point2.rnx --orbit orbit.sp3"
                                                    " --pos pos --off off -o . -C .");
    ASSERT_EQ(a.status, 0);
    EXPECT_EQ(b.status, 0);
    EXPECT_EQ(b.out, a.out);
    EXPECT_EQ(readFile(named.file("varno.lst")), readFile(plain.file("varno.lst")));
    EXPECT_EQ(readFile(named.file("varno.res")), readFile(plain.file("varno.res")));
}

TEST(CommandLine, InputsByAnyNameFromAnotherDirectoryOutputsWhereAsked) {
    TempDir plain;
    copyRunFiles(kExample, plain.path());
    ASSERT_EQ(runIn(plain.path(), varnoPath()).status, 0);

    TempDir job;
    fs::create_directories(job.path() / "in");
    fs::copy_file(kExample / "point1.rnx", job.path() / "in" / "a.obs");
    fs::copy_file(kExample / "point2.rnx", job.path() / "in" / "b.obs");
    fs::copy_file(kExample / "orbit.sp3", job.path() / "in" / "day.sp3");
    fs::copy_file(kExample / "pos", job.path() / "in" / "stations");
    fs::copy_file(kExample / "off", job.path() / "in" / "antennas");
    TempDir elsewhere;
    RunResult r = runIn(elsewhere.path(), varnoPath() + " -q -C '" + job.path().string() +
                                              "' --point1 in/a.obs --point2 in/b.obs --orbit in/day.sp3"
                                              " --pos in/stations --off in/antennas -o results/run1");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");  // quiet: no progress lines
    EXPECT_EQ(readFile((job.path() / "results/run1/varno.lst").string()), readFile(plain.file("varno.lst")));
    EXPECT_EQ(readFile((job.path() / "results/run1/varno.res").string()), readFile(plain.file("varno.res")));
    EXPECT_EQ(names(elsewhere.path()), std::vector<std::string>{});
}

TEST(CommandLine, OffsetFileSwitchedOffOrNamedButMissing) {
    TempDir without;
    copyRunFiles(kExample, without.path());
    fs::remove(without.path() / "off");
    ASSERT_EQ(runIn(without.path(), varnoPath()).status, 0);
    TempDir ignored;
    copyRunFiles(kExample, ignored.path());
    EXPECT_EQ(runIn(ignored.path(), varnoPath() + " --no-off").status, 0);
    EXPECT_EQ(readFile(ignored.file("varno.lst")), readFile(without.file("varno.lst")));

    RunResult missing = runIn(without.path(), varnoPath() + " --off antennas.txt");
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "varno: cannot open antennas.txt: No such file or directory\n");
}

}  // namespace
}  // namespace varno::test
