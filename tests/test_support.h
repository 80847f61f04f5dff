// Helpers shared by the test files.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "textio/textio.h"

// Asserts that `statement` ends the run with stop code `code`.
#define EXPECT_STOP(statement, expectedCode)                                                   \
    do {                                                                               \
        bool varnoStopped_ = false;                                                    \
        try {                                                                          \
            statement;                                                                 \
        } catch (const ::varno::StopRequest& varnoStop_) {                             \
            varnoStopped_ = true;                                                      \
            EXPECT_EQ(varnoStop_.code, (expectedCode)) << "wrong stop code for " #statement;   \
        }                                                                              \
        EXPECT_TRUE(varnoStopped_) << #statement " did not stop the run";              \
    } while (0)

namespace varno::test {

// Where the real datasets (data/) and the file corpus (corpus/) live: $VARNO_SHARED_DIR when it is set, else the
// folder given at configuration. Tests that need them skip, saying so, when they are absent.
inline std::string sharedDir() {
    const char* chosen = std::getenv("VARNO_SHARED_DIR");
    return chosen != nullptr && *chosen != '\0' ? std::string(chosen) : std::string(VARNO_SHARED_DIR);
}

// A fresh empty directory under the system temporary folder, removed when the object goes.
class TempDir {
public:
    TempDir() {
        static int counter = 0;
        std::string name = "varno-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        path_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

    // Writes `text` to a file of this directory and returns its path.
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream out(file(name), std::ios::binary);
        out << text;
        return file(name);
    }

private:
    std::filesystem::path path_;
};

// Reads a whole file.
inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace varno::test
