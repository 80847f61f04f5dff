// Station information: ellipsoidal coordinates and local frames, the station position file "pos", the antenna
// offset file "off", and the markers and L1 phase centres of both points.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "textio/textio.h"
#include "timebase/timebase.h"

namespace varno {

// ---------------------------------------------------------------------------------------------------------------
// WGS 84, held as stored constants (none derived at run time).
inline constexpr double kSemiMajorAxis = 6378137.0;              // a, m
inline constexpr double kEccentricitySquared = 0.00669437999013;  // e²
inline constexpr double kOneMinusE2 = 0.99330562000987;           // 1 − e²
inline constexpr double kAE2 = 42697.67270710779;                 // a·e², m

// Geodetic latitude, longitude (radians) and ellipsoidal height (m) to earth-centred X, Y, Z (m).
void geoxyz(double latitude, double longitude, double height, double& x, double& y, double& z);
// Earth-centred X, Y, Z to geodetic latitude, longitude (radians, longitude in −π..π) and height. Fixed-point
// iteration on tan(latitude), at most 11 steps to a relative change of 5e-15 (0/0 counts as converged: points on
// the equator plane or the polar axis). False, with all three outputs 0, when it does not converge, and also for
// the earth's centre and non-finite input, which have no geodetic coordinates.
bool xyzgeo(double x, double y, double z, double& latitude, double& longitude, double& height);
// Earth-centred vector (dX, dY, dZ) to north, east, up at the given point.
void rge(double latitude, double longitude, double& north, double& east, double& up, double dx, double dy, double dz);
// North, east, up at the given point to an earth-centred vector; the inverse of rge.
void reg(double latitude, double longitude, double& dx, double& dy, double& dz, double north, double east, double up);

// ---------------------------------------------------------------------------------------------------------------
// The two points of the run. Markers and L1 phase centres are earth-centred X, Y, Z in metres; each antenna record
// is up, auxOffset, north, east in metres (marker to L1 phase centre).
struct StationPair {
    std::array<double, 3> p1Marker{};
    std::array<double, 3> p1L1{};
    std::array<double, 3> p2Marker{};
    std::array<double, 3> p2L1{};
    std::array<double, 4> p1Antenna{};
    std::array<double, 4> p2Antenna{};
    // Copy of point 2's marker taken by lodpos before any adjustment; the results report the shift from it.
    std::array<double, 3> p2Apriori{};
};

// Station ids are 4 characters: a shorter id is compared and reported blank-padded, a longer one cut to 4.
// Looks up both station ids in the position file (rewinding it before each search): a point found there takes
// the precise position, otherwise it keeps the header position in `pair`, with the listing lines
// "warning --<id1> -- id not found in pos file" + "this is not good -- point 2 unreliable" (point 1) or
// "info    --<id2> -- id not found in pos file" (point 2). Then copies p2Marker into p2Apriori.
// Stops 43588 / 43589 for record pairs out of step (from pscan).
void lodpos(TextFile& pos, StationPair& pair, const std::string& id1, const std::string& id2);

// Where the two positions come from when the command line names a station or gives a position.
struct StationSources {
    std::string id1, id2;                     // looked up in the position file
    bool id1Given = false, id2Given = false;  // named on the command line: not found is an input error
    std::optional<std::array<double, 3>> point1;  // point 1's marker, earth-centred, m
    std::string point1Option;                     // the option that gave it ("--point1-xyz", "--point1-llh")
    std::optional<std::array<double, 3>> point2;  // point 2's a priori marker, earth-centred, m
    bool any() const { return id1Given || id2Given || point1 || point2; }
};
// lodpos for a run whose command line names a station or gives a position: a position given is taken as it is
// (the position file is not searched for that point), otherwise the id is searched as lodpos does. After each
// point, one listing line says where its position came from ("point 1 position from --point1-xyz", "... from
// the position file (<id>)", "... from the observation file's header"). An id named on the command line that is
// not in the position file, where the position is needed from it, is an input error naming the id and the file.
void lodpos(TextFile& pos, StationPair& pair, const StationSources& sources);

// Searches the position file from where it stands for the record pair of `id`. False at end of file (outputs
// untouched). True with X, Y, Z of the pair (the origin when its fields are blank, else with the listing line
// "precise position found for <id>"). Stop 43588: a first record without "*80*"; 43589: a second record without
// "*86*". End of file after a position record is an input error.
bool pscan(TextFile& pos, const std::string& id, double& x, double& y, double& z);

// Replaces every blank among the last n characters of `field` by "0"; `count` receives the number of trailing
// blanks (counted from the right up to the first non-blank).
void nblank(std::string& field, int n, int& count);

// Antenna offsets of both points from the optional offset file `offPath` (default "off"; absent: all zero);
// plausibility of both markers (point 1 below 6000 km from the centre: "invalid point 1 xyz" and stop 23674;
// point 2: "invalid point 2 xyz -- set to point 1" and point 1's marker is taken); then mktol1.
// When the offset file was read, the position file is closed and reopened (positioned at its start).
void getoff(TextFile& pos, StationPair& pair, const std::string& id1, const std::string& id2,
            const std::string& offPath = "off");

// L1 phase centres from markers and antenna records. Stop 43588 (point 1) / 43589 (point 2) when xyzgeo fails.
void mktol1(StationPair& pair);
// Point 2's marker from its L1 phase centre and antenna record. Stop 43587 when xyzgeo fails.
void l1tomk(StationPair& pair);

}  // namespace varno
