// Times whole runs of varno as a user starts them (a separate process in the run directory) and, side by side,
// an earlier build of varno and the peer DGPS solver on the same files.
//
// Usage: varno-bench [--runs N] [--varno PATH] [--baseline PATH] [--nav] [--systems LIST] [--no-peer] NAME=DIR ...
// Each DIR holds point1.rnx, point2.rnx, orbit.sp3, pos (and off). Directories that cannot be written (the shared
// datasets) are copied to a scratch directory first. For every program the median of N runs (wall and CPU) and the
// largest peak resident set are printed; with --baseline, whether its listing and residual file are byte-identical
// to varno's; with --nav, varno run again on the same data with the navigation files beside it as the orbit
// (--nav, every file named *.YYn, *.nav or *_MN.rnx) and its time against that with the SP3 orbit; with --systems,
// varno run again with `--systems LIST`, its double differences and its time against the plain run's (GPS alone), in
// the same bench run so that both see the same machine. The peer is
// `rnx2rtkp` from PATH (Debian package rtklib), run in DGPS mode on L1 with the same SP3, GPS only, elevation mask
// 0, ionosphere and troposphere off, point 1 as base at its header position, with the SP3's clocks as its
// navigation file.
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Timing {
    double wall = 0, cpu = 0;
    long peakKiB = 0;
    int status = 0;
};

// Runs `argv` in `dir` with its output discarded; wall time, CPU time and peak memory of the child.
Timing runOnce(const fs::path& dir, const std::vector<std::string>& argv) {
    Timing t;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(127);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    t.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    t.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    t.peakKiB = usage.ru_maxrss;
    t.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return t;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

// Median wall and CPU over `runs` runs, largest peak memory, last exit status.
Timing timed(const fs::path& dir, const std::vector<std::string>& argv, int runs) {
    std::vector<double> wall, cpu;
    Timing out;
    for (int r = 0; r < runs; ++r) {
        const Timing t = runOnce(dir, argv);
        wall.push_back(t.wall);
        cpu.push_back(t.cpu);
        out.peakKiB = std::max(out.peakKiB, t.peakKiB);
        out.status = t.status;
    }
    out.wall = median(wall);
    out.cpu = median(cpu);
    return out;
}

// Files are compared and counted a block at a time: the children's peak memory, as the system reports it, starts
// from this process's own.
bool sameFile(const fs::path& a, const fs::path& b) {
    std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
    if (!x || !y) return false;
    char bx[1 << 14], by[1 << 14];
    for (;;) {
        x.read(bx, sizeof bx);
        y.read(by, sizeof by);
        if (x.gcount() != y.gcount() || std::memcmp(bx, by, static_cast<std::size_t>(x.gcount())) != 0) return false;
        if (x.gcount() == 0) return true;
    }
}

long lineCount(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    char block[1 << 14];
    long lines = 0;
    while (in.read(block, sizeof block) || in.gcount() > 0) {
        lines += static_cast<long>(std::count(block, block + in.gcount(), '\n'));
    }
    return lines;
}

// Point 1's header position (APPROX POSITION XYZ), the peer's base.
std::string basePosition(const fs::path& obs) {
    std::ifstream in(obs);
    std::string line;
    while (std::getline(in, line)) {
        if (line.find("APPROX POSITION XYZ") != std::string::npos) return line.substr(0, 42);
        if (line.find("END OF HEADER") != std::string::npos) break;
    }
    return "0 0 0";
}

// The peer's options, and its navigation file: the satellite clocks of the SP3 as broadcast records (the peer dates
// each signal with a broadcast clock before it takes the precise orbit), written by bench/peer/sp3_clock_nav.py.
bool writePeerSetup(const fs::path& dir) {
    std::ofstream conf(dir / "peer.conf");
    conf << "pos1-posmode       =dgps\npos1-frequency     =l1\npos1-elmask        =0\npos1-navsys        =1\n"
            "pos1-sateph        =precise\npos1-ionoopt       =off\npos1-tropopt       =off\n";
    const std::string command = "python3 '" + std::string(VARNO_SOURCE_DIR) + "/bench/peer/sp3_clock_nav.py' '" +
                                (dir / "orbit.sp3").string() + "' > '" + (dir / "peer.nav").string() + "'";
    // The peer tells orbit files by their extension and would take a .rnx file for one.
    for (const char* name : {"point1", "point2"}) {
        fs::remove(dir / (std::string(name) + ".obs"));
        fs::create_symlink(std::string(name) + ".rnx", dir / (std::string(name) + ".obs"));
    }
    return std::system(command.c_str()) == 0;
}

bool onPath(const char* program) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) return false;
    std::stringstream dirs(path);
    std::string d;
    while (std::getline(dirs, d, ':')) {
        if (access((fs::path(d) / program).c_str(), X_OK) == 0) return true;
    }
    return false;
}

// The navigation files of a workload, in name order: RINEX 2 (*.YYn), *.nav, and merged RINEX 3/4 (*_MN.rnx).
std::vector<fs::path> navigationFiles(const fs::path& dir) {
    std::vector<fs::path> out;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        const std::string ext = entry.path().extension().string();
        const bool rinex2 = ext.size() == 4 && ext.back() == 'n' && std::isdigit(static_cast<unsigned char>(ext[1])) &&
                            std::isdigit(static_cast<unsigned char>(ext[2]));
        const bool merged = name.size() > 7 && name.compare(name.size() - 7, 7, "_MN.rnx") == 0;
        if (rinex2 || ext == ".nav" || merged) out.push_back(entry.path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    std::string varno = VARNO_BINARY;
    std::string baseline;
    bool peer = true;
    bool nav = false;
    std::string systems;  // with --systems: the list given to varno's second run
    std::vector<std::string> options;  // given to varno and to the baseline alike
    std::vector<std::pair<std::string, fs::path>> workloads;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--varno" && i + 1 < argc) {
            varno = fs::absolute(argv[++i]).string();
        } else if (a == "--baseline" && i + 1 < argc) {
            baseline = fs::absolute(argv[++i]).string();
        } else if (a == "--option" && i + 1 < argc) {
            options.emplace_back(argv[++i]);
        } else if (a == "--nav") {
            nav = true;
        } else if (a == "--systems" && i + 1 < argc) {
            systems = argv[++i];
        } else if (a == "--no-peer") {
            peer = false;
        } else if (a.find('=') != std::string::npos) {
            workloads.emplace_back(a.substr(0, a.find('=')), fs::absolute(a.substr(a.find('=') + 1)));
        } else {
            std::fprintf(stderr, "usage: varno-bench [--runs N] [--varno PATH] [--baseline PATH] [--option ARG]... "
                                 "[--nav] [--systems LIST] [--no-peer] "
                                 "NAME=DIR ...\n");
            return 2;
        }
    }
    peer = peer && onPath("rnx2rtkp");
    const fs::path scratch = fs::temp_directory_path() / ("varno-bench-" + std::to_string(getpid()));

    std::printf("median of %d runs; wall and CPU in seconds, peak resident set in MiB\n", runs);
    std::printf("| workload | double differences | varno wall | varno CPU | peak MiB |%s%s%s%s\n",
                baseline.empty() ? "" : " before wall | before / varno | identical |",
                nav ? " --nav wall | --nav CPU | --nav peak MiB | --nav / varno wall | --nav / varno CPU |" : "",
                systems.empty() ? ""
                                : " --systems double differences | --systems wall | --systems CPU | "
                                  "--systems peak MiB | --systems / varno wall | --systems / varno CPU |",
                peer ? " peer wall | peer / varno |" : "");
    std::printf("|---|---|---|---|---|%s%s%s%s\n", baseline.empty() ? "" : "---|---|---|",
                nav ? "---|---|---|---|---|" : "", systems.empty() ? "" : "---|---|---|---|---|---|",
                peer ? "---|---|" : "");
    for (const auto& [name, from] : workloads) {
        if (!fs::exists(from / "point1.rnx")) {
            std::printf("| %s | (absent) |\n", name.c_str());
            continue;
        }
        // Every run happens in a scratch folder holding links to the inputs: nothing is ever written beside the
        // workload's files (the real datasets are read in place and must stay as they are, even for root).
        const fs::path dir = scratch / name;
        fs::remove_all(dir);
        fs::create_directories(dir);
        for (const char* f : {"point1.rnx", "point2.rnx", "orbit.sp3", "pos", "off"}) {
            if (fs::exists(from / f)) fs::create_symlink(from / f, dir / f);
        }
        const std::vector<fs::path> navs = nav ? navigationFiles(from) : std::vector<fs::path>{};
        Timing old;
        if (!baseline.empty()) {
            std::vector<std::string> command{baseline};
            command.insert(command.end(), options.begin(), options.end());
            old = timed(dir, command, runs);
            for (const char* f : {"varno.lst", "varno.res"}) fs::rename(dir / f, dir / (std::string(f) + ".before"));
        }
        std::vector<std::string> command{varno};
        command.insert(command.end(), options.begin(), options.end());
        const Timing now = timed(dir, command, runs);
        bool identical = true;
        for (const char* f : {"varno.lst", "varno.res"}) {
            identical = identical && sameFile(dir / f, dir / (std::string(f) + ".before"));
        }
        std::printf("| %s | %ld | %.3f | %.3f | %.1f |", name.c_str(), lineCount(dir / "varno.res"), now.wall, now.cpu,
                    static_cast<double>(now.peakKiB) / 1024.0);
        if (!baseline.empty()) {
            std::printf(" %.3f | %.1f | %s |", old.wall, old.wall / now.wall, identical ? "yes" : "NO");
        }
        if (nav && navs.empty()) std::printf(" (no navigation file) | | | | |");
        if (!navs.empty()) {
            std::vector<std::string> withNav = command;
            for (const fs::path& f : navs) {
                withNav.emplace_back("--nav");
                withNav.push_back(f.string());
            }
            const Timing n = timed(dir, withNav, runs);
            std::printf(" %.3f | %.3f | %.1f | %.2f | %.2f |%s", n.wall, n.cpu, static_cast<double>(n.peakKiB) / 1024.0,
                        n.wall / now.wall, n.cpu / now.cpu, n.status == 0 ? "" : " (--nav run did not complete)");
        }
        if (!systems.empty()) {
            std::vector<std::string> withSystems = command;
            withSystems.emplace_back("--systems");
            withSystems.push_back(systems);
            const Timing m = timed(dir, withSystems, runs);
            std::printf(" %ld | %.3f | %.3f | %.1f | %.2f | %.2f |%s", lineCount(dir / "varno.res"), m.wall, m.cpu,
                        static_cast<double>(m.peakKiB) / 1024.0, m.wall / now.wall, m.cpu / now.cpu,
                        m.status == 0 ? "" : " (--systems run did not complete)");
        }
        if (peer) {
            if (!writePeerSetup(dir)) {
                std::printf(" (no peer navigation file) |\n");
                continue;
            }
            std::vector<std::string> command{"rnx2rtkp", "-k", "peer.conf", "-r"};
            std::istringstream xyz(basePosition(dir / "point1.rnx"));
            for (std::string v; xyz >> v;) command.push_back(v);
            for (const char* f : {"-o", "peer.pos", "point2.obs", "point1.obs", "orbit.sp3", "peer.nav"}) {
                command.emplace_back(f);
            }
            const Timing p = timed(dir, command, runs);
            long solutions = 0;
            std::ifstream sol(dir / "peer.pos");
            for (std::string line; std::getline(sol, line);) solutions += !line.empty() && line[0] != '%';
            std::printf(" %.3f | %.1f%s |", p.wall, p.wall / now.wall, solutions == 0 ? " (no solution)" : "");
        }
        std::printf("%s\n", now.status == 0 ? "" : "  (varno did not complete)");
        std::fflush(stdout);
    }
    fs::remove_all(scratch);
    return 0;
}
