#include <gtest/gtest.h>

#include "cli/cli.h"

namespace varno {
namespace {

std::string refusal(const std::vector<std::string>& args) {
    try {
        parseCommandLine(args);
    } catch (const CommandLineError& error) {
        return error.what();
    }
    return "accepted";
}

TEST(ParseCommandLine, LongAndShortFormsWithEitherValueSpelling) {
    CommandLine line = parseCommandLine(
        {"--point1=a.rnx", "--point2", "b.rnx", "--pos", "p", "-Cdata", "-o", "out", "-q", "--off=o", "--no-off"});
    EXPECT_EQ(line.action, CommandLine::Action::run);
    EXPECT_EQ(line.options.point1, "a.rnx");
    EXPECT_EQ(line.options.point2, "b.rnx");
    EXPECT_EQ(line.options.position, "p");
    EXPECT_EQ(line.directory, "data");
    EXPECT_EQ(line.options.outputDirectory, "out");
    EXPECT_TRUE(line.options.quiet);
    EXPECT_EQ(line.options.offsets, "o");
    EXPECT_FALSE(line.options.useOffsets);
    EXPECT_EQ(line.options.orbits, std::vector<std::string>{"orbit.sp3"});
}

TEST(ParseCommandLine, OrbitsAccumulateInOrderAndReplaceTheDefault) {
    CommandLine line = parseCommandLine({"--orbit", "d1.sp3", "--orbit=d2.sp3", "--orbit", "d3.sp3"});
    EXPECT_EQ(line.options.orbits, (std::vector<std::string>{"d1.sp3", "d2.sp3", "d3.sp3"}));
}

TEST(ParseCommandLine, NavigationFilesAccumulateAndExcludeAnOrbit) {
    EXPECT_EQ(parseCommandLine({"--nav", "a.nav", "--nav=b.10n"}).options.navs,
              (std::vector<std::string>{"a.nav", "b.10n"}));
    const std::string both = "options '--orbit' and '--nav' exclude each other: give the precise orbit or the "
                             "navigation files";
    EXPECT_EQ(refusal({"--nav", "a.nav", "--orbit", "o.sp3"}), both);
    EXPECT_EQ(refusal({"--orbit", "o.sp3", "--nav", "a.nav"}), both);
}

TEST(ParseCommandLine, SummaryOnStandardOutputSilencesTheProgressLines) {
    const CommandLine line = parseCommandLine({"--summary", "-", "--report", "--plot=p.svg", "--residuals-csv", "r"});
    EXPECT_EQ(line.options.summary, "-");
    EXPECT_TRUE(line.options.quiet);
    EXPECT_TRUE(line.options.report);
    EXPECT_EQ(line.options.plot, "p.svg");
    EXPECT_EQ(line.options.residualsCsv, "r");
    EXPECT_FALSE(parseCommandLine({"--summary", "s.json"}).options.quiet);
}

TEST(ParseCommandLine, GroupedSwitchesAndHelp) {
    EXPECT_EQ(parseCommandLine({"-qh"}).action, CommandLine::Action::help);
    EXPECT_EQ(parseCommandLine({"--version"}).action, CommandLine::Action::version);
    EXPECT_EQ(parseCommandLine({"--", }).action, CommandLine::Action::run);
}

TEST(ParseCommandLine, RefusalsNameTheCulprit) {
    EXPECT_EQ(refusal({"--bogus"}), "unknown option '--bogus'");
    EXPECT_EQ(refusal({"--bogus=1"}), "unknown option '--bogus'");
    EXPECT_EQ(refusal({"-x"}), "unknown option '-x'");
    EXPECT_EQ(refusal({"--pos"}), "option '--pos' needs a value (FILE)");
    EXPECT_EQ(refusal({"--pos="}), "option '--pos' needs a value (FILE)");
    EXPECT_EQ(refusal({"-q", "-C"}), "option '-C' needs a value (DIR)");
    EXPECT_EQ(refusal({"--quiet=yes"}), "option '--quiet' takes no value");
    EXPECT_EQ(refusal({"point1.rnx"}), "unexpected argument 'point1.rnx'");
    EXPECT_EQ(refusal({"--", "-q"}), "unexpected argument '-q'");
    EXPECT_EQ(refusal({"--weights=correlated", "--systems=G,E"}),
              "option '--weights correlated' weights the double differences of one system; '--systems G,E' forms "
              "those of several");
    EXPECT_EQ(refusal({"--crs=EPSG:99999"}).rfind("option '--crs': crs EPSG:99999: PROJ does not know it", 0), 0u);
}

TEST(UsageText, ListsEveryOption) {
    std::string usage = usageText();
    for (const std::string& name : longOptionNames()) EXPECT_NE(usage.find("--" + name), std::string::npos) << name;
}

}  // namespace
}  // namespace varno
