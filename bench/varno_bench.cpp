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

// Nominal epochs of the run (from the listing's common span) and double differences (residual file lines).
void runSize(const fs::path& dir, long& epochs, long& observations) {
    epochs = 0;
    observations = 0;
    std::FILE* f = std::fopen((dir / "varno.lst").c_str(), "rb");
    if (f != nullptr) {
        char line[256];
        while (std::fgets(line, sizeof line, f) != nullptr) {
            double start = 0, stop = 0, step = 0;
            if (std::sscanf(line, "common start/stop, intrvl %lf %lf %lf", &start, &stop, &step) == 3 &&
                step > 0) {
                epochs = static_cast<long>((stop - start) / step) + 1;
            }
        }
        std::fclose(f);
    }
    f = std::fopen((dir / "varno.res").c_str(), "rb");
    if (f != nullptr) {
        int c = 0;
        while ((c = std::fgetc(f)) != EOF) {
            if (c == '\n') ++observations;
        }
        std::fclose(f);
    }
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
    std::printf("%-26s %8s %8s %10s %12s %10s\n", "dataset", "epochs", "obs", "best s", "us/epoch", "peak MiB");
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
        long epochs = 0;
        long observations = 0;
        runSize(work, epochs, observations);
        std::printf("%-26s %8ld %8ld %10.3f %12.2f %10.1f%s\n", name.c_str(), epochs, observations, best,
                    epochs > 0 ? best * 1e6 / static_cast<double>(epochs) : 0.0, peakRssKiB() / 1024.0,
                    status == 0 ? "" : "  (run did not complete)");
    }
    fs::remove_all(work);
    return 0;
}
