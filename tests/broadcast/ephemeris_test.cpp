// Evaluation of ephemeris records: Kepler's equation, and successive real records of every system agreeing.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "broadcast/broadcast.h"
#include "test_support.h"

namespace varno {
namespace {

TEST(EccentricAnomaly, SolvesKeplersEquation) {
    for (double e : {0.0, 0.02, 0.3, 0.75}) {
        for (double m = -7.0; m < 7.0; m += 0.37) {
            const double bigE = eccentricAnomaly(m, e);
            EXPECT_NEAR(bigE - e * std::sin(bigE), m, 1e-13) << e << " " << m;
        }
    }
}

double distance(const SatelliteState& a, const SatelliteState& b) {
    return std::hypot(a.position[0] - b.position[0], a.position[1] - b.position[1], a.position[2] - b.position[2]);
}

// Two successive healthy records of a satellite, evaluated half-way between their toes, agree to metres: a wrong
// constant, sign, rotation or time scale makes them disagree by kilometres. Also checks the orbit's radius.
void checkSuccessiveRecords(const std::string& file, GnssSystem system, double tolerance, int atLeast) {
    const std::string path = test::sharedDir() + "/corpus/" + file;
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "no corpus file " << path;
    NavPool pool;
    TextFile nav(path);
    readNavigation(nav, pool);
    int pairs = 0;
    for (SatId sat : pool.satellites()) {
        if (sat.system != system) continue;
        const std::vector<Ephemeris>& records = pool.records(sat);
        for (std::size_t k = 1; k < records.size(); ++k) {
            const Ephemeris& a = records[k - 1];
            const Ephemeris& b = records[k];
            const double gap = b.toe - a.toe;
            if (!a.healthy || !b.healthy || a.message != b.message || gap <= 0 || gap > recordReach(a)) continue;
            const GpsTime middle = a.toe + gap / 2;
            const SatelliteState sa = ephemerisState(a, middle);
            const SatelliteState sb = ephemerisState(b, middle);
            const double radius = std::hypot(sa.position[0], sa.position[1], sa.position[2]);
            EXPECT_GT(radius, 19e6) << sat.text();
            EXPECT_LT(radius, 43e6) << sat.text();
            EXPECT_LT(distance(sa, sb), tolerance) << sat.text() << " toe gap " << gap;
            EXPECT_LT(std::fabs(sa.clock - sb.clock), 1e-7) << sat.text();
            ++pairs;
        }
    }
    EXPECT_GE(pairs, atLeast);
}

TEST(EphemerisState, SuccessiveGalileoRecordsAgree) {
    checkSuccessiveRecords("nav3_NYA100NOR_S_20241240000_01D_EN.rnx", GnssSystem::galileo, 10.0, 100);
}
// GEO (C01-C05, C59-C63), IGSO and MEO satellites.
TEST(EphemerisState, SuccessiveBeidouRecordsAgree) {
    checkSuccessiveRecords("nav3_NYA100NOR_S_20241240000_01D_CN.rnx", GnssSystem::beidou, 10.0, 50);
}
TEST(EphemerisState, SuccessiveGlonassRecordsAgree) {
    checkSuccessiveRecords("nav2g_brdc3050.12g", GnssSystem::glonass, 10.0, 100);
}
TEST(EphemerisState, SuccessiveGpsRecordsAgree) {
    checkSuccessiveRecords("nav2_brdc1820.10n", GnssSystem::gps, 10.0, 100);
}

}  // namespace
}  // namespace varno
