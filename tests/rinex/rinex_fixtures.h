// Small RINEX 2 observation files written in the exact columns, for the tests of src/rinex.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace varno::test {

// Marks an observation field left blank in obsLine.
inline const double kBlankValue = std::nan("");

// A header line: `content` padded to 60 columns, then the label.
inline std::string headerLine(const std::string& content, const std::string& label) {
    std::string line = content;
    line.resize(60, ' ');
    return line + label + "\n";
}

// A header declaring `types` (two-character codes), with marker name and approximate position.
inline std::string header(const std::vector<std::string>& types, const std::string& marker = "PT01") {
    std::string text = headerLine("     2.11           OBSERVATION DATA    G (GPS)", "RINEX VERSION / TYPE");
    text += headerLine(marker, "MARKER NAME");
    text += headerLine(" -3978242.4348  3382841.1715  3649902.7667", "APPROX POSITION XYZ");
    text += headerLine("        0.0000        0.0000        0.0000", "ANTENNA: DELTA H/E/N");
    // Nine types a line, the count on the first line only.
    char count[8];
    std::snprintf(count, sizeof count, "%6d", static_cast<int>(types.size()));
    std::string list = count;
    for (size_t k = 0; k < types.size(); ++k) {
        if (k > 0 && k % 9 == 0) {
            text += headerLine(list, "# / TYPES OF OBSERV");
            list = std::string(6, ' ');
        }
        list += "    " + types[k];
    }
    text += headerLine(list, "# / TYPES OF OBSERV");
    text += headerLine("", "END OF HEADER");
    return text;
}

// An epoch line: two-digit year fields, second with 7 decimals, event flag, count and satellite entries
// ("G05", " 05", "R05"). `count` < 0 writes the number of entries.
inline std::string epochLine(int yy, int month, int day, int hour, int minute, double second, int flag,
                             const std::vector<std::string>& sats, int count = -1) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%3d%3d%3d%3d%3d%11.7f%3d%3d", yy, month, day, hour, minute, second, flag,
                  count < 0 ? static_cast<int>(sats.size()) : count);
    std::string line = buf;
    // Twelve satellites a line; continuation lines hold the rest from column 33.
    for (size_t k = 0; k < sats.size(); ++k) {
        if (k > 0 && k % 12 == 0) line += "\n" + std::string(32, ' ');
        line += sats[k];
    }
    return line + "\n";
}

// The epoch line of second-of-day `t` on 1 January 2006.
inline std::string epochAt(double t, const std::vector<std::string>& sats, int flag = 0, int count = -1) {
    const int whole = static_cast<int>(t);
    return epochLine(6, 1, 1, whole / 3600, whole / 60 % 60, t - whole / 60 * 60, flag, sats, count);
}

// One record line: each value F14.3 followed by blank LLI and signal strength; kBlankValue leaves 16 blanks.
inline std::string obsLine(const std::vector<double>& values) {
    std::string line;
    for (double v : values) {
        if (std::isnan(v)) {
            line += std::string(16, ' ');
        } else {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%14.3f  ", v);
            line += buf;
        }
    }
    return line + "\n";
}

// One record line of value fields written as given, each right-aligned in columns 16k-15..16k-2.
inline std::string obsText(const std::vector<std::string>& fields) {
    std::string line;
    for (const std::string& f : fields) line += std::string(f.size() < 14 ? 14 - f.size() : 0, ' ') + f + "  ";
    return line + "\n";
}

// Epochs every `step` s from `first` (seconds of 1 January 2006), `epochs` of them, satellites `sats`, each
// record of `types` values 20000000 + prn on the first line and 1.0 on the further lines (five a line).
inline std::string dataEpochs(double first, double step, int epochs, const std::vector<std::string>& sats,
                              int types) {
    std::string text;
    for (int e = 0; e < epochs; ++e) {
        text += epochAt(first + e * step, sats);
        for (const std::string& s : sats) {
            std::vector<double> values(static_cast<size_t>(types < 5 ? types : 5), 20000000.0 + std::stoi(s.substr(1)));
            text += obsLine(values);
            for (int rest = types - 5; rest > 0; rest -= 5) {
                text += obsLine(std::vector<double>(static_cast<size_t>(rest < 5 ? rest : 5), 1.0));
            }
        }
    }
    return text;
}

}  // namespace varno::test
