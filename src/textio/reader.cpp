#include "textio/textio.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>

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

std::string withoutBlanks(std::string_view field) {
    std::string s;
    s.reserve(field.size());
    for (char c : field) {
        if (c != ' ' && c != '\t') s += c;
    }
    return s;
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

int Record::intField(int first, int last, std::string_view what) const {
    int value = 0;
    std::string_view field = columns(first, last);
    if (!parseIntText(field, value)) {
        fail("expected an integer " + std::string(what) + " in columns " + std::to_string(first) + "-" +
             std::to_string(last) + ", found " + quoted(field));
    }
    return value;
}

double Record::realField(int first, int last, int decimals, std::string_view what) const {
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
    std::string s = withoutBlanks(field);
    if (s.empty()) {
        value = 0;
        return true;
    }
    size_t i = 0;
    bool negative = false;
    if (s[0] == '+' || s[0] == '-') {
        negative = s[0] == '-';
        i = 1;
    }
    if (i == s.size()) return false;
    long long v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) return false;
    }
    if (negative) v = -v;
    if (v > INT_MAX || v < INT_MIN) return false;
    value = static_cast<int>(v);
    return true;
}

bool parseRealText(std::string_view field, int decimals, double& value) {
    std::string s = withoutBlanks(field);
    if (s.empty()) {
        value = 0.0;
        return true;
    }
    // Split into sign, mantissa digits (with at most one point) and an optional exponent.
    size_t i = 0;
    std::string sign;
    if (s[0] == '+' || s[0] == '-') {
        if (s[0] == '-') sign = "-";
        i = 1;
    }
    std::string mantissa;
    bool point = false;
    size_t digits = 0;
    for (; i < s.size(); ++i) {
        char c = s[i];
        if (c >= '0' && c <= '9') {
            mantissa += c;
            ++digits;
        } else if (c == '.' && !point) {
            point = true;
            mantissa += c;
        } else {
            break;
        }
    }
    if (digits == 0) return false;
    std::string exponent;
    if (i < s.size()) {
        char c = s[i];
        if (c == 'E' || c == 'e' || c == 'D' || c == 'd') ++i;
        else if (c != '+' && c != '-') return false;
        size_t start = i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        size_t expDigits = 0;
        for (; i < s.size(); ++i) {
            if (s[i] < '0' || s[i] > '9') return false;
            ++expDigits;
        }
        if (expDigits == 0) return false;
        exponent = "e" + s.substr(start);
    }
    if (!point && decimals > 0) {
        // Implied decimals: the last `decimals` digits are the fraction.
        if (mantissa.size() <= static_cast<size_t>(decimals)) {
            mantissa.insert(0, static_cast<size_t>(decimals) - mantissa.size() + 1, '0');
        }
        mantissa.insert(mantissa.size() - static_cast<size_t>(decimals), ".");
    }
    std::string text = sign + mantissa + exponent;
    double v = 0.0;
    auto res = std::from_chars(text.data(), text.data() + text.size(), v);
    if (res.ec == std::errc::result_out_of_range) {
        // Overflow or underflow: from_chars leaves v untouched; fall back to strtod's signed infinity or zero.
        v = std::strtod(text.c_str(), nullptr);
    } else if (res.ec != std::errc() || res.ptr != text.data() + text.size()) {
        return false;
    }
    value = v;
    return true;
}

// ---------------------------------------------------------------------------------------------------------------

TextFile::~TextFile() { close(); }

void TextFile::open(std::string path) {
    close();
    path_ = std::move(path);
    line_ = 0;
    file_ = std::fopen(path_.c_str(), "rb");
    if (file_ == nullptr) {
        throw InputError("cannot open " + path_ + ": " + std::strerror(errno));
    }
}

void TextFile::close() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

void TextFile::rewind() {
    if (file_ != nullptr) {
        std::rewind(file_);
        line_ = 0;
    }
}

bool TextFile::next(Record& record, int width) {
    if (file_ == nullptr) return false;
    buffer_.clear();
    int c = 0;
    bool any = false;
    while ((c = std::getc(file_)) != EOF) {
        any = true;
        if (c == '\n') break;
        buffer_ += static_cast<char>(c);
    }
    if (!any) return false;
    ++line_;
    if (!buffer_.empty() && buffer_.back() == '\r') buffer_.pop_back();
    record.text_.assign(buffer_, 0, std::min(buffer_.size(), static_cast<size_t>(width)));
    record.text_.resize(static_cast<size_t>(width), ' ');
    if (record.file_ != path_) record.file_ = path_;
    record.line_ = line_;
    return true;
}

void TextFile::require(Record& record, int width, std::string_view what) {
    if (!next(record, width)) {
        throw InputError(path_ + ":" + std::to_string(line_ + 1) + ": end of file where " + std::string(what) +
                         " was expected");
    }
}

bool fileExists(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    std::fclose(f);
    return true;
}

}  // namespace varno
