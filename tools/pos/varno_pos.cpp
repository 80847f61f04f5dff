// varno-pos: prints the *80* / *86* record pair of a station for varno's position file, from geodetic
// coordinates or from earth-centred X, Y, Z (converted with the program's own ellipsoid and routines).
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "station/station.h"
#include "timebase/timebase.h"

namespace {

constexpr int kStatusUsage = 2;
constexpr long long kSecondUnits = 100000;  // the seconds fields hold 5 implied decimals

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

// Degrees, minutes and seconds (5 implied decimals) of |angle| in `degreeDigits` + 2 + 7 columns.
std::string sexagesimal(double angle, int degreeDigits) {
    long long units = std::llround(std::fabs(angle) * 3600.0 * static_cast<double>(kSecondUnits));
    const long long degrees = units / (3600 * kSecondUnits);
    units -= degrees * 3600 * kSecondUnits;
    const long long minutes = units / (60 * kSecondUnits);
    units -= minutes * 60 * kSecondUnits;
    char text[64];
    std::snprintf(text, sizeof text, "%0*lld%02lld%07lld", degreeDigits, degrees, minutes, units);
    return text;
}

// The height in the 7 columns 46-52: with a written point and 4 decimals where that fits (heights from -9.9999
// to 99.9999 m), else in millimetres (3 implied decimals). Empty when it fits neither.
std::string heightField(double height) {
    char text[64];
    std::snprintf(text, sizeof text, "%7.4f", height);
    if (std::string(text).size() == 7) return text;
    std::snprintf(text, sizeof text, "%7lld", std::llround(height * 1000.0));
    return std::string(text).size() == 7 ? std::string(text) : std::string();
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
    const std::string heightText = heightField(height);
    if (std::fabs(latitude) > 90.0 || std::fabs(longitude) > 180.0 || heightText.empty()) {
        std::fputs("varno-pos: latitude, longitude or height out of range (height from -999.999 to 9999.999 m)\n",
                   stderr);
        return kStatusUsage;
    }
    char id[5];
    std::snprintf(id, sizeof id, "%-4s", args[0].c_str());
    std::printf("%-4s  *80*    %-30s%s%c%s%c\n", id, args[0].c_str(), sexagesimal(latitude, 2).c_str(),
                latitude < 0 ? 'S' : 'N', sexagesimal(longitude, 3).c_str(), longitude < 0 ? 'W' : 'E');
    std::printf("%-4s  *86*%35s%s\n", id, "", heightText.c_str());
    return 0;
}
