// Whole runs of a simulated scenario with the navigation files the simulator writes of its own orbit: they give the
// answer of its SP3 orbit, and a satellite whose records are missing for a while takes no part there.
#include <gtest/gtest.h>

#include <fstream>

#include "e2e/run_support.h"

namespace varno::test {
namespace {

// The point 2 of a run in `dir` with `options`; empty when it does not end well.
std::optional<std::array<double, 3>> point2(const TempDir& dir, const std::string& options, std::string& listing) {
    const RunResult r = runIn(dir.path(), varnoPath() + options);
    listing = readFile(dir.file("varno.lst"));
    return r.status == 0 ? adjustedMarker(listing) : std::nullopt;
}

TEST(BroadcastScenario, NavigationFilesGiveThePointOfTheOrbitAndMissingRecordsOnlyTheirEpochs) {
    TempDir d;
    ASSERT_EQ(runIn(d.path(), simPath() + " --nav-files=all .").status, 0);
    std::string listing;
    const auto sp3 = point2(d, "", listing);
    ASSERT_TRUE(sp3.has_value()) << listing;
    for (const char* nav :
         {"brdc2380.06n", "BRDC00SIM_R_20062380000_01D_MN.rnx", "BRD400SIM_R_20062380000_01D_MN.rnx"}) {
        const auto p = point2(d, std::string(" --nav ") + nav, listing);
        ASSERT_TRUE(p.has_value()) << listing;
        EXPECT_LT(distance(*sp3, *p), 1e-3) << nav;
    }
    // PRN 17, the first reference satellite, loses its records of 10h and 12h (a record starts with its number in
    // columns 1-2, its other lines blank there): it has none within reach between them, and takes part only then.
    std::ofstream cut(d.file("cut.06n"));
    bool keep = true;
    for (const std::string& l : lines(readFile(d.file("brdc2380.06n")))) {
        if (l.compare(0, 3, "   ") != 0) keep = l.rfind("17 06  8 26 10", 0) != 0 && l.rfind("17 06  8 26 12", 0) != 0;
        if (keep) cut << l << '\n';
    }
    cut.close();
    const auto p = point2(d, " --nav cut.06n", listing);
    ASSERT_TRUE(p.has_value()) << listing;
    EXPECT_NE(listing.find(" no usable ephemeris for prn 17 at 239 epochs -- left out there\n"), std::string::npos);
    EXPECT_LT(distance(*sp3, *p), 0.2);
}

}  // namespace
}  // namespace varno::test
