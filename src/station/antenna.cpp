// Antenna offsets from the optional file "off", the plausibility of both markers, and the L1 phase centres.
#include <string>

#include "station/station.h"

namespace varno {

namespace {

constexpr int kOffRecordWidth = 80;
constexpr int kOffsetDecimals = 4;
// A marker closer than 6000 km to the earth's centre (squared distance, m²) is not a ground position.
constexpr double kMinRadiusSquared = 36000000000000.0;

constexpr int kStopInvalidPoint1 = 23674;
constexpr int kStopPoint1NoGeodetic = 43588;
constexpr int kStopPoint2NoGeodetic = 43589;
constexpr int kStopL1NoGeodetic = 43587;

// Antenna record positions: up, auxOffset, north, east.
constexpr size_t kUp = 0;
constexpr size_t kNorth = 2;
constexpr size_t kEast = 3;

std::string fourCharacterId(const std::string& id) {
    std::string s = id.substr(0, 4);
    s.resize(4, ' ');
    return s;
}

// Reads "off" from its top to the first record of `id`; no record leaves `antenna` as it is.
void findOffsets(TextFile& off, const std::string& id, std::array<double, 4>& antenna) {
    const std::string wanted = fourCharacterId(id);
    Record rec;
    while (off.next(rec, kOffRecordWidth)) {
        if (rec.columns(1, 4) != wanted) continue;
        antenna[0] = rec.realField(5, 14, kOffsetDecimals, "(antenna up)");
        antenna[1] = rec.realField(15, 24, kOffsetDecimals, "(auxiliary offset)");
        antenna[2] = rec.realField(25, 34, kOffsetDecimals, "(antenna north)");
        antenna[3] = rec.realField(35, 44, kOffsetDecimals, "(antenna east)");
        return;
    }
}

double squaredRadius(const std::array<double, 3>& xyz) { return xyz[0] * xyz[0] + xyz[1] * xyz[1] + xyz[2] * xyz[2]; }

// Earth-centred vector from a marker to its L1 phase centre; false when the marker has no geodetic position.
bool antennaVector(const std::array<double, 3>& at, const std::array<double, 4>& antenna, std::array<double, 3>& d) {
    double latitude = 0.0;
    double longitude = 0.0;
    double height = 0.0;
    if (!xyzgeo(at[0], at[1], at[2], latitude, longitude, height)) return false;
    reg(latitude, longitude, d[0], d[1], d[2], antenna[kNorth], antenna[kEast], antenna[kUp]);
    return true;
}

}  // namespace

void getoff(TextFile& pos, StationPair& pair, const std::string& id1, const std::string& id2,
            const std::string& offPath) {
    pair.p1Antenna = {0.0, 0.0, 0.0, 0.0};
    pair.p2Antenna = {0.0, 0.0, 0.0, 0.0};

    if (fileExists(offPath)) {
        // The offset file takes the position file's place while it is read; the position file is then opened
        // afresh, so a later read of it starts at its first record.
        const std::string posName = pos.name();
        pos.close();
        TextFile off(offPath);
        findOffsets(off, id1, pair.p1Antenna);
        off.rewind();
        findOffsets(off, id2, pair.p2Antenna);
        off.close();
        pos.open(posName);
    }

    if (squaredRadius(pair.p1Marker) < kMinRadiusSquared) {
        writeListing(freeLine("invalid point 1 xyz", pair.p1Marker[0], pair.p1Marker[1], pair.p1Marker[2]));
        stopRun(kStopInvalidPoint1);
    }
    if (squaredRadius(pair.p2Marker) < kMinRadiusSquared) {
        writeListing(freeLine("invalid point 2 xyz -- set to point 1"));
        pair.p2Marker = pair.p1Marker;
    }

    mktol1(pair);
}

void mktol1(StationPair& pair) {
    std::array<double, 3> d{};
    if (!antennaVector(pair.p1Marker, pair.p1Antenna, d)) stopRun(kStopPoint1NoGeodetic);
    for (size_t i = 0; i < 3; ++i) pair.p1L1[i] = pair.p1Marker[i] + d[i];
    if (!antennaVector(pair.p2Marker, pair.p2Antenna, d)) stopRun(kStopPoint2NoGeodetic);
    for (size_t i = 0; i < 3; ++i) pair.p2L1[i] = pair.p2Marker[i] + d[i];
}

void l1tomk(StationPair& pair) {
    std::array<double, 3> d{};
    if (!antennaVector(pair.p2L1, pair.p2Antenna, d)) stopRun(kStopL1NoGeodetic);
    for (size_t i = 0; i < 3; ++i) pair.p2Marker[i] = pair.p2L1[i] - d[i];
}

}  // namespace varno
