// What every fuzz target shares: the fuzz input as a file (the readers open files by path), and the one rule of
// a finding. A reader may refuse any input with an InputError or stop the run with a StopRequest; anything else
// (a crash, a sanitizer report, another exception, a hang past -timeout) is a finding.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "textio/textio.h"
#include "timebase/timebase.h"
#include "test_run.h"

namespace varno::fuzz {

// A private directory for this process, made once under $TMPDIR (else /tmp) and removed at its exit.
inline const std::string& workDirectory() {
    static const std::string dir = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/varno-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        return pattern;
    }();
    static const bool cleanup = std::atexit([] { std::filesystem::remove_all(workDirectory()); }) == 0;
    (void)cleanup;
    return dir;
}

// Writes `size` bytes to `name` in the work directory and returns its path.
inline std::string inputFile(const std::string& name, const uint8_t* data, size_t size) {
    const std::string path = workDirectory() + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
    return path;
}

// A fresh program state for one execution: no satellites, no reference day, listing and console in memory.
inline void freshState() {
    testRun.jd0 = 0;
    newprn(testSats);
    captureOutput();
}

// Runs `body`, accepting the program's own refusals.
template <typename Body>
void guarded(Body body) {
    try {
        body();
    } catch (const InputError&) {
    } catch (const StopRequest&) {
    }
}

}  // namespace varno::fuzz
