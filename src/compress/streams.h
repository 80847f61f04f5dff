// Internals of src/compress shared by its files: byte sources, the line reader over them, the temporary-file
// sink, and the compact RINEX decoder's entry point. Not part of the subsystem's interface.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace varno::compress_detail {

// A stream of bytes: a plain file, or the output of a decompression.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Up to `capacity` bytes into `buffer`; 0 at the end. Throws ExpandError when the bytes cannot be read.
    virtual size_t read(char* buffer, size_t capacity) = 0;
};

class FileSource : public ByteSource {
public:
    explicit FileSource(std::FILE* file) : file_(file) {}
    size_t read(char* buffer, size_t capacity) override;

private:
    std::FILE* file_;
};

class TextSink;

// Lines of a byte source, each without its line feed (and carriage return), with their 1-based numbers.
class LineReader {
public:
    static constexpr size_t kMaxLine = 65536;

    explicit LineReader(ByteSource& source) : source_(source) {}
    // The next line; false at the end. `terminated` tells whether it ended in a line feed. A line longer than
    // kMaxLine is an ExpandError.
    bool next(std::string& line, bool& terminated);
    long lineNumber() const { return line_; }
    // Whether the last line ended in a carriage return (dropped from it).
    bool lastHadReturn() const { return lastHadReturn_; }
    // Everything not yet read, unchanged, into `sink`.
    void drainTo(TextSink& sink);

private:
    bool fill();

    ByteSource& source_;
    char buffer_[16384];
    size_t pos_ = 0;
    size_t end_ = 0;
    bool eof_ = false;
    bool lastHadReturn_ = false;
    long line_ = 0;
};

// The unnamed temporary file that receives the expanded text.
class TextSink {
public:
    TextSink();  // throws ExpandError when no temporary file can be made
    ~TextSink();
    TextSink(const TextSink&) = delete;
    TextSink& operator=(const TextSink&) = delete;

    void write(std::string_view bytes);
    void line(std::string_view text);  // the text and a line feed
    // Flushes, checks every write, rewinds and hands the stream over (throws ExpandError on a write failure).
    std::FILE* release();

private:
    std::FILE* file_ = nullptr;
    std::string dir_;
};

// Expands compact RINEX 1.0 or 3.0 read from `in` into `out`. `firstLine` is line 1 ("CRINEX VERS   / TYPE"),
// already read. Throws ExpandError naming the compact line of every fault.
void decodeCompact(LineReader& in, const std::string& firstLine, TextSink& out);

}  // namespace varno::compress_detail
