// Outputs written under a temporary name and renamed onto the final one when complete.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "runfiles/runfiles.h"
#include "textio/textio.h"

namespace varno {

namespace {

// The mode an ordinary creation would give: 0666 less the umask (mkstemp makes 0600).
mode_t creationMode() {
    static const mode_t mode = [] {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return static_cast<mode_t>(0666 & ~mask);
    }();
    return mode;
}

std::string reason() { return std::strerror(errno); }

// The file a link finally names; the path itself when it is no link or the link cannot be resolved.
std::string resolved(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::error_code error;
    const std::filesystem::path target = std::filesystem::weakly_canonical(path, error);
    return error ? path : target.string();
}

}  // namespace

std::string outputPath(const std::string& directory, const std::string& name) {
    if (directory.empty()) return name;
    return (std::filesystem::path(directory) / name).string();
}

void makeOutputDirectory(const std::string& directory) {
    if (directory.empty()) return;
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) throw InputError("cannot create the output directory " + directory + ": " + error.message());
}

void OutputFile::open(const std::string& directory, const std::string& name) {
    discard();
    final_ = outputPath(directory, name);
    struct stat st {};
    direct_ = ::stat(final_.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
    if (direct_) {
        // A device or a FIFO the user named as the output: written in place. Without waiting for a FIFO's reader.
        target_ = writing_ = final_;
        fd_ = ::open(final_.c_str(), O_WRONLY | O_TRUNC | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) throw InputError("cannot create " + final_ + ": " + reason());
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
        return;
    }
    target_ = resolved(final_);
    const std::filesystem::path target(target_);
    std::string pattern = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    SignalBlock block;
    fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0) throw InputError("cannot create " + final_ + ": " + reason());
    writing_ = pattern;
    guard_.hold(writing_);
    ::fchmod(fd_, creationMode());
}

std::FILE* OutputFile::stream() {
    if (stream_ == nullptr && fd_ >= 0) {
        stream_ = ::fdopen(fd_, "wb");
        if (stream_ == nullptr) throw InputError("cannot write " + final_ + ": " + reason());
        fd_ = -1;
    }
    return stream_;
}

void OutputFile::write(std::string_view text) {
    std::FILE* out = stream();
    if (out == nullptr) throw InputError("cannot write " + final_ + ": not open");
    if (std::fwrite(text.data(), 1, text.size(), out) != text.size()) {
        throw InputError("cannot write " + final_ + ": " + reason());
    }
}

void OutputFile::commit() {
    if (!isOpen()) return;
    bool written = true;
    int savedErrno = 0;
    if (stream_ != nullptr) {
        written = std::fflush(stream_) == 0 && !std::ferror(stream_);
        if (written && !direct_) written = ::fsync(::fileno(stream_)) == 0;
        if (!written) savedErrno = errno;
        if (std::fclose(stream_) != 0 && written) {
            written = false;
            savedErrno = errno;
        }
        stream_ = nullptr;
    } else {
        if (!direct_ && ::fsync(fd_) != 0) {
            written = false;
            savedErrno = errno;
        }
        ::close(fd_);
        fd_ = -1;
    }
    if (written && !direct_ && std::rename(writing_.c_str(), target_.c_str()) != 0) {
        written = false;
        savedErrno = errno;
    }
    if (!written) {
        discard();
        throw InputError("cannot write " + final_ + ": " +
                         (savedErrno != 0 ? std::strerror(savedErrno) : "a write failed"));
    }
    guard_.release();
    writing_.clear();
}

void OutputFile::discard() {
    if (stream_ != nullptr) std::fclose(stream_);
    if (fd_ >= 0) ::close(fd_);
    stream_ = nullptr;
    fd_ = -1;
    if (!direct_ && !writing_.empty()) {
        SignalBlock block;
        ::unlink(writing_.c_str());
        guard_.release();
    }
    writing_.clear();
}

void removeOutput(const std::string& directory, const std::string& name) {
    const std::string path = outputPath(directory, name);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    ::unlink(resolved(path).c_str());
}

}  // namespace varno
