// Files for other programs: varno's position records, GNU Gama local XML, STAR*NET G records.
#include <cmath>
#include <cstdio>
#include <string>

#include "campaign/campaign.h"

namespace varno::campaign {

namespace {

constexpr long long kSecondUnits = 100000;  // the seconds of a position record carry 5 implied decimals
constexpr double kMillimetresPerMetre = 1000;

// |angle| as degrees, minutes and seconds in degreeDigits + 2 + 7 digits.
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

// Columns 46-52: 4 written decimals where that fits, else millimetres without a point.
std::string heightField(double height) {
    char text[64];
    std::snprintf(text, sizeof text, "%7.4f", height);
    if (std::string(text).size() == 7) return text;
    std::snprintf(text, sizeof text, "%7lld", std::llround(height * kMillimetresPerMetre));
    return std::string(text).size() == 7 ? std::string(text) : std::string();
}

std::string format(const char* pattern, double a, double b, double c) {
    char text[160];
    std::snprintf(text, sizeof text, pattern, a, b, c);
    return text;
}

std::string xmlEscaped(const std::string& text) {
    std::string out;
    for (char ch : text) {
        if (ch == '&') out += "&amp;";
        else if (ch == '<') out += "&lt;";
        else if (ch == '>') out += "&gt;";
        else if (ch == '"') out += "&quot;";
        else out += ch;
    }
    return out;
}

}  // namespace

std::string posRecord(const std::string& id, double latitudeDeg, double longitudeDeg, double height) {
    const std::string heightText = heightField(height);
    if (heightText.empty() || std::fabs(latitudeDeg) > 90 || std::fabs(longitudeDeg) > 180) return "";
    char text[200];
    std::snprintf(text, sizeof text, "%-4.4s  *80*    %-30.30s%s%c%s%c\n%-4.4s  *86*%35s%s\n", id.c_str(),
                  id.c_str(), sexagesimal(latitudeDeg, 2).c_str(), latitudeDeg < 0 ? 'S' : 'N',
                  sexagesimal(longitudeDeg, 3).c_str(), longitudeDeg < 0 ? 'W' : 'E', id.c_str(), "",
                  heightText.c_str());
    return text;
}

std::string posRecords(const std::vector<AdjustedStation>& stations) {
    std::string out;
    for (const AdjustedStation& s : stations) out += posRecord(s.id, s.latitude, s.longitude, s.height);
    return out;
}

std::string gamaXml(const Report& r) {
    const Adjustment& adjusted = r.network.minimal;
    std::string out = "<?xml version=\"1.0\" ?>\n<gama-local xmlns=\"http://www.gnu.org/software/gama/gama-local\">\n"
                      "<network axes-xy=\"ne\">\n<description>" +
                      xmlEscaped(r.campaign->name) +
                      ": code baselines, earth-centred X, Y, Z as x, y, z; covariances in mm2</description>\n"
                      "<parameters sigma-act=\"apriori\" />\n<points-observations>\n";
    for (const AdjustedStation& s : adjusted.stations) {
        out += "<point id=\"" + xmlEscaped(s.id) + "\"" + format(" x=\"%.4f\" y=\"%.4f\" z=\"%.4f\"", s.xyz[0], s.xyz[1], s.xyz[2]);
        out += s.held ? " fix=\"xyz\" />\n" : " adj=\"xyz\" />\n";
    }
    for (const Baseline& b : r.baselines) {
        const auto& c = b.covariance;
        const double mm2 = kMillimetresPerMetre * kMillimetresPerMetre;
        char rows[256];
        std::snprintf(rows, sizeof rows, "%.6f %.6f %.6f\n%.6f %.6f\n%.6f\n", c[0][0] * mm2, c[0][1] * mm2,
                      c[0][2] * mm2, c[1][1] * mm2, c[1][2] * mm2, c[2][2] * mm2);
        out += "<vectors>\n<vec from=\"" + xmlEscaped(b.from) + "\" to=\"" + xmlEscaped(b.to) + "\"" +
               format(" dx=\"%.4f\" dy=\"%.4f\" dz=\"%.4f\" />\n", b.vector[0], b.vector[1], b.vector[2]) +
               "<cov-mat dim=\"3\" band=\"2\">\n" + rows;
        out += "</cov-mat>\n</vectors>\n";
    }
    return out + "</points-observations>\n</network>\n</gama-local>\n";
}

std::string starnetRecords(const Report& r) {
    std::string out = ".GPS WEIGHT COVARIANCE\n";
    for (const AdjustedStation& s : r.network.minimal.stations)
        if (s.control) {
            const auto control = r.campaign->controls.at(s.id);
            out += "C " + s.id + format(" %.4f %.4f %.4f", control.xyz[0], control.xyz[1], control.xyz[2]) +
                   format(" %.4f %.4f %.4f\n", control.sigma[0], control.sigma[1], control.sigma[2]);
        }
    for (const Baseline& b : r.baselines) {
        const auto& c = b.covariance;
        out += "G0 '" + b.job + "\n";
        out += "G1 " + b.from + "-" + b.to + format(" %.4f %.4f %.4f\n", b.vector[0], b.vector[1], b.vector[2]);
        out += "G2" + format(" %.6e %.6e %.6e\n", c[0][0], c[1][1], c[2][2]);
        out += "G3" + format(" %.6e %.6e %.6e\n", c[0][1], c[0][2], c[1][2]);
    }
    return out;
}

}  // namespace varno::campaign
