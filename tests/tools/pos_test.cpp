// varno-pos: its records read back through the program's own position-file reader to the point given.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>

#include "station/station.h"
#include "test_support.h"
#include "textio/textio.h"
#include "timebase/timebase.h"

namespace varno {
namespace {

std::string posTool() { return std::string(VARNO_BINARY_DIR) + "/tools/pos/varno-pos"; }

// Runs varno-pos with `args` into `path`; the exit status.
int writePos(const std::string& args, const std::string& path) {
    return std::system((posTool() + " " + args + " > " + path + " 2>/dev/null").c_str()) / 256;
}

TEST(VarnoPos, RecordsReadBackToTheGivenPoint) {
    test::TempDir dir;
    const std::string path = dir.file("pos");
    struct Case {
        const char* id;
        double lat, lon, h, tolerance;  // degrees, metres
    };
    // North-east, south-west, near the poles and the date line, heights with 4 and with 3 decimals.
    const Case cases[] = {{"3040", 35.1320959123, 139.6243232456, 73.9081234, 0.0002},
                          {"SW", -33.9248685, -18.4240553, -12.3456, 0.0006},
                          {"POLE", 89.99999, 179.99999, 2901.4567, 0.0006},
                          {"EQ", 0.0000001, -0.0000001, 1234.5678, 0.0006}};
    for (const Case& c : cases) {
        ASSERT_EQ(writePos(std::string(c.id) + " " + std::to_string(c.lat) + " " + std::to_string(c.lon) + " " +
                               std::to_string(c.h),
                           path),
                  0);
        TextFile pos(path);
        double x = 0, y = 0, z = 0, ex = 0, ey = 0, ez = 0;
        ASSERT_TRUE(pscan(pos, std::string(c.id) + std::string(4 - std::string(c.id).size(), ' '), x, y, z)) << c.id;
        const double k = 1.0 / GpsConstants::degreesPerRadian;
        geoxyz(std::stod(std::to_string(c.lat)) * k, std::stod(std::to_string(c.lon)) * k,
               std::stod(std::to_string(c.h)), ex, ey, ez);
        EXPECT_LT(std::hypot(x - ex, y - ey, z - ez), c.tolerance) << c.id;
    }
    // From X, Y, Z, through the program's own conversion.
    ASSERT_EQ(writePos("--xyz 0759 -3976219.1868 3382371.6037 3652511.1406", path), 0);
    TextFile pos(path);
    double x = 0, y = 0, z = 0;
    ASSERT_TRUE(pscan(pos, "0759", x, y, z));
    EXPECT_LT(std::hypot(x + 3976219.1868, y - 3382371.6037, z - 3652511.1406), 0.0002);
}

TEST(VarnoPos, RefusesWhatItCannotWrite) {
    test::TempDir dir;
    EXPECT_EQ(writePos("TOOLONG 1 2 3", dir.file("p")), 2);
    EXPECT_EQ(writePos("A 91 0 0", dir.file("p")), 2);
    EXPECT_EQ(writePos("A 1 2 x", dir.file("p")), 2);
    EXPECT_EQ(writePos("A 1 2 12345.6", dir.file("p")), 2);
    EXPECT_EQ(writePos("--xyz A 0 0 0", dir.file("p")), 2);
}

}  // namespace
}  // namespace varno
