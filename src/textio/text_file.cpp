// Text input files: opening (expanding packed inputs), reading lines into fixed-column records, counting lines.
#include "textio/textio.h"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "compress/compress.h"

namespace varno {

// ---------------------------------------------------------------------------------------------------------------

TextFile::~TextFile() { close(); }
void TextFile::open(std::string path) {
    close();
    path_ = std::move(path);
    static std::atomic<unsigned long> openings{0};
    opening_ = ++openings;
    line_ = 0;
    // Only a regular file is read: a FIFO without a writer would hang the run, a device such as /dev/zero would
    // never end. Links are followed.
    struct stat info {};
    if (::stat(path_.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        if (S_ISDIR(info.st_mode)) throw InputError("cannot read " + path_ + ": " + std::strerror(EISDIR));
        throw InputError("cannot open " + path_ + ": not a regular file (a FIFO, device or socket); give the file "
                         "itself");
    }
    file_ = std::fopen(path_.c_str(), "rb");
    if (file_ == nullptr) {
        throw InputError("cannot open " + path_ + ": " + std::strerror(errno));
    }
    expand();
}

void TextFile::expand() {
    // A compressed or compact file is read through its expanded text; line numbers are those of that text.
    std::FILE* packed = file_;
    file_ = nullptr;
    try {
        file_ = expandInput(packed);
    } catch (const ExpandError& error) {
        const std::string where = error.line() > 0 ? ":" + std::to_string(error.line()) : "";
        throw InputError(path_ + where + ": " + error.what());
    }
}

void TextFile::close() {
    chunkAt_ = chunkEnd_ = 0;
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

void TextFile::rewind() {
    if (file_ != nullptr) {
        std::rewind(file_);
        line_ = 0;
        chunkAt_ = chunkEnd_ = 0;
    }
}

bool TextFile::refill() {
    if (chunk_.empty()) chunk_.resize(kChunkBytes);
    chunkAt_ = 0;
    chunkEnd_ = std::fread(chunk_.data(), 1, chunk_.size(), file_);
    // A read failure (a directory, a device error) is not the end of the file.
    if (std::ferror(file_)) {
        throw InputError("cannot read " + path_ + ": " + std::strerror(errno));
    }
    return chunkEnd_ > 0;
}

// The line just cut out, `length` bytes at `text` without its end-of-line, counted: its length without a carriage
// return; an input error when it is too long.
std::size_t TextFile::counted(const char* text, std::size_t length) {
    ++line_;
    if (length > 0 && text[length - 1] == '\r') --length;
    if (length > kMaxLineBytes) {
        throw InputError(path_ + ":" + std::to_string(line_) + ": line longer than " + std::to_string(kMaxLineBytes) +
                         " bytes: not a text file of this kind?");
    }
    return length;
}

// The line just cut out, `length` bytes at `text` without its end-of-line (`ended`: it had one), into the record.
void TextFile::take(Record& record, const char* text, std::size_t length, int width, bool ended) {
    length = counted(text, length);
    const std::size_t columns = static_cast<std::size_t>(width);
    record.cutAt_ = ended || length >= columns ? 0 : static_cast<int>(length);
    record.text_.assign(text, std::min(length, columns));
    record.text_.resize(columns, ' ');
    if (record.originOpening_ != opening_) {
        record.file_ = path_;
        record.originOpening_ = opening_;
    }
    record.line_ = line_;
}

bool TextFile::next(Record& record, int width) {
    if (file_ == nullptr) return false;
    // Lines are cut out of a large chunk read at once: a line that lies whole in it goes straight into the record;
    // only a line that straddles two chunks is assembled.
    if (chunkAt_ < chunkEnd_) {
        const char* start = chunk_.data() + chunkAt_;
        const char* end = static_cast<const char*>(std::memchr(start, '\n', chunkEnd_ - chunkAt_));
        if (end != nullptr) {
            const std::size_t length = static_cast<std::size_t>(end - start);
            chunkAt_ += length + 1;
            take(record, start, length, width, true);
            return true;
        }
    }
    buffer_.clear();
    bool any = false;
    bool ended = false;
    for (;;) {
        if (buffer_.size() > kMaxLineBytes + 1) {
            throw InputError(path_ + ":" + std::to_string(line_ + 1) + ": line longer than " +
                             std::to_string(kMaxLineBytes) + " bytes: not a text file of this kind?");
        }
        if (chunkAt_ == chunkEnd_ && !refill()) break;
        any = true;
        const char* start = chunk_.data() + chunkAt_;
        const std::size_t left = chunkEnd_ - chunkAt_;
        const char* end = static_cast<const char*>(std::memchr(start, '\n', left));
        if (end != nullptr) {
            buffer_.append(start, static_cast<std::size_t>(end - start));
            chunkAt_ += static_cast<std::size_t>(end - start) + 1;
            ended = true;
            break;
        }
        buffer_.append(start, left);
        chunkAt_ = chunkEnd_;
    }
    if (!any) return false;
    take(record, buffer_.data(), buffer_.size(), width, ended);
    return true;
}

void TextFile::endedWhere(std::string_view what) const {
    throw InputError(path_ + ":" + std::to_string(line_ + 1) + ": end of file where " + std::string(what) +
                     " was expected");
}

void TextFile::require(Record& record, int width, std::string_view what) {
    if (!next(record, width)) endedWhere(what);
}

bool TextFile::pass() {
    if (file_ != nullptr && chunkAt_ < chunkEnd_) {
        const char* start = chunk_.data() + chunkAt_;
        const char* end = static_cast<const char*>(std::memchr(start, '\n', chunkEnd_ - chunkAt_));
        if (end != nullptr) {
            const std::size_t length = static_cast<std::size_t>(end - start);
            counted(start, length);
            chunkAt_ += length + 1;
            return true;
        }
    }
    return next(passed_, 1);
}

void TextFile::passRequired(std::string_view what) {
    if (!pass()) endedWhere(what);
}

bool fileExists(const std::string& path) {
    // Existence, not readability: a file that is there but cannot be read must be reported, not passed over.
    std::error_code error;
    return std::filesystem::exists(path, error);
}

}  // namespace varno
