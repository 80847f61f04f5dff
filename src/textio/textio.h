// Text input and output shared by every stage: fixed-column records and their fields, free-form and formatted
// lines, the listing and the console, and the one way a run stops.
#pragma once

#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>
#include <string_view>
#include <type_traits>

namespace varno {

// ---------------------------------------------------------------------------------------------------------------
// Stops and input errors

// Thrown by stopRun; caught only by the main program, which flushes the listing and residual file, writes
// "STOP <code>" on the console and exits with the code's low 8 bits.
struct StopRequest {
    int code;
    std::string detail;  // when not empty, one more plain line for standard error
};

// Ends the run with stop code `code`. Writes nothing itself.
[[noreturn]] void stopRun(int code);
// The same with a plain explanation that the main program writes to standard error ("varno: <detail>").
[[noreturn]] void stopRun(int code, std::string detail);

// An input file that cannot be opened or read as its layout requires. The message is complete and names the file
// and line ("point1.rnx:42: ..."); the main program prints it as "varno: <message>" on standard error, exit 2.
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// ---------------------------------------------------------------------------------------------------------------
// Fixed-column input

class TextFile;

// One input line read as a fixed-column record: padded with blanks (or cut) to its width, a trailing carriage
// return dropped. Columns are 1-based and inclusive, as in the file layouts. Field readers throw InputError naming
// the file, the line, the columns and the field.
class Record {
public:
    Record() = default;

    const std::string& text() const { return text_; }
    std::string_view columns(int first, int last) const;  // columns first..last (clipped to the record)
    char column(int col) const;                           // one column, blank beyond the record
    bool blank(int first, int last) const;                // true when every column is a blank
    bool startsWith(int col, std::string_view s) const;   // columns col.. begin with s

    // Integer field: blanks ignored, all blank reads 0, an optional sign then digits; anything else is an error.
    int intField(int first, int last, std::string_view what) const;
    // Real field with `decimals` implied decimals unless a decimal point is written (the point wins); blanks
    // ignored, all blank reads 0; an exponent (E or D) is accepted; anything else is an error.
    double realField(int first, int last, int decimals, std::string_view what) const;

    const std::string& fileName() const { return file_; }
    long lineNumber() const { return line_; }
    // Whether this is a file's last line, written without an end-of-line (its fields may be cut short).
    bool unended() const { return cutAt_ != 0; }

    // Error naming this record's file and line; `message` says what was expected and what was found.
    [[noreturn]] void fail(std::string_view message) const;

    // Builds a record from a text line (tests, and the readers below).
    static Record fromLine(std::string_view line, int width, std::string file = "", long lineNumber = 0);

private:
    friend class TextFile;
    // Fails with "file ends inside a value" when this is a file's last line, written without an end-of-line, and
    // its text stops inside the columns first..last after a character that is not a blank: a value cut short.
    void checkNotCut(int first, int last) const;
    std::string text_;
    std::string file_;
    // The opening of a file that file_ was last taken from, so that a line read from the same one copies no name.
    unsigned long originOpening_ = 0;
    long line_ = 0;
    int cutAt_ = 0;  // columns of a last line without an end-of-line; 0 for a line that ended properly
};

// Parses a real number written in a field (already cut out), with the rules of Record::realField. Returns false
// when the text does not convert.
bool parseRealText(std::string_view field, int decimals, double& value);
// Parses an integer field text; false when it does not convert or does not fit 32 bits.
bool parseIntText(std::string_view field, int& value);

// ---------------------------------------------------------------------------------------------------------------
// Kinds of input file

// What a file's first line announces it to be.
enum class FileKind { unknown, observation, compactObservation, navigation, sp3Orbit, clock, meteorological };

// The kind a file's first line announces: SP3 by "#" and a version (blank or a to d) in column 2; compact RINEX by
// "CRINEX VERS" in column 61; RINEX of any version by "RINEX VERSION / TYPE" in column 61 and the type in column
// 21 (O observation; N, G, E, J, H, L navigation; C clock; M meteorological). Anything else is unknown.
FileKind fileKind(std::string_view firstLine);
// The kind as a message names it, with its article ("a RINEX navigation file", "an SP3 orbit file"); "" when
// unknown.
std::string kindName(FileKind kind);
// Refuses a file whose first line (`firstLine`) announces a known kind not among `accepted`, with
// "FILE:LINE: this is <kind>, not <expected>". A line of unknown kind passes: the reader's own checks judge it.
void refuseOtherKind(const Record& firstLine, std::initializer_list<FileKind> accepted, std::string_view expected);

// A text input file of the run, read line by line as fixed-column records; can be rewound.
class TextFile {
public:
    TextFile() = default;
    explicit TextFile(std::string path) { open(std::move(path)); }
    ~TextFile();
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    // Opens an existing file; throws InputError "cannot open NAME: reason" when it cannot. A gzip, compress,
    // bzip2, xz or compact RINEX file is read as its expanded text (InputError naming NAME when it does not
    // expand); line numbers then count lines of that text.
    void open(std::string path);
    bool isOpen() const { return file_ != nullptr; }
    void close();
    void rewind();

    // Reads the next line as a record of `width` columns. False at end of file (the record is then unchanged); a
    // read failure is an input error "cannot read NAME: reason".
    bool next(Record& record, int width);
    // Like next, but end of file is an input error: "FILE:LINE: end of file where <what> was expected".
    void require(Record& record, int width, std::string_view what);
    // Passes over the next line as next reads it (with its checks), without making a record of it. False at end
    // of file; passRequired makes that the input error of require.
    bool pass();
    void passRequired(std::string_view what);

    const std::string& name() const { return path_; }
    long lineNumber() const { return line_; }

    // Line buffers for the reader of this file, kept between its calls so that reading epoch after epoch does not
    // allocate; what they hold between calls means nothing.
    Record& lineBuffer() { return lineBuffer_; }
    Record& aheadBuffer() { return aheadBuffer_; }

private:
    void expand();

    std::FILE* file_ = nullptr;
    std::string path_;
    unsigned long opening_ = 0;  // this opening's number, unique in the process (0: none), for the records' names
    long line_ = 0;
    std::string buffer_;
    // Read ahead in large chunks: lines are taken from here.
    static constexpr std::size_t kChunkBytes = 1 << 16;
    static constexpr std::size_t kMaxLineBytes = 1024;  // longer lines (end-of-line not counted) are refused
    bool refill();
    std::size_t counted(const char* text, std::size_t length);
    void take(Record& record, const char* text, std::size_t length, int width, bool ended);
    [[noreturn]] void endedWhere(std::string_view what) const;
    Record passed_;  // where pass puts a line that straddles two chunks
    Record lineBuffer_, aheadBuffer_;
    std::string chunk_;
    std::size_t chunkAt_ = 0, chunkEnd_ = 0;
};

// True when a file of that name exists (readable or not).
bool fileExists(const std::string& path);

// ---------------------------------------------------------------------------------------------------------------
// Output: formatted fields and free-form lines

// Fw.d: fixed point with d decimals, right-aligned in w columns; d = 0 ends in a decimal point ("     3630.").
// A value that does not fit (or is not finite and does not fit) fills the field with w asterisks.
std::string fmtF(double value, int width, int decimals);
// Iw: integer right-aligned in w columns, asterisks when too wide.
std::string fmtI(long long value, int width);
// fmtF and fmtI written at `at` instead of returned, for lines made by the hundred thousand: exactly `width`
// characters (width 1..64) are written and the position after them is returned. Nothing is allocated.
char* putF(char* at, double value, int width, int decimals);
char* putI(char* at, long long value, int width);
// Scientific notation, one digit before the point and `decimals` after it, right-aligned in w columns.
std::string fmtE(double value, int width, int decimals);

// Shortest text that reads back to the same double (integers plainly).
std::string freeNumber(double value);
std::string freeNumber(long long value);

namespace detail {
void appendFreeItem(std::string& line, std::string_view text);
void appendFreeItem(std::string& line, double value);
void appendFreeItem(std::string& line, long long value);
template <typename T>
void appendFree(std::string& line, const T& item) {
    if constexpr (std::is_same_v<T, bool>) {
        appendFreeItem(line, std::string_view(item ? "T" : "F"));
    } else if constexpr (std::is_integral_v<T>) {
        appendFreeItem(line, static_cast<long long>(item));
    } else if constexpr (std::is_floating_point_v<T>) {
        appendFreeItem(line, static_cast<double>(item));
    } else {
        appendFreeItem(line, std::string_view(item));
    }
}
}  // namespace detail

// A free-form line: one leading blank, then the items. Texts are written exactly as given; a number is written in
// its shortest form, separated by one blank from what precedes it unless the line already ends in a blank.
// freeLine("satellites and epochs", 12, 14) == " satellites and epochs 12 14".
template <typename... Items>
std::string freeLine(const Items&... items) {
    std::string line = " ";
    (detail::appendFree(line, items), ...);
    return line;
}

// ---------------------------------------------------------------------------------------------------------------
// The listing and the console

// Writes one line (a terminator is added) to the listing. Before openListing, or after resetListing, lines go
// to a sink that tests can read with listingText().
void writeListing(std::string_view line);
// Writes one line to the console (standard output unless redirected).
void writeConsole(std::string_view line);
// Writes one line "varno: warning: <line>" on standard error (never captured: it is for the user at once).
void writeWarning(std::string_view line);
// Writes one line "varno: <line>" on standard error: what a stop found, for the user, before the stop's own line.
void writeDiagnostic(std::string_view line);
// Writes a progress line to the console, unless progress lines are switched off (a quiet run).
void writeProgress(std::string_view line);
// Switches progress lines on (the default) or off; messages and stops written by writeConsole are not affected.
void showProgress(bool shown);

// Lines held back while the run reads ahead, to be written when the run reaches the point they belong to.
struct HeldLine {
    enum class Sink { listing, console, warning, diagnostic, progress } sink = Sink::listing;
    std::string text;
};
using HeldLines = std::vector<HeldLine>;
// While set on a thread (not null), every line that thread writes with writeListing, writeConsole, writeWarning,
// writeDiagnostic or writeProgress is appended to `lines` instead; null writes them again.
void holdOutput(HeldLines* lines);
// Writes held lines, in order, as the functions that held them would have.
void writeHeld(const HeldLines& lines);

// Where one run's lines go: its listing (a file once opened, else memory that tests read) and its console
// (standard output unless captured). The process has sinks of its own; a run binds its own sinks to its thread for
// its duration (OutputBinding), so that two runs in two threads write each to its own listing.
class OutputSinks {
public:
    OutputSinks();
    ~OutputSinks();
    OutputSinks(const OutputSinks&) = delete;
    OutputSinks& operator=(const OutputSinks&) = delete;
    struct Streams;
    Streams& streams() { return *streams_; }

private:
    std::unique_ptr<Streams> streams_;
};

// While it lives, the calling thread's lines (writeListing, writeConsole, writeProgress) and the functions below go
// to `sinks` instead of the sinks bound before (the process's own when none was). Bindings nest; each must end on
// the thread that made it, in reverse order.
class OutputBinding {
public:
    explicit OutputBinding(OutputSinks& sinks);
    ~OutputBinding();
    OutputBinding(const OutputBinding&) = delete;
    OutputBinding& operator=(const OutputBinding&) = delete;

private:
    OutputSinks* previous_;
};

// The functions below act on the sinks bound to the calling thread.

// Creates or overwrites the listing file; false when it cannot be created.
bool openListing(const std::string& path);
// Flushes and closes the listing file (safe to call twice). False when a line could not be written.
bool closeListing();
// Discards the captured listing and console text and directs both to in-memory sinks (tests).
void captureOutput();
// Directs the console back to standard output.
void releaseConsole();
// What the in-memory sinks hold since the last captureOutput().
std::string listingText();
std::string consoleText();

}  // namespace varno
