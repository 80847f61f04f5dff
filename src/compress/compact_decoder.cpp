// Compact RINEX 1.0 (RINEX 2 inside) and 3.0 (RINEX 3 and 4 inside) back to RINEX.
//
// After its two own header lines, a compact file holds the RINEX header unchanged, then per epoch: the epoch line
// as a text difference from the previous one (a line starting with '&' in 1.0, '>' in 3.0 stands alone), with
// every satellite on that one line and without the clock; a clock line; one line per satellite with a field per
// observation type and then the LLI/SSI flag text as a text difference from that satellite's previous flags.
// Epochs with event flags 2-5 carry their special records unchanged instead of a clock and satellite lines.
#include <map>
#include <vector>

#include "compress/compact_fields.h"
#include "compress/compress.h"
#include "compress/streams.h"

namespace varno::compress_detail {

namespace {

constexpr int kMaxTypes = 999;

// Where the fields of an epoch line are, in columns (1-based) of the compact epoch line.
struct Layout {
    int version;        // 1 or 3
    char standsAlone;   // first character of an epoch line that is not a difference
    int flagColumn;     // event flag
    int countFirst;     // satellite count (3 columns)
    int satsColumn;     // first satellite id
    int recordColumns;  // columns of the RINEX epoch line before the clock
    int clockWidth, clockDecimals;
};

constexpr Layout kVersion1{1, '&', 29, 30, 33, 32, 12, 9};
constexpr Layout kVersion3{3, '>', 32, 33, 42, 35, 15, 12};

struct Satellite {
    std::vector<Arc> values;
    std::string flags;
};

class Decoder {
public:
    Decoder(LineReader& in, TextSink& out) : in_(in), out_(out) {}

    void run(const std::string& firstLine) {
        readVersion(firstLine);
        copyHeader();
        std::string line;
        while (nextLine(line, nullptr)) decodeEpoch(line);
    }

private:
    [[noreturn]] void fail(const std::string& message) const {
        throw ExpandError(in_.lineNumber(), "compact RINEX: " + message);
    }

    // The next line; false at the end of the file, an error there when `expected` names what was due. A last
    // line without its line feed is a cut file.
    bool nextLine(std::string& line, const char* expected) {
        bool terminated = false;
        if (!in_.next(line, terminated)) {
            if (expected == nullptr) return false;
            throw ExpandError(in_.lineNumber() + 1, std::string("compact RINEX: end of file where ") + expected +
                                                        " was expected: truncated file?");
        }
        if (!terminated) fail("the file ends inside a line: truncated file?");
        return true;
    }

    void readVersion(const std::string& first) {
        const std::string version(trimRight(std::string_view(first).substr(0, 20)));
        const size_t lead = version.find_first_not_of(' ');
        const std::string v = lead == std::string::npos ? "" : version.substr(lead);
        if (v == "1.0") {
            layout_ = kVersion1;
        } else if (v == "3.0") {
            layout_ = kVersion3;
        } else {
            fail("version \"" + v + "\" is not known (1.0 and 3.0 are)");
        }
    }

    static std::string_view label(const std::string& line) {
        return line.size() > 60 ? trimRight(std::string_view(line).substr(60)) : std::string_view();
    }

    void copyHeader() {
        std::string line;
        nextLine(line, "the CRINEX PROG / DATE line");
        if (label(line) != "CRINEX PROG / DATE") fail("line 2 is not \"CRINEX PROG / DATE\"");
        bool first = true;
        while (nextLine(line, "END OF HEADER")) {
            const std::string_view name = label(line);
            if (first) {
                if (name != "RINEX VERSION / TYPE") fail("expected the RINEX VERSION / TYPE line after line 2");
                const size_t lead = line.find_first_not_of(' ');
                const int major = lead < 9 ? line[lead] - '0' : -1;
                if ((layout_.version == 1) != (major == 2) || major < 2 || major > 4) {
                    fail("compact RINEX " + std::string(layout_.version == 1 ? "1.0" : "3.0") +
                         " cannot hold RINEX version \"" + std::string(trimRight(line.substr(0, 9))) + "\"");
                }
                first = false;
            } else if (name == "# / TYPES OF OBSERV" && line[5] != ' ') {
                typesOfSystem_[' '] = typeCount(line.substr(0, 6));
            } else if (name == "SYS / # / OBS TYPES" && line[0] != ' ') {
                typesOfSystem_[line[0]] = typeCount(line.substr(3, 3));
            }
            out_.line(line);
            if (name == "END OF HEADER") return;
        }
    }

    int typeCount(const std::string& field) const {
        int n = 0;
        bool digits = false;
        for (char c : field) {
            if (c == ' ' && !digits) continue;
            if (c < '0' || c > '9' || n > kMaxTypes) {
                fail("expected the number of observation types, found \"" + field + "\"");
            }
            digits = true;
            n = n * 10 + (c - '0');
        }
        if (!digits || n > kMaxTypes) fail("expected the number of observation types, found \"" + field + "\"");
        return n;
    }

    int typesOf(const std::string& sat) const {
        if (layout_.version == 1) {
            auto it = typesOfSystem_.find(' ');
            if (it == typesOfSystem_.end()) fail("no \"# / TYPES OF OBSERV\" line in the header");
            return it->second;
        }
        auto it = typesOfSystem_.find(sat[0]);
        if (it == typesOfSystem_.end()) fail("satellite " + sat + " of a system without \"SYS / # / OBS TYPES\"");
        return it->second;
    }

    int countField(int first) const {
        int n = 0;
        bool digits = false;
        for (int c = first; c < first + 3; ++c) {
            const char ch = c <= static_cast<int>(epoch_.size()) ? epoch_[static_cast<size_t>(c - 1)] : ' ';
            if (ch == ' ' && !digits) continue;
            if (ch < '0' || ch > '9') {
                fail("expected a count in columns " + std::to_string(first) + "-" + std::to_string(first + 2) +
                     " of the epoch line, found \"" + epoch_.substr(static_cast<size_t>(first - 1), 3) + "\"");
            }
            digits = true;
            n = n * 10 + (ch - '0');
        }
        return n;
    }

    void decodeEpoch(const std::string& line) {
        if (!line.empty() && line[0] == layout_.standsAlone) {
            epoch_.clear();
        } else if (!haveEpoch_) {
            fail("an epoch line given as a difference, with no epoch line before it: damaged file?");
        }
        applyTextDifference(epoch_, line);
        haveEpoch_ = true;
        const size_t flagAt = static_cast<size_t>(layout_.flagColumn - 1);
        const char flag = flagAt < epoch_.size() ? epoch_[flagAt] : ' ';
        if (flag != ' ' && (flag < '0' || flag > '6')) fail(std::string("event flag '") + flag + "' is not 0-6");
        epoch_.resize(std::max(epoch_.size(), static_cast<size_t>(layout_.countFirst + 2)), ' ');
        const int count = countField(layout_.countFirst);
        if (flag >= '2' && flag <= '5') {
            out_.line(trimRight(epoch_));
            std::string special;
            for (int k = 0; k < count; ++k) {
                nextLine(special, "a special record of an event");
                out_.line(special);
            }
            return;
        }
        decodeObservations(count);
    }

    void decodeObservations(int count) {
        const size_t listAt = static_cast<size_t>(layout_.satsColumn - 1);
        if (epoch_.size() < listAt + 3 * static_cast<size_t>(count)) {
            fail("the epoch line lists fewer satellites than its count " + std::to_string(count));
        }
        std::vector<std::string> sats;
        std::map<std::string, Satellite> now;
        for (int k = 0; k < count; ++k) {
            std::string sat = epoch_.substr(listAt + 3 * static_cast<size_t>(k), 3);
            auto seen = satellites_.find(sat);
            Satellite state;
            if (seen != satellites_.end()) state = std::move(seen->second);
            const size_t types = static_cast<size_t>(typesOf(sat));
            state.values.resize(types);
            state.flags.resize(2 * types, ' ');
            if (!now.emplace(sat, std::move(state)).second) fail("satellite " + sat + " twice in one epoch");
            sats.push_back(std::move(sat));
        }
        // Satellites missing from this epoch lose their arcs: they come back as new.
        satellites_ = std::move(now);

        std::string line;
        nextLine(line, "the receiver clock line");
        applyField(line, clock_, in_.lineNumber(), "the receiver clock");
        writeEpochLines(sats);
        for (const std::string& sat : sats) {
            nextLine(line, ("the observations of satellite " + sat).c_str());
            decodeSatellite(sat, line, satellites_[sat]);
        }
    }

    void writeEpochLines(const std::vector<std::string>& sats) {
        std::string text = epoch_.substr(0, static_cast<size_t>(layout_.recordColumns));
        std::string clock;
        if (clock_.present() && !formatFixed(clock_.level[0], layout_.clockWidth, layout_.clockDecimals, clock)) {
            fail("the receiver clock does not fit its field");
        }
        if (layout_.version == 3) {
            if (!clock.empty()) text.append(6, ' ').append(clock);
            out_.line(trimRight(text));
            return;
        }
        // RINEX 2: twelve satellites per line, the clock after the twelfth column group of the first line.
        constexpr size_t kPerLine = 12;
        for (size_t k = 0; k < sats.size() || k == 0; k += kPerLine) {
            if (k > 0) text.assign(static_cast<size_t>(layout_.recordColumns), ' ');
            for (size_t j = k; j < sats.size() && j < k + kPerLine; ++j) text += sats[j];
            if (k == 0 && !clock.empty()) {
                text.resize(68, ' ');
                text += clock;
            }
            out_.line(trimRight(text));
        }
    }

    void decodeSatellite(const std::string& sat, const std::string& line, Satellite& state) {
        const long lineNumber = in_.lineNumber();
        size_t pos = 0;
        for (size_t t = 0; t < state.values.size(); ++t) {
            std::string_view field;
            if (pos < line.size()) {
                const size_t end = std::min(line.find(' ', pos), line.size());
                field = std::string_view(line).substr(pos, end - pos);
                pos = end + 1;
            }
            applyField(field, state.values[t], lineNumber,
                       "observation " + std::to_string(t + 1) + " of satellite " + sat);
        }
        if (pos < line.size()) {
            const std::string_view diff = std::string_view(line).substr(pos);
            if (diff.size() > state.flags.size()) fail("satellite " + sat + ": more flag text than observation types");
            applyTextDifference(state.flags, diff);
            for (char c : state.flags) {
                if (c != ' ' && (c < '0' || c > '9')) fail("satellite " + sat + ": flag '" + c + "' is not a digit");
            }
        }
        writeRecord(sat, state);
    }

    void writeRecord(const std::string& sat, const Satellite& state) {
        constexpr size_t kPerLine = 5;  // RINEX 2 record lines
        std::string text = layout_.version == 3 ? sat : std::string();
        for (size_t t = 0; t < state.values.size(); ++t) {
            const Arc& arc = state.values[t];
            if (!arc.present()) {
                text.append(16, ' ');
            } else {
                if (!formatFixed(arc.level[0], 14, 3, text)) {
                    fail("observation " + std::to_string(t + 1) + " of satellite " + sat + " does not fit its field");
                }
                text += state.flags[2 * t];
                text += state.flags[2 * t + 1];
            }
            if (layout_.version == 1 && (t + 1) % kPerLine == 0 && t + 1 < state.values.size()) {
                out_.line(trimRight(text));
                text.clear();
            }
        }
        out_.line(trimRight(text));
    }

    LineReader& in_;
    TextSink& out_;
    Layout layout_ = kVersion1;
    std::map<char, int> typesOfSystem_;  // ' ' for RINEX 2's one list
    std::string epoch_;
    bool haveEpoch_ = false;
    Arc clock_;
    std::map<std::string, Satellite> satellites_;
};

}  // namespace

void decodeCompact(LineReader& in, const std::string& firstLine, TextSink& out) {
    Decoder decoder(in, out);
    decoder.run(firstLine);
}

}  // namespace varno::compress_detail
