// Compact RINEX of the simulator's observation files: version 1.0 around RINEX 2, version 3.0 around RINEX 3
// and 4. Written from the published description of the format, independently of the program's decoder.
//
// Per epoch the compact file has the epoch line (every satellite on that one line, no clock) as a text
// difference from the previous epoch line, the receiver clock as a differenced integer, and one line per
// satellite: its values as differenced integers in units of the last decimal, then its LLI/SSI flags as a text
// difference from that satellite's flags of the epoch before.

#include <map>

#include "sim.h"

namespace sim {

namespace {

constexpr int kOrder = 3;  // order of the differences of every arc we write

// One differenced quantity: its value and its last differences of every order, as the reader rebuilds them.
struct Arc {
    bool present = false;
    int used = 0;
    int64_t level[kOrder + 1] = {};

    // The field that carries `value` on: a new arc "3&value" or the difference of the arc's current order.
    std::string next(int64_t value) {
        if (!present) {
            present = true;
            used = 0;
            level[0] = value;
            return std::to_string(kOrder) + "&" + std::to_string(value);
        }
        int64_t now[kOrder + 1] = {value};
        const int order = std::min(used + 1, kOrder);
        for (int k = 1; k <= order; ++k) now[k] = now[k - 1] - level[k - 1];
        used = order;
        std::copy(now, now + kOrder + 1, level);
        return std::to_string(level[used]);
    }
};

// A fixed-point field ("  -123.456") as an integer in units of 10^-decimals.
int64_t fixedValue(const std::string& field, int decimals) {
    std::string digits;
    bool negative = false;
    int fraction = -1;
    for (char c : field) {
        if (c == ' ' && digits.empty() && !negative) continue;
        if (c == '-' && digits.empty() && !negative) {
            negative = true;
        } else if (c == '.' && fraction < 0) {
            fraction = 0;
        } else if (c >= '0' && c <= '9' && fraction < decimals) {
            digits += c;
            if (fraction >= 0) ++fraction;
        } else {
            throw Error("compact RINEX holds numbers only: cannot write the value \"" + field + "\"");
        }
    }
    if (fraction < 0) fraction = 0;
    digits.append(static_cast<size_t>(decimals - fraction), '0');
    const int64_t v = std::stoll(digits);
    return negative ? -v : v;
}

bool blank(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }

std::string column(const std::string& line, size_t from, size_t width) {
    std::string s = from < line.size() ? line.substr(from, width) : std::string();
    s.resize(width, ' ');
    return s;
}

std::string trimmedRight(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

// `now` as a text difference from `before`: blank where unchanged, '&' where a character became a blank.
std::string textDifference(const std::string& before, const std::string& now) {
    std::string diff(std::max(before.size(), now.size()), ' ');
    for (size_t i = 0; i < diff.size(); ++i) {
        const char b = i < before.size() ? before[i] : ' ';
        const char n = i < now.size() ? now[i] : ' ';
        if (n != b) diff[i] = n == ' ' ? '&' : n;
    }
    return trimmedRight(diff);
}

struct Satellite {
    std::vector<Arc> values;
    std::string flags;
};

class Encoder {
public:
    explicit Encoder(const std::vector<std::string>& rinex) : in_(rinex) {}

    std::vector<std::string> run() {
        const bool rinex2 = !in_.empty() && column(in_[0], 5, 1) == "2";
        rinex2_ = rinex2;
        out_.push_back(headerLine(rinex2 ? "1.0                 COMPACT RINEX FORMAT"
                                         : "3.0                 COMPACT RINEX FORMAT",
                                  "CRINEX VERS   / TYPE"));
        out_.push_back(headerLine("varno-sim                               08-Dec-26 00:00", "CRINEX PROG / DATE"));
        copyHeader();
        while (at_ < in_.size() && !blank(in_[at_])) epoch();
        return std::move(out_);
    }

private:
    static std::string headerLine(std::string content, const std::string& label) {
        content.resize(60, ' ');
        return content + label;
    }

    const std::string& take() {
        if (at_ >= in_.size()) throw Error("compact RINEX: the observation file ends inside a record");
        return in_[at_++];
    }

    void copyHeader() {
        while (at_ < in_.size()) {
            const std::string& line = take();
            out_.push_back(line);
            const std::string label = trimmedRight(column(line, 60, 20));
            if (label == "# / TYPES OF OBSERV" && !blank(column(line, 0, 6))) {
                types_[' '] = std::stoi(column(line, 0, 6));
            } else if (label == "SYS / # / OBS TYPES" && line[0] != ' ') {
                types_[line[0]] = std::stoi(column(line, 3, 3));
            } else if (label == "END OF HEADER") {
                return;
            }
        }
    }

    void epoch() {
        const std::string first = take();
        const size_t flagAt = rinex2_ ? 28 : 31, countAt = rinex2_ ? 29 : 32;
        const char flag = column(first, flagAt, 1)[0];
        const int count = std::stoi(column(first, countAt, 3));
        if (flag >= '2' && flag <= '5') {
            epochLine(trimmedRight(first), true);
            for (int k = 0; k < count; ++k) out_.push_back(take());
            return;
        }
        std::vector<std::string> sats;
        std::string line = rinex2_ ? column(first, 0, 32) : column(first, 0, 35) + std::string(6, ' ');
        for (int k = 0; k < count; ++k) {
            if (rinex2_ && k > 0 && k % 12 == 0) continuation_ = take();
            const std::string& from = rinex2_ && k >= 12 ? continuation_ : first;
            sats.push_back(rinex2_ ? column(from, 32 + 3 * static_cast<size_t>(k % 12), 3) : std::string());
        }
        std::vector<std::string> records;
        for (int k = 0; k < count; ++k) {
            if (rinex2_) {
                const int types = types_.at(' ');
                std::string record;
                for (int l = 0; l < (types + 4) / 5; ++l) record += column(take(), 0, 80);
                records.push_back(record);
            } else {
                const std::string& r = take();
                sats[static_cast<size_t>(k)] = column(r, 0, 3);
                records.push_back(r.size() > 3 ? r.substr(3) : std::string());
            }
        }
        for (const std::string& s : sats) line += s;
        epochLine(line, false);
        const std::string clock = rinex2_ ? column(first, 68, 12) : column(first, 41, 15);
        if (blank(clock)) {
            clock_ = Arc{};
            out_.emplace_back();
        } else {
            out_.push_back(clock_.next(fixedValue(clock, rinex2_ ? 9 : 12)));
        }
        std::map<std::string, Satellite> now;
        for (size_t k = 0; k < sats.size(); ++k) {
            Satellite state;
            auto seen = satellites_.find(sats[k]);
            if (seen != satellites_.end()) state = std::move(seen->second);
            const int types = rinex2_ ? types_.at(' ') : types_.at(sats[k][0]);
            state.values.resize(static_cast<size_t>(types));
            out_.push_back(satelliteLine(records[k], state));
            now[sats[k]] = std::move(state);
        }
        satellites_ = std::move(now);
    }

    void epochLine(const std::string& line, bool alone) {
        if (alone || !havePrevious_) {
            std::string text = line;
            text[0] = rinex2_ ? '&' : '>';
            out_.push_back(trimmedRight(text));
        } else {
            out_.push_back(textDifference(previous_, line));
        }
        previous_ = line;
        havePrevious_ = true;
    }

    std::string satelliteLine(const std::string& record, Satellite& state) {
        std::string fields, flags;
        for (size_t t = 0; t < state.values.size(); ++t) {
            const std::string group = column(record, 16 * t, 16);
            if (t > 0) fields += ' ';
            if (blank(group.substr(0, 14))) {
                state.values[t] = Arc{};
            } else {
                fields += state.values[t].next(fixedValue(group.substr(0, 14), 3));
            }
            flags += group.substr(14, 2);
        }
        const std::string diff = textDifference(state.flags, flags);
        state.flags = flags;
        return diff.empty() ? trimmedRight(fields) : fields + " " + diff;
    }

    const std::vector<std::string>& in_;
    std::vector<std::string> out_;
    size_t at_ = 0;
    bool rinex2_ = true;
    std::map<char, int> types_;
    std::string previous_, continuation_;
    bool havePrevious_ = false;
    Arc clock_;
    std::map<std::string, Satellite> satellites_;
};

}  // namespace

std::vector<std::string> compactRinex(const std::vector<std::string>& rinex) { return Encoder(rinex).run(); }

}  // namespace sim
