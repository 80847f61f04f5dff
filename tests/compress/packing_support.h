// Making compressed twins of texts and files in tests, through libarchive's writers.
#pragma once

#include <archive.h>
#include <archive_entry.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "compress/compress.h"

namespace varno::test {

// `text` packed as gzip, compress, bzip2 or xz.
inline std::string packed(const std::string& text, Packing packing) {
    archive* a = archive_write_new();
    switch (packing) {
        case Packing::gzip: archive_write_add_filter_gzip(a); break;
        case Packing::unixCompress: archive_write_add_filter_compress(a); break;
        case Packing::bzip2: archive_write_add_filter_bzip2(a); break;
        case Packing::xz: archive_write_add_filter_xz(a); break;
        case Packing::plain: break;
    }
    archive_write_set_format_raw(a);
    archive_write_set_bytes_in_last_block(a, 1);
    std::string out(text.size() + 65536, '\0');
    size_t used = 0;
    archive_write_open_memory(a, out.data(), out.size(), &used);
    archive_entry* entry = archive_entry_new();
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_size(entry, static_cast<la_int64_t>(text.size()));
    archive_write_header(a, entry);
    const bool written = archive_write_data(a, text.data(), text.size()) == static_cast<la_ssize_t>(text.size());
    archive_entry_free(entry);
    archive_write_close(a);
    archive_write_free(a);
    if (!written) throw std::runtime_error("packing failed");
    out.resize(used);
    return out;
}

// Replaces the file at `path` by its packed twin.
inline void packFile(const std::string& path, Packing packing) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << packed(text.str(), packing);
}

}  // namespace varno::test
