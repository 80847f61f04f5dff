#include <gtest/gtest.h>

#include <cmath>

#include "campaign/campaign.h"
#include "campaign/campaign_test_support.h"

namespace varno::campaign {
namespace {

using test::TempDir;

const char* const kEpochs =
    " 10  3 18  5  0  0.0000000  0  1G03\n  23619095.227\n"
    " 10  3 18  5 59 30.0000000  0  1G03\n  23619095.227\n";

std::string header(const std::string& marker, double antennaUp) {
    return test::rinexHeader(marker, {4789032.0, 176595.0, 4195013.0}, antennaUp);
}

TEST(ReadOccupation, StationSpanAndAntennaFromTheFile) {
    TempDir dir;
    const Occupation o = readOccupation(dir.write("a.10o", header("UPC1 gAGE", 1.5) + kEpochs));
    EXPECT_EQ(o.station, "UPC1");
    EXPECT_DOUBLE_EQ(o.end - o.start, 3570.0);
    EXPECT_DOUBLE_EQ(o.antenna.up, 1.5);
    // 2010-03-18 is day 4 of GPS week 1575.
    EXPECT_DOUBLE_EQ(o.start, 1575 * 604800.0 + 4 * 86400 + 5 * 3600);
    EXPECT_THROW(readOccupation(dir.write("b.10o", header("", 0) + kEpochs)), CampaignError);
}

TEST(ReadCampaign, ErrorsNameFileLineAndKey) {
    TempDir dir;
    dir.write("a.10o", header("AAAA", 0) + kEpochs);
    auto message = [&](const std::string& text) {
        try {
            readCampaign(dir.write("c.toml", text));
        } catch (const CampaignError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message("observations = [\"*.10o\"]\nw_critical = \"high\"\n"),
              dir.file("c.toml") + ":2: key w_critical: expected a number");
    EXPECT_EQ(message("observations = [\"*.10o\"]\nwcritical = 3\n"),
              dir.file("c.toml") + ":2: key wcritical: not a key of this table");
    EXPECT_EQ(message("observations = [\"*.rnx\"]\n"), dir.file("c.toml") + ":1: key observations: \"*.rnx\" matches no file");
    EXPECT_NE(message("observations = [\"*.10o\"\n").find("c.toml:"), std::string::npos);
    EXPECT_EQ(message("observations = \"*.10o\"\n[control]\nheld = \"BBBB\"\n"),
              dir.file("c.toml") + ":3: key control.held: station BBBB is not among the control stations");
}

TEST(ReadCampaign, ControlsAntennasAndOptions) {
    TempDir dir;
    dir.write("a.10o", header("AAAA", 0.2) + kEpochs);
    dir.write("b.10o", header("BBBB", 0.3) + kEpochs);
    dir.write("ctl.pos",
              "GARR  *80*    GARRAF ICC                    41173458950N001545054429E\n"
              "GARR  *86*                                    634604\n");
    dir.write("ctl.snx", "+SOLUTION/ESTIMATE\n"
                         "     1 STAX   EBRE  A    1 10:077:00000 m    2 0.483352049830000E+07 0.10000E-02\n"
                         "     2 STAY   EBRE  A    1 10:077:00000 m    2 0.415368962000000E+05 0.20000E-02\n"
                         "     3 STAZ   EBRE  A    1 10:077:00000 m    2 0.414746179680000E+07 0.30000E-02\n"
                         "-SOLUTION/ESTIMATE\n");
    const Campaign c = readCampaign(dir.write("c.toml", R"(observations = "*.10o"
varno_options = ["--elevation-mask=10"]
baselines = "all"
[control]
held = "EBRE"
pos = "ctl.pos"
pos_sigma_m = 0.005
sinex = "ctl.snx"
[control.stations.AAAA]
xyz_m = [4789032.0, 176595.0, 4195013.0]
sigma_m = [0.001, 0.002, 0.003]
[antenna.AAAA]
up = 1.25
[[occupation]]
file = "b.10o"
up = 0.5
north = 0.01
)"));
    ASSERT_EQ(c.occupations.size(), 2u);
    EXPECT_DOUBLE_EQ(c.occupations[0].antenna.up, 1.25);
    EXPECT_DOUBLE_EQ(c.occupations[1].antenna.up, 0.5);
    EXPECT_DOUBLE_EQ(c.occupations[1].antenna.north, 0.01);
    EXPECT_TRUE(c.allPairs);
    EXPECT_EQ(c.varnoOptions, std::vector<std::string>{"--elevation-mask=10"});
    ASSERT_EQ(c.controls.size(), 3u);
    EXPECT_EQ(c.held, "EBRE");
    EXPECT_DOUBLE_EQ(c.controls.at("EBRE").sigma[2], 0.003);
    EXPECT_DOUBLE_EQ(c.controls.at("EBRE").xyz[1], 41536.8962);
    EXPECT_DOUBLE_EQ(c.controls.at("GARR").sigma[0], 0.005);
    // GARR's carrier-phase coordinates from its geodetic pos records, to the millimetre.
    EXPECT_NEAR(c.controls.at("GARR").xyz[0], 4796983.5767, 0.002);
    EXPECT_NEAR(c.controls.at("GARR").xyz[2], 4187340.3773, 0.002);
}

TEST(PosRecord, ReadBackAsControl) {
    TempDir dir;
    const std::string record = posRecord("GARR", 41.2895526, 1.9148464, 634.604);
    EXPECT_EQ(record, "GARR  *80*    GARR" + std::string(26, ' ') + "41172238936N001545344704E\n" +
                          "GARR  *86*" + std::string(35, ' ') + " 634604\n");
    const auto back = readControlPos(dir.write("pos", record + posRecord("S", -33.5, -70.25, 1234.567)), {1, 1, 1});
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[1].id, "S");
    EXPECT_TRUE(posRecord("X", 10, 10, 123456.0).empty());
}

}  // namespace
}  // namespace varno::campaign
