#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "compress/compress.h"
#include "compress/streams.h"

namespace varno {

using compress_detail::ByteSource;
using compress_detail::FileSource;
using compress_detail::LineReader;
using compress_detail::TextSink;

namespace {

constexpr size_t kHeadBytes = 512;  // enough for the magic numbers and an 80-column first line

const char* packingName(Packing packing) {
    switch (packing) {
        case Packing::gzip: return "gzip";
        case Packing::unixCompress: return "compress (.Z)";
        case Packing::bzip2: return "bzip2";
        case Packing::xz: return "xz";
        case Packing::plain: break;
    }
    return "plain";
}

// Line 1 of a compact RINEX file carries its own label where RINEX has "RINEX VERSION / TYPE".
bool isCompactFirstLine(std::string_view head) {
    const size_t feed = head.find('\n');
    std::string_view line = head.substr(0, feed);
    if (feed == std::string_view::npos && head.size() >= kHeadBytes) return false;
    return line.size() >= 71 && line.substr(60, 11) == "CRINEX VERS";
}

struct ArchiveFree {
    void operator()(archive* a) const { archive_read_free(a); }
};

// The decompressed bytes of a file, through libarchive's filters with the "raw" format (one nameless entry).
class ArchiveSource : public ByteSource {
public:
    ArchiveSource(std::FILE* file, Packing packing) : archive_(archive_read_new()), packing_(packing) {
        if (!archive_) throw ExpandError(0, "out of memory for the decompression");
        archive_read_support_filter_all(archive_.get());
        archive_read_support_format_raw(archive_.get());
        archive_read_support_format_empty(archive_.get());  // the raw format needs one byte of content
        if (archive_read_open_FILE(archive_.get(), file) != ARCHIVE_OK) fail();
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(archive_.get(), &entry);
        if (status == ARCHIVE_EOF) {
            done_ = true;
        } else if (status != ARCHIVE_OK && status != ARCHIVE_WARN) {
            fail();
        }
        // A file with the magic number but no valid stream behind it would otherwise be read as it is.
        if (archive_filter_code(archive_.get(), 0) == ARCHIVE_FILTER_NONE) {
            throw ExpandError(0, std::string(packingName(packing_)) + " data do not expand: not a valid " +
                                     packingName(packing_) + " stream (damaged file?)");
        }
    }

    size_t read(char* buffer, size_t capacity) override {
        if (done_) return 0;
        const la_ssize_t n = archive_read_data(archive_.get(), buffer, capacity);
        if (n < 0) fail();
        if (n == 0) done_ = true;
        return static_cast<size_t>(n);
    }

private:
    [[noreturn]] void fail() {
        const char* why = archive_error_string(archive_.get());
        throw ExpandError(0, std::string(packingName(packing_)) + " data do not expand (damaged or truncated file?): " +
                                 (why != nullptr ? why : "unknown error"));
    }

    std::unique_ptr<archive, ArchiveFree> archive_;
    Packing packing_;
    bool done_ = false;
};

// Copies or decodes the text of `source` into a temporary file; `kind.compact` is set from its first line.
std::FILE* expandText(ByteSource& source, InputKind& kind) {
    LineReader lines(source);
    TextSink sink;
    std::string first;
    bool terminated = false;
    if (lines.next(first, terminated)) {
        kind.compact = isCompactFirstLine(first);
        if (kind.compact) {
            compress_detail::decodeCompact(lines, first, sink);
        } else {
            sink.write(first);
            if (lines.lastHadReturn()) sink.write("\r");
            if (terminated) sink.write("\n");
            lines.drainTo(sink);
        }
    }
    return sink.release();
}

}  // namespace

Packing packingOf(const unsigned char* bytes, size_t size) {
    if (size >= 2 && bytes[0] == 0x1f && bytes[1] == 0x8b) return Packing::gzip;
    if (size >= 2 && bytes[0] == 0x1f && bytes[1] == 0x9d) return Packing::unixCompress;
    if (size >= 3 && bytes[0] == 'B' && bytes[1] == 'Z' && bytes[2] == 'h') return Packing::bzip2;
    static const unsigned char kXz[6] = {0xfd, '7', 'z', 'X', 'Z', 0x00};
    if (size >= 6 && std::memcmp(bytes, kXz, 6) == 0) return Packing::xz;
    return Packing::plain;
}

std::FILE* expandInput(std::FILE* input, InputKind* kindOut) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> owned(input, &std::fclose);
    InputKind kind;
    unsigned char head[kHeadBytes];
    const size_t n = std::fread(head, 1, sizeof head, input);
    if (n < sizeof head && std::ferror(input)) {
        // Not readable (a directory, a device error): handed back for the reader to report as it does any file.
        std::clearerr(input);
        std::rewind(input);
        if (kindOut != nullptr) *kindOut = kind;
        return owned.release();
    }
    kind.packing = packingOf(head, n);
    const bool compact =
        kind.packing == Packing::plain && isCompactFirstLine(std::string_view(reinterpret_cast<char*>(head), n));
    if (std::fseek(input, 0, SEEK_SET) != 0) {
        throw ExpandError(0, std::string("cannot return to the start of the file: ") + std::strerror(errno));
    }
    if (kind.packing == Packing::plain && !compact) {
        if (kindOut != nullptr) *kindOut = kind;
        return owned.release();
    }
    std::FILE* text = nullptr;
    if (kind.packing == Packing::plain) {
        FileSource source(input);
        text = expandText(source, kind);
    } else {
        ArchiveSource source(input, kind.packing);
        text = expandText(source, kind);
    }
    if (kindOut != nullptr) *kindOut = kind;
    return text;
}

}  // namespace varno
