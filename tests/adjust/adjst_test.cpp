#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "adjust/adjust.h"
#include "adjust_fixture.h"
#include "test_support.h"
#include "test_run.h"

namespace varno {
namespace {

using test::AdjustScenario;
using test::FormobRun;

int countOf(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(Adjst, FiveSolutionsThenResultsAndNothingLeftBehind) {
    captureOutput();
    AdjustScenario s;
    FormobRun run(s, 10, {1, 2, 3, 4}, 270.0, 0.5);
    run.inputs.residualPath = run.dir.file("varno.res");
    adjst(testRun, s.orbit, s.pair, s.satCount, run.inputs);

    EXPECT_EQ(consoleText(), "  begin scatter & formobs\n  begin gather\n  iteration -- 1\n  iteration -- 2\n"
                             "  iteration -- 3\n  iteration -- 4\n");
    const std::string listing = listingText();
    EXPECT_EQ(listing.rfind(" opened 5 scatter/gather files\nmax shift = ", 0), 0u) << listing;
    EXPECT_EQ(countOf(listing, "\nmax shift = "), 5) << listing;
    const std::size_t results = listing.find(" adjusted point 2 marker and l1 phase center\n");
    ASSERT_NE(results, std::string::npos);
    EXPECT_LT(listing.rfind("max shift = "), results);
    EXPECT_NE(listing.find("\npost-fit rms ="), std::string::npos);

    std::istringstream res(test::readFile(run.inputs.residualPath));
    int lines = 0;
    for (std::string line; std::getline(res, line);) {
        EXPECT_EQ(line.size(), 27u) << line;
        ++lines;
    }
    EXPECT_EQ(lines, 30);
    EXPECT_TRUE(std::filesystem::is_empty(run.scratch.path()));
}

TEST(Adjst, ResidualFileThatCannotBeCreatedIsAnInputError) {
    captureOutput();
    AdjustScenario s;
    FormobRun run(s, 10, {1, 2, 3, 4}, 270.0, 0.5);
    run.inputs.residualPath = run.dir.file("no-such-folder/varno.res");
    try {
        adjst(testRun, s.orbit, s.pair, s.satCount, run.inputs);
        FAIL() << "no error";
    } catch (const InputError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("cannot create " + run.inputs.residualPath + ": ", 0), 0u) << e.what();
    }
    EXPECT_TRUE(std::filesystem::is_empty(run.scratch.path()));
}

}  // namespace
}  // namespace varno
