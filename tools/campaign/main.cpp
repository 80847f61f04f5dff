// varno-campaign: plans, runs and adjusts a survey campaign of many baselines from one campaign file.
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "campaign/campaign.h"

namespace {

namespace fs = std::filesystem;
using namespace varno::campaign;

constexpr int kStatusUsage = 2;

const char* const kUsage =
    "Usage: varno-campaign plan FILE.toml [--crs CRS]\n"
    "       varno-campaign run FILE.toml [-j N] [--sshloginfile FILE] [--slurm [--chunks N] [--submit]]\n"
    "       varno-campaign adjust FILE.toml [--crs CRS]\n"
    "       varno-campaign exec JOB-DIRECTORY\n"
    "plan lists the sessions and baselines and writes the job directories and jobs.list; run also runs the jobs\n"
    "through GNU parallel (or writes a Slurm array script); adjust adjusts the baselines of the jobs that ran and\n"
    "writes the report (HTML, JSON, CSV, pos, GNU Gama XML, STAR*NET). See varno-campaign(1).\n";

struct Options {
    std::string command, file, crs, sshLoginFile;
    int jobs = 0, chunks = 0;
    bool slurm = false, submit = false;
};

bool parse(int argc, char** argv, Options& o) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() < 2) return false;
    o.command = args[0];
    o.file = args[1];
    for (size_t k = 2; k < args.size(); ++k) {
        const std::string& a = args[k];
        auto value = [&](std::string& out) {
            if (k + 1 >= args.size()) return false;
            out = args[++k];
            return true;
        };
        std::string text;
        if (a == "--crs" && value(o.crs)) continue;
        if (a == "--sshloginfile" && value(o.sshLoginFile)) continue;
        if (a == "--slurm") o.slurm = true;
        else if (a == "--submit") o.submit = true;
        else if ((a == "-j" || a == "--chunks") && value(text)) {
            char* end = nullptr;
            const long n = std::strtol(text.c_str(), &end, 10);
            if (*end != '\0' || n < 1 || n > 100000) return false;
            (a == "-j" ? o.jobs : o.chunks) = static_cast<int>(n);
        } else return false;
    }
    return true;
}

std::string selfPath() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string("varno-campaign") : self.string();
}

// The varno beside this program (the build tree and an installation keep them together), unless the campaign
// file names another.
void chooseVarno(Campaign& c) {
    if (c.varno != "varno") {
        if (c.varno.find('/') != std::string::npos) c.varno = fs::absolute(fs::path(c.directory) / c.varno).string();
        return;
    }
    const fs::path sibling = fs::path(selfPath()).parent_path() / "varno";
    if (fs::exists(sibling)) c.varno = sibling.string();
}

// Seconds since 1980-01-06 0h as a calendar date and time.
std::string clock(double seconds) {
    constexpr long long kUnixDaysAt1980 = 3657, kShift = 719468;  // 1980-01-06 after 1970-01-01; to 0000-03-01
    const long long s = static_cast<long long>(std::floor(seconds));
    const long long z = s / 86400 + kUnixDaysAt1980 + kShift;
    const long long era = z / 146097, doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
    const long long d = doy - (153 * mp + 2) / 5 + 1, m = mp < 10 ? mp + 3 : mp - 9, y = yoe + era * 400 + (m <= 2);
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", y, m, d, s % 86400 / 3600,
                  s % 3600 / 60, s % 60);
    return text;
}

void printPlan(const Campaign& c, const Plan& plan) {
    std::printf("campaign %s: %zu observation files, %zu control stations, %s held\n", c.name.c_str(),
                c.occupations.size(), c.controls.size(), c.held.c_str());
    for (const Session& s : plan.sessions) {
        std::printf("session %s  %s .. %s  stations", s.name.c_str(), clock(s.start).c_str(), clock(s.end).c_str());
        for (int k : s.occupations) std::printf(" %s", c.occupations[k].station.c_str());
        std::printf("\n");
    }
    for (const PlannedBaseline& b : plan.baselines)
        std::printf("  %-20s %-4s -> %-4s %12.3f m %8.0f s overlap%s\n", b.job.c_str(),
                    c.occupations[b.from].station.c_str(), c.occupations[b.to].station.c_str(), b.length, b.overlap,
                    b.trivial ? "  trivial" : "");
    for (const auto& n : plan.notes) std::printf("note: %s\n", n.c_str());
}

int runCommand(const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const auto& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child < 0) return 127;
    if (child == 0) {
        execvp(argv[0], argv.data());
        std::fprintf(stderr, "varno-campaign: cannot start %s: %s\n", argv[0], std::strerror(errno));
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void writeFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) throw CampaignError("cannot write " + path.string());
}

int adjust(const Campaign& c, const Plan& plan) {
    Report report;
    report.campaign = &c;
    report.plan = &plan;
    readBaselines(c, plan, report.baselines, report.failed);
    for (const FailedJob& f : report.failed) std::printf("failed job %s: %s\n", f.job.c_str(), f.explanation.c_str());
    if (report.baselines.empty()) throw CampaignError("no job has a result yet: run 'varno-campaign run " + c.file + "'");
    report.network = adjustNetwork(c, report.baselines);
    if (!c.crs.empty()) report.projected = toProjected(c.crs, finalAdjustment(report).stations);
    if (report.projected)
        for (const ProjectedStation& s : report.projected->stations)
            if (s.outsideAreaOfUse)
                std::fprintf(stderr, "varno-campaign: warning: station %s lies outside the area of use of %s (%s)\n",
                             s.id.c_str(), c.crs.c_str(), report.projected->areaOfUse.c_str());
    const fs::path work(c.workDirectory);
    writeFile(work / "campaign.html", reportHtml(report));
    writeFile(work / "campaign.json", reportJson(report));
    writeFile(work / "stations.csv", stationsCsv(report));
    writeFile(work / "baselines.csv", baselinesCsv(report));
    writeFile(work / "adjusted.pos", posRecords(finalAdjustment(report).stations));
    writeFile(work / "campaign-gama.xml", gamaXml(report));
    writeFile(work / "campaign.gps", starnetRecords(report));

    const NetworkResult& n = report.network;
    std::printf("%zu baselines, %zu failed jobs, %zu loops\n", report.baselines.size(), report.failed.size(), n.loops.size());
    for (const Loop& l : n.loops) {
        std::string path;
        for (const auto& s : l.stations) path += (path.empty() ? "" : "-") + s;
        std::printf("loop %-40s %9.1f mm %8.2f ppm  sigma %7.1f mm  ratio %5.2f  %s\n", path.c_str(), l.misclosureMm,
                    l.ppm, l.sigmaMm, l.ratio, l.passed ? "passed" : "FAILED");
    }
    auto test = [](const char* what, const GlobalTest& t) {
        if (t.redundancy <= 0) {
            std::printf("%s: no redundancy, nothing to test\n", what);
            return;
        }
        std::printf("%s: variance factor %.3f, bounds %.3f .. %.3f, %d degrees of freedom: %s\n", what, t.varianceFactor,
                    t.lower, t.upper, t.redundancy, t.passed ? "passed" : "FAILED");
    };
    test("global test (minimally constrained)", n.minimal.global);
    for (const AdjustedBaseline& b : n.minimal.baselines)
        if (b.flagged) std::printf("flagged baseline %s: w %.2f\n", b.job.c_str(), b.wTest);
    if (n.constrainedDone) {
        test("global test (constrained)", n.constrained.global);
        test("fit of the controls", n.controlFit);
    }
    for (const AdjustedStation& s : finalAdjustment(report).stations)
        std::printf("%-4s %15.4f %15.4f %15.4f  sN %6.1f sE %6.1f sU %6.1f mm%s\n", s.id.c_str(), s.xyz[0], s.xyz[1],
                    s.xyz[2], s.sigmaNeu[0] * 1000, s.sigmaNeu[1] * 1000, s.sigmaNeu[2] * 1000,
                    s.held ? "  held" : s.control ? "  control" : "");
    for (const auto& note : n.notes) std::printf("note: %s\n", note.c_str());
    std::printf("report: %s\n", (work / "campaign.html").c_str());
    return 0;
}

int run(const Campaign& c, const Plan& plan, const Options& o) {
    const std::string list = writeJobs(c, plan, c.allPairs);
    if (o.slurm) {
        const std::string script = writeSlurmScript(selfPath(), list, o.chunks > 0 ? o.chunks : 1);
        std::printf("Slurm batch script: %s\n", script.c_str());
        if (!o.submit) {
            std::printf("submit it with: sbatch %s\n", script.c_str());
            return 0;
        }
        return runCommand({"sbatch", "--wait", script});
    }
    // GNU parallel's --resume-failed passes over every job its log records as done; when a job is not up to date
    // (not run, failed, killed, or its inputs changed) the log is set aside, and each job decides for itself.
    const std::string jobLog = c.workDirectory + "/joblog";
    bool allCurrent = true;
    for (const PlannedBaseline& b : plan.baselines) {
        const fs::path job = fs::path(c.workDirectory) / "jobs" / b.job;
        if (fs::exists(job / "run.sh") && !jobUpToDate(job.string())) allCurrent = false;
    }
    if (!allCurrent && fs::exists(jobLog)) fs::rename(jobLog, jobLog + ".previous");
    ParallelOptions p;
    p.jobs = o.jobs;
    p.sshLoginFile = o.sshLoginFile;
    p.progress = isatty(STDERR_FILENO);
    const int status = runCommand(parallelCommand(selfPath(), list, jobLog, p));
    int failed = 0;
    for (const PlannedBaseline& b : plan.baselines) {
        const fs::path why = fs::path(c.workDirectory) / "jobs" / b.job / "failed";
        std::ifstream in(why);
        std::string text;
        if (in && std::getline(in, text)) {
            std::printf("failed job %s: %s\n", b.job.c_str(), text.c_str());
            ++failed;
        }
    }
    std::printf("%d of %zu jobs failed\n", failed, plan.baselines.size());
    return status == 0 && failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (!std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "--help"))) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    Options o;
    if (!parse(argc, argv, o)) {
        std::fputs("varno-campaign: expected a command and a file; try 'varno-campaign --help'\n", stderr);
        return kStatusUsage;
    }
    try {
        if (o.command == "exec") return runJob(o.file);
        if (o.command != "plan" && o.command != "run" && o.command != "adjust") {
            std::fprintf(stderr, "varno-campaign: unknown command %s; try 'varno-campaign --help'\n", o.command.c_str());
            return kStatusUsage;
        }
        Campaign c = readCampaign(o.file, o.crs);
        chooseVarno(c);
        const Plan plan = planCampaign(c);
        if (o.command == "plan") {
            printPlan(c, plan);
            std::printf("job list: %s\n", writeJobs(c, plan, c.allPairs).c_str());
            return 0;
        }
        if (o.command == "run") return run(c, plan, o);
        return adjust(c, plan);
    } catch (const CampaignError& e) {
        std::fprintf(stderr, "varno-campaign: %s\n", e.what());
        return kStatusUsage;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "varno-campaign: %s\n", e.what());
        return 1;
    }
}
