// Small compact RINEX texts and their RINEX, and file helpers, for the compress tests.
#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>

namespace varno::test {

// A header line: content padded to 60 columns, then the label.
inline std::string headerLine(std::string content, const std::string& label) {
    content.resize(60, ' ');
    return content + label + "\n";
}

inline std::string blanks(size_t n) { return std::string(n, ' '); }

inline const std::string kCompactHead1 =
    headerLine("1.0                 COMPACT RINEX FORMAT", "CRINEX VERS   / TYPE") +
    headerLine("test                                    08-Dec-26 08:00", "CRINEX PROG / DATE");
inline const std::string kRinexHead1 =
    headerLine("     2.11           OBSERVATION DATA    G (GPS)", "RINEX VERSION / TYPE") +
    headerLine("     3    C1    L1    P2", "# / TYPES OF OBSERV") + headerLine("", "END OF HEADER");

// Two epochs, a clock, flags, a satellite leaving and one arriving, then an event with one special record.
inline const std::string kCompact1 = kCompactHead1 + kRinexHead1 +
                                     "&06  8 26 10  0  0.0000000  0  2G05G12\n"
                                     "3&123456789\n"
                                     "3&20000000000 3&105100000123 3&20000000500   16\n"
                                     "3&21000000000  3&21000000700\n" +
                                     blanks(16) + "3" + blanks(17) + "7 05\n"
                                     "-456\n"
                                     "3&22000000000 3&115000000000 3&22000000100\n"
                                     "1000 2000 3000   &\n"
                                     "&" + blanks(27) + "4  1\n" +
                                     headerLine("EVENT", "COMMENT");
inline const std::string kRinex1 = kRinexHead1 +
                                   " 06  8 26 10  0  0.0000000  0  2G05G12" + blanks(30) + " 0.123456789\n"
                                   "  20000000.000   105100000.12316  20000000.500\n"
                                   "  21000000.000" + blanks(20) + "21000000.700\n"
                                   " 06  8 26 10  0 30.0000000  0  2G07G05" + blanks(30) + " 0.123456333\n"
                                   "  22000000.000   115000000.000    22000000.100\n"
                                   "  20000001.000   105100002.123 6  20000003.500\n" +
                                   blanks(28) + "4  1\n" + headerLine("EVENT", "COMMENT");

// A temporary file holding `bytes`, at its start.
inline std::FILE* fileWith(const std::string& bytes) {
    std::FILE* f = std::tmpfile();
    if (f == nullptr) throw std::runtime_error("no temporary file");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    return f;
}

// Everything left in `f`, which is then closed.
inline std::string readAll(std::FILE* f) {
    std::string out;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
    std::fclose(f);
    return out;
}

}  // namespace varno::test
