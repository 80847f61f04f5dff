#include "textio/textio.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <cmath>
#include <iostream>
#include <limits>
#include <optional>
#include <sstream>

namespace varno {

namespace {

std::string stars(int width) { return std::string(static_cast<size_t>(width > 0 ? width : 0), '*'); }

std::string rightAligned(const std::string& s, int width) {
    if (static_cast<int>(s.size()) > width) return stars(width);
    return std::string(static_cast<size_t>(width) - s.size(), ' ') + s;
}

std::string nonFinite(double value) {
    if (std::isnan(value)) return "NaN";
    return value < 0 ? "-Inf" : "Inf";
}

}  // namespace

// The listing goes to its file once opened; before that, and in tests, to a string.
struct OutputSinks::Streams {
    std::ofstream listingFile;
    std::ostringstream listingMemory;
    std::ostringstream consoleMemory;
    bool consoleCaptured = false;
    bool progressShown = true;
};

OutputSinks::OutputSinks() : streams_(std::make_unique<Streams>()) {}
OutputSinks::~OutputSinks() = default;

namespace {

using Sinks = OutputSinks::Streams;

// The process's own sinks, for whatever writes with no run bound (the command line's messages, tests).
OutputSinks& processSinks() {
    static OutputSinks s;
    return s;
}

thread_local OutputSinks* bound = nullptr;

Sinks& sinks() { return bound != nullptr ? bound->streams() : processSinks().streams(); }

}  // namespace

OutputBinding::OutputBinding(OutputSinks& sinks) : previous_(bound) { bound = &sinks; }
OutputBinding::~OutputBinding() { bound = previous_; }

namespace {

__extension__ typedef unsigned __int128 Wide;

// `scaled` · 2^-shift (shift 1..127, as the type allows) rounded to the nearest whole number, ties to even.
template <typename Unsigned>
Unsigned shiftRounded(Unsigned scaled, int shift) {
    const Unsigned whole = scaled >> shift;
    const Unsigned rest = scaled - (whole << shift);
    const Unsigned half = static_cast<Unsigned>(1) << (shift - 1);
    return rest > half || (rest == half && (whole & 1) != 0) ? whole + 1 : whole;
}

// Fixed point with 0..9 decimals for magnitudes from 2^-64 to 2^53 (and zero), by exact integer arithmetic: the
// value is m·2^e exactly, so value·10^d is the integer m·10^d shifted by e, rounded half to even on the bits
// shifted out. That is the correctly rounded decimal printf and to_chars give; 0 when outside that range.
std::size_t fixedExact(char* buf, double value, int decimals) {
    constexpr std::uint64_t kPowers[10] = {1,      10,      100,      1000,      10000,
                                           100000, 1000000, 10000000, 100000000, 1000000000};
    if (decimals < 0 || decimals > 9) return 0;
    const double size = std::fabs(value);
    if (!(size == 0.0 || (size >= 0x1p-64 && size < 0x1p53))) return 0;
    std::uint64_t bits = 0;
    std::memcpy(&bits, &size, sizeof bits);
    const int field = static_cast<int>(bits >> 52);
    const std::uint64_t mantissa = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
    const int exponent = field - 1075;  // size = mantissa · 2^exponent (size is normal here)
    Wide n = 0;
    if (size == 0.0) {
        n = 0;
    } else if (decimals <= 3 && exponent < 0 && exponent > -64) {
        // The common case in 64 bits: below 2^53 · 10^3 < 2^63, shifted by less than 64.
        n = shiftRounded(mantissa * kPowers[decimals], -exponent);
    } else {
        const Wide scaled = static_cast<Wide>(mantissa) * kPowers[decimals];
        n = exponent >= 0 ? scaled << exponent : shiftRounded(scaled, -exponent);  // a shift of at most 116
    }
    char digits[48];
    int count = 0;
    // Most values fit 64 bits, whose division is far cheaper.
    while (n > std::numeric_limits<std::uint64_t>::max()) {
        digits[count++] = static_cast<char>('0' + static_cast<int>(n % 10));
        n /= 10;
    }
    std::uint64_t low = static_cast<std::uint64_t>(n);
    do {
        digits[count++] = static_cast<char>('0' + static_cast<int>(low % 10));
        low /= 10;
    } while (low != 0 || count <= decimals);
    std::size_t at = 0;
    if (std::signbit(value)) buf[at++] = '-';
    for (int i = count - 1; i >= 0; --i) {
        buf[at++] = digits[i];
        if (i == decimals && decimals > 0) buf[at++] = '.';
    }
    return at;
}

// The text of Fw.d before alignment, as printf's %.*f writes it (correctly rounded, ties to even): by exact
// integer arithmetic where it applies, else by to_chars with a precision. Its length, or none when it cannot be
// written.
std::optional<std::size_t> fixedText(char (&buf)[512], double value, int decimals) {
    if (!std::isfinite(value)) return nonFinite(value).copy(buf, sizeof buf);
    std::size_t n = fixedExact(buf, value, decimals);
    if (n == 0) {
        const auto res = std::to_chars(buf, buf + sizeof buf - 1, value, std::chars_format::fixed, decimals);
        if (res.ec != std::errc()) return std::nullopt;
        n = static_cast<std::size_t>(res.ptr - buf);
    }
    if (decimals == 0) buf[n++] = '.';
    return n;
}

char* putAligned(char* at, const char* text, std::size_t n, int width) {
    if (width < 1) return at;
    const std::size_t w = static_cast<std::size_t>(width);
    if (n > w) return std::fill_n(at, w, '*');
    at = std::fill_n(at, w - n, ' ');
    return std::copy(text, text + n, at);
}

}  // namespace

char* putF(char* at, double value, int width, int decimals) {
    char buf[512];
    const std::optional<std::size_t> n = fixedText(buf, value, decimals);
    if (!n) return std::fill_n(at, std::max(width, 0), '*');
    return putAligned(at, buf, *n, width);
}

char* putI(char* at, long long value, int width) {
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return putAligned(at, buf, static_cast<std::size_t>(res.ptr - buf), width);
}

std::string fmtF(double value, int width, int decimals) {
    char buf[512];
    const std::optional<std::size_t> n = fixedText(buf, value, decimals);
    if (!n) return stars(width);
    return rightAligned(std::string(buf, *n), width);
}

std::string fmtI(long long value, int width) { return rightAligned(std::to_string(value), width); }

std::string fmtE(double value, int width, int decimals) {
    if (!std::isfinite(value)) return rightAligned(nonFinite(value), width);
    char buf[512];
    int n = std::snprintf(buf, sizeof buf, "%.*E", decimals, value);
    if (n < 0 || n >= static_cast<int>(sizeof buf)) return stars(width);
    return rightAligned(std::string(buf, static_cast<size_t>(n)), width);
}

std::string freeNumber(double value) {
    if (!std::isfinite(value)) return nonFinite(value);
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

std::string freeNumber(long long value) { return std::to_string(value); }

namespace detail {

void appendFreeItem(std::string& line, std::string_view text) { line += text; }

void appendFreeItem(std::string& line, double value) {
    if (line.back() != ' ') line += ' ';
    line += freeNumber(value);
}

void appendFreeItem(std::string& line, long long value) {
    if (line.back() != ' ') line += ' ';
    line += freeNumber(value);
}

}  // namespace detail

namespace {

thread_local HeldLines* held = nullptr;

// True when the line was held back.
bool holding(HeldLine::Sink sink, std::string_view line) {
    if (held == nullptr) return false;
    held->push_back({sink, std::string(line)});
    return true;
}

}  // namespace

void holdOutput(HeldLines* lines) { held = lines; }

void writeHeld(const HeldLines& lines) {
    for (const HeldLine& line : lines) {
        switch (line.sink) {
            case HeldLine::Sink::listing: writeListing(line.text); break;
            case HeldLine::Sink::console: writeConsole(line.text); break;
            case HeldLine::Sink::warning: writeWarning(line.text); break;
            case HeldLine::Sink::diagnostic: writeDiagnostic(line.text); break;
            case HeldLine::Sink::progress: writeProgress(line.text); break;
        }
    }
}

void writeListing(std::string_view line) {
    if (holding(HeldLine::Sink::listing, line)) return;
    Sinks& s = sinks();
    if (s.listingFile.is_open()) {
        s.listingFile << line << '\n';
    } else {
        s.listingMemory << line << '\n';
    }
}

void writeConsole(std::string_view line) {
    if (holding(HeldLine::Sink::console, line)) return;
    Sinks& s = sinks();
    if (s.consoleCaptured) {
        s.consoleMemory << line << '\n';
    } else {
        std::cout << line << '\n' << std::flush;
    }
}

void writeWarning(std::string_view line) {
    if (holding(HeldLine::Sink::warning, line)) return;
    std::cerr << "varno: warning: " << line << '\n';
}

void writeDiagnostic(std::string_view line) {
    if (holding(HeldLine::Sink::diagnostic, line)) return;
    std::cerr << "varno: " << line << '\n';
}

void writeProgress(std::string_view line) {
    if (holding(HeldLine::Sink::progress, line)) return;
    if (sinks().progressShown) writeConsole(line);
}

void showProgress(bool shown) { sinks().progressShown = shown; }

bool openListing(const std::string& path) {
    Sinks& s = sinks();
    s.listingFile.close();
    s.listingFile.clear();
    s.listingFile.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
    return s.listingFile.is_open();
}

bool closeListing() {
    Sinks& s = sinks();
    if (!s.listingFile.is_open()) return true;
    s.listingFile.flush();
    s.listingFile.close();
    const bool written = !s.listingFile.fail();
    s.listingFile.clear();
    return written;
}

void captureOutput() {
    Sinks& s = sinks();
    closeListing();
    s.listingMemory.str("");
    s.consoleMemory.str("");
    s.consoleCaptured = true;
}

void releaseConsole() { sinks().consoleCaptured = false; }

std::string listingText() { return sinks().listingMemory.str(); }
std::string consoleText() { return sinks().consoleMemory.str(); }

}  // namespace varno
