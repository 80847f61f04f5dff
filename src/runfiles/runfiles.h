// The files a run creates and must never leave half-done or behind: outputs that replace the previous ones only
// whole, the private scratch directory, the lock on the output directory, and their removal when the process is
// ended by a signal.
#pragma once

#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>

namespace varno {

// ---------------------------------------------------------------------------------------------------------------
// Removal on signals

// Installs handlers for SIGINT, SIGTERM and SIGHUP (once; later calls do nothing). On such a signal the handler
// removes every path registered below (files first, then directories), writes
// "varno: interrupted by <SIGNAME>; temporary files removed, earlier outputs left as they were" on standard error
// and ends the process with status 128 + the signal number. It calls only unlink, rmdir, write and _exit.
void installSignalCleanup();

// Holds SIGINT, SIGTERM and SIGHUP back while it lives, so that a path can be created and registered (or
// unregistered and removed) as one step: a signal arriving meanwhile is handled when the block ends.
class SignalBlock {
public:
    SignalBlock();
    ~SignalBlock();
    SignalBlock(const SignalBlock&) = delete;
    SignalBlock& operator=(const SignalBlock&) = delete;

private:
    sigset_t previous_;
};

// One path that the signal handler removes while the guard holds it. Registering and releasing copy the path into
// a fixed table (512 entries of PATH_MAX bytes: room for every scratch file of a run of every system) under a
// SignalBlock; an input error when the table is full or the path too long. Release before removing the path
// yourself (or inside one SignalBlock with the removal).
class RemoveOnSignal {
public:
    RemoveOnSignal() = default;
    ~RemoveOnSignal() { release(); }
    RemoveOnSignal(const RemoveOnSignal&) = delete;
    RemoveOnSignal& operator=(const RemoveOnSignal&) = delete;

    void hold(const std::string& path, bool directory = false);  // replaces what it held before
    void release();                                              // no effect when it holds nothing
    bool holds() const { return slot_ >= 0; }

private:
    int slot_ = -1;
};

// ---------------------------------------------------------------------------------------------------------------
// Outputs committed whole

// An output file of the run ("varno.lst", "varno.res", and every later output), written under a temporary name
// ".<name>.XXXXXX" in the directory of the final file and renamed onto it by commit, so that the previous file
// stays as it was until the new one is complete. A run that is killed leaves no temporary file (it is held by
// RemoveOnSignal); one that ends without commit (destructor or discard) removes it.
// Where the final name is a symbolic link to a regular file, the link's target is replaced (the link stays);
// where it is something other than a regular file (/dev/null, a FIFO), the output is written into it directly.
// Every failure is an InputError naming the final path ("cannot create <path>: <reason>", "cannot write ...").
class OutputFile {
public:
    OutputFile() = default;
    explicit OutputFile(const std::string& path) { open("", path); }  // the output at `path`, opened
    ~OutputFile() { discard(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary file of output `name` in `directory` (empty: the current directory). The final path
    // is "<directory>/<name>", or `name` alone when `directory` is empty.
    void open(const std::string& directory, const std::string& name);
    bool isOpen() const { return fd_ >= 0 || stream_ != nullptr; }

    // The temporary file opened for writing (binary; created on first call). Write and flush it freely; do not
    // close it.
    std::FILE* stream();
    void write(std::string_view text);  // appends to stream(); an InputError when it cannot
    // Where the content is written until commit: the temporary file (or the final path in direct mode). For a
    // writer that opens the file by name itself; it must have closed it before commit.
    const std::string& writingPath() const { return writing_; }
    // The final path.
    const std::string& path() const { return final_; }

    // Flushes, syncs and closes the temporary file and renames it onto the final path. When anything fails the
    // temporary file is removed, the previous file is left as it was, and an InputError names the output.
    void commit();
    // Closes and removes the temporary file; the previous file is left as it was. No effect when not open.
    void discard();

private:
    int fd_ = -1;
    std::FILE* stream_ = nullptr;
    bool direct_ = false;
    std::string final_;
    std::string target_;   // final_ with a symbolic link resolved
    std::string writing_;  // the temporary file, or target_ in direct mode
    RemoveOnSignal guard_;
};

// Removes a previous output of that name in `directory` when it is a regular file (through a link: the target),
// so that an older file cannot be taken for one this run did not write. Anything else is left alone.
void removeOutput(const std::string& directory, const std::string& name);

// "<directory>/<name>", or `name` alone when `directory` is empty.
std::string outputPath(const std::string& directory, const std::string& name);

// Creates `directory` and its missing parents (nothing when empty or present); an InputError when it cannot.
void makeOutputDirectory(const std::string& directory);

// ---------------------------------------------------------------------------------------------------------------
// Scratch directory and lock

// The private scratch directory of one run: "varno-XXXXXX" made by mkdtemp under $TMPDIR (/tmp when unset or
// empty), mode 0700, held by RemoveOnSignal. The destructor removes it with whatever is still in it.
class ScratchDirectory {
public:
    ScratchDirectory() = default;
    ~ScratchDirectory() { remove(); }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    void create();  // an InputError when it cannot be made
    const std::string& path() const { return path_; }
    void remove();  // no effect when not created

private:
    std::string path_;
    RemoveOnSignal guard_;
};

// The lock of one output directory: an exclusive flock on "<directory>/varno.lock" (created when missing,
// removed when the lock is released). At most one run holds it at a time.
class RunLock {
public:
    static constexpr const char* fileName = "varno.lock";

    RunLock() = default;
    ~RunLock() { release(); }
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // Takes the lock without waiting. False when another process holds it; an InputError when the lock file
    // cannot be created.
    bool acquire(const std::string& directory);
    void release();
    const std::string& path() const { return path_; }

private:
    int fd_ = -1;
    std::string path_;
    RemoveOnSignal guard_;
};

}  // namespace varno
