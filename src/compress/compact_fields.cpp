#include "compress/compact_fields.h"

#include "compress/compress.h"

namespace varno::compress_detail {

namespace {

constexpr int kMaxDigits = 18;  // every 18-digit integer fits in 64 bits

bool parseInteger(std::string_view text, int64_t& value) {
    size_t i = 0;
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        i = 1;
    }
    const size_t digits = text.size() - i;
    if (digits == 0 || digits > kMaxDigits) return false;
    int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
    }
    value = negative ? -v : v;
    return true;
}

std::string shown(std::string_view field) {
    constexpr size_t kShown = 40;
    return "\"" + std::string(field.substr(0, kShown)) + (field.size() > kShown ? "...\"" : "\"");
}

}  // namespace

void applyField(std::string_view field, Arc& arc, long line, const std::string& what) {
    if (field.empty()) {
        arc.order = -1;
        return;
    }
    const size_t amp = field.find('&');
    if (amp != std::string_view::npos) {
        const std::string_view order = field.substr(0, amp);
        if (order.size() != 1 || order[0] < '0' || order[0] > '0' + Arc::kMaxOrder) {
            throw ExpandError(line, "compact RINEX: wrong arc order in " + what + ": " + shown(field) +
                                        " (expected a digit 0-9 before '&')");
        }
        int64_t start = 0;
        if (!parseInteger(field.substr(amp + 1), start)) {
            throw ExpandError(line, "compact RINEX: expected an integer after '&' in " + what + ", found " +
                                        shown(field));
        }
        arc.order = order[0] - '0';
        arc.used = 0;
        arc.level[0] = start;
        return;
    }
    int64_t difference = 0;
    if (!parseInteger(field, difference)) {
        throw ExpandError(line, "compact RINEX: expected an integer difference in " + what + ", found " +
                                    shown(field));
    }
    if (!arc.present()) {
        throw ExpandError(line, "compact RINEX: a difference in " + what +
                                    " where a new arc (\"n&value\") was expected: damaged file?");
    }
    if (arc.used < arc.order) ++arc.used;
    arc.level[arc.used] = difference;
    for (int k = arc.used; k > 0; --k) {
        if (__builtin_add_overflow(arc.level[k - 1], arc.level[k], &arc.level[k - 1])) {
            throw ExpandError(line, "compact RINEX: " + what + " overflows: damaged file?");
        }
    }
}

void applyTextDifference(std::string& text, std::string_view diff) {
    if (text.size() < diff.size()) text.resize(diff.size(), ' ');
    for (size_t i = 0; i < diff.size(); ++i) {
        if (diff[i] == ' ') continue;
        text[i] = diff[i] == '&' ? ' ' : diff[i];
    }
}

bool formatFixed(int64_t value, int width, int decimals, std::string& out) {
    const bool negative = value < 0;
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    uint64_t scale = 1;
    for (int k = 0; k < decimals; ++k) scale *= 10;
    std::string fraction = std::to_string(magnitude % scale);
    fraction.insert(0, static_cast<size_t>(decimals) - fraction.size(), '0');
    std::string text = (negative ? "-" : "") + std::to_string(magnitude / scale) + "." + fraction;
    if (text.size() > static_cast<size_t>(width)) return false;
    out.append(static_cast<size_t>(width) - text.size(), ' ');
    out += text;
    return true;
}

std::string_view trimRight(std::string_view s) {
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

}  // namespace varno::compress_detail
