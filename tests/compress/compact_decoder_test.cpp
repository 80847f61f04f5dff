// Compact RINEX 1.0 and 3.0 on small hand-made files: the RINEX they give, and every damaged case refused with
// the line at fault.
#include <gtest/gtest.h>

#include "compress/compress.h"
#include "compress/text_support.h"

namespace varno::test {
namespace {

std::string decoded(const std::string& compact) { return readAll(expandInput(fileWith(compact))); }

// The line an ExpandError names, and its message; line -1 when the text decodes.
std::pair<long, std::string> refusal(const std::string& compact) {
    try {
        decoded(compact);
    } catch (const ExpandError& error) {
        return {error.line(), error.what()};
    }
    return {-1, ""};
}

TEST(DecodeCompact, Version1GivesRinex2WithClockFlagsArcsAndEvents) { EXPECT_EQ(decoded(kCompact1), kRinex1); }

TEST(DecodeCompact, Version1SplitsMoreThanTwelveSatellitesAndFiveTypes) {
    std::string head = kCompactHead1 + headerLine("     2.11           OBSERVATION DATA    G (GPS)", "RINEX VERSION / TYPE") +
                       headerLine("     6    C1    L1    L2    P1    P2    S1", "# / TYPES OF OBSERV") +
                       headerLine("", "END OF HEADER");
    std::string epoch = "&06  8 26 10  0  0.0000000  0 13";
    std::string sats;
    for (int k = 1; k <= 13; ++k) sats += (k < 10 ? "G0" : "G") + std::to_string(k);
    std::string compact = head + epoch + sats + "\n\n";
    std::string rinex;
    for (int k = 1; k <= 13; ++k) {
        compact += "3&1000     3&6000\n";
        rinex += blanks(9) + "1.000\n" + blanks(9) + "6.000\n";
    }
    const std::string text = decoded(compact);
    const std::string expectedEpoch = " " + epoch.substr(1) + sats.substr(0, 36) + "\n" + blanks(32) + "G13\n";
    EXPECT_EQ(text.substr(text.find("END OF HEADER\n") + 14), expectedEpoch + rinex);
}

TEST(DecodeCompact, Version3GivesRinex3WithPerSystemTypes) {
    const std::string compact =
        headerLine("3.0                 COMPACT RINEX FORMAT", "CRINEX VERS   / TYPE") +
        headerLine("test", "CRINEX PROG / DATE") +
        headerLine("     3.04           OBSERVATION DATA    M", "RINEX VERSION / TYPE") +
        headerLine("G    2 C1C L1C", "SYS / # / OBS TYPES") + headerLine("R    1 C1C", "SYS / # / OBS TYPES") +
        headerLine("", "END OF HEADER") +
        "> 2026 08 26 10 00  0.0000000  0  2      G05R03\n"
        "1&-1500\n"
        "3&20000000000 3&105100000123 &&&8\n"
        "3&19000000000\n" +
        blanks(17) + "1\n"
        "10\n"
        "100 200\n"
        "-100\n";
    const std::string text = decoded(compact);
    EXPECT_EQ(text.substr(text.find("END OF HEADER\n") + 14),
              "> 2026 08 26 10 00  0.0000000  0  2      -0.000000001500\n"
              "G05  20000000.000   105100000.123 8\n"
              "R03  19000000.000\n"
              "> 2026 08 26 10 01  0.0000000  0  2      -0.000000001490\n"
              "G05  20000000.100   105100000.323 8\n"
              "R03  18999999.900\n");
}

TEST(DecodeCompact, DamagedDataIsRefusedNamingItsLine) {
    const std::string body = kCompactHead1 + kRinexHead1;  // lines 1-5
    const std::string epoch = "&06  8 26 10  0  0.0000000  0  1G05\n\n";  // lines 6-7
    struct Case {
        std::string text;
        long line;
        const char* words;
    } cases[] = {
        {body + epoch + "1000\n", 8, "new arc"},
        {body + epoch + "x&1000\n", 8, "wrong arc order"},
        {body + epoch + "3&10a0\n", 8, "expected an integer"},
        {body + epoch + "3&1234567890123456789\n", 8, "expected an integer"},
        {body + epoch + "3&999999999999999999\n", 8, "does not fit"},
        {body + epoch + "3&1000 3&2000 3&3000", 8, "truncated"},
        {body + epoch, 8, "end of file where the observations of satellite G05"},
        {body + epoch + "3&1000 3&2000 3&3000 x\n", 8, "not a digit"},
        {body + "  3\n", 6, "no epoch line before it"},
        {body + "&06  8 26 10  0  0.0000000  0  3G05\n", 6, "fewer satellites than its count 3"},
        {kCompactHead1, 3, "end of file where END OF HEADER"},
        {headerLine("2.0", "CRINEX VERS   / TYPE"), 1, "not known"},
    };
    for (const Case& c : cases) {
        auto [line, message] = refusal(c.text);
        EXPECT_EQ(line, c.line) << message;
        EXPECT_NE(message.find(c.words), std::string::npos) << message;
    }
}

}  // namespace
}  // namespace varno::test
