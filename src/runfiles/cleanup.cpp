// The table of paths to remove when a signal ends the process, and the handler that removes them.
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>

#include <unistd.h>

#include "runfiles/runfiles.h"
#include "textio/textio.h"

namespace varno {

namespace {

// A run holds one scratch file per satellite of its table (32 GPS and up to 99 of each of R, E, C and J: 428) besides
// its gather file, scratch directory, lock and outputs being written.
constexpr int kSlots = 512;
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Written only with the signals blocked, read only by the handler: no entry is ever seen half-written.
struct Entry {
    volatile sig_atomic_t used = 0;
    volatile sig_atomic_t directory = 0;
    char path[PATH_MAX] = {};
};

// Process-wide, as signals are: every run of the process enters its paths here. Threads take and free slots under
// the mutex; the handler reads without it (a signal blocked on one thread may still arrive on another, which
// then sees a slot either wholly taken or not yet).
Entry table[kSlots];
std::mutex tableMutex;

void writeAll(const char* text) {
    size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t n = ::write(STDERR_FILENO, text, left);
        if (n <= 0) return;
        text += n;
        left -= static_cast<size_t>(n);
    }
}

const char* signalName(int sig) {
    switch (sig) {
        case SIGINT: return "SIGINT";
        case SIGTERM: return "SIGTERM";
        case SIGHUP: return "SIGHUP";
        default: return "a signal";
    }
}

extern "C" void onSignal(int sig) {
    const int savedErrno = errno;
    for (int pass = 0; pass < 2; ++pass) {
        for (Entry& e : table) {
            if (!e.used || e.directory != pass) continue;
            if (pass == 0) {
                ::unlink(e.path);
            } else {
                ::rmdir(e.path);
            }
        }
    }
    writeAll("varno: interrupted by ");
    writeAll(signalName(sig));
    writeAll("; temporary files removed, earlier outputs left as they were\n");
    errno = savedErrno;
    ::_exit(128 + sig);
}

sigset_t handledSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kSignals) sigaddset(&set, sig);
    return set;
}

}  // namespace

void installSignalCleanup() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        struct sigaction action {};
        action.sa_handler = onSignal;
        action.sa_mask = handledSignals();  // a second signal waits until the first one's clean-up is done
        for (int sig : kSignals) {
            struct sigaction old {};
            sigaction(sig, nullptr, &old);
            // A signal the parent chose to ignore (nohup) stays ignored.
            if (old.sa_handler == SIG_IGN) continue;
            sigaction(sig, &action, nullptr);
        }
    });
}

SignalBlock::SignalBlock() {
    const sigset_t set = handledSignals();
    sigprocmask(SIG_BLOCK, &set, &previous_);
}

SignalBlock::~SignalBlock() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

void RemoveOnSignal::hold(const std::string& path, bool directory) {
    SignalBlock block;
    release();
    if (path.size() >= PATH_MAX) throw InputError("path too long for a temporary file: " + path);
    const std::lock_guard<std::mutex> lock(tableMutex);
    for (int i = 0; i < kSlots; ++i) {
        if (table[i].used) continue;
        std::memcpy(table[i].path, path.c_str(), path.size() + 1);
        table[i].directory = directory ? 1 : 0;
        table[i].used = 1;
        slot_ = i;
        return;
    }
    throw InputError("too many temporary files at once (" + std::to_string(kSlots) + ")");
}

void RemoveOnSignal::release() {
    if (slot_ < 0) return;
    SignalBlock block;
    const std::lock_guard<std::mutex> lock(tableMutex);
    table[slot_].used = 0;
    slot_ = -1;
}

}  // namespace varno
