// varno-orbit: real broadcast orbits against real precise orbits of the same day, and its refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "test_support.h"

namespace {

std::string orbitTool() { return std::string(VARNO_BINARY_DIR) + "/tools/orbit/varno-orbit"; }

// Runs varno-orbit with `args`; its standard output in `out`, the exit status returned.
int runTool(const std::string& args, std::string& out) {
    varno::test::TempDir dir;
    const std::string path = dir.file("out.csv");
    const int status = std::system((orbitTool() + " " + args + " > " + path + " 2>&1").c_str()) / 256;
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    out = text.str();
    return status;
}

// The 3-D rms over every satellite of a --compare table (weighted by epochs), leaving out `skip`.
double overallRms(const std::string& table, const std::string& skip, int& satellites) {
    std::istringstream in(table);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "sat,epochs,rms_radial_m,rms_along_m,rms_cross_m,rms_3d_m,clock_epochs,rms_clock_ns");
    double sum = 0.0;
    long epochs = 0;
    satellites = 0;
    while (std::getline(in, line)) {
        char sat[8] = {0};
        int n = 0;
        double radial = 0, along = 0, cross = 0, rms = 0;
        if (std::sscanf(line.c_str(), "%3s,%d,%lf,%lf,%lf,%lf", sat, &n, &radial, &along, &cross, &rms) != 6) continue;
        if (skip == sat) continue;
        sum += rms * rms * n;
        epochs += n;
        ++satellites;
    }
    return epochs > 0 ? std::sqrt(sum / static_cast<double>(epochs)) : 1e9;
}

void compareDay(const std::string& nav, const std::string& sp3, const std::string& skip, double limit, int atLeast) {
    const std::string corpus = varno::test::sharedDir() + "/corpus/";
    if (!std::filesystem::exists(corpus + nav)) GTEST_SKIP() << "no corpus";
    std::string out;
    ASSERT_EQ(runTool("--compare --nav " + corpus + nav + " --orbit " + corpus + sp3, out), 0) << out;
    int satellites = 0;
    EXPECT_LT(overallRms(out, skip, satellites), limit) << out;
    EXPECT_GE(satellites, atLeast);
}

// GPS of 2010-07-01. G01 is left out: the precise orbit's G01 is the satellite the navigation file marks unhealthy,
// while the file's healthy G01 records from 06:00 on belong to another satellite.
TEST(VarnoOrbit, GpsBroadcastAgainstPreciseOrbit) {
    compareDay("nav2_brdc1820.10n", "sp3c_igs15904.sp3", "G01", 3.0, 30);
}

TEST(VarnoOrbit, GlonassBroadcastAgainstPreciseOrbit) {
    compareDay("nav2g_brdc0910.09g", "sp3c_igl15253.sp3", "", 10.0, 18);
}

// The orbits of the real datasets were tabulated from their navigation files with the GPS user algorithm: every
// satellite agrees to the millimetre of the SP3 fields.
TEST(VarnoOrbit, DatasetOrbitsAreTheirNavigationFiles) {
    const std::string set = varno::test::sharedDir() + "/data/garr-mata-51km/";
    if (!std::filesystem::exists(set + "orbit.sp3")) GTEST_SKIP() << "no data set";
    std::string out;
    ASSERT_EQ(runTool("--compare --nav " + set + "brdc0770.10n " + set + "brdc0770.11n --orbit " + set + "orbit.sp3",
                      out), 0) << out;
    int satellites = 0;
    EXPECT_LT(overallRms(out, "", satellites), 0.002) << out;
    EXPECT_EQ(satellites, 30);
}

TEST(VarnoOrbit, RefusalsAreOneLineWithStatus2) {
    std::string out;
    EXPECT_EQ(runTool("--nav a.nav --orbit b.sp3", out), 2);
    EXPECT_EQ(out, "varno-orbit: --nav and --orbit together only with --compare\n");
    varno::test::TempDir dir;
    const std::string sp3 = dir.write("o.sp3", "#cP2010  7  1  0  0  0.00000000      96 ORBIT IGS05 HLM  IGS\n");
    EXPECT_EQ(runTool("--nav " + sp3, out), 2);
    EXPECT_EQ(out, "varno-orbit: " + sp3 + ":1: this is an SP3 orbit file, not a navigation file\n");
}

}  // namespace
