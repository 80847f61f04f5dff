#include "compress/streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "compress/compress.h"

namespace varno::compress_detail {

size_t FileSource::read(char* buffer, size_t capacity) {
    const size_t n = std::fread(buffer, 1, capacity, file_);
    if (n == 0 && std::ferror(file_)) throw ExpandError(0, std::string("read failed: ") + std::strerror(errno));
    return n;
}

bool LineReader::fill() {
    if (eof_) return false;
    pos_ = 0;
    end_ = source_.read(buffer_, sizeof buffer_);
    if (end_ == 0) eof_ = true;
    return end_ > 0;
}

bool LineReader::next(std::string& line, bool& terminated) {
    line.clear();
    terminated = false;
    bool any = false;
    for (;;) {
        if (pos_ == end_ && !fill()) break;
        any = true;
        const char* start = buffer_ + pos_;
        const void* feed = std::memchr(start, '\n', end_ - pos_);
        const size_t take = feed ? static_cast<size_t>(static_cast<const char*>(feed) - start) : end_ - pos_;
        if (line.size() + take > kMaxLine) {
            throw ExpandError(line_ + 1, "line longer than " + std::to_string(kMaxLine) + " characters");
        }
        line.append(start, take);
        pos_ += take;
        if (feed) {
            ++pos_;
            terminated = true;
            break;
        }
    }
    if (!any) return false;
    ++line_;
    lastHadReturn_ = !line.empty() && line.back() == '\r';
    if (lastHadReturn_) line.pop_back();
    return true;
}

void LineReader::drainTo(TextSink& sink) {
    do {
        sink.write(std::string_view(buffer_ + pos_, end_ - pos_));
        pos_ = end_;
    } while (fill());
}

namespace {

std::string temporaryDirectory() {
    const char* dir = std::getenv("TMPDIR");
    return dir != nullptr && *dir != '\0' ? dir : "/tmp";
}

// A file that no other process can open and that vanishes when closed, or when the run is killed.
int unnamedFile(const std::string& dir) {
#ifdef O_TMPFILE
    int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    // Some file systems do not offer unnamed files: fall back to a named one, removed at once.
#endif
    std::string path = dir + "/varno-expand-XXXXXX";
    int fd2 = ::mkstemp(path.data());
    if (fd2 >= 0) ::unlink(path.c_str());
    return fd2;
}

}  // namespace

TextSink::TextSink() : dir_(temporaryDirectory()) {
    const int fd = unnamedFile(dir_);
    if (fd >= 0) file_ = ::fdopen(fd, "w+b");
    if (file_ == nullptr) {
        const int saved = errno;
        if (fd >= 0) ::close(fd);
        throw ExpandError(0, "cannot make a temporary file in " + dir_ + " for the expanded text: " +
                                 std::strerror(saved));
    }
}

TextSink::~TextSink() {
    if (file_ != nullptr) std::fclose(file_);
}

void TextSink::write(std::string_view bytes) {
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file_);
}

void TextSink::line(std::string_view text) {
    write(text);
    std::fputc('\n', file_);
}

std::FILE* TextSink::release() {
    if (std::fflush(file_) != 0 || std::ferror(file_)) {
        throw ExpandError(0, "cannot write the expanded text to a temporary file in " + dir_ + ": " +
                                 std::strerror(errno));
    }
    std::rewind(file_);
    std::FILE* out = file_;
    file_ = nullptr;
    return out;
}

}  // namespace varno::compress_detail
