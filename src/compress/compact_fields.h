// Internals of the compact RINEX decoder: the differenced quantities and the text differencing. Not part of the
// subsystem's interface.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace varno::compress_detail {

// One quantity of a compact file (an observation of one satellite and type, or the receiver clock), kept as an
// integer in units of its last decimal, with the last differences of every order of its current arc.
struct Arc {
    static constexpr int kMaxOrder = 9;
    int order = -1;  // -1: no arc; the next value must start one ("n&value")
    int used = 0;    // orders in use so far: grows by one per epoch up to `order`
    int64_t level[kMaxOrder + 1] = {};  // level[0] the value, level[k] its last k-th difference

    bool present() const { return order >= 0; }
};

// Applies one field of a compact line to `arc`: empty (the quantity is absent; the arc ends), "n&value" (a new
// arc of order n starting at value) or a difference of the arc's current order. Throws ExpandError at `line`,
// naming `what`, for a field that is not a number, a wrong arc order, a difference with no arc, or a value that
// leaves 64 bits.
void applyField(std::string_view field, Arc& arc, long line, const std::string& what);

// Text differencing: each character of `diff` replaces the one in the same column of `text`, except a blank
// (unchanged) and '&' (becomes a blank); `text` grows with blanks when `diff` is longer.
void applyTextDifference(std::string& text, std::string_view diff);

// `value` (in units of 10^-decimals) written as Fw.d right-aligned in `width` columns; false when it does not fit.
bool formatFixed(int64_t value, int width, int decimals, std::string& out);

// `s` without its trailing blanks.
std::string_view trimRight(std::string_view s);

}  // namespace varno::compress_detail
