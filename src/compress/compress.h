// Compressed and compact input files: recognised by their content, expanded to a private temporary file that
// the text reader reads like the plain file.
//
// Depends on nothing else of the program (libarchive does the general-purpose formats; the compact RINEX
// decoding is this subsystem's own).
#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>

namespace varno {

// How a file's bytes are packed, from its first bytes (magic numbers, not the name).
enum class Packing { plain, gzip, unixCompress, bzip2, xz };

// What an input turned out to be once opened.
struct InputKind {
    Packing packing = Packing::plain;
    bool compact = false;  // compact RINEX ("CRINEX VERS   / TYPE" on line 1), inside the packing if any
};

// A compressed or compact input that cannot be expanded. `line` is the line of the text being decoded (the
// compact text, after any decompression), 0 when the fault is not tied to a line (a corrupt gzip stream, a
// full disk). The message says what was expected and what was found, without the file name.
class ExpandError : public std::runtime_error {
public:
    ExpandError(long line, const std::string& message) : std::runtime_error(message), line_(line) {}
    long line() const { return line_; }

private:
    long line_;
};

// The packing named by the first `size` bytes of a file (fewer than six bytes are enough to tell).
Packing packingOf(const unsigned char* bytes, size_t size);

// Takes over `input` (a file opened for binary reading, at its start) and returns a stream of its plain text at
// its start. A plain file, and one whose first bytes cannot be read, is returned as it is: same stream,
// nothing copied. A gzip, compress (.Z), bzip2 or xz
// file, and a compact RINEX 1.0 or 3.0 file (alone or inside one of those), is expanded into an unnamed temporary
// file under $TMPDIR (else /tmp), removed by the system when the stream is closed; `input` is then closed.
// The caller closes the returned stream. Throws ExpandError (after closing `input`) on data that does not
// expand; `kind`, when given, tells what was found.
std::FILE* expandInput(std::FILE* input, InputKind* kind = nullptr);

}  // namespace varno
