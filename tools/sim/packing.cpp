// The packings of written files: compact RINEX (compact_writer.cpp) and the general-purpose compressions,
// through libarchive's writers with the raw format (one nameless entry, as the archives hand files out).
#include <archive.h>
#include <archive_entry.h>

#include "sim.h"

namespace sim {

namespace {

std::string compressed(const std::string& bytes, const std::string& filter) {
    std::unique_ptr<archive, int (*)(archive*)> a(archive_write_new(), archive_write_free);
    const int added = filter == "gzip"       ? archive_write_add_filter_gzip(a.get())
                      : filter == "compress" ? archive_write_add_filter_compress(a.get())
                      : filter == "bzip2"    ? archive_write_add_filter_bzip2(a.get())
                      : filter == "xz"       ? archive_write_add_filter_xz(a.get())
                                             : ARCHIVE_FATAL;
    if (added != ARCHIVE_OK) throw Error("no " + filter + " writer in libarchive");
    // No time stamp in a gzip header: the same options give the same bytes.
    if (filter == "gzip") archive_write_set_filter_option(a.get(), "gzip", "timestamp", nullptr);
    archive_write_set_format_raw(a.get());
    archive_write_set_bytes_in_last_block(a.get(), 1);
    std::string out(bytes.size() + bytes.size() / 8 + 65536, '\0');
    size_t used = 0;
    if (archive_write_open_memory(a.get(), out.data(), out.size(), &used) != ARCHIVE_OK)
        throw Error(std::string("packing: ") + archive_error_string(a.get()));
    archive_entry* entry = archive_entry_new();
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_size(entry, static_cast<la_int64_t>(bytes.size()));
    const bool written = archive_write_header(a.get(), entry) == ARCHIVE_OK &&
                         archive_write_data(a.get(), bytes.data(), bytes.size()) ==
                             static_cast<la_ssize_t>(bytes.size()) &&
                         archive_write_close(a.get()) == ARCHIVE_OK;
    archive_entry_free(entry);
    if (!written) throw Error(std::string("packing: ") + archive_error_string(a.get()));
    out.resize(used);
    return out;
}

}  // namespace

bool knownPacking(const std::string& packing, bool observations) {
    static const std::set<std::string> general = {"plain", "gzip", "compress", "bzip2", "xz"};
    static const std::set<std::string> compact = {"compact", "compact+gzip", "compact+compress"};
    return general.count(packing) > 0 || (observations && compact.count(packing) > 0);
}

std::string packedFile(const std::vector<std::string>& lines, bool crlf, const std::string& packing) {
    const bool compact = packing.rfind("compact", 0) == 0;
    const std::vector<std::string> text = compact ? compactRinex(lines) : lines;
    std::string bytes;
    for (const std::string& l : text) {
        bytes += l;
        bytes += crlf ? "\r\n" : "\n";
    }
    const std::string filter = compact ? (packing.size() > 8 ? packing.substr(8) : "plain") : packing;
    return filter == "plain" ? bytes : compressed(bytes, filter);
}

}  // namespace sim
