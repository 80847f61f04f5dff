#include <cmath>
#include <limits>

#include "models/models.h"
#include "test_support.h"
#include "test_run.h"

namespace varno {
namespace {

constexpr double kDegree = 1.0 / GpsConstants::degreesPerRadian;

TEST(Saast, ZenithDelaysForStandardAtmosphereAtSeaLevel) {
    double dry = 0.0, wet = 0.0;
    saast(1013.0, 0.5, 20.0, 0.0, 0.0, dry, wet);
    EXPECT_NEAR(dry, 2.3125, 5e-5);
    EXPECT_NEAR(wet, 0.1159, 5e-5);
    // Dry air carries no wet delay.
    saast(1013.0, 0.0, 20.0, 0.0, 0.0, dry, wet);
    EXPECT_EQ(wet, 0.0);
}

TEST(Tropo, ZenithAndTenDegreeDelays) {
    double delay = 0.0;
    tropo(1013.0, 0.5, 20.0, 0.0, 0.0, GpsConstants::pi / 2.0, delay);
    EXPECT_NEAR(delay, 2.4285, 5e-5);
    double dry = 0.0, wet = 0.0;
    saast(1013.0, 0.5, 20.0, 0.0, 0.0, dry, wet);
    EXPECT_NEAR(delay, dry + wet, 1e-12);  // both mappings are 1 at the zenith

    tropo(1013.0, 0.5, 20.0, 0.0, 0.0, 10.0 * kDegree, delay);
    EXPECT_NEAR(delay, 13.487, 5e-4);
    // Dry air isolates the dry mapping; the wet one is what remains with humidity.
    double dryOnly = 0.0;
    tropo(1013.0, 0.0, 20.0, 0.0, 0.0, 10.0 * kDegree, dryOnly);
    const double dryMapping = dryOnly / dry;
    EXPECT_NEAR(dryMapping, 5.548, 5e-4);
    EXPECT_NEAR((delay - dryMapping * dry) / wet, 5.656, 5e-4);
}

TEST(Tropo, BoundsAreInclusive) {
    double delay = 0.0;
    tropo(900.0, 0.0, -50.0, -1.572, -150.0, -0.5, delay);
    EXPECT_TRUE(std::isfinite(delay));  // a negative elevation is mapped with the same formula
    tropo(1100.0, 1.0, 50.0, 1.572, 5000.0, 1.572, delay);
    EXPECT_TRUE(std::isfinite(delay));
}

TEST(Tropo, InputOutsideItsRangeStopsWithItsCode) {
    captureOutput();
    double delay = 0.0;
    EXPECT_STOP(tropo(899.9, 0.5, 20.0, 0.0, 0.0, 1.0, delay), 80001);
    EXPECT_STOP(tropo(1100.1, 0.5, 20.0, 0.0, 0.0, 1.0, delay), 80001);
    EXPECT_STOP(tropo(1013.0, 1.01, 20.0, 0.0, 0.0, 1.0, delay), 80002);
    EXPECT_STOP(tropo(1013.0, -0.01, 20.0, 0.0, 0.0, 1.0, delay), 80002);
    EXPECT_STOP(tropo(1013.0, 0.5, 50.1, 0.0, 0.0, 1.0, delay), 80003);
    EXPECT_STOP(tropo(1013.0, 0.5, 20.0, -1.573, 0.0, 1.0, delay), 80004);
    EXPECT_STOP(tropo(1013.0, 0.5, 20.0, 0.0, 5000.1, 1.0, delay), 80005);
    EXPECT_STOP(tropo(1013.0, 0.5, 20.0, 0.0, -150.1, 1.0, delay), 80005);
    EXPECT_STOP(tropo(1013.0, 0.5, 20.0, 0.0, 0.0, -0.51, delay), 80006);
    // Checked in order: the first bad input decides.
    EXPECT_STOP(tropo(800.0, 2.0, 20.0, 0.0, 0.0, 3.0, delay), 80001);
    // A value that is not a number is outside every range.
    EXPECT_STOP(tropo(std::numeric_limits<double>::quiet_NaN(), 0.5, 20.0, 0.0, 0.0, 1.0, delay), 80001);
    EXPECT_EQ(consoleText(), " v= -0.51\n");

    captureOutput();
    EXPECT_STOP(tropo(1013.0, 0.5, 20.0, 0.0, 0.0, 1.5721, delay), 80006);
    EXPECT_EQ(consoleText(), " v= 1.5721\n");
    EXPECT_EQ(listingText(), "");
}

TEST(Gettdl, SwitchDecidesBetweenZeroAndTheModel) {
    testRun.met = inimet(false);
    double delay = -1.0;
    gettdl(testRun.met, 0.0, 0.0, 10.0 * kDegree, delay);
    EXPECT_EQ(delay, 0.0);
    gettdl(testRun.met, 5.0, 1.0e6, -3.0, delay);  // arguments are not even checked
    EXPECT_EQ(delay, 0.0);

    testRun.met = inimet(true);
    EXPECT_EQ(testRun.met.pressure, 1013.0);
    EXPECT_EQ(testRun.met.relativeHumidity, 0.5);
    EXPECT_EQ(testRun.met.temperature, 20.0);
    gettdl(testRun.met, 0.0, 0.0, 10.0 * kDegree, delay);
    double expected = 0.0;
    tropo(1013.0, 0.5, 20.0, 0.0, 0.0, 10.0 * kDegree, expected);
    EXPECT_EQ(delay, expected);
    testRun.met.pressure = 1200.0;
    EXPECT_STOP(gettdl(testRun.met, 0.0, 0.0, 1.0, delay), 80001);
    testRun.met = inimet(false);
}

TEST(Gettdh, StandardAtmosphereCarriesSeaLevelValuesToTheHeight) {
    testRun.met = inimet(false);
    double delay = -1.0;
    gettdh(testRun.met, 0.0, 0.0, 10.0 * kDegree, delay);
    EXPECT_EQ(delay, 0.0);

    testRun.met = inimet(true);
    // At sea level the model is gettdl's, to the bit.
    double atSea = 0.0, expected = 0.0;
    gettdh(testRun.met, 0.7, 0.0, 10.0 * kDegree, atSea);
    gettdl(testRun.met, 0.7, 0.0, 10.0 * kDegree, expected);
    EXPECT_EQ(atSea, expected);
    // 500 m up the zenith delay shrinks by about 0.18 m: 0.14 m dry with the pressure, the rest wet.
    double zenith0 = 0.0, zenith500 = 0.0;
    gettdh(testRun.met, 0.7, 0.0, GpsConstants::pi / 2.0, zenith0);
    gettdh(testRun.met, 0.7, 500.0, GpsConstants::pi / 2.0, zenith500);
    EXPECT_NEAR(zenith0 - zenith500, 0.18, 0.01);
    // A mountain station is no stop: the derived pressure (about 800 hPa at 2000 m) is below tropo's bounds.
    double mountain = 0.0;
    gettdh(testRun.met, 0.7, 2000.0, 30.0 * kDegree, mountain);
    EXPECT_GT(mountain, 3.0);
    EXPECT_LT(mountain, 4.6);
    EXPECT_STOP(gettdh(testRun.met, 0.7, 5001.0, 1.0, delay), 80005);
    testRun.met = inimet(false);
}

}  // namespace
}  // namespace varno
