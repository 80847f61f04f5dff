// Times whole runs of the program on the real datasets and reports the time per epoch and the peak memory.
// Usage: varno-bench [repetitions] [dataset ...]   (datasets are folders of ../shared/data)
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "run/run.h"
#include "textio/textio.h"

namespace fs = std::filesystem;

namespace {

long peakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

long countEpochLines(const fs::path& rinex) {
    std::FILE* f = std::fopen(rinex.c_str(), "rb");
    if (f == nullptr) return 0;
    char line[256];
    bool header = true;
    long epochs = 0;
    while (std::fgets(line, sizeof line, f) != nullptr) {
        std::string s(line);
        if (header) {
            if (s.find("END OF HEADER") != std::string::npos) header = false;
            continue;
        }
        // An epoch line has a blank in column 1, digits in the date fields and a decimal point in column 24.
        if (s.size() > 26 && s[0] == ' ' && s[23] == '.' && s[3] == ' ') ++epochs;
    }
    std::fclose(f);
    return epochs;
}

}  // namespace

int main(int argc, char** argv) {
    int repetitions = argc > 1 ? std::atoi(argv[1]) : 3;
    if (repetitions < 1) repetitions = 1;
    std::vector<std::string> names;
    for (int i = 2; i < argc; ++i) names.push_back(argv[i]);
    fs::path data = fs::path(VARNO_SHARED_DIR) / "data";
    if (names.empty()) {
        for (const char* n : {"gsi-3040-0759-3km", "upc1-upc2-38m-1hz", "garr-mata-51km", "ebre-creu-288km"}) {
            names.push_back(n);
        }
    }
    fs::path work = fs::temp_directory_path() / ("varno-bench-" + std::to_string(getpid()));
    fs::path start = fs::current_path();
    std::printf("%-26s %8s %10s %12s %10s\n", "dataset", "epochs", "best s", "us/epoch", "peak MiB");
    for (const std::string& name : names) {
        fs::path from = data / name;
        if (!fs::exists(from)) {
            std::printf("%-26s (absent)\n", name.c_str());
            continue;
        }
        fs::remove_all(work);
        fs::create_directories(work);
        for (const char* f : {"point1.rnx", "point2.rnx", "orbit.sp3", "pos", "off"}) {
            if (fs::exists(from / f)) fs::copy_file(from / f, work / f);
        }
        long epochs = std::max(countEpochLines(work / "point1.rnx"), countEpochLines(work / "point2.rnx"));
        fs::current_path(work);
        double best = 1e300;
        int status = 0;
        for (int r = 0; r < repetitions; ++r) {
            varno::captureOutput();  // the console lines of the run are not timed against a terminal
            auto t0 = std::chrono::steady_clock::now();
            status = varno::runVarno();
            auto t1 = std::chrono::steady_clock::now();
            varno::releaseConsole();
            best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
        }
        fs::current_path(start);
        std::printf("%-26s %8ld %10.3f %12.2f %10.1f%s\n", name.c_str(), epochs, best,
                    epochs > 0 ? best * 1e6 / static_cast<double>(epochs) : 0.0, peakRssKiB() / 1024.0,
                    status == 0 ? "" : "  (run did not complete)");
    }
    fs::remove_all(work);
    return 0;
}
