// varno-sim: the RINEX 2.11 observation file of one receiver, formatted from its observation stream.

#include "sim.h"

namespace sim {

namespace {

std::string epochLine(const Geometry& geo, int64_t tagUnits, int flag, int count) {
    const Civil c = civilOfUnits(geo.mjd0, tagUnits);
    return fmt(" %02d %2d %2d %2d %2d%3lld.%07lld  %1d%3d", c.year % 100, c.month, c.day, c.hour, c.minute,
               static_cast<long long>(c.secUnits / kUnitsPerSec), static_cast<long long>(c.secUnits % kUnitsPerSec),
               flag, count);
}

// A satellite's record: five 16-column fields (F14.3, blank loss-of-lock digit, I1 strength) a line, as many
// lines as the types need.
void pushRecord(std::vector<std::string>& body, const ObsRecord& rec) {
    std::string line;
    for (size_t f = 0; f < rec.values.size(); ++f) {
        const ObsValue& v = rec.values[f];
        if (f > 0 && f % 5 == 0) {
            body.push_back(rtrim(line));
            line.clear();
        }
        if (v.blank) {
            line += std::string(16, ' ');
        } else if (v.nan) {
            line += fmt("%14s  ", "nan");
        } else {
            line += fmt("%14.3f %1d", v.value, v.ss);
        }
    }
    body.push_back(rtrim(line));
}

std::vector<std::string> header(const Scenario& sc, const Geometry& geo, int i, const ObsStream& obs) {
    const Receiver& r = sc.rx[i];
    const bool mixed = !r.glonass.empty() || !r.galileo.empty() || !r.sbas.empty() || sc.systems != "G";
    std::vector<std::string> out;
    out.push_back(headerLine(fmt("%9.2f%11s%-20s%-20s", 2.11, "", "OBSERVATION DATA",
                                 mixed ? "M (MIXED)" : "G (GPS)"),
                             "RINEX VERSION / TYPE"));
    out.push_back(headerLine(fmt("%-20s%-20s%04d%02d%02d %02d%02d%02d", "varno-sim", "varno", sc.year, sc.month,
                                 sc.day, sc.hour, sc.minute, static_cast<int>(sc.second)),
                             "PGM / RUN BY / DATE"));
    out.push_back(headerLine(fmt("SIMULATED DATA, SEED %llu", static_cast<unsigned long long>(sc.seed)),
                             "COMMENT"));
    out.push_back(headerLine(r.id, "MARKER NAME"));
    out.push_back(headerLine(r.id, "MARKER NUMBER"));
    out.push_back(headerLine(fmt("%-20s%-40s", "SIMULATOR", "VARNO PROJECT"), "OBSERVER / AGENCY"));
    out.push_back(headerLine(fmt("%-20s%-20s%-20s", fmt("SIM%d", i + 1).c_str(), "VARNO-SIM RECEIVER", "1.0"),
                             "REC # / TYPE / VERS"));
    out.push_back(headerLine(fmt("%-20s%-20s", fmt("SIM%d", i + 1).c_str(), "VARNO-SIM ANTENNA"), "ANT # / TYPE"));
    const Vec3 ap = geo.marker[i] + r.approxError;
    out.push_back(headerLine(fmt("%14.4f%14.4f%14.4f", ap.x, ap.y, ap.z), "APPROX POSITION XYZ"));
    out.push_back(headerLine(fmt("%14.4f%14.4f%14.4f", r.antUp, r.antEast, r.antNorth), "ANTENNA: DELTA H/E/N"));
    out.push_back(headerLine(fmt("%6d%6d", 1, 1), "WAVELENGTH FACT L1/2"));
    // Nine types a line, the count on the first one only.
    std::string types = fmt("%6d", static_cast<int>(r.types.size()));
    for (size_t k = 0; k < r.types.size(); ++k) {
        if (k > 0 && k % 9 == 0) {
            out.push_back(headerLine(types, "# / TYPES OF OBSERV"));
            types = std::string(6, ' ');
        }
        types += "    " + r.types[k];
    }
    out.push_back(headerLine(types, "# / TYPES OF OBSERV"));
    out.push_back(headerLine(fmt("%10.3f", r.interval), "INTERVAL"));
    if (obs.firstTag >= 0) {
        const Civil c = civilOfUnits(geo.mjd0, obs.firstTag);
        out.push_back(headerLine(fmt("%6d%6d%6d%6d%6d%5lld.%07lld     GPS", c.year, c.month, c.day, c.hour,
                                     c.minute, static_cast<long long>(c.secUnits / kUnitsPerSec),
                                     static_cast<long long>(c.secUnits % kUnitsPerSec)),
                                 "TIME OF FIRST OBS"));
    }
    out.push_back(headerLine("", "END OF HEADER"));
    return out;
}

}  // namespace

std::vector<std::string> rinex2File(const Scenario& sc, const Geometry& geo, int i, const ObsStream& obs) {
    const Receiver& r = sc.rx[i];
    std::vector<std::string> out = header(sc, geo, i, obs);
    for (const ObsEpoch& e : obs.epochs) {
        if (e.flag > 1) {
            out.push_back(epochLine(geo, e.tagUnits, e.flag, static_cast<int>(e.comments.size())));
            for (auto& text : e.comments) out.push_back(headerLine(text, "COMMENT"));
            continue;
        }
        // BeiDou is not a system of RINEX 2.11: its records are left out (and an epoch of nothing else).
        std::vector<ObsRecord> records;
        for (const ObsRecord& rec : e.records)
            if (rec.system != 'C') records.push_back(rec);
        if (records.empty()) continue;
        // Twelve satellites on the epoch line (with the clock offset), the rest on continuation lines.
        std::string line = epochLine(geo, e.tagUnits, e.flag, static_cast<int>(records.size()));
        std::vector<std::string> more;
        for (size_t k = 0; k < records.size(); ++k) {
            if (k >= 12 && k % 12 == 0) more.push_back(std::string(32, ' '));
            (k < 12 ? line : more.back()) += fmt("%c%02d", records[k].system, records[k].prn);
        }
        if (r.clockField) line = padTo(line, 68) + fmt("%12.9f", e.clock);
        out.push_back(line);
        out.insert(out.end(), more.begin(), more.end());
        for (auto& rec : records) pushRecord(out, rec);
    }
    for (int k = 0; k < r.trailingBlanks; ++k) out.push_back("");
    return out;
}

}  // namespace sim
