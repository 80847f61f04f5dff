// Result files put in place whole: written under a temporary name in the same directory, renamed at the end.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "results/results.h"
#include "textio/textio.h"

namespace varno {

namespace {

std::string systemReason() { return std::strerror(errno); }

}  // namespace

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
    temporary_ = path_ + ".part-" + std::to_string(::getpid());
    // Exclusive: a file that happens to carry the temporary name is not ours to overwrite.
    const int fd = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) throw InputError("cannot create " + path_ + " (as " + temporary_ + "): " + systemReason());
    file_ = ::fdopen(fd, "w");
    if (file_ == nullptr) {
        ::close(fd);
        ::unlink(temporary_.c_str());
        throw InputError("cannot create " + path_ + ": " + systemReason());
    }
}

OutputFile::~OutputFile() {
    if (file_ != nullptr) {
        std::fclose(file_);
        ::unlink(temporary_.c_str());
    }
}

void OutputFile::write(const std::string& text) {
    if (file_ == nullptr) throw InputError("cannot write " + path_ + ": already closed");
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) {
        throw InputError("cannot write " + path_ + ": " + systemReason());
    }
}

void OutputFile::commit() {
    if (file_ == nullptr) return;
    const bool flushed = std::fflush(file_) == 0 && ::fsync(::fileno(file_)) == 0;
    const std::string reason = flushed ? std::string() : systemReason();
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!flushed || !closed) {
        ::unlink(temporary_.c_str());
        throw InputError("cannot write " + path_ + ": " + (reason.empty() ? systemReason() : reason));
    }
    if (std::rename(temporary_.c_str(), path_.c_str()) != 0) {
        const std::string why = systemReason();
        ::unlink(temporary_.c_str());
        throw InputError("cannot put " + path_ + " in place: " + why);
    }
}

}  // namespace varno
