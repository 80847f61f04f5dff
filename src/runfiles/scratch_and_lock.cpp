// The private scratch directory of a run and the lock of its output directory.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "runfiles/runfiles.h"
#include "textio/textio.h"

namespace varno {

void ScratchDirectory::create() {
    remove();
    const char* tmp = std::getenv("TMPDIR");
    const std::string parent = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
    std::string pattern = (std::filesystem::path(parent) / "varno-XXXXXX").string();
    SignalBlock block;
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw InputError("cannot create a scratch directory in " + parent + ": " + std::strerror(errno));
    }
    path_ = pattern;
    guard_.hold(path_, true);
}

void ScratchDirectory::remove() {
    if (path_.empty()) return;
    std::error_code error;
    std::filesystem::remove_all(path_, error);
    guard_.release();
    path_.clear();
}

bool RunLock::acquire(const std::string& directory) {
    release();
    const std::string path = outputPath(directory, fileName);
    // The lock file is removed when released, so a lock taken on a file that another run has just removed is no
    // lock: take it again on the file that now bears the name.
    for (;;) {
        SignalBlock block;
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0) throw InputError("cannot create the lock file " + path + ": " + std::strerror(errno));
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int saved = errno;
            ::close(fd);
            if (saved == EWOULDBLOCK) return false;
            throw InputError("cannot lock " + path + ": " + std::strerror(saved));
        }
        struct stat held {};
        struct stat named {};
        if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_ino == named.st_ino &&
            held.st_dev == named.st_dev) {
            fd_ = fd;
            path_ = path;
            guard_.hold(path_);
            return true;
        }
        ::close(fd);
    }
}

void RunLock::release() {
    if (fd_ < 0) return;
    SignalBlock block;
    // Removed while still held, so that no other run can lock the name between the removal and the unlock.
    ::unlink(path_.c_str());
    guard_.release();
    ::close(fd_);
    fd_ = -1;
    path_.clear();
}

}  // namespace varno
