// varno-sim: the option table (every scenario and receiver option, its default and its help text) and
// the value parsers it uses.

#include "options.h"

namespace sim {

// ---------------------------------------------------------------- option parsing helpers
std::string trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return "";
    size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}

std::vector<std::string> splitList(const std::string& v) {
    std::vector<std::string> out;
    std::string t = trim(v);
    if (t.empty() || t == "none") return out;
    std::string cur;
    for (char ch : t) {
        if (ch == ',' || ch == ' ') {
            if (!cur.empty()) out.push_back(cur);
            cur.clear();
        } else {
            cur += ch;
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

double toDouble(const std::string& key, const std::string& v) {
    std::string t = trim(v);
    char* end = nullptr;
    errno = 0;
    double d = std::strtod(t.c_str(), &end);
    if (t.empty() || *end != '\0' || errno != 0 || !std::isfinite(d))
        throw Error("option " + key + ": not a number: '" + v + "'");
    return d;
}

long long toInt(const std::string& key, const std::string& v) {
    std::string t = trim(v);
    char* end = nullptr;
    errno = 0;
    long long i = std::strtoll(t.c_str(), &end, 10);
    if (t.empty() || *end != '\0' || errno != 0) throw Error("option " + key + ": not an integer: '" + v + "'");
    return i;
}

bool toBool(const std::string& key, const std::string& v) {
    std::string t = trim(v);
    if (t == "1" || t == "yes" || t == "true" || t == "on") return true;
    if (t == "0" || t == "no" || t == "false" || t == "off") return false;
    throw Error("option " + key + ": expected 0 or 1: '" + v + "'");
}

std::vector<double> toDoubles(const std::string& key, const std::string& v) {
    std::vector<double> out;
    for (auto& s : splitList(v)) out.push_back(toDouble(key, s));
    return out;
}

std::vector<int> toPrns(const std::string& key, const std::string& v, int lo, int hi) {
    std::vector<int> out;
    for (auto& s : splitList(v)) {
        std::string t = s;
        if (!t.empty() && (t[0] == 'G' || t[0] == 'g' || t[0] == 'R' || t[0] == 'r')) t = t.substr(1);
        long long p = toInt(key, t);
        if (p < lo || p > hi) throw Error("option " + key + ": satellite number out of range: " + s);
        out.push_back(static_cast<int>(p));
    }
    return out;
}

Vec3 toVec3(const std::string& key, const std::string& v) {
    auto d = toDoubles(key, v);
    if (d.size() != 3) throw Error("option " + key + ": expected three numbers a,b,c: '" + v + "'");
    return {d[0], d[1], d[2]};
}

namespace {

std::vector<Option> basicOptions() {
    return {
        // ---- scenario
        {"seed", false, "1", nullptr, "seed of all random draws (noise, outliers, blank/zero values, ambiguities)",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             s.seed = static_cast<uint64_t>(toInt(k, v));
         }},
        {"start", false, "2006-08-26T10:00:00", nullptr,
         "first nominal epoch, GPS time, YYYY-MM-DDThh:mm:ss (no leap seconds)",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             int y, mo, d, h, mi;
             double sec;
             char sep;
             if (std::sscanf(trim(v).c_str(), "%d-%d-%d%c%d:%d:%lf", &y, &mo, &d, &sep, &h, &mi, &sec) != 7 ||
                 (sep != 'T' && sep != ' ') || y < 1980 || y > 2079 || mo < 1 || mo > 12 || d < 1 || d > 31 ||
                 h < 0 || h > 23 || mi < 0 || mi > 59 || sec < 0 || sec >= 60)
                 throw Error("option " + k + ": expected YYYY-MM-DDThh:mm:ss (1980-2079): '" + v + "'");
             s.year = y, s.month = mo, s.day = d, s.hour = h, s.minute = mi, s.second = sec;
         }},
        {"duration", false, "7200", nullptr, "length of the data span in seconds (last nominal epoch = start + duration)",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             s.duration = toDouble(k, v);
             if (s.duration < 0) throw Error("option duration: must be >= 0");
         }},
        {"lat1", false, "38.9215037", nullptr, "geodetic latitude of point 1, degrees (north positive)",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             s.lat1 = toDouble(k, v);
             if (std::fabs(s.lat1) > 89.9) throw Error("option lat1: out of range");
         }},
        {"lon1", false, "-77.0661248", nullptr,
         "longitude of point 1, degrees (east positive; negative values are written as west, col 69 'W')",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             s.lon1 = toDouble(k, v);
             if (s.lon1 <= -180 || s.lon1 >= 360) throw Error("option lon1: out of range");
             if (s.lon1 >= 180) s.lon1 -= 360;
         }},
        {"height1", false, "52.318", nullptr, "ellipsoidal height of point 1, metres (-999.999 to 9999.999)",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) { s.h1 = toDouble(k, v); }},
        {"baseline", false, "2000", nullptr,
         "distance between the two markers, metres (0 or more than |dheight|; up to 1000 km and beyond)",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             s.baseline = toDouble(k, v);
             if (s.baseline < 0 || s.baseline > 5.0e6) throw Error("option baseline: out of range (0 to 5000 km)");
         }},
        {"azimuth", false, "57", nullptr, "direction from point 1 to point 2, degrees clockwise from north",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) { s.azimuth = toDouble(k, v); }},
        {"dheight", false, "8.75", nullptr, "ellipsoidal height of point 2 minus that of point 1, metres",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) { s.dheight = toDouble(k, v); }},
        {"apriori-error", false, "0.8,-1.2,1.5", nullptr,
         "error of point 2's a priori marker position written in pos: north,east,up metres",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             Vec3 e = toVec3(k, v);
             s.apN = e.x, s.apE = e.y, s.apU = e.z;
         }},
        {"mask", true, "10", "10", "elevation mask, degrees (at this receiver's phase centre)",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.mask = toDouble(k, v); }},
        {"max-sats", false, "12", nullptr,
         "most satellites per epoch, 1..99 (the highest are kept; other systems' entries count too; above 12 the "
         "list continues on continuation lines)",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             long long n = toInt(k, v);
             if (n < 1 || n > 99) throw Error("option max-sats: must be 1..99");
             s.maxSats = static_cast<int>(n);
         }},
        {"tropo", false, "0", nullptr,
         "zenith delay in metres of an elevation-dependent delay added to every GPS pseudorange of both receivers",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) { s.tropo = toDouble(k, v); }},
        {"planes", false, "5,6,5,5,5,5", nullptr,
         "satellites per orbital plane (planes 60 deg apart, a = 26559.7 km, i = 55 deg; at most 32 in all)",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             s.planes.clear();
             int total = 0;
             for (auto& x : splitList(v)) {
                 long long n = toInt(k, x);
                 if (n < 1 || n > 12) throw Error("option planes: 1..12 satellites per plane");
                 s.planes.push_back(static_cast<int>(n));
                 total += static_cast<int>(n);
             }
             if (s.planes.empty() || total > 32) throw Error("option planes: 1 to 32 satellites in all");
         }},
        {"orbit-interval", false, "900", nullptr, "orbit (SP3) epoch spacing, whole seconds",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             s.orbitInterval = static_cast<double>(toInt(k, v));
             if (s.orbitInterval < 1) throw Error("option orbit-interval: must be >= 1");
         }},
        {"orbit-margin", false, "1800", nullptr,
         "orbit coverage before the first and after the last observation, seconds (then widened to the grid)",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) { s.orbitMargin = toDouble(k, v); }},
        {"orbit-omit", false, "none", nullptr,
         "PRNs left out of the orbit file (header list and records), e.g. 7,19",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) { s.orbitOmit = toPrns(k, v, 1, 99); }},
        {"orbit-version", false, "a", nullptr, "SP3 version of the orbit: a (numeric ids), c or d (ids G01, ...)",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             const std::string t = trim(v);
             if (t != "a" && t != "c" && t != "d") throw Error("option " + k + ": a, c or d");
             s.orbitVersion = t[0];
         }},
        {"orbit-others", false, "0", nullptr,
         "satellites of other systems (R, E, C ids in turn) mixed into the orbit; version c (85 in all) or d",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             s.orbitOthers = toInt(k, v);
             if (s.orbitOthers < 0 || s.orbitOthers > 900) throw Error("option " + k + ": 0 to 900");
         }},
        {"orbit-zero", false, "none", nullptr, "PRNs written at position 0,0,0 at the orbit epoch nearest mid-data",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) { s.orbitZero = toPrns(k, v, 1, 99); }},
        {"orbit-bad-clock", false, "none", nullptr,
         "PRNs written with the unknown clock 999999.999999 at the orbit epoch nearest mid-data",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             s.orbitBadClock = toPrns(k, v, 1, 99);
         }},
        {"orbit-daily", false, "no", nullptr,
         "also write the orbit cut into one file per day, orbit-YYYYMMDD.sp3 (00:00 to the day's last epoch)",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) { s.orbitDaily = toBool(k, v); }},
        {"orbit-packing", false, "plain", nullptr, "orbit file packing: plain, gzip, compress, bzip2 or xz",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             s.orbitPacking = trim(v);
             if (!knownPacking(s.orbitPacking, false)) throw Error("option " + k + ": not an orbit packing");
         }},
        {"crlf", false, "none", nullptr,
         "files written with CRLF line ends: none, all, or a list of point1.rnx,point2.rnx,orbit.sp3,pos,off",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             s.crlf.clear();
             for (auto& f : splitList(v)) {
                 if (f == "all") {
                     s.crlf = {"point1.rnx", "point2.rnx", "orbit.sp3", "pos", "off"};
                 } else if (f == "point1.rnx" || f == "point2.rnx" || f == "orbit.sp3" || f == "pos" || f == "off") {
                     s.crlf.insert(f);
                 } else {
                     throw Error("option " + k + ": unknown file '" + f + "'");
                 }
             }
         }},
        {"off", false, "auto", nullptr,
         "write the antenna offset file: auto (when an antenna offset is non-zero), yes, no",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             std::string t = trim(v);
             if (t == "1") t = "yes";
             if (t == "0") t = "no";
             if (t != "auto" && t != "yes" && t != "no") throw Error("option " + k + ": auto, yes or no");
             s.off = t;
         }},
        {"pos-extra", false, "0", nullptr, "1: pos starts with the record pair of another station (XTRA)",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) { s.posExtra = toBool(k, v); }},
        // ---- per receiver
        {"id", true, "PT01", "PT02", "station id (MARKER NAME, pos, off), 1 to 4 characters",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) {
             std::string t = trim(v);
             if (t.empty() || t.size() > 4) throw Error("option " + k + ": 1 to 4 characters");
             r.id = t;
         }},
        {"interval", true, "30", "30", "sampling interval, seconds (e.g. 1 or 30)",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) {
             r.interval = toDouble(k, v);
             if (r.interval < 0.01) throw Error("option " + k + ": must be >= 0.01");
         }},
        {"tag-offset", true, "0", "0",
         "receiver clock offset in seconds that also shifts the written time tags (0.25 gives epochs at x.25)",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.tagOffset = toDouble(k, v); }},
        {"clock-bias", true, "3.2e-7", "-4.7e-4",
         "receiver clock offset at the start, seconds (tags stay on the grid; only the pseudoranges carry it)",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.clockBias = toDouble(k, v); }},
        {"clock-drift", true, "1.5e-10", "-2.0e-9", "receiver clock drift, seconds per second",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.clockDrift = toDouble(k, v); }},
        {"clock-jump", true, "none", "none",
         "receiver clock jump TIME:SIZE (seconds after start : seconds), e.g. 3600:0.001",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) {
             std::string t = trim(v);
             r.hasJump = false;
             if (t == "none" || t.empty()) return;
             size_t c = t.find(':');
             if (c == std::string::npos) throw Error("option " + k + ": expected TIME:SIZE");
             r.jumpTime = toDouble(k, t.substr(0, c));
             r.jumpSize = toDouble(k, t.substr(c + 1));
             r.hasJump = true;
         }},
        {"start-delay", true, "0", "0", "this receiver starts so many seconds after start (a multiple of interval)",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.startDelay = toDouble(k, v); }},
        {"stop-early", true, "0", "0", "this receiver stops so many seconds before start + duration",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.stopEarly = toDouble(k, v); }},
        {"types", true, "L1,L2,P1,C1,P2", "C1,L1,L2,P2",
         "observation types in header order, 1..99 of L1 L2 C1 P1 P2 C2 D1 D2 S1 S2, L5 C5 D5 S5 and the Ln Cn Dn Sn of "
         "bands 6 7 8 (blank for GPS); nine a type line, five a record line",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) {
             static const std::set<std::string> known = {"L1", "L2", "C1", "P1", "P2", "C2", "D1", "D2", "S1", "S2",
                                                         "L5", "C5", "D5", "S5", "L6", "C6", "D6", "S6", "L7", "C7",
                                                         "D7", "S7", "L8", "C8", "D8", "S8"};
             r.types = splitList(v);
             if (r.types.empty() || r.types.size() > 99) throw Error("option " + k + ": 1 to 99 types");
             for (auto& t : r.types)
                 if (!known.count(t)) throw Error("option " + k + ": unknown type '" + t + "'");
         }},
        {"noise-elevation", true, "0", "0",
         "code noise growing towards the horizon: the standard deviation becomes sqrt(noise^2 + (this / sin e)^2), "
         "metres",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) {
             r.noiseElevation = toDouble(k, v);
         }},
        {"zenith-delay", true, "0", "0",
         "this receiver's own troposphere: zenith delay in metres, or 'auto' for 2.3 exp(-h/8400) + 0.15 exp(-h/2000) "
         "at its ellipsoidal height h, mapped to the elevation and added to its GPS pseudoranges (besides tropo)",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) {
             r.zenithAuto = v == "auto";
             r.zenithDelay = r.zenithAuto ? 0.0 : toDouble(k, v);
         }},
        {"noise", true, "0.5", "0.5", "standard deviation of the code noise, metres (C1, P1, P2, C2 independently)",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.noise = toDouble(k, v); }},
        {"phase-noise", true, "0.002", "0.002", "standard deviation of the phase noise, metres",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.phaseNoise = toDouble(k, v); }},
        {"outlier-rate", true, "0", "0", "probability that a satellite record's code values carry an outlier",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.outlierRate = toDouble(k, v); }},
        {"outlier-size", true, "50", "50", "outlier size: random sign, magnitude uniform in [size, 2 size] metres",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.outlierSize = toDouble(k, v); }},
        {"gaps", true, "none", "none",
         "data gaps FROM-TO (seconds after start, inclusive), list, e.g. 600-900,3000-3060",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) {
             r.gaps.clear();
             for (auto& g : splitList(v)) {
                 size_t c = g.find('-', 1);
                 if (c == std::string::npos) c = g.find(':');
                 if (c == std::string::npos) throw Error("option " + k + ": expected FROM-TO");
                 r.gaps.emplace_back(toDouble(k, g.substr(0, c)), toDouble(k, g.substr(c + 1)));
             }
         }},
        {"events", true, "none", "none",
         "event-flag-4 records (with comment lines) before the first epoch at or after these times (s after start)",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.events = toDoubles(k, v); }},
        {"event-lines", true, "2", "2", "comment lines in each event-flag-4 record (1..9)",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) {
             long long n = toInt(k, v);
             if (n < 1 || n > 9) throw Error("option " + k + ": 1..9");
             r.eventLines = static_cast<int>(n);
         }},
        {"power-fail", true, "none", "none",
         "epochs written with event flag 1 (power failure; data as usual): the first epoch at or after each time",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.flag1 = toDoubles(k, v); }},
        {"blank-p1", true, "0", "0", "probability that a record's P1 field is blank while C1 is present",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.blankP1 = toDouble(k, v); }},
        {"zero-p1", true, "0", "0", "probability that a record's P1 value is written as 0.000 (C1 present)",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.zeroP1 = toDouble(k, v); }},
        {"zero-code", true, "0", "0",
         "probability that all code values (C1 P1 P2 C2) of a record are written as 0.000",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.zeroCode = toDouble(k, v); }},
        {"drop-sats", true, "none", "none", "PRNs this receiver never records (a satellite seen by one receiver only)",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.dropSats = toPrns(k, v, 1, 99); }},
        {"glonass", true, "none", "none",
         "GLONASS slots added to every epoch line as Rnn (with plausible values), e.g. 5 gives R05",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.glonass = toPrns(k, v, 1, 99); }},
        {"galileo", true, "none", "none", "Galileo satellites added to every epoch line as Enn, after the GLONASS ones",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.galileo = toPrns(k, v, 1, 99); }},
        {"sbas", true, "none", "none", "SBAS satellites added to every epoch line as Snn (e.g. 20 for PRN 120)",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.sbas = toPrns(k, v, 1, 99); }},
        {"interleave", true, "0", "0",
         "1: satellites listed by number across systems (G05 R05 E05 G06 ...), not GPS first",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.interleave = toBool(k, v); }},
        {"nan-rate", true, "0", "0", "probability that a GPS observation value is written as the text nan",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.nanRate = toDouble(k, v); }},
        {"end-blanks", true, "0", "0", "blank lines written after the last record of the file",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) {
             const long long n = toInt(k, v);
             if (n < 0 || n > 1000) throw Error("option " + k + ": 0 to 1000 lines");
             r.trailingBlanks = static_cast<int>(n);
         }},
        {"approx-error", true, "3.1,-2.4,4.2", "-5.3,1.7,-2.9",
         "APPROX POSITION XYZ minus true marker, X,Y,Z metres",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.approxError = toVec3(k, v); }},
        {"antenna", true, "1.421,0,0", "1.6305,0.0012,-0.0008",
         "marker to L1 phase centre: up,north,east metres (listed in off; also in ANTENNA: DELTA H/E/N)",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) {
             Vec3 a = toVec3(k, v);
             r.antUp = a.x, r.antNorth = a.y, r.antEast = a.z;
         }},
        {"aux-offset", true, "0", "0", "value of the off file's second field (auxOffset, unused by the program)",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.auxOffset = toDouble(k, v); }},
        {"pos-omit", true, "0", "0", "1: leave this station out of pos",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.posOmit = toBool(k, v); }},
        {"pos-blank", true, "none", "none", "blank fields in this station's pos pair: none, lat, lon, height, all",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) {
             std::string t = trim(v);
             if (t != "none" && t != "lat" && t != "lon" && t != "height" && t != "all")
                 throw Error("option " + k + ": none, lat, lon, height or all");
             r.posBlank = t;
         }},
        {"clock-field", true, "1", "1", "1: write the receiver clock offset in columns 69-80 of each epoch line",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) { r.clockField = toBool(k, v); }},
        {"format", true, "rinex2", "rinex2",
         "observation file format: rinex2 (2.11), rinex3 (3.04) or rinex4 (4.00), the same observations in each",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) {
             r.format = trim(v);
             if (r.format != "rinex2" && r.format != "rinex3" && r.format != "rinex4")
                 throw Error("option " + k + ": rinex2, rinex3 or rinex4");
         }},
        {"packing", true, "plain", "plain",
         "observation file packing: plain, gzip, compress, bzip2, xz, compact, compact+gzip or compact+compress",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) {
             r.packing = trim(v);
             if (!knownPacking(r.packing, true)) throw Error("option " + k + ": not a packing (see --help)");
         }},
    };
}

}  // namespace

const std::vector<Option>& options() {
    static const std::vector<Option> table = [] {
        std::vector<Option> all = basicOptions();
        for (Option& o : modelOptions()) all.push_back(std::move(o));
        return all;
    }();
    return table;
}

}  // namespace sim
