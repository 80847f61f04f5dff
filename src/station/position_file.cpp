// The station position file "pos": record pairs of a position record (code "*80*") and a height record (code
// "*86*"), searched by station id; and the a priori position of point 2 taken from it.
#include <string>

#include "station/station.h"

namespace varno {

namespace {

constexpr int kPosRecordWidth = 80;
constexpr int kStopPositionCode = 43588;
constexpr int kStopHeightCode = 43589;

constexpr double kDegreesPerMinute = 0.016666666666666666;
// One seconds-field unit (0.00001 arc second) in degrees.
constexpr double kDegreesPerSecondsUnit = 2.777777777777778e-09;
constexpr double kFullCircleDegrees = 360.0;
// Implied decimals of the seconds fields (SSsssss) and of the height field.
constexpr int kSecondsDecimals = 5;
constexpr int kHeightDecimals = 3;

// Station ids are 4 characters: a shorter id is compared (and reported) blank-padded, a longer one cut.
std::string fourCharacterId(const std::string& id) {
    std::string s = id.substr(0, 4);
    s.resize(4, ' ');
    return s;
}

// Seconds text after nblank, read as an integer count of 0.00001 arc seconds.
int secondsUnits(const Record& rec, int first, int last, const char* what) {
    std::string field(rec.columns(first, last));
    int count = 0;
    nblank(field, kSecondsDecimals, count);
    int value = 0;
    if (!parseIntText(field, value)) {
        rec.fail("expected an integer " + std::string(what) + " in columns " + std::to_string(first) + "-" +
                 std::to_string(last) + ", found \"" + std::string(rec.columns(first, last)) + "\"");
    }
    return value;
}

double heightMetres(const Record& rec, int first, int last) {
    std::string field(rec.columns(first, last));
    int count = 0;
    nblank(field, kHeightDecimals, count);
    double value = 0.0;
    if (!parseRealText(field, kHeightDecimals, value)) {
        rec.fail("expected a number ellipsoidal height in columns " + std::to_string(first) + "-" +
                 std::to_string(last) + ", found \"" + std::string(rec.columns(first, last)) + "\"");
    }
    return value;
}

}  // namespace

void nblank(std::string& field, int n, int& count) {
    count = 0;
    const int length = static_cast<int>(field.size());
    const int lowest = n > length ? 1 : length - n + 1;
    bool nonBlankMet = false;
    for (int i = length; i >= lowest; --i) {
        char& c = field[static_cast<size_t>(i - 1)];
        if (c == ' ') {
            if (!nonBlankMet) count = count + 1;
            c = '0';
        } else {
            nonBlankMet = true;
        }
    }
}

bool pscan(TextFile& pos, const std::string& id, double& x, double& y, double& z) {
    const std::string wanted = fourCharacterId(id);
    Record position;
    Record height;
    for (;;) {
        if (!pos.next(position, kPosRecordWidth)) return false;
        pos.require(height, kPosRecordWidth, "the height record (*86*)");
        // Every pair read is checked, also those before the match: a file out of step is not trusted further.
        if (!position.startsWith(7, "*80*")) stopRun(kStopPositionCode);
        if (!height.startsWith(7, "*86*")) stopRun(kStopHeightCode);
        if (position.columns(1, 4) == wanted) break;
    }

    if (height.blank(46, 52) || position.blank(45, 55) || position.blank(57, 68)) {
        x = 0.0;
        y = 0.0;
        z = 0.0;
        return true;
    }

    const int latDegrees = position.intField(45, 46, "latitude degrees");
    const int latMinutes = position.intField(47, 48, "latitude minutes");
    const int latSeconds = secondsUnits(position, 49, 55, "latitude seconds");
    const int lonDegrees = position.intField(57, 59, "longitude degrees");
    const int lonMinutes = position.intField(60, 61, "longitude minutes");
    const int lonSeconds = secondsUnits(position, 62, 68, "longitude seconds");
    const double h = heightMetres(height, 46, 52);

    double latitude = latDegrees + latMinutes * kDegreesPerMinute + latSeconds * kDegreesPerSecondsUnit;
    const char hemisphere = position.column(56);
    if (hemisphere == 'S' || hemisphere == 's') latitude = -latitude;

    double longitude = lonDegrees + lonMinutes * kDegreesPerMinute + lonSeconds * kDegreesPerSecondsUnit;
    const char side = position.column(69);
    // West longitudes become east longitudes between 180 and 360 degrees.
    if (side == 'W' || side == 'w') longitude = kFullCircleDegrees - longitude;

    const double radiansPerDegree = 1.0 / GpsConstants::degreesPerRadian;
    latitude = latitude * radiansPerDegree;
    longitude = longitude * radiansPerDegree;

    geoxyz(latitude, longitude, h, x, y, z);
    writeListing(freeLine("precise position found for ", wanted));
    return true;
}

void lodpos(TextFile& pos, StationPair& pair, const std::string& id1, const std::string& id2) {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    pos.rewind();
    if (pscan(pos, id1, x, y, z)) {
        pair.p1Marker = {x, y, z};
    } else {
        writeListing(freeLine("warning --", fourCharacterId(id1), " -- id not found in pos file"));
        writeListing(freeLine("this is not good -- point 2 unreliable"));
        writeWarning("point 1 (" + fourCharacterId(id1) + ") is not in the position file: its approximate header "
                     "position is used and point 2 is unreliable; add it with varno-pos");
    }

    pos.rewind();
    if (pscan(pos, id2, x, y, z)) {
        pair.p2Marker = {x, y, z};
    } else {
        writeListing(freeLine("info    --", fourCharacterId(id2), " -- id not found in pos file"));
    }

    pair.p2Apriori = pair.p2Marker;
}

namespace {

// Point `number`'s position as the command line or the position file gives it; false when neither does.
bool chosenPosition(TextFile& pos, int number, const std::optional<std::array<double, 3>>& given,
                    const std::string& option, const std::string& id, bool idGiven, std::array<double, 3>& marker) {
    const std::string point = "point " + std::to_string(number);
    if (given) {
        marker = *given;
        writeListing(freeLine(point, " position from ", option));
        return true;
    }
    double x = 0.0, y = 0.0, z = 0.0;
    pos.rewind();
    if (pscan(pos, id, x, y, z)) {
        marker = {x, y, z};
        writeListing(freeLine(point, " position from the position file (", fourCharacterId(id), ")"));
        return true;
    }
    if (idGiven) {
        throw InputError("station id '" + fourCharacterId(id) + "' given by --point" + std::to_string(number) +
                         "-id is not in the position file " + pos.name());
    }
    return false;
}

}  // namespace

void lodpos(TextFile& pos, StationPair& pair, const StationSources& sources) {
    if (!chosenPosition(pos, 1, sources.point1, sources.point1Option, sources.id1, sources.id1Given,
                        pair.p1Marker)) {
        writeListing(freeLine("warning --", fourCharacterId(sources.id1), " -- id not found in pos file"));
        writeListing(freeLine("this is not good -- point 2 unreliable"));
        writeListing(freeLine("point 1 position from the observation file's header"));
        writeWarning("point 1 (" + fourCharacterId(sources.id1) + ") is not in the position file: its approximate "
                     "header position is used and point 2 is unreliable; add it with varno-pos or give "
                     "--point1-xyz");
    }
    if (!chosenPosition(pos, 2, sources.point2, "--point2-apriori", sources.id2, sources.id2Given,
                        pair.p2Marker)) {
        writeListing(freeLine("info    --", fourCharacterId(sources.id2), " -- id not found in pos file"));
        writeListing(freeLine("point 2 position from the observation file's header"));
    }
    pair.p2Apriori = pair.p2Marker;
}

}  // namespace varno
