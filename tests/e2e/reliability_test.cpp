// What a run leaves behind when it is stopped, killed, refused or crowded: nothing half-written, nothing stray.
#include <gtest/gtest.h>

#include <csignal>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "e2e/run_support.h"

namespace varno::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> entries(const fs::path& dir) {
    std::vector<std::string> found;
    for (const auto& e : fs::recursive_directory_iterator(dir)) found.push_back(e.path().lexically_relative(dir));
    std::sort(found.begin(), found.end());
    return found;
}

// A run of the simulator's data with a listing and residual file of an earlier run beside it.
struct RunDir {
    explicit RunDir(const std::string& simOptions) {
        RunResult sim = runIn(dir.path(), simPath() + " " + simOptions + " .");
        EXPECT_EQ(sim.status, 0) << sim.err;
        dir.write("varno.lst", "earlier listing\n");
        dir.write("varno.res", "earlier residuals\n");
        before = entries(dir.path());
    }
    TempDir dir;
    TempDir tmp;  // TMPDIR of the runs
    std::vector<std::string> before;
    std::string run() { return "TMPDIR='" + tmp.path().string() + "' " + varnoPath(); }
};

TEST(Reliability, SignalEndsTheRunLeavingEarlierOutputsAndNoTemporaryFile) {
    RunDir d("--interval=1 --duration=7200");
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int s : {SIGINT, SIGTERM, SIGHUP}) std::signal(s, SIG_DFL);
            if (chdir(d.dir.path().c_str()) != 0) _exit(99);
            setenv("TMPDIR", d.tmp.path().c_str(), 1);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            dup2(open(d.tmp.file("../varno-stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
            execl(varnoPath().c_str(), "varno", static_cast<char*>(nullptr));
            _exit(98);
        }
        // Signalled while the scatter files exist: the scratch directory holds them.
        bool scattering = false;
        for (int i = 0; i < 20000 && !scattering; ++i) {
            for (const std::string& e : entries(d.tmp.path())) scattering |= e.find("/ZZ-A") != std::string::npos;
            if (!scattering) std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        ASSERT_TRUE(scattering) << "the run never reached its scatter files";
        kill(child, sig);
        int raw = 0;
        waitpid(child, &raw, 0);
        ASSERT_TRUE(WIFEXITED(raw));
        EXPECT_EQ(WEXITSTATUS(raw), 128 + sig);
        const std::string err = readFile(d.tmp.file("../varno-stderr"));
        EXPECT_NE(err.find("varno: interrupted by SIG"), std::string::npos) << err;
        EXPECT_EQ(entries(d.tmp.path()), std::vector<std::string>{});
        EXPECT_EQ(entries(d.dir.path()), d.before);
        EXPECT_EQ(readFile(d.dir.file("varno.lst")), "earlier listing\n");
        EXPECT_EQ(readFile(d.dir.file("varno.res")), "earlier residuals\n");
    }
    fs::remove(d.tmp.file("../varno-stderr"));
}

TEST(Reliability, SecondRunInTheSameDirectoryIsRefusedAtOnce) {
    RunDir d("--duration=600");
    const int fd = open(d.dir.file("varno.lock").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    RunResult r = runIn(d.dir.path(), d.run());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "varno: another run is using this directory (it holds varno.lock); try again when it has "
                     "ended\n");
    EXPECT_EQ(readFile(d.dir.file("varno.lst")), "earlier listing\n");
    close(fd);
    r = runIn(d.dir.path(), d.run());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(fs::exists(d.dir.file("varno.lock")));
}

TEST(Reliability, UsersScratchNamedFilesAreNeitherTouchedNorInTheWay) {
    RunDir d("--duration=600");
    d.dir.write("ZZ-A", "mine\n");
    RunResult r = runIn(d.dir.path(), d.run());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(d.dir.file("ZZ-A")), "mine\n");
    EXPECT_EQ(entries(d.tmp.path()), std::vector<std::string>{});
}

TEST(Reliability, StopLeavesItsListingAndNoResidualFile) {
    RunDir d("--tag-offset2=0.35 --duration=1800");
    RunResult r = runIn(d.dir.path(), d.run());
    EXPECT_EQ(r.status, 46);
    EXPECT_NE(readFile(d.dir.file("varno.lst")), "earlier listing\n");
    EXPECT_FALSE(fs::exists(d.dir.file("varno.res")));
    std::vector<std::string> after = d.before;
    after.erase(std::find(after.begin(), after.end(), "varno.res"));
    EXPECT_EQ(entries(d.dir.path()), after);
    EXPECT_EQ(entries(d.tmp.path()), std::vector<std::string>{});
}

}  // namespace
}  // namespace varno::test
