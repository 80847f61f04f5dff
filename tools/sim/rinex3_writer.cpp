// varno-sim: the RINEX 3.04 (or 4.00) observation file of one receiver, with the same observations as its
// RINEX 2.11 twin: each RINEX 2 type is written under its RINEX 3 code, in the same order, for every system.

#include "sim.h"

namespace sim {

namespace {

// The RINEX 3 code of a RINEX 2 type for a system: GPS P code on the W tracking, GLONASS P code on P, the
// remaining bands under the attribute X.
std::string rinex3Code(char system, const std::string& type) {
    static const std::vector<std::pair<std::string, std::string>> gps = {
        {"L1", "L1C"}, {"C1", "C1C"}, {"P1", "C1W"}, {"D1", "D1C"}, {"S1", "S1C"},
        {"L2", "L2W"}, {"P2", "C2W"}, {"C2", "C2L"}, {"D2", "D2W"}, {"S2", "S2W"}};
    static const std::vector<std::pair<std::string, std::string>> glonass = {
        {"L1", "L1C"}, {"C1", "C1C"}, {"P1", "C1P"}, {"D1", "D1C"}, {"S1", "S1C"},
        {"L2", "L2P"}, {"P2", "C2P"}, {"C2", "C2C"}, {"D2", "D2P"}, {"S2", "S2P"}};
    // Simulated Galileo and QZSS: C/A-like code on C, the other band-1 code on X (Galileo's band-2 types, left
    // blank, under E5b); BeiDou: B1I on band 2 (I), the other band-1 code B1C pilot (P), band-2 types (blank)
    // under B2I.
    static const std::vector<std::pair<std::string, std::string>> qzss = {{"P1", "C1X"}};
    static const std::vector<std::pair<std::string, std::string>> galileo = {
        {"P1", "C1X"}, {"L2", "L7Q"}, {"P2", "C7Q"}, {"C2", "C7X"}, {"D2", "D7Q"}, {"S2", "S7Q"}};
    static const std::vector<std::pair<std::string, std::string>> beidou = {
        {"L1", "L2I"}, {"C1", "C2I"}, {"P1", "C1P"}, {"D1", "D2I"}, {"S1", "S2I"},
        {"L2", "L7I"}, {"P2", "C7I"}, {"C2", "C7Q"}, {"D2", "D7I"}, {"S2", "S7I"}};
    if (system == 'E' || system == 'J' || system == 'C')
        for (const auto& [from, to] : system == 'C' ? beidou : system == 'E' ? galileo : qzss)
            if (from == type) return to;
    for (const auto& [from, to] : system == 'R' ? glonass : gps)
        if (from == type) return to;
    return type + "X";
}

std::string epochLine(const Geometry& geo, int64_t tagUnits, int flag, int count) {
    const Civil c = civilOfUnits(geo.mjd0, tagUnits);
    return fmt("> %04d %02d %02d %02d %02d%3lld.%07lld  %1d%3d", c.year, c.month, c.day, c.hour, c.minute,
               static_cast<long long>(c.secUnits / kUnitsPerSec), static_cast<long long>(c.secUnits % kUnitsPerSec),
               flag, count);
}

// A satellite's record on one line: its id, then one 16-column field (F14.3, blank loss-of-lock digit, I1
// strength) per type.
std::string recordLine(const ObsRecord& rec) {
    std::string line = fmt("%c%02d", rec.system, rec.prn);
    for (const ObsValue& v : rec.values) {
        if (v.blank) {
            line += std::string(16, ' ');
        } else if (v.nan) {
            line += fmt("%14s  ", "nan");
        } else {
            line += fmt("%14.3f %1d", v.value, v.ss);
        }
    }
    return rtrim(line);
}

// SYS / # / OBS TYPES of one system: thirteen codes a line, the count on the first one only.
void pushTypes(std::vector<std::string>& out, char system, const std::vector<std::string>& types) {
    std::string line = fmt("%c  %3d", system, static_cast<int>(types.size()));
    for (size_t k = 0; k < types.size(); ++k) {
        if (k > 0 && k % 13 == 0) {
            out.push_back(headerLine(line, "SYS / # / OBS TYPES"));
            line = std::string(6, ' ');
        }
        line += " " + rinex3Code(system, types[k]);
    }
    out.push_back(headerLine(line, "SYS / # / OBS TYPES"));
}

std::vector<std::string> header(const Scenario& sc, const Geometry& geo, int i, const ObsStream& obs,
                                double version) {
    const Receiver& r = sc.rx[i];
    // The simulated systems, and those of added entries, in the order G R E C J S.
    std::string systems;
    for (char c : std::string("GRECJS"))
        if (simulated(sc, c) || (c == 'R' && !r.glonass.empty()) || (c == 'E' && !r.galileo.empty()) ||
            (c == 'S' && !r.sbas.empty()))
            systems += c;
    std::vector<std::string> out;
    out.push_back(headerLine(fmt("%9.2f%11s%-20s%-20s", version, "", "OBSERVATION DATA",
                                 systems.size() > 1 ? "M" : systems.c_str()),
                             "RINEX VERSION / TYPE"));
    out.push_back(headerLine(fmt("%-20s%-20s%04d%02d%02d %02d%02d%02d GPS", "varno-sim", "varno", sc.year,
                                 sc.month, sc.day, sc.hour, sc.minute, static_cast<int>(sc.second)),
                             "PGM / RUN BY / DATE"));
    out.push_back(headerLine(fmt("SIMULATED DATA, SEED %llu", static_cast<unsigned long long>(sc.seed)),
                             "COMMENT"));
    out.push_back(headerLine(r.id, "MARKER NAME"));
    out.push_back(headerLine(r.id, "MARKER NUMBER"));
    out.push_back(headerLine("GEODETIC", "MARKER TYPE"));
    out.push_back(headerLine(fmt("%-20s%-40s", "SIMULATOR", "VARNO PROJECT"), "OBSERVER / AGENCY"));
    out.push_back(headerLine(fmt("%-20s%-20s%-20s", fmt("SIM%d", i + 1).c_str(), "VARNO-SIM RECEIVER", "1.0"),
                             "REC # / TYPE / VERS"));
    out.push_back(headerLine(fmt("%-20s%-20s", fmt("SIM%d", i + 1).c_str(), "VARNO-SIM ANTENNA"), "ANT # / TYPE"));
    const Vec3 ap = geo.marker[i] + r.approxError;
    out.push_back(headerLine(fmt("%14.4f%14.4f%14.4f", ap.x, ap.y, ap.z), "APPROX POSITION XYZ"));
    out.push_back(headerLine(fmt("%14.4f%14.4f%14.4f", r.antUp, r.antEast, r.antNorth), "ANTENNA: DELTA H/E/N"));
    for (char system : systems) pushTypes(out, system, r.types);
    out.push_back(headerLine(fmt("%10.3f", r.interval), "INTERVAL"));
    if (obs.firstTag >= 0) {
        const Civil c = civilOfUnits(geo.mjd0, obs.firstTag);
        out.push_back(headerLine(fmt("%6d%6d%6d%6d%6d%5lld.%07lld     GPS", c.year, c.month, c.day, c.hour,
                                     c.minute, static_cast<long long>(c.secUnits / kUnitsPerSec),
                                     static_cast<long long>(c.secUnits % kUnitsPerSec)),
                                 "TIME OF FIRST OBS"));
    }
    // No phase shifts applied; GLONASS code biases are not simulated.
    for (char system : systems) out.push_back(headerLine(std::string(1, system), "SYS / PHASE SHIFT"));
    // Added GLONASS entries on channel 0; simulated satellites on their own channels.
    std::vector<std::pair<int, int>> channels(obs.channels.begin(), obs.channels.end());
    for (int slot : r.glonass) channels.emplace_back(slot, 0);
    if (!channels.empty()) {
        std::string slots = fmt("%3d", static_cast<int>(channels.size()));
        for (size_t k = 0; k < channels.size(); ++k) {
            if (k > 0 && k % 8 == 0) {
                out.push_back(headerLine(slots, "GLONASS SLOT / FRQ #"));
                slots = "   ";
            }
            slots += fmt(" R%02d %2d", channels[k].first, channels[k].second);
        }
        out.push_back(headerLine(slots, "GLONASS SLOT / FRQ #"));
        out.push_back(headerLine(" C1C    0.000 C1P    0.000 C2C    0.000 C2P    0.000", "GLONASS COD/PHS/BIS"));
    }
    out.push_back(headerLine("", "END OF HEADER"));
    return out;
}

}  // namespace

std::vector<std::string> rinex3File(const Scenario& sc, const Geometry& geo, int i, const ObsStream& obs,
                                    double version) {
    const Receiver& r = sc.rx[i];
    std::vector<std::string> out = header(sc, geo, i, obs, version);
    for (const ObsEpoch& e : obs.epochs) {
        if (e.flag > 1) {
            out.push_back(epochLine(geo, e.tagUnits, e.flag, static_cast<int>(e.comments.size())));
            for (auto& text : e.comments) out.push_back(headerLine(text, "COMMENT"));
            continue;
        }
        std::string line = epochLine(geo, e.tagUnits, e.flag, static_cast<int>(e.records.size()));
        if (r.clockField) line += fmt("      %15.12f", e.clock);
        out.push_back(line);
        for (auto& rec : e.records) out.push_back(recordLine(rec));
    }
    for (int k = 0; k < r.trailingBlanks; ++k) out.push_back("");
    return out;
}

}  // namespace sim
