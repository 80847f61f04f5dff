// varno-sim: the station geometry (markers, phase centres, the pos rounding) and the station files
// pos, off and truth.

#include "sim.h"

namespace sim {

namespace {

PosAngle toPosAngle(double degrees) {
    PosAngle a{};
    a.negative = degrees < 0;
    long long u = std::llround(std::fabs(degrees) * 360000000.0);
    a.deg = u / 360000000;
    u -= a.deg * 360000000;
    a.min = u / 6000000;
    a.secUnits = u - a.min * 6000000;
    return a;
}

// The angle in degrees as the program's position-file reader forms it.
double posAngleValue(const PosAngle& a) {
    return static_cast<double>(a.deg) + static_cast<double>(a.min) * 0.016666666666666666 +
           static_cast<double>(a.secUnits) * 2.777777777777778e-09;
}

}  // namespace

PosPoint roundForPos(double latDeg, double lonDeg, double h) {
    PosPoint p{};
    p.lat = toPosAngle(latDeg);
    p.lon = toPosAngle(lonDeg);
    p.heightMm = std::llround(h * 1000.0);
    if (p.heightMm > 9999999 || p.heightMm < -999999) throw Error("height out of the pos field's range");
    double lat = posAngleValue(p.lat);
    if (p.lat.negative) lat = -lat;
    double lon = posAngleValue(p.lon);
    if (p.lon.negative) lon = 360.0 - lon;
    p.latDeg = lat;
    p.lonDeg = lon;
    const double r = 1.0 / kDegPerRad;
    p.xyz = geodToXyz(lat * r, lon * r, static_cast<double>(p.heightMm) / 1000.0);
    return p;
}

Geometry makeGeometry(const Scenario& sc) {
    Geometry g{};
    g.mjd0 = mjdOf(sc.year, sc.month, sc.day);
    g.tStart = sc.hour * 3600.0 + sc.minute * 60.0 + sc.second;
    // Point 1: rounded to the pos resolution, then taken exactly as the program reads it.
    g.pos1 = roundForPos(sc.lat1, sc.lon1, sc.h1);
    g.marker[0] = g.pos1.xyz;
    g.lat[0] = g.pos1.latDeg / kDegPerRad;
    g.lon[0] = g.pos1.lonDeg / kDegPerRad;
    const double h1 = static_cast<double>(g.pos1.heightMm) / 1000.0;
    // Point 2: along the great circle of the given azimuth, distance solved so that the marker
    // distance equals the baseline.
    const double az = sc.azimuth / kDegPerRad;
    auto point2 = [&](double dist, double& lat2, double& lon2) {
        const double R = 6371000.0;
        const double d = dist / R;
        lat2 = std::asin(std::sin(g.lat[0]) * std::cos(d) + std::cos(g.lat[0]) * std::sin(d) * std::cos(az));
        lon2 = g.lon[0] + std::atan2(std::sin(az) * std::sin(d) * std::cos(g.lat[0]),
                                     std::cos(d) - std::sin(g.lat[0]) * std::sin(lat2));
        return geodToXyz(lat2, lon2, h1 + sc.dheight);
    };
    double lat2 = g.lat[0], lon2 = g.lon[0];
    Vec3 p2 = point2(0.0, lat2, lon2);
    if (sc.baseline > 0) {
        if (sc.baseline <= std::fabs(sc.dheight) * 1.0001 + 1e-6)
            throw Error("baseline must be 0 or longer than |dheight|");
        double dist = std::sqrt(sc.baseline * sc.baseline - sc.dheight * sc.dheight);
        for (int i = 0; i < 30; ++i) {
            p2 = point2(dist, lat2, lon2);
            const double actual = norm(p2 - g.marker[0]);
            if (std::fabs(actual - sc.baseline) < 1e-7) break;
            dist *= sc.baseline / actual;
        }
    }
    g.marker[1] = p2;
    g.lat[1] = lat2;
    g.lon[1] = lon2;
    g.lat2Deg = lat2 * kDegPerRad;
    g.lon2Deg = lon2 * kDegPerRad;
    if (g.lon2Deg > 180) g.lon2Deg -= 360;
    if (g.lon2Deg <= -180) g.lon2Deg += 360;
    g.h2 = h1 + sc.dheight;
    for (int i = 0; i < 2; ++i) {
        const Receiver& r = sc.rx[i];
        g.l1[i] = g.marker[i] + neuToXyz(g.lat[i], g.lon[i], r.antNorth, r.antEast, r.antUp);
    }
    return g;
}

namespace {

void posPair(std::vector<std::string>& out, const std::string& id, int ssn, const std::string& name,
                    const PosPoint& p, const std::string& blank) {
    std::string r1 = padTo(id, 6) + "*80*" + fmt("%04d", ssn) + padTo(name, 30);
    std::string lat = fmt("%02lld%02lld%07lld%c", p.lat.deg, p.lat.min, p.lat.secUnits, p.lat.negative ? 'S' : 'N');
    std::string lon = fmt("%03lld%02lld%07lld%c", p.lon.deg, p.lon.min, p.lon.secUnits, p.lon.negative ? 'W' : 'E');
    if (blank == "lat" || blank == "all") lat = std::string(11, ' ') + lat.substr(11);
    if (blank == "lon" || blank == "all") lon = std::string(12, ' ') + lon.substr(12);
    r1 += lat + lon;  // lat in 45-56, lon in 57-69
    std::string h = p.heightMm >= 0 ? fmt("%07lld", p.heightMm) : fmt("-%06lld", -p.heightMm);
    if (blank == "height" || blank == "all") h = std::string(7, ' ');
    std::string r2 = padTo(id, 6) + "*86*" + fmt("%04d", ssn) + std::string(31, ' ') + h;  // height in 46-52
    out.push_back(rtrim(r1));
    out.push_back(rtrim(r2));
}


std::string f4(double v) { return fmt("%.4f", v); }

}  // namespace

std::vector<std::string> posFile(const Scenario& sc, const Geometry& geo, Vec3& apriori, bool& aprioriUsable) {
    std::vector<std::string> out;
    if (sc.posExtra) {
        PosPoint x = roundForPos(geo.pos1.latDeg + 0.5, sc.lon1 + 0.5, 100.0);
        posPair(out, "XTRA", 9, "VARNO-SIM OTHER STATION", x, "none");
    }
    // Point 2 a priori: the truth plus the chosen north/east/up error, rounded to the pos fields.
    const Vec3 p2 = geo.marker[1] + neuToXyz(geo.lat[1], geo.lon[1], sc.apN, sc.apE, sc.apU);
    double lat, lon, h;
    xyzToGeod(p2, lat, lon, h);
    double lonDeg = lon * kDegPerRad;
    if (lonDeg > 180) lonDeg -= 360;
    const PosPoint pos2 = roundForPos(lat * kDegPerRad, lonDeg, h);
    const PosPoint* pts[2] = {&geo.pos1, &pos2};
    for (int i = 0; i < 2; ++i) {
        const Receiver& r = sc.rx[i];
        if (r.posOmit) continue;
        posPair(out, r.id, i + 1, fmt("VARNO-SIM POINT %d", i + 1), *pts[i], r.posBlank);
    }
    apriori = pos2.xyz;
    aprioriUsable = !sc.rx[1].posOmit && sc.rx[1].posBlank == "none";
    return out;
}

std::vector<std::string> offFile(const Scenario& sc) {
    std::vector<std::string> out;
    for (auto& r : sc.rx)
        out.push_back(padTo(r.id, 4) + fmt("%10.4f%10.4f%10.4f%10.4f", r.antUp, r.auxOffset, r.antNorth, r.antEast));
    return out;
}

std::vector<std::string> truthFile(const Scenario& sc, const std::vector<Sat>& sats, const Geometry& geo,
                                   Vec3 apriori, bool aprioriUsable, const int epochs[2]) {
    std::vector<std::string> out;
    auto xyz = [](Vec3 p) { return f4(p.x) + " " + f4(p.y) + " " + f4(p.z); };
    out.push_back("# varno-sim truth: key = value; earth-centred WGS 84 coordinates in metres");
    out.push_back("# point1 is the marker exactly as the program derives it from pos; point2 is the true marker");
    out.push_back(fmt("seed = %llu", static_cast<unsigned long long>(sc.seed)));
    out.push_back("id1 = " + sc.rx[0].id);
    out.push_back("id2 = " + sc.rx[1].id);
    out.push_back("point1 = " + xyz(geo.marker[0]));
    out.push_back("point2 = " + xyz(geo.marker[1]));
    out.push_back("point1_l1 = " + xyz(geo.l1[0]));
    out.push_back("point2_l1 = " + xyz(geo.l1[1]));
    out.push_back("point2_apriori = " + (aprioriUsable ? xyz(apriori) : std::string("none")));
    out.push_back("baseline = " + f4(norm(geo.marker[1] - geo.marker[0])));
    out.push_back(fmt("point1_geodetic = %.9f %.9f %.4f", geo.pos1.latDeg,
                      geo.pos1.lonDeg > 180 ? geo.pos1.lonDeg - 360 : geo.pos1.lonDeg,
                      static_cast<double>(geo.pos1.heightMm) / 1000.0));
    out.push_back(fmt("point2_geodetic = %.9f %.9f %.4f", geo.lat2Deg, geo.lon2Deg, geo.h2));
    for (int i = 0; i < 2; ++i)
        out.push_back(fmt("clock%d = %.12g %.12g", i + 1, sc.rx[i].tagOffset + sc.rx[i].clockBias,
                          sc.rx[i].clockDrift));
    out.push_back(fmt("start = %04d-%02d-%02dT%02d:%02d:%09.6f", sc.year, sc.month, sc.day, sc.hour, sc.minute,
                      sc.second));
    out.push_back(fmt("duration = %.3f", sc.duration));
    out.push_back(fmt("interval1 = %.3f", sc.rx[0].interval));
    out.push_back(fmt("interval2 = %.3f", sc.rx[1].interval));
    out.push_back(fmt("epochs1 = %d", epochs[0]));
    out.push_back(fmt("epochs2 = %d", epochs[1]));
    // GPS satellites under `satellites`, those of each other simulated system under satellites_X.
    for (char sys : std::string("GRECJ")) {
        std::string prns;
        for (auto& s : sats) {
            if (s.sys != sys) continue;
            if (!prns.empty()) prns += ' ';
            prns += std::to_string(s.prn);
        }
        if (sys == 'G') out.push_back("satellites = " + prns);
        else if (!prns.empty()) out.push_back(fmt("satellites_%c = ", sys) + prns);
    }
    if (moving(sc)) {
        out.push_back("# point 2 moves: point2 is its marker at the start; its track is in truth-track.csv");
        out.push_back("trajectory = " + sc.trajectory);
        out.push_back("track = truth-track.csv");
    }
    return out;
}

}  // namespace sim
