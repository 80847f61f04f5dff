// Every stop code the program can raise has a plain explanation, and the README and the man page list them all.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "run/run.h"

namespace varno {
namespace {

std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The codes named by stop constants ("constexpr int kStop... = 43587;") anywhere in the sources.
std::set<int> codesInSources() {
    const std::regex constant(R"(constexpr int k\w*Stop\w* = (\d+);)");
    std::set<int> codes;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(std::string(VARNO_SOURCE_DIR) + "/src")) {
        const std::string text = readText(entry.path());
        for (std::sregex_iterator it(text.begin(), text.end(), constant), end; it != end; ++it) {
            codes.insert(std::stoi((*it)[1]));
        }
    }
    return codes;
}

TEST(StopExplanations, EveryCodeOfTheSourcesIsExplainedAndListed) {
    const std::vector<int> explained = explainedStopCodes();
    const std::set<int> sources = codesInSources();
    EXPECT_GT(sources.size(), 40u);
    for (int code : sources) {
        EXPECT_NE(std::find(explained.begin(), explained.end(), code), explained.end()) << code << " unexplained";
    }
    const std::string readme = readText(std::string(VARNO_SOURCE_DIR) + "/README.md");
    const std::string manual = readText(std::string(VARNO_SOURCE_DIR) + "/man/varno.1");
    for (int code : explained) {
        const std::regex word("\\b" + std::to_string(code) + "\\b");
        EXPECT_TRUE(std::regex_search(readme, word)) << code << " missing from README.md";
        EXPECT_TRUE(std::regex_search(manual, word)) << code << " missing from man/varno.1";
    }
}

TEST(StopExplanations, NameTheRunsOwnFiles) {
    RunOptions options;
    options.point1 = "base.obs";
    options.orbits = {"day1.sp3", "day2.sp3"};
    options.outputDirectory = "out";
    EXPECT_EQ(explainStop(24309, options).rfind("stop 24309: base.obs or point2.rnx holds a single epoch", 0), 0u);
    EXPECT_NE(explainStop(43588, options).find("day1.sp3, day2.sp3"), std::string::npos);
    EXPECT_NE(explainStop(66663, options).find("out/varno.lst"), std::string::npos);
    EXPECT_NE(explainStop(12345, options).find("the run stopped"), std::string::npos);
}

}  // namespace
}  // namespace varno
