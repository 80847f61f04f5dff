#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "campaign/campaign_test_support.h"
#include "e2e/run_support.h"

namespace varno::campaign {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// A stand-in for varno: logs its run, takes a while, fails for a station named BAD, and otherwise writes a summary
// whose vector is the difference of the two files' approximate positions.
const char* const kFakeVarno = R"(#!/bin/sh
for a in "$@"; do case "$a" in --summary=*) summary="${a#--summary=}";; esac; done
echo "$PWD" >> "$FAKE_LOG"
sleep 0.3
if grep -q "^BAD" point1.rnx point2.rnx; then echo "varno: point2.rnx:12: epoch year: expected an integer" >&2; exit 2; fi
awk '/APPROX POSITION/ { x[n] = $1; y[n] = $2; z[n] = $3; n++ } /MARKER NAME/ { id[m++] = $1 }
END { printf "{\"schema\": \"varno-summary/1\", \"point1\": {\"id\": \"%s\"}, \"point2\": {\"id\": \"%s\"},", id[0], id[1];
      printf " \"baseline\": {\"dx_m\": %.4f, \"dy_m\": %.4f, \"dz_m\": %.4f},", x[1]-x[0], y[1]-y[0], z[1]-z[0];
      printf " \"precision\": {\"covariance_xyz_m2\": [[1e-4, 0, 0], [0, 1e-4, 0], [0, 0, 1e-4]]}}\n" }' \
  point1.rnx point2.rnx > "$summary"
)";

std::string campaignPath() { return std::string(VARNO_BINARY_DIR) + "/varno-campaign"; }

struct CampaignFolder {
    TempDir dir;
    std::string toml;
    explicit CampaignFolder(const std::vector<std::string>& stations) {
        fs::create_directories(dir.path() / "obs");
        double offset = 0;
        for (const auto& id : stations) {
            offset += 1000;
            dir.write("obs/" + id + ".10o", test::rinexHeader(id, {4789000.0 + offset, 176600.0 + offset * offset / 3000,
                                                                   4195000.0 - offset}, 0) +
                                                test::rinexEpoch(5, 0) + test::rinexEpoch(7, 0));
        }
        dir.write("varno", kFakeVarno);
        fs::permissions(dir.file("varno"), fs::perms::owner_exec, fs::perm_options::add);
        toml = dir.write("c.toml", "observations = \"obs/*.10o\"\nvarno = \"./varno\"\nbaselines = \"all\"\n"
                                   "[control.stations.AAAA]\nxyz_m = [4790000.0, 176933.3333333333, 4194000.0]\n"
                                   "sigma_m = 0.002\n");
    }
    std::string run(const std::string& arguments) const {
        const std::string command = "cd '" + dir.path().string() + "' && FAKE_LOG='" + dir.file("log") + "' '" +
                                    campaignPath() + "' " + arguments + " > out.txt 2>&1";
        std::system(command.c_str());
        return test::readFile(dir.file("out.txt"));
    }
};

TEST(PlanCampaign, SessionsOfOverlappingFilesAndTheShortestTree) {
    Campaign c;
    auto add = [&](const std::string& id, double start, double end, Vec3 xyz) {
        Occupation o;
        o.station = o.path = id;
        o.start = start;
        o.end = end;
        o.approx = xyz;
        c.occupations.push_back(o);
    };
    add("A", 0, 7200, {0, 0, 0});
    add("B", 600, 7200, {1000, 0, 0});
    add("C", 0, 3600, {0, 3000, 0});
    add("A", 100000, 107200, {0, 0, 0});
    add("D", 100000, 101000, {0, 0, 50});  // overlaps A by less than half an hour
    const Plan plan = planCampaign(c);
    ASSERT_EQ(plan.sessions.size(), 1u);
    ASSERT_EQ(plan.baselines.size(), 2u);
    EXPECT_EQ(plan.baselines[0].job, "S1-A-B");
    EXPECT_EQ(plan.baselines[1].job, "S1-A-C");
    EXPECT_EQ(plan.notes.size(), 2u);
}

TEST(RunCampaign, AKilledRunFinishesOnlyTheMissingJobsAndFailuresAreExplained) {
    if (std::system("parallel --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "GNU parallel not installed";
    CampaignFolder s({"AAAA", "BBBB", "CCCC", "DDDD", "BAD"});
    const pid_t child = fork();
    if (child == 0) {
        setpgid(0, 0);
        s.run("run c.toml -j 1");
        _exit(0);
    }
    setpgid(child, child);
    std::vector<std::string> stamped;
    for (int wait = 0; wait < 600 && stamped.size() < 3; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        stamped.clear();
        if (fs::exists(s.dir.path() / "c-work" / "jobs"))
            for (const auto& job : fs::directory_iterator(s.dir.path() / "c-work" / "jobs"))
                if (fs::exists(job.path() / "stamp")) stamped.push_back(job.path().string());
    }
    kill(-child, SIGKILL);
    waitpid(child, nullptr, 0);
    ASSERT_GE(stamped.size(), 3u);

    const std::string out = s.run("run c.toml -j 2");
    EXPECT_NE(out.find("failed job S1-AAAA-BAD: varno: point2.rnx:12: epoch year: expected an integer"), std::string::npos)
        << out;
    EXPECT_NE(out.find("4 of 10 jobs failed"), std::string::npos) << out;
    std::map<std::string, int> runs;
    for (const auto& line : test::lines(test::readFile(s.dir.file("log")))) ++runs[line];
    for (const auto& job : stamped) EXPECT_EQ(runs[job], 1) << job;
    EXPECT_EQ(runs.size(), 10u);

    // Nothing changed: nothing runs again but the failed jobs.
    const size_t before = test::lines(test::readFile(s.dir.file("log"))).size();
    s.run("run c.toml");
    EXPECT_EQ(test::lines(test::readFile(s.dir.file("log"))).size(), before + 4);
    // A changed antenna height runs the jobs of that station again (and the failed ones).
    std::ofstream(s.toml, std::ios::app) << "[antenna.BBBB]\nup = 0.5\n";
    s.run("run c.toml");
    EXPECT_EQ(test::lines(test::readFile(s.dir.file("log"))).size(), before + 4 + 7);

    const std::string adjusted = s.run("adjust c.toml --crs EPSG:25831");
    EXPECT_NE(adjusted.find("6 baselines, 4 failed jobs, 3 loops"), std::string::npos) << adjusted;
    for (const char* file : {"campaign.html", "campaign.json", "stations.csv", "baselines.csv", "adjusted.pos",
                             "campaign-gama.xml", "campaign.gps"})
        EXPECT_TRUE(fs::exists(s.dir.path() / "c-work" / file)) << file;

    // The page draws: its picture holds far more than a blank page's.
    if (std::system("chromium --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "chromium not installed";
    auto shot = [&](const std::string& page, const std::string& png) {
        const std::string command = "cd '" + s.dir.path().string() +
                                    "' && timeout 120 chromium --headless --no-sandbox --disable-gpu "
                                    "--window-size=900,700 --screenshot='" + png + "' 'file://" + page +
                                    "' > /dev/null 2>&1";
        std::system(command.c_str());
        return fs::exists(png) ? fs::file_size(png) : 0;
    };
    const auto blank = shot(s.dir.write("blank.html", "<html><body></body></html>"), s.dir.file("blank.png"));
    const auto report = shot((s.dir.path() / "c-work" / "campaign.html").string(), s.dir.file("report.png"));
    ASSERT_GT(blank, 0u);
    EXPECT_GT(report, 4 * blank);
}

}  // namespace
}  // namespace varno::campaign

namespace varno::campaign {
namespace {

TEST(RunCampaign, SlurmArrayRunsEveryJob) {
    if (std::system("timeout 10 sinfo -h -o %T 2>/dev/null | grep -qE 'idle|mixed'") != 0)
        GTEST_SKIP() << "no running Slurm here (scripts/slurm-single-node.sh starts one)";
    CampaignFolder s({"AAAA", "BBBB", "CCCC"});
    const std::string out = s.run("run c.toml --slurm --chunks 2 --submit");
    EXPECT_NE(out.find("campaign.sbatch"), std::string::npos) << out;
    for (const char* job : {"S1-AAAA-BBBB", "S1-AAAA-CCCC", "S1-BBBB-CCCC"})
        EXPECT_TRUE(fs::exists(s.dir.path() / "c-work" / "jobs" / job / "stamp")) << job << "\n" << out;
}

}  // namespace
}  // namespace varno::campaign
