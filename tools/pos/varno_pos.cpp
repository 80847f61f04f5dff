// varno-pos: prints the *80* / *86* record pair of a station for varno's position file, from geodetic
// coordinates or from earth-centred X, Y, Z (converted with the program's own ellipsoid and routines).
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "campaign/campaign.h"
#include "station/station.h"
#include "timebase/timebase.h"

namespace {

constexpr int kStatusUsage = 2;

const char* const kUsage =
    "Usage: varno-pos ID LATITUDE LONGITUDE HEIGHT\n"
    "       varno-pos --xyz ID X Y Z\n"
    "Prints the two records of station ID (1 to 4 characters) for varno's position file 'pos':\n"
    "latitude and longitude in decimal degrees (north and east positive), ellipsoidal height in metres;\n"
    "or earth-centred X, Y, Z in metres (WGS 84). Append the output to pos: varno-pos ... >> pos\n";

bool number(const std::string& text, double& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args[0] == "-h" || args[0] == "--help")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const bool cartesian = !args.empty() && args[0] == "--xyz";
    if (cartesian) args.erase(args.begin());
    double values[3] = {};
    if (args.size() != 4 || args[0].empty() || args[0].size() > 4 || !number(args[1], values[0]) ||
        !number(args[2], values[1]) || !number(args[3], values[2])) {
        std::fputs("varno-pos: expected ID and three numbers; try 'varno-pos --help'\n", stderr);
        return kStatusUsage;
    }
    double latitude = 0, longitude = 0, height = 0;
    if (cartesian) {
        if (!varno::xyzgeo(values[0], values[1], values[2], latitude, longitude, height)) {
            std::fputs("varno-pos: that X, Y, Z has no geodetic position\n", stderr);
            return kStatusUsage;
        }
        latitude *= varno::GpsConstants::degreesPerRadian;
        longitude *= varno::GpsConstants::degreesPerRadian;
    } else {
        latitude = values[0];
        longitude = values[1];
        height = values[2];
    }
    if (longitude > 180.0) longitude -= 360.0;
    const std::string records = varno::campaign::posRecord(args[0], latitude, longitude, height);
    if (records.empty()) {
        std::fputs("varno-pos: latitude, longitude or height out of range (height from -999.999 to 9999.999 m)\n",
                   stderr);
        return kStatusUsage;
    }
    std::fputs(records.c_str(), stdout);
    return 0;
}
