#include "textio/textio.h"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "compress/compress.h"

namespace varno {

namespace {

std::string quoted(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", u);
            out += buf;
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

// The characters of a field without its blanks, in a fixed buffer: field conversion runs for every value of every
// epoch and allocates nothing. Fields longer than the buffer (no layout has one) do not convert.
struct Packed {
    char text[128];
    size_t size = 0;
    bool fits = true;
};

Packed withoutBlanks(std::string_view field) {
    Packed p;
    for (char c : field) {
        if (c == ' ' || c == '\t') continue;
        if (p.size + 1 >= sizeof p.text) {
            p.fits = false;
            break;
        }
        p.text[p.size++] = c;
    }
    p.text[p.size] = '\0';
    return p;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------

std::string_view Record::columns(int first, int last) const {
    if (first < 1) first = 1;
    if (last > static_cast<int>(text_.size())) last = static_cast<int>(text_.size());
    if (last < first) return {};
    return std::string_view(text_).substr(static_cast<size_t>(first - 1), static_cast<size_t>(last - first + 1));
}

char Record::column(int col) const {
    if (col < 1 || col > static_cast<int>(text_.size())) return ' ';
    return text_[static_cast<size_t>(col - 1)];
}

bool Record::blank(int first, int last) const {
    for (char c : columns(first, last)) {
        if (c != ' ') return false;
    }
    return true;
}

bool Record::startsWith(int col, std::string_view s) const {
    if (col < 1) return false;
    size_t pos = static_cast<size_t>(col - 1);
    if (pos + s.size() > text_.size()) return false;
    return std::string_view(text_).substr(pos, s.size()) == s;
}

void Record::fail(std::string_view message) const {
    throw InputError(file_ + ":" + std::to_string(line_) + ": " + std::string(message));
}

void Record::checkNotCut(int first, int last) const {
    if (cutAt_ < first || cutAt_ >= last) return;
    if (text_[static_cast<std::size_t>(cutAt_ - 1)] == ' ') return;
    fail("file ends inside a value in columns " + std::to_string(first) + "-" + std::to_string(last) +
         ": truncated file?");
}

int Record::intField(int first, int last, std::string_view what) const {
    if (cutAt_ != 0) checkNotCut(first, last);
    int value = 0;
    std::string_view field = columns(first, last);
    if (!parseIntText(field, value)) {
        fail("expected an integer " + std::string(what) + " in columns " + std::to_string(first) + "-" +
             std::to_string(last) + ", found " + quoted(field));
    }
    return value;
}

double Record::realField(int first, int last, int decimals, std::string_view what) const {
    if (cutAt_ != 0) checkNotCut(first, last);
    double value = 0.0;
    std::string_view field = columns(first, last);
    if (!parseRealText(field, decimals, value)) {
        fail("expected a number " + std::string(what) + " in columns " + std::to_string(first) + "-" +
             std::to_string(last) + ", found " + quoted(field));
    }
    return value;
}

Record Record::fromLine(std::string_view line, int width, std::string file, long lineNumber) {
    Record r;
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    r.text_.assign(line.substr(0, static_cast<size_t>(width)));
    r.text_.resize(static_cast<size_t>(width), ' ');
    r.file_ = std::move(file);
    r.line_ = lineNumber;
    return r;
}

bool parseIntText(std::string_view field, int& value) {
    // The common case first: blanks, then at most nine digits, then blanks.
    std::size_t at = 0;
    while (at < field.size() && field[at] == ' ') ++at;
    int digits = 0;
    int plain = 0;
    while (at < field.size() && field[at] >= '0' && field[at] <= '9' && digits < 9) {
        plain = plain * 10 + (field[at++] - '0');
        ++digits;
    }
    while (at < field.size() && field[at] == ' ') ++at;
    if (at == field.size()) {
        value = plain;
        return true;
    }
    const Packed p = withoutBlanks(field);
    if (!p.fits) return false;
    if (p.size == 0) {
        value = 0;
        return true;
    }
    size_t i = 0;
    bool negative = false;
    if (p.text[0] == '+' || p.text[0] == '-') {
        negative = p.text[0] == '-';
        i = 1;
    }
    if (i == p.size) return false;
    long long v = 0;
    for (; i < p.size; ++i) {
        const char c = p.text[i];
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) return false;
    }
    if (negative) v = -v;
    if (v > INT_MAX || v < INT_MIN) return false;
    value = static_cast<int>(v);
    return true;
}

namespace {

// The common case of a plain fixed-point field: blanks around at most 15 digits with or without a point, no
// exponent, or nothing but blanks (0). Its value is the digits as a whole number (exact) divided by a power of ten up to 1e22 (exact), one
// correctly rounded division: the double that the full conversion gives. False when the field is anything else.
bool parsePlainReal(std::string_view field, int decimals, double& value) {
    static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                              1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    constexpr int kMaxDigits = 15;
    constexpr int kMaxPower = 22;
    std::size_t i = 0;
    const std::size_t n = field.size();
    while (i < n && (field[i] == ' ' || field[i] == '\t')) ++i;
    if (i == n) {
        value = 0.0;  // all blank
        return true;
    }
    bool negative = false;
    if (i < n && (field[i] == '-' || field[i] == '+')) negative = field[i++] == '-';
    long long mantissa = 0;
    int digits = 0;
    int fraction = -1;  // digits after the point; -1 without a point
    for (; i < n; ++i) {
        const char c = field[i];
        if (c >= '0' && c <= '9') {
            if (++digits > kMaxDigits) return false;
            mantissa = mantissa * 10 + (c - '0');
            if (fraction >= 0) ++fraction;
        } else if (c == '.' && fraction < 0) {
            fraction = 0;
        } else {
            break;
        }
    }
    for (; i < n; ++i) {
        if (field[i] != ' ' && field[i] != '\t') return false;
    }
    if (digits == 0) return false;
    const int power = fraction >= 0 ? fraction : (decimals > 0 ? decimals : 0);
    if (power > kMaxPower) return false;
    const double magnitude = static_cast<double>(mantissa) / kPowersOfTen[power];
    value = negative ? -magnitude : magnitude;
    return true;
}

}  // namespace

bool parseRealText(std::string_view field, int decimals, double& value) {
    if (parsePlainReal(field, decimals, value)) return true;
    const Packed p = withoutBlanks(field);
    if (!p.fits) return false;
    if (p.size == 0) {
        value = 0.0;
        return true;
    }
    // Rebuilt as sign, mantissa (with the implied point placed) and exponent, then converted once.
    char text[512];  // room for 127 characters, a padding of up to 99 zeros and the point
    size_t n = 0;
    size_t i = 0;
    if (p.text[0] == '+' || p.text[0] == '-') {
        if (p.text[0] == '-') text[n++] = '-';
        i = 1;
    }
    const size_t mantissaStart = n;
    bool point = false;
    size_t digits = 0;
    for (; i < p.size; ++i) {
        const char c = p.text[i];
        if (c >= '0' && c <= '9') {
            text[n++] = c;
            ++digits;
        } else if (c == '.' && !point) {
            point = true;
            text[n++] = c;
        } else {
            break;
        }
    }
    if (digits == 0) return false;
    if (!point && decimals > 0) {
        // Implied decimals: the last `decimals` digits are the fraction; pad with leading zeros when short.
        const size_t d = static_cast<size_t>(decimals);
        if (d > 99) return false;
        if (digits <= d) {
            const size_t pad = d - digits + 1;
            for (size_t k = n; k-- > mantissaStart;) text[k + pad] = text[k];
            for (size_t k = 0; k < pad; ++k) text[mantissaStart + k] = '0';
            n += pad;
        }
        const size_t at = n - d;
        for (size_t k = n; k-- > at;) text[k + 1] = text[k];
        text[at] = '.';
        ++n;
    }
    if (i < p.size) {
        const char c = p.text[i];
        if (c == 'E' || c == 'e' || c == 'D' || c == 'd') {
            ++i;
        } else if (c != '+' && c != '-') {
            return false;
        }
        text[n++] = 'e';
        if (i < p.size && (p.text[i] == '+' || p.text[i] == '-')) text[n++] = p.text[i++];
        size_t expDigits = 0;
        for (; i < p.size; ++i) {
            if (p.text[i] < '0' || p.text[i] > '9') return false;
            text[n++] = p.text[i];
            ++expDigits;
        }
        if (expDigits == 0) return false;
    }
    double v = 0.0;
    auto res = std::from_chars(text, text + n, v);
    if (res.ec == std::errc::result_out_of_range) {
        // Overflow or underflow: from_chars leaves v untouched; strtod gives the signed infinity or zero.
        text[n] = '\0';
        v = std::strtod(text, nullptr);
    } else if (res.ec != std::errc() || res.ptr != text + n) {
        return false;
    }
    value = v;
    return true;
}

}  // namespace varno
