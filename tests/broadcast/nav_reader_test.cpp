// Navigation files: the layouts of the three versions with their quirks, refusals, and every corpus file.
#include <gtest/gtest.h>

#include <filesystem>

#include "broadcast/broadcast.h"
#include "test_support.h"

namespace varno {
namespace {

// A GPS record in the RINEX 2 layout: numbers without leading zero, d and D exponents, the last line short.
const char* const kGps2Header =
    "     2.10           N: GPS NAV DATA                         RINEX VERSION / TYPE\n"
    "                                                            END OF HEADER\n";
const char* const kGps2Record[] = {
    " 5 10  7  1  2  0  0.0  .409514177591d-03  .261479726760D-11  .000000000000D+00\n",
    "     .210000000000D+02 -.866562500000D+02  .416195907659D-08  .339813667106D+00\n",
    "    -.449456274509D-05  .197545826668D-01  .425986945629D-05  .515368468857D+04\n",
    "     .352800000000D+06 -.270083546638D-06 -.132996912728D+01 -.782310962677D-07\n",
    "     .987949427991D+00  .318125000000D+03 -.168501569514D+01 -.836749139675D-08\n",
    "    -.381087302387D-09  .100000000000D+01  .159000000000D+04  .000000000000D+00\n",
    "     .240000000000D+01  .000000000000D+00 -.111758708954D-07  .210000000000D+02\n",
    "     .345606000000D+06\n"};

// The record's lines from `from` on; the first replaced by `first` when given.
std::string gpsLines(int from = 0, const std::string& first = "") {
    std::string text = first;
    for (int k = from; k < 8; ++k) text += kGps2Record[k];
    return text;
}

// A mixed RINEX 3 file: GPS-like lines for E (FNAV), C (GEO) and an SBAS record passed over, GLONASS of 4 lines.
std::string mixed3() {
    const std::string orbit =
        "     1.700000000000e+01 3.225000000000e+01 3.459786971157e-09 2.935818214738e+00\n"
        "     1.557171344757e-06 2.510042395443e-04 9.194016456604e-06 5.440621961594e+03\n"
        "     4.492800000000e+05 1.061707735062e-07-2.190819587401e+00 5.215406417847e-08\n"
        "     9.524086729698e-01 1.374687500000e+02-1.515546077332e+00-5.631663152804e-09\n"
        "     7.178870457341e-10 2.580000000000e+02 1.590000000000e+03\n"
        "     3.120000000000e+00 0.000000000000e+00-1.629814505577e-09-1.862645149231e-09\n"
        "     1.000000000000e+05\n";
    return "     3.04           N: GNSS NAV DATA    M: MIXED            RINEX VERSION / TYPE\n"
           "    15                                                      LEAP SECONDS\n"
           "                                                            END OF HEADER\n"
           "E11 2010 07 02 04 48 00 2.207611105405e-04-6.536993168993e-12 0.000000000000e+00\n" +
           orbit +
           "C01 2010 07 02 04 48 00 2.207611105405e-04-6.536993168993e-12 0.000000000000e+00\n" + orbit +
           "S20 2010 07 02 04 48 00 0.000000000000e+00 0.000000000000e+00 0.000000000000e+00\n"
           "     1.0e+04 0.0 0.0 0.0\n     1.0e+04 0.0 0.0 0.0\n     1.0e+04 0.0 0.0 0.0\n"
           "R02 2010 07 02 00 15 00 2.067629247904e-05-2.728484105319e-12 9.000000000000e+02\n"
           "     9.364739257812e+03-2.678670883179e-01 0.000000000000e+00 0.000000000000e+00\n"
           "    -1.590879736328e+04 2.398531913757e+00 1.862645149231e-09 1.000000000000e+00\n"
           "    -1.761438964844e+04-2.307656288147e+00 1.862645149231e-09 0.000000000000e+00\n";
}

TEST(ReadNavigation, LayoutsOfTheThreeVersions) {
    test::TempDir dir;
    NavPool pool;
    TextFile gps(dir.write("a.10n", kGps2Header + gpsLines() + gpsLines()));  // the record twice
    readNavigation(gps, pool);
    ASSERT_EQ(pool.recordCount(), 1);
    EXPECT_EQ(pool.repeats(), 1);
    const Ephemeris& g = pool.records(SatId::gps(5)).front();
    EXPECT_DOUBLE_EQ(g.af0, 0.409514177591e-3);
    EXPECT_DOUBLE_EQ(g.sqrtA, 0.515368468857e4);
    EXPECT_EQ(g.toc - gpsTimeOfMjd(55378, 7200.0), 0.0);            // 2010-07-01 02:00
    EXPECT_EQ(g.toe - g.toc, 0.0);                                 // 352800 s of the week is 02:00 on Thursday
    EXPECT_EQ(g.transmitted - g.toc, 345606.0 - 352800.0);
    EXPECT_TRUE(g.healthy);

    TextFile mixed(dir.write("b.rnx", mixed3()));
    readNavigation(mixed, pool);
    EXPECT_EQ(pool.passedOver, 1);
    const Ephemeris& e = pool.records(SatId{GnssSystem::galileo, 11}).front();
    EXPECT_EQ(e.message, NavMessage::fnav);  // data sources 258: F/NAV E5a
    EXPECT_EQ(e.issue, 17);
    const Ephemeris& c = pool.records(SatId{GnssSystem::beidou, 1}).front();
    EXPECT_EQ(c.message, NavMessage::d2);
    EXPECT_EQ(c.toc - e.toc, 14.0);  // BeiDou time runs 14 s behind GPS time
    EXPECT_EQ(c.toe - c.toc, 0.0);   // 449280 s of the BeiDou week
    const Ephemeris& r = pool.records(SatId{GnssSystem::glonass, 2}).front();
    EXPECT_EQ(r.toc - gpsTimeOfMjd(55379, 900.0), 15.0);  // UTC + the header's leap seconds
    EXPECT_DOUBLE_EQ(r.position[0], 9364739.257812);
    EXPECT_EQ(r.channel, 1);

    const std::string v4 =
        "     4.00           N: GNSS NAV DATA    M: MIXED            RINEX VERSION / TYPE\n"
        "                                                            END OF HEADER\n"
        "> STO G01 LNAV\n    G01 2010 07 01 00 00 00 GPUT\n     1.0e+00 0.0 0.0 0.0\n"
        "> EPH G05 CNAV\n" + gpsLines() + "> EPH G07 LNAV\n" +
        gpsLines(1, "G07 2010 07 01 02 00 00  .409514177591d-03  .261479726760D-11  .000000000000D+00\n");
    TextFile four(dir.write("c.rnx", v4));
    readNavigation(four, pool);
    EXPECT_EQ(pool.passedOver, 3);
    EXPECT_EQ(pool.records(SatId::gps(7)).size(), 1u);
    EXPECT_EQ(pool.files.size(), 3u);
}

// QZSS satellites in normal service broadcast health 1 (the L1C/B bit alone); the L1 C/A bit makes a record unusable.
TEST(ReadNavigation, QzssHealthOfL1cbAloneLeavesTheRecordHealthy) {
    test::TempDir dir;
    std::string text = mixed3();
    text = text.substr(0, text.find("C01 "));
    text.replace(text.find("E11 "), 4, "J02 ");
    text.replace(text.find("3.120000000000e+00 0.000000000000e+00"), 37, "3.120000000000e+00 1.000000000000e+00");
    const std::string record = text.substr(text.find("J02 "));
    std::string unhealthy = record;
    unhealthy.replace(0, 4, "J03 ");
    unhealthy.replace(unhealthy.find("1.000000000000e+00-1.6"), 18, "3.300000000000e+01");
    NavPool pool;
    TextFile file(dir.write("q.rnx", text + unhealthy));
    readNavigation(file, pool);
    EXPECT_TRUE(pool.records(SatId{GnssSystem::qzss, 2}).front().healthy);
    EXPECT_FALSE(pool.records(SatId{GnssSystem::qzss, 3}).front().healthy);
}

TEST(ReadNavigation, RefusalsNameFileLineAndField) {
    test::TempDir dir;
    auto refusal = [&](const std::string& text) {
        NavPool pool;
        TextFile file(dir.write("x.nav", text));
        try {
            readNavigation(file, pool);
        } catch (const InputError& error) {
            return std::string(error.what());
        }
        return std::string("read");
    };
    const std::string name = dir.file("x.nav");
    EXPECT_EQ(refusal("#cP2010  7  1  0  0  0.00000000      96 ORBIT IGS05 HLM  IGS\n"),
              name + ":1: this is an SP3 orbit file, not a navigation file");
    EXPECT_EQ(refusal("     2.11           OBSERVATION DATA    G (GPS)             RINEX VERSION / TYPE\n"),
              name + ":1: this is a RINEX observation file, not a navigation file");
    std::string bad = kGps2Header + gpsLines();
    bad.replace(bad.find("-.866"), 5, "-.x66");
    EXPECT_EQ(refusal(bad).substr(0, name.size() + 42), name + ":4: expected a number Crs in columns 23-41");
    std::string cut = kGps2Header;
    for (int k = 0; k < 4; ++k) cut += kGps2Record[k];
    EXPECT_NE(refusal(cut).find(":6: the record of G05 begun on line 3 ends after 4 lines where 8"), std::string::npos);
}

// Every navigation file of the corpus reads, or is refused with one line that names the file and a line.
TEST(ReadNavigation, EveryCorpusFile) {
    const std::filesystem::path corpus = test::sharedDir() + "/corpus";
    if (!std::filesystem::exists(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("nav", 0) != 0) continue;
        ++files;
        NavPool pool;
        try {
            TextFile file(entry.path().string());
            readNavigation(file, pool);
        } catch (const InputError& error) {
            const std::string message = error.what();
            EXPECT_EQ(message.rfind(entry.path().string() + ":", 0), 0u) << message;
            EXPECT_EQ(message.find('\n'), std::string::npos) << message;
        }
    }
    EXPECT_GE(files, 30);
}

}  // namespace
}  // namespace varno
