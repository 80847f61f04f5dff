// Running the real executables in a scratch directory and reading what they leave behind.
#pragma once

#include <array>
#include <cmath>
#include <cstdlib>
#include <sys/wait.h>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace varno::test {

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs `command` in `dir`, with standard output and error captured and no standard input.
inline RunResult runIn(const std::filesystem::path& dir, const std::string& command) {
    std::string outFile = (dir / ".stdout").string();
    std::string errFile = (dir / ".stderr").string();
    std::string full = "cd '" + dir.string() + "' && " + command + " >'" + outFile + "' 2>'" + errFile + "' </dev/null";
    int raw = std::system(full.c_str());
    RunResult r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = readFile(outFile);
    r.err = readFile(errFile);
    std::filesystem::remove(outFile);
    std::filesystem::remove(errFile);
    return r;
}

inline std::string varnoPath() { return std::string(VARNO_BINARY_DIR) + "/varno"; }
inline std::string simPath() { return std::string(VARNO_BINARY_DIR) + "/tools/sim/varno-sim"; }
inline std::filesystem::path dataDir(const std::string& name) {
    return std::filesystem::path(varno::test::sharedDir()) / "data" / name;
}

// Copies the run files of a dataset into `dir` (the data folder itself is read-only).
inline void copyRunFiles(const std::filesystem::path& from, const std::filesystem::path& dir) {
    for (const char* name : {"point1.rnx", "point2.rnx", "orbit.sp3", "pos", "off"}) {
        if (std::filesystem::exists(from / name)) {
            std::filesystem::copy_file(from / name, dir / name, std::filesystem::copy_options::overwrite_existing);
        }
    }
}

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) out.push_back(line);
    return out;
}

// The adjusted point 2 marker: the first formatted line after "adjusted point 2 marker and l1 phase center".
inline std::optional<std::array<double, 3>> adjustedMarker(const std::string& listing) {
    std::vector<std::string> all = lines(listing);
    for (size_t i = 0; i + 1 < all.size(); ++i) {
        if (all[i] == " adjusted point 2 marker and l1 phase center") {
            std::istringstream in(all[i + 1]);
            std::array<double, 3> p{};
            if (in >> p[0] >> p[1] >> p[2]) return p;
        }
    }
    return std::nullopt;
}

inline double distance(const std::array<double, 3>& a, const std::array<double, 3>& b) {
    double dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// North, east, up of b − a at a (spherical approximation of the local frame is enough for test tolerances).
inline std::array<double, 3> neu(const std::array<double, 3>& a, const std::array<double, 3>& b) {
    double lat = std::atan2(a[2], std::hypot(a[0], a[1]));
    double lon = std::atan2(a[1], a[0]);
    double dx = b[0] - a[0], dy = b[1] - a[1], dz = b[2] - a[2];
    double sl = std::sin(lat), cl = std::cos(lat), so = std::sin(lon), co = std::cos(lon);
    return {-sl * co * dx - sl * so * dy + cl * dz, -so * dx + co * dy, cl * co * dx + cl * so * dy + sl * dz};
}

// Names of files in `dir` that a run must not leave behind (scatter files and temporaries).
inline std::vector<std::string> leftovers(const std::filesystem::path& dir) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::string name = entry.path().filename().string();
        if (name.rfind("ZZ-", 0) == 0) found.push_back(name);
    }
    return found;
}

}  // namespace varno::test
