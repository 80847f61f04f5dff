// Compressed and compact twins of observation and orbit files give the run of the plain files, byte for byte:
// the simulator's packings of its own files, and gzip and compress twins of the real datasets made here.
#include <gtest/gtest.h>

#include "compress/packing_support.h"
#include "e2e/run_support.h"

namespace varno::test {
namespace {

struct Outputs {
    RunResult run;
    std::string listing, residuals;
};

Outputs runHere(const TempDir& dir) {
    Outputs o{runIn(dir.path(), varnoPath()), readFile(dir.file("varno.lst")), readFile(dir.file("varno.res"))};
    return o;
}

void expectSame(const Outputs& twin, const Outputs& plain, const std::string& what) {
    EXPECT_EQ(twin.run.status, plain.run.status) << what << "\n" << twin.run.err;
    EXPECT_EQ(twin.run.out, plain.run.out) << what;
    EXPECT_EQ(twin.listing, plain.listing) << what;
    EXPECT_EQ(twin.residuals, plain.residuals) << what;
}

Outputs simulateAndRun(const std::string& options) {
    TempDir dir;
    const RunResult sim = runIn(dir.path(), simPath() + " " + options + " .");
    EXPECT_EQ(sim.status, 0) << options << "\n" << sim.err;
    return runHere(dir);
}

TEST(PackedTwins, SimulatedFilesInEveryPackingRunAsThePlainOnes) {
    const char* scenarios[] = {"--glonass=5,9 --max-sats=14 --events1=1200",
                               "--format=rinex3 --galileo=11,12 --blank-p1=0.2 --types1=C1,L1,P1,L2,P2"};
    const char* packings[] = {"--packing=gzip --orbit-packing=compress",
                              "--packing=compress --orbit-packing=gzip",
                              "--packing=bzip2 --orbit-packing=xz",
                              "--packing=compact",
                              "--packing1=compact+gzip --packing2=compact+compress",
                              "--packing1=compact --format2=rinex2 --packing2=compact+gzip"};
    for (const char* scenario : scenarios) {
        const Outputs plain = simulateAndRun(scenario);
        ASSERT_EQ(plain.run.status, 0) << scenario << "\n" << plain.run.err;
        for (const char* packing : packings) {
            std::string twin = std::string(scenario) + " " + packing;
            // A RINEX 2 point 2 must be compared with a RINEX 2 point 2.
            if (std::string(packing).find("--format2") != std::string::npos) {
                const Outputs mixedPlain = simulateAndRun(std::string(scenario) + " --format2=rinex2");
                expectSame(simulateAndRun(twin), mixedPlain, twin);
            } else {
                expectSame(simulateAndRun(twin), plain, twin);
            }
        }
    }
}

TEST(PackedTwins, GzipAndCompressTwinsOfTheRealDatasetsRunAsThePlainOnes) {
    const char* datasets[] = {"gsi-3040-0759-3km", "upc1-upc2-38m-1hz", "garr-upc1-20km-mixedrate",
                              "garr-mata-51km", "ebre-creu-288km"};
    int ran = 0;
    for (const char* name : datasets) {
        if (!std::filesystem::exists(dataDir(name))) continue;
        TempDir plainDir;
        copyRunFiles(dataDir(name), plainDir.path());
        const Outputs plain = runHere(plainDir);
        for (Packing packing : {Packing::gzip, Packing::unixCompress}) {
            TempDir dir;
            copyRunFiles(dataDir(name), dir.path());
            for (const char* file : {"point1.rnx", "point2.rnx", "orbit.sp3"}) packFile(dir.file(file), packing);
            expectSame(runHere(dir), plain, std::string(name) + (packing == Packing::gzip ? " gzip" : " compress"));
        }
        ++ran;
    }
    if (ran == 0) GTEST_SKIP() << "no real dataset present in " << sharedDir() << "/data";
}

}  // namespace
}  // namespace varno::test
