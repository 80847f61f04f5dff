#include <cmath>
#include <filesystem>

#include "station/station.h"
#include "test_support.h"

namespace varno {
namespace {

// Two markers some 20 km apart near 41 deg N, 2 deg E.
constexpr std::array<double, 3> kMarker1{4796983.5767, 160309.1177, 4187340.3773};
constexpr std::array<double, 3> kMarker2{4789013.0077, 176610.1555, 4195034.8091};

// North, east, up of the vector from `marker` to `l1`.
std::array<double, 3> localOffset(const std::array<double, 3>& marker, const std::array<double, 3>& l1) {
    double lat = 0, lon = 0, h = 0;
    EXPECT_TRUE(xyzgeo(marker[0], marker[1], marker[2], lat, lon, h));
    std::array<double, 3> neu{};
    rge(lat, lon, neu[0], neu[1], neu[2], l1[0] - marker[0], l1[1] - marker[1], l1[2] - marker[2]);
    return neu;
}

void expectNeu(const std::array<double, 3>& neu, double north, double east, double up) {
    EXPECT_NEAR(neu[0], north, 1e-9);
    EXPECT_NEAR(neu[1], east, 1e-9);
    EXPECT_NEAR(neu[2], up, 1e-9);
}

class Getoff : public ::testing::Test {
protected:
    void SetUp() override {
        captureOutput();
        pair.p1Marker = kMarker1;
        pair.p2Marker = kMarker2;
        pair.p1Antenna = {9, 9, 9, 9};
        pair.p2Antenna = {9, 9, 9, 9};
        pos.open(dir.write("pos", "first line\nsecond line\n"));
        Record rec;
        pos.next(rec, 80);  // leave the position file part way through
    }
    std::string firstPosLine() {
        Record rec;
        EXPECT_TRUE(pos.next(rec, 80));
        std::string text = rec.text();
        return text.substr(0, text.find_last_not_of(' ') + 1);
    }
    test::TempDir dir;
    TextFile pos;
    StationPair pair;
};

TEST_F(Getoff, NoOffsetFileLeavesPhaseCentresOnTheMarkers) {
    getoff(pos, pair, "GARR", "UPC1", dir.file("off"));
    EXPECT_EQ(pair.p1Antenna, (std::array<double, 4>{}));
    EXPECT_EQ(pair.p2Antenna, (std::array<double, 4>{}));
    EXPECT_EQ(pair.p1L1, kMarker1);
    EXPECT_EQ(pair.p2L1, kMarker2);
    EXPECT_EQ(firstPosLine(), "second line");  // the position file was not touched
    EXPECT_EQ(listingText(), "");
}

TEST_F(Getoff, OffsetsWithAndWithoutDecimalPointFirstRecordWins) {
    const std::string off =
        "GARR    1.5000    0.2500   -0.0001    0.0006\n"
        "UPC1     15000     -2500      1000     -3000\n"
        "GARR    9.9999    9.9999    9.9999    9.9999\n";
    getoff(pos, pair, "GARR", "UPC1", dir.write("off", off));
    EXPECT_EQ(pair.p1Antenna, (std::array<double, 4>{1.5, 0.25, -0.0001, 0.0006}));
    EXPECT_EQ(pair.p2Antenna, (std::array<double, 4>{1.5, -0.25, 0.1, -0.3}));
    expectNeu(localOffset(pair.p1Marker, pair.p1L1), -0.0001, 0.0006, 1.5);
    expectNeu(localOffset(pair.p2Marker, pair.p2L1), 0.1, -0.3, 1.5);
    EXPECT_EQ(pair.p1Marker, kMarker1);
    EXPECT_EQ(pair.p2Marker, kMarker2);
    EXPECT_EQ(firstPosLine(), "first line");  // reopened at its start
}

TEST_F(Getoff, SameIdForBothPointsAndIdMissingFromTheFile) {
    const std::string off = "GARR    0.1093    0.0000   -0.0001    0.0006\n";
    getoff(pos, pair, "GARR", "GARR", dir.write("off", off));
    EXPECT_EQ(pair.p1Antenna, pair.p2Antenna);
    EXPECT_EQ(pair.p1Antenna[0], 0.1093);

    getoff(pos, pair, "MATA", "UPC1", dir.write("off", off));
    EXPECT_EQ(pair.p1Antenna, (std::array<double, 4>{}));
    EXPECT_EQ(pair.p2Antenna, (std::array<double, 4>{}));
    EXPECT_EQ(pair.p2L1, pair.p2Marker);
}

TEST_F(Getoff, BadOffsetFieldIsAnInputError) {
    EXPECT_THROW(getoff(pos, pair, "GARR", "UPC1", dir.write("off", "XXXX   garbage\nGARR    0.1O93\n")), InputError);
}

TEST_F(Getoff, OffsetFileThatIsThereButCannotBeReadIsAnInputError) {
    // Passing it over would put both phase centres on their markers without a word.
    std::filesystem::create_directory(dir.file("off"));
    try {
        getoff(pos, pair, "GARR", "UPC1", dir.file("off"));
        FAIL() << "no error";
    } catch (const InputError& e) {
        EXPECT_EQ(std::string(e.what()), "cannot read " + dir.file("off") + ": Is a directory");
    }
}

TEST_F(Getoff, PointOneInsideTheEarthStops) {
    pair.p1Marker = {0.0, 0.0, 0.0};
    EXPECT_STOP(getoff(pos, pair, "GARR", "UPC1", dir.file("off")), 23674);
    EXPECT_EQ(listingText(), " invalid point 1 xyz 0 0 0\n");

    captureOutput();
    pair.p1Marker = {3000000.0, 2000000.0, 4472135.0};  // just inside 6000 km
    EXPECT_STOP(getoff(pos, pair, "GARR", "UPC1", dir.file("off")), 23674);
    EXPECT_EQ(listingText(), " invalid point 1 xyz 3e+06 2e+06 4472135\n");
}

TEST_F(Getoff, PointTwoAtTheOriginTakesPointOne) {
    StationPair header;
    header.p1Marker = kMarker1;
    pos.open(dir.write("pos",
                       "PNT2  *80*                                    41000000000N002000000000E\n"
                       "PNT2  *86*\n"));
    lodpos(pos, header, "PNT1", "PNT2");  // blank height: point 2 at the origin
    ASSERT_EQ(header.p2Apriori, (std::array<double, 3>{}));
    captureOutput();
    getoff(pos, header, "PNT1", "PNT2", dir.write("off", "PNT2    2.0000\n"));
    EXPECT_EQ(listingText(), " invalid point 2 xyz -- set to point 1\n");
    EXPECT_EQ(header.p2Marker, kMarker1);
    EXPECT_EQ(header.p1L1, kMarker1);
    expectNeu(localOffset(header.p2Marker, header.p2L1), 0.0, 0.0, 2.0);
    EXPECT_EQ(header.p2Apriori, (std::array<double, 3>{}));
}

TEST(Mktol1, MarkerWithoutGeodeticPositionStopsByPoint) {
    StationPair pair;
    pair.p1Marker = {10000.0, 0.0, 10000.0};  // the iteration does not converge there
    pair.p2Marker = kMarker2;
    EXPECT_STOP(mktol1(pair), 43588);
    pair.p1Marker = kMarker1;
    pair.p2Marker = {10000.0, 0.0, 10000.0};
    EXPECT_STOP(mktol1(pair), 43589);
}

TEST(L1tomk, InverseOfMktol1ForPointTwo) {
    StationPair pair;
    pair.p1Marker = kMarker1;
    pair.p2Marker = kMarker2;
    pair.p2Antenna = {1.234, 7.0, -0.5, 0.25};
    mktol1(pair);
    pair.p2Marker = {};
    l1tomk(pair);
    // The rotation is taken at the phase centre, not at the marker: not exact, but far below a millimetre.
    for (size_t i = 0; i < 3; ++i) EXPECT_NEAR(pair.p2Marker[i], kMarker2[i], 1e-6);
    pair.p2L1 = {10000.0, 0.0, 10000.0};
    EXPECT_STOP(l1tomk(pair), 43587);
}

}  // namespace
}  // namespace varno
