// Whole runs of a simulated scenario with the navigation files the simulator writes of its own orbit: they give the
// answer of its SP3 orbit, and a satellite whose records are missing for a while takes no part there.
#include <gtest/gtest.h>

#include <fstream>

#include "e2e/run_support.h"

namespace varno::test {
namespace {

// The RINEX 2 navigation file without the records of `prn` whose epoch line starts with one of `epochs`.
void copyWithout(const std::string& from, const std::string& to, const std::string& prn,
                 const std::vector<std::string>& epochs) {
    const std::vector<std::string> all = lines(readFile(from));
    std::ofstream out(to);
    bool header = true, keep = true;
    for (const std::string& l : all) {
        // A record's first line names its satellite in columns 1-2; the lines that continue it start blank.
        if (!header && l.compare(0, 3, "   ") != 0) {
            keep = true;
            for (const std::string& e : epochs) keep = keep && l.compare(0, 3 + e.size(), prn + " " + e) != 0;
        }
        if (keep) out << l << '\n';
        header = header && l.find("END OF HEADER") == std::string::npos;
    }
}

TEST(BroadcastScenario, NavigationFilesGiveThePointOfTheOrbitAndMissingRecordsOnlyTheirEpochs) {
    TempDir d;
    ASSERT_EQ(runIn(d.path(), simPath() + " --nav-files=all .").status, 0);
    ASSERT_EQ(runIn(d.path(), varnoPath()).status, 0);
    const auto sp3 = adjustedMarker(readFile(d.file("varno.lst")));
    ASSERT_TRUE(sp3.has_value());
    for (const char* nav : {"brdc2380.06n", "BRDC00SIM_R_20062380000_01D_MN.rnx", "BRD400SIM_R_20062380000_01D_MN.rnx"}) {
        const RunResult r = runIn(d.path(), varnoPath() + " --nav " + nav);
        const std::string listing = readFile(d.file("varno.lst"));
        ASSERT_EQ(r.status, 0) << nav << r.err << listing;
        const auto marker = adjustedMarker(listing);
        ASSERT_TRUE(marker.has_value()) << listing;
        EXPECT_LT(distance(*sp3, *marker), 1e-3) << nav;
    }

    // PRN 17, the first reference satellite, loses its records of 10h and 12h: between them (the epochs after 10h
    // and before 12h) it has none within reach, and takes no part there; the run goes on with the others.
    copyWithout(d.file("brdc2380.06n"), d.file("cut.06n"), "17", {"06  8 26 10", "06  8 26 12"});
    const RunResult r = runIn(d.path(), varnoPath() + " --nav cut.06n");
    const std::string listing = readFile(d.file("varno.lst"));
    ASSERT_EQ(r.status, 0) << r.err << listing;
    EXPECT_NE(listing.find(" no usable ephemeris for prn 17 at 239 epochs -- left out there\n"), std::string::npos)
        << listing;
    const auto marker = adjustedMarker(listing);
    ASSERT_TRUE(marker.has_value()) << listing;
    EXPECT_LT(distance(*sp3, *marker), 0.2);
}

}  // namespace
}  // namespace varno::test
