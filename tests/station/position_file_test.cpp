#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>
#include <vector>
#include <cstdlib>

#include "station/station.h"
#include "test_support.h"

namespace varno {
namespace {

// Puts `text` into `line` starting at 1-based column `col`.
void put(std::string& line, int col, const std::string& text) {
    const size_t end = static_cast<size_t>(col - 1) + text.size();
    if (line.size() < end) line.resize(end, ' ');
    line.replace(static_cast<size_t>(col - 1), text.size(), text);
}

// A position record: latitude "DDMMsssssss" + hemisphere, longitude "DDDMMsssssss" + side.
std::string positionRecord(const std::string& id, const std::string& lat, char hemisphere, const std::string& lon,
                           char side, const std::string& code = "*80*") {
    std::string line(70, ' ');
    put(line, 1, id);
    put(line, 7, code);
    put(line, 15, "SOME MONUMENT NAME");
    put(line, 45, lat);
    line[55] = hemisphere;
    put(line, 57, lon);
    line[68] = side;
    return line + "\n";
}

std::string heightRecord(const std::string& height, const std::string& code = "*86*") {
    std::string line(52, ' ');
    put(line, 7, code);
    put(line, 46, height);
    return line + "\n";
}

double radians(double degrees) { return degrees * (1.0 / GpsConstants::degreesPerRadian); }

// X, Y, Z of a latitude/longitude (degrees) and height, for comparison with what pscan reads.
std::array<double, 3> expectedXyz(double latDeg, double lonDeg, double h) {
    std::array<double, 3> xyz{};
    geoxyz(radians(latDeg), radians(lonDeg), h, xyz[0], xyz[1], xyz[2]);
    return xyz;
}

void expectXyzNear(double x, double y, double z, const std::array<double, 3>& want, double tol = 1e-6) {
    EXPECT_NEAR(x, want[0], tol);
    EXPECT_NEAR(y, want[1], tol);
    EXPECT_NEAR(z, want[2], tol);
}

struct PosFile {
    test::TempDir dir;
    TextFile file;
    explicit PosFile(const std::string& text) { file.open(dir.write("pos", text)); }
};

class StationTest : public ::testing::Test {
protected:
    void SetUp() override { captureOutput(); }
};

using Nblank = StationTest;
using Pscan = StationTest;
using Lodpos = StationTest;

TEST_F(Nblank, TrailingAndInnerBlanksBecomeZerosCountingOnlyTrailing) {
    struct Case {
        std::string in;
        int n;
        std::string out;
        int count;
    };
    const Case cases[] = {
        {"1234   ", 5, "1234000", 3}, {"  12345", 5, "  12345", 0}, {"12 3 5 ", 5, "1203050", 1},
        {"       ", 5, "  00000", 5}, {"12 4   ", 0, "12 4   ", 0}, {"1 ", 5, "10", 1},
    };
    for (const Case& c : cases) {
        std::string field = c.in;
        int count = -7;
        nblank(field, c.n, count);
        EXPECT_EQ(field, c.out) << '"' << c.in << "\" n=" << c.n;
        EXPECT_EQ(count, c.count) << '"' << c.in << "\" n=" << c.n;
    }
}

TEST_F(Pscan, SecondsFieldsKeepTheirImpliedDecimals) {
    // 1234 then blanks: 12.34 s; 0512345: 5.12345 s; 12345 right-aligned: 0.12345 s.
    PosFile pos(positionRecord("AAAA", "40101234   ", 'N', "002200512345", 'E') + heightRecord("100000 ") +
                positionRecord("BBBB", "3527  12345", 'N', "139 5  12345", 'E') + heightRecord("100000 "));
    double x = 0, y = 0, z = 0;
    ASSERT_TRUE(pscan(pos.file, "AAAA", x, y, z));
    expectXyzNear(x, y, z, expectedXyz(40 + 10 / 60.0 + 12.34 / 3600, 2 + 20 / 60.0 + 5.12345 / 3600, 1000.0));
    ASSERT_TRUE(pscan(pos.file, "BBBB", x, y, z));
    expectXyzNear(x, y, z, expectedXyz(35 + 27 / 60.0 + 0.12345 / 3600, 139 + 5 / 60.0 + 0.12345 / 3600, 1000.0));
    EXPECT_EQ(listingText(), " precise position found for AAAA\n precise position found for BBBB\n");
}

TEST_F(Pscan, HeightFieldImpliedDecimalsAndWrittenPoint) {
    const std::pair<std::string, double> cases[] = {
        {"123    ", 123.0}, {"  12345", 12.345}, {"12.5   ", 12.5}, {"-1234  ", -123.4}, {" -5.25 ", -5.25}};
    for (const auto& [field, metres] : cases) {
        PosFile pos(positionRecord("HGHT", "45000000000", 'N', "010000000000", 'E') + heightRecord(field));
        double x = 0, y = 0, z = 0;
        ASSERT_TRUE(pscan(pos.file, "HGHT", x, y, z));
        double lat = 0, lon = 0, h = 0;
        ASSERT_TRUE(xyzgeo(x, y, z, lat, lon, h));
        EXPECT_NEAR(h, metres, 1e-7) << '"' << field << '"';
    }
}

TEST_F(Pscan, SouthAndWestMarkersInEitherCase) {
    const std::string lat = "33520000000";
    const std::string lon = "075300000000";  // 75 deg 30 min
    const std::array<double, 3> southWest = expectedXyz(-(33 + 52 / 60.0), -75.5, 0.0);
    for (char s : {'S', 's'}) {
        for (char w : {'W', 'w'}) {
            PosFile pos(positionRecord("SWSW", lat, s, lon, w) + heightRecord("      0"));
            double x = 0, y = 0, z = 0;
            ASSERT_TRUE(pscan(pos.file, "SWSW", x, y, z));
            expectXyzNear(x, y, z, southWest);
        }
    }
    // Any other character (a blank, an N, an E, an unexpected letter) is north and east.
    PosFile pos(positionRecord("NENE", lat, ' ', lon, 'X') + heightRecord("      0"));
    double x = 0, y = 0, z = 0;
    ASSERT_TRUE(pscan(pos.file, "NENE", x, y, z));
    expectXyzNear(x, y, z, expectedXyz(33 + 52 / 60.0, 75.5, 0.0));
}

TEST_F(Pscan, FirstMatchingPairWinsAndIdCaseMatters) {
    PosFile pos(positionRecord("abcd", "10000000000", 'N', "010000000000", 'E') + heightRecord("1000   ") +
                positionRecord("ABCD", "20000000000", 'N', "020000000000", 'E') + heightRecord("2000   ") +
                positionRecord("ABCD", "30000000000", 'N', "030000000000", 'E') + heightRecord("3000   "));
    double x = 0, y = 0, z = 0;
    ASSERT_TRUE(pscan(pos.file, "ABCD", x, y, z));
    expectXyzNear(x, y, z, expectedXyz(20.0, 20.0, 2000.0));
}

TEST_F(Pscan, BlankFieldsOfTheMatchGiveTheOriginSilently) {
    const std::string blankHeight = positionRecord("ZERO", "10000000000", 'N', "010000000000", 'E') + heightRecord("");
    const std::string blankLatitude = positionRecord("ZERO", "", 'N', "010000000000", 'E') + heightRecord("1000   ");
    const std::string blankLongitude = positionRecord("ZERO", "10000000000", 'N', "", 'E') + heightRecord("1000   ");
    for (const std::string& text : {blankHeight, blankLatitude, blankLongitude}) {
        PosFile pos(text);
        double x = 1, y = 1, z = 1;
        ASSERT_TRUE(pscan(pos.file, "ZERO", x, y, z));
        EXPECT_EQ(x, 0.0);
        EXPECT_EQ(y, 0.0);
        EXPECT_EQ(z, 0.0);
    }
    EXPECT_EQ(listingText(), "");
}

TEST_F(Pscan, PairsOutOfStepStopBeforeTheId) {
    {
        PosFile pos(positionRecord("AAAA", "10000000000", 'N', "010000000000", 'E') + heightRecord("1000   ", "*87*") +
                    positionRecord("BBBB", "10000000000", 'N', "010000000000", 'E') + heightRecord("1000   "));
        double x = 0, y = 0, z = 0;
        EXPECT_STOP(pscan(pos.file, "BBBB", x, y, z), 43589);
    }
    {
        PosFile pos(positionRecord("AAAA", "10000000000", 'N', "010000000000", 'E', "*08*") + heightRecord("1000   "));
        double x = 0, y = 0, z = 0;
        EXPECT_STOP(pscan(pos.file, "AAAA", x, y, z), 43588);
    }
}

TEST_F(Pscan, TrailingBlankLines) {
    const std::string pair = positionRecord("AAAA", "10000000000", 'N', "010000000000", 'E') + heightRecord("1000   ");
    double x = 0, y = 0, z = 0;
    {
        // The blank line is taken as a position record whose height record is missing.
        PosFile pos(pair + "\n");
        EXPECT_THROW(pscan(pos.file, "MISS", x, y, z), InputError);
        pos.file.rewind();
        EXPECT_TRUE(pscan(pos.file, "AAAA", x, y, z));
    }
    {
        PosFile pos(pair + "\n\n");
        EXPECT_STOP(pscan(pos.file, "MISS", x, y, z), 43588);
    }
    {
        PosFile pos(pair);  // no line end after the last record
        EXPECT_FALSE(pscan(pos.file, "MISS", x, y, z));
    }
}

TEST_F(Pscan, BadFieldOfTheMatchIsAnInputErrorNamingFileLineAndField) {
    PosFile pos(positionRecord("AAAA", "10000000000", 'N', "010000000000", 'E') + heightRecord("1000   ") +
                positionRecord("BBBB", "10000000000", 'N', "010000000000", 'E') + heightRecord("10a0   "));
    double x = 0, y = 0, z = 0;
    try {
        pscan(pos.file, "BBBB", x, y, z);
        ADD_FAILURE() << "no input error";
    } catch (const InputError& e) {
        EXPECT_EQ(std::string(e.what()).rfind(pos.dir.file("pos") + ":4: ", 0), 0u) << e.what();
        EXPECT_NE(std::string(e.what()).find("height"), std::string::npos) << e.what();
    }
}

TEST_F(Lodpos, EmptyFileKeepsHeaderPositionsAndSaysSo) {
    PosFile pos("");
    StationPair pair;
    pair.p1Marker = {1.0, 2.0, 3.0};
    pair.p2Marker = {4.0, 5.0, 6.0};
    lodpos(pos.file, pair, "EBRE", "CREU");
    EXPECT_EQ(pair.p1Marker, (std::array<double, 3>{1.0, 2.0, 3.0}));
    EXPECT_EQ(pair.p2Marker, (std::array<double, 3>{4.0, 5.0, 6.0}));
    EXPECT_EQ(pair.p2Apriori, (std::array<double, 3>{4.0, 5.0, 6.0}));
    EXPECT_EQ(listingText(),
              " warning --EBRE -- id not found in pos file\n"
              " this is not good -- point 2 unreliable\n"
              " info    --CREU -- id not found in pos file\n");
}

TEST_F(Lodpos, FindsBothPointsInAnyOrderFromTheTop) {
    PosFile pos(positionRecord("PTW2", "40000000000", 'N', "001000000000", 'E') + heightRecord("2000   ") +
                positionRecord("PTW1", "41000000000", 'N', "002000000000", 'E') + heightRecord("1000   "));
    StationPair pair;
    lodpos(pos.file, pair, "PTW1", "PTW2");
    const auto p1 = expectedXyz(41.0, 2.0, 1000.0);
    const auto p2 = expectedXyz(40.0, 1.0, 2000.0);
    expectXyzNear(pair.p1Marker[0], pair.p1Marker[1], pair.p1Marker[2], p1);
    expectXyzNear(pair.p2Marker[0], pair.p2Marker[1], pair.p2Marker[2], p2);
    EXPECT_EQ(pair.p2Apriori, pair.p2Marker);
    EXPECT_EQ(listingText(), " precise position found for PTW1\n precise position found for PTW2\n");
}

// Station coordinates stated in a dataset's provenance notes: table rows "| ID ... | X | Y | Z | ...".
std::map<std::string, std::array<double, 3>> provenanceCoordinates(const std::string& path) {
    std::map<std::string, std::array<double, 3>> out;
    std::istringstream in(test::readFile(path));
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("| ", 0) != 0) continue;
        std::vector<std::string> cells;
        std::istringstream row(line.substr(1));
        std::string cell;
        while (std::getline(row, cell, '|')) cells.push_back(cell);
        if (cells.size() < 4) continue;
        std::array<double, 3> xyz{};
        bool numeric = true;
        for (size_t i = 0; i < 3; ++i) {
            char* end = nullptr;
            xyz[i] = std::strtod(cells[i + 1].c_str(), &end);
            numeric = numeric && end != cells[i + 1].c_str();
        }
        std::istringstream first(cells[0]);
        std::string id;
        first >> id;
        if (numeric && id.size() == 4 && !out.count(id)) out[id] = xyz;
    }
    return out;
}

TEST_F(Pscan, SharedDatasetsReproduceTheirStatedCoordinates) {
    const std::filesystem::path data = std::filesystem::path(varno::test::sharedDir()) / "data";
    if (!std::filesystem::exists(data)) GTEST_SKIP() << "no shared data at " << data;
    int checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(data)) {
        const auto posPath = entry.path() / "pos";
        if (!std::filesystem::exists(posPath)) continue;
        const auto stated = provenanceCoordinates((entry.path() / "PROVENANCE.md").string());
        TextFile pos(posPath.string());
        Record rec;
        std::vector<std::string> ids;
        while (pos.next(rec, 80)) {
            if (rec.startsWith(7, "*80*")) ids.emplace_back(rec.columns(1, 4));
        }
        for (const std::string& id : ids) {
            auto it = stated.find(id);
            ASSERT_NE(it, stated.end()) << entry.path() << " " << id;
            pos.rewind();
            double x = 0, y = 0, z = 0;
            ASSERT_TRUE(pscan(pos, id, x, y, z));
            expectXyzNear(x, y, z, it->second, 1e-3);
            ++checked;
        }
    }
    EXPECT_GE(checked, 10);
}

}  // namespace
}  // namespace varno
