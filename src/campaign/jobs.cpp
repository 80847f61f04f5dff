// The job directories, one varno run each, and the engines that run them: GNU parallel, or a Slurm array whose
// tasks are slices of the list through GNU parallel.
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "campaign/campaign.h"
#include "station/station.h"

namespace varno::campaign {

namespace {

namespace fs = std::filesystem;

constexpr double kDegreesPerRadian = 57.29577951308232;

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char ch : text) out += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    return out + "'";
}

std::string readWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeWhole(const fs::path& path, const std::string& text) {
    // An unchanged file keeps its time, so that the stamps of the jobs that use it still match.
    if (fs::exists(path) && readWhole(path) == text) return;
    const fs::path temporary = path.string() + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) throw CampaignError("cannot write " + temporary.string());
    }
    fs::rename(temporary, path);  // a run stopped half-way leaves the old file whole
}

void link(const fs::path& target, const fs::path& name) {
    std::error_code ignored;
    fs::remove(name, ignored);
    fs::create_symlink(target, name);
}

std::string posPair(const std::string& id, const Vec3& xyz) {
    double latitude = 0, longitude = 0, height = 0;
    if (!xyzgeo(xyz[0], xyz[1], xyz[2], latitude, longitude, height)) return "";
    return posRecord(id, latitude * kDegreesPerRadian, longitude * kDegreesPerRadian, height);
}

// FNV-1a, 64 bits: enough to tell a changed input from an unchanged one.
std::uint64_t fnv(const std::string& text, std::uint64_t hash = 1469598103934665603ULL) {
    for (unsigned char ch : text) hash = (hash ^ ch) * 1099511628211ULL;
    return hash;
}

// The stamp of a job: its command and, for every input, the path, size and modification time of what it names.
std::string stampOf(const fs::path& job) {
    std::uint64_t hash = fnv(readWhole(job / "run.sh"));
    std::istringstream inputs(readWhole(job / "inputs"));
    for (std::string path; std::getline(inputs, path);) {
        struct stat info {};
        const bool found = stat(path.c_str(), &info) == 0;
        std::ostringstream entry;
        entry << path << '\n'
              << (found ? static_cast<long long>(info.st_size) : -1) << ' '
              << (found ? static_cast<long long>(info.st_mtim.tv_sec) : 0) << '.' << info.st_mtim.tv_nsec << '\n';
        hash = fnv(entry.str(), hash);
    }
    char text[32];
    std::snprintf(text, sizeof text, "%016llx\n", static_cast<unsigned long long>(hash));
    return text;
}

std::string lastLine(const std::string& text) {
    std::istringstream lines(text);
    std::string last;
    for (std::string line; std::getline(lines, line);)
        if (line.find_first_not_of(" \t\r") != std::string::npos) last = line;
    return last;
}

}  // namespace

std::string writeJobs(const Campaign& campaign, const Plan& plan, bool includeTrivial) {
    const fs::path work(campaign.workDirectory);
    fs::create_directories(work / "jobs");
    std::string list;
    for (const PlannedBaseline& b : plan.baselines) {
        if (b.trivial && !includeTrivial) continue;
        const Occupation& p1 = campaign.occupations[b.from];
        const Occupation& p2 = campaign.occupations[b.to];
        const fs::path job = fs::absolute(work / "jobs" / b.job);
        fs::create_directories(job);
        link(p1.path, job / "point1.rnx");
        link(p2.path, job / "point2.rnx");
        writeWhole(job / "pos", posPair(p1.station, aprioriPosition(campaign, p1)) +
                                    posPair(p2.station, aprioriPosition(campaign, p2)));
        std::string off;
        for (const Occupation* o : {&p1, &p2}) {
            char line[96];
            std::snprintf(line, sizeof line, "%-4s%10.4f%10.4f%10.4f%10.4f\n", o->station.c_str(), o->antenna.up,
                          o->antenna.aux, o->antenna.north, o->antenna.east);
            off += line;
        }
        writeWhole(job / "off", off);

        std::string command = "exec " + quoted(campaign.varno) + " -q -C " + quoted(job.string()) + " --summary=" +
                              quoted((job / "summary.json").string());
        std::string inputs = p1.path + "\n" + p2.path + "\n" + (job / "pos").string() + "\n" +
                             (job / "off").string() + "\n";
        if (campaign.varno.find('/') != std::string::npos) inputs += campaign.varno + "\n";
        for (const auto& orbit : campaign.orbits) {
            command += " --orbit=" + quoted(orbit);
            inputs += orbit + "\n";
        }
        for (const auto& nav : campaign.navs) {
            command += " --nav=" + quoted(nav);
            inputs += nav + "\n";
        }
        for (const auto& option : campaign.varnoOptions) command += " " + quoted(option);
        writeWhole(job / "run.sh", "#!/bin/sh\n# baseline " + p1.station + " to " + p2.station + ", session " +
                                       b.session + "\ncd " + quoted(job.string()) + " || exit 2\n" + command +
                                       " >console.txt 2>stderr.txt\n");
        writeWhole(job / "inputs", inputs);
        list += job.string() + "\n";
    }
    const std::string listPath = fs::absolute(work / "jobs.list").string();
    writeWhole(listPath, list);
    return listPath;
}

bool jobUpToDate(const std::string& jobDirectory) {
    const fs::path job(jobDirectory);
    return fs::exists(job / "summary.json") && fs::exists(job / "stamp") && readWhole(job / "stamp") == stampOf(job);
}

int runJob(const std::string& jobDirectory) {
    const fs::path job(jobDirectory);
    if (!fs::exists(job / "run.sh")) {
        std::fprintf(stderr, "%s: not a job directory (no run.sh)\n", jobDirectory.c_str());
        return 2;
    }
    if (jobUpToDate(jobDirectory)) return 0;
    const std::string stamp = stampOf(job);
    std::error_code ignored;
    for (const char* stale : {"summary.json", "stamp", "failed"}) fs::remove(job / stale, ignored);
    const int raw = std::system(("/bin/sh " + quoted((job / "run.sh").string())).c_str());
    const int status = raw == -1 ? 127 : WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    if (status == 0 && fs::exists(job / "summary.json")) {
        writeWhole(job / "stamp", stamp);
        return 0;
    }
    std::string why = lastLine(readWhole(job / "stderr.txt"));
    if (why.empty()) why = lastLine(readWhole(job / "console.txt"));
    if (why.empty()) why = "varno ended with status " + std::to_string(status) + " and no explanation";
    writeWhole(job / "failed", why + "\n");
    return status == 0 ? 1 : status;
}

std::vector<std::string> parallelCommand(const std::string& self, const std::string& jobList,
                                         const std::string& jobLog, const ParallelOptions& options) {
    std::vector<std::string> command{"parallel", "--will-cite", "--joblog", jobLog, "--resume-failed"};
    if (options.jobs > 0) {
        command.push_back("-j");
        command.push_back(std::to_string(options.jobs));
    }
    if (!options.sshLoginFile.empty()) {
        command.push_back("--sshloginfile");
        command.push_back(options.sshLoginFile);
    }
    if (options.progress) command.push_back("--bar");
    command.insert(command.end(), {self, "exec", "{}", "::::", jobList});
    return command;
}

std::string writeSlurmScript(const std::string& self, const std::string& jobList, int chunks) {
    const fs::path work = fs::path(jobList).parent_path();
    fs::create_directories(work / "slurm");
    std::ostringstream s;
    s << "#!/bin/bash\n"
      << "#SBATCH --job-name=varno-campaign\n"
      << "#SBATCH --array=1-" << chunks << "\n"
      << "#SBATCH --output=" << (work / "slurm" / "task-%A_%a.out").string() << "\n"
      << "# Each task runs its slice of the job list through GNU parallel on the processors it was given.\n"
      << "set -eu\n"
      << "list=" << quoted(jobList) << "\n"
      << "total=$(wc -l < \"$list\")\n"
      << "per=$(( (total + " << chunks << " - 1) / " << chunks << " ))\n"
      << "first=$(( (SLURM_ARRAY_TASK_ID - 1) * per + 1 ))\n"
      << "last=$(( first + per - 1 ))\n"
      << "[ \"$first\" -le \"$total\" ] || exit 0\n"
      << "sed -n \"${first},${last}p\" \"$list\" | parallel --will-cite --resume-failed --joblog "
      << quoted((work / "slurm").string()) << "/joblog.$SLURM_ARRAY_TASK_ID -j \"${SLURM_CPUS_ON_NODE:-1}\" "
      << quoted(self) << " exec {}\n";
    const std::string path = (work / "campaign.sbatch").string();
    writeWhole(path, s.str());
    fs::permissions(path, fs::perms::owner_exec, fs::perm_options::add);
    return path;
}

}  // namespace varno::campaign
