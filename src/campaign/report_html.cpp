// The campaign report as one self-contained HTML page: the network drawn in SVG, then the tables.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "campaign/campaign.h"

namespace varno::campaign {

namespace {

constexpr double kRadiansPerDegree = 0.017453292519943295;
constexpr double kWidth = 800, kHeight = 600, kMargin = 60;
constexpr double kEllipseShare = 0.06;  // the largest ellipse, drawn, spans this share of the network's extent

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string escaped(const std::string& text) {
    std::string out;
    for (char ch : text) out += ch == '<' ? "&lt;" : ch == '>' ? "&gt;" : ch == '&' ? "&amp;" : std::string(1, ch);
    return out;
}

struct PlanePoint {
    double east = 0, north = 0;
};

// Plane coordinates of the stations: the projected ones where the system is projected, else east and north in a
// plane tangent at the first station.
std::map<std::string, PlanePoint> planeOf(const Report& r, const std::vector<AdjustedStation>& stations) {
    std::map<std::string, PlanePoint> out;
    if (r.projected && r.projected->axes[0] == "easting_m") {
        for (const auto& s : r.projected->stations) out[s.id] = {s.easting, s.northing};
        return out;
    }
    if (stations.empty()) return out;
    const double lat = stations[0].latitude * kRadiansPerDegree, lon = stations[0].longitude * kRadiansPerDegree;
    for (const auto& s : stations) {
        const double dx = s.xyz[0] - stations[0].xyz[0], dy = s.xyz[1] - stations[0].xyz[1],
                     dz = s.xyz[2] - stations[0].xyz[2];
        out[s.id] = {-std::sin(lon) * dx + std::cos(lon) * dy,
                     -std::sin(lat) * std::cos(lon) * dx - std::sin(lat) * std::sin(lon) * dy + std::cos(lat) * dz};
    }
    return out;
}

std::string row(std::initializer_list<std::string> cells, const char* tag = "td") {
    std::string out = "<tr>";
    for (const auto& cell : cells) out += std::string("<") + tag + ">" + cell + "</" + tag + ">";
    return out + "</tr>\n";
}

std::string testText(const GlobalTest& t) {
    if (t.redundancy <= 0) return "no redundancy, nothing to test";
    return fixed(t.varianceFactor, 3) + " (95 % bounds " + fixed(t.lower, 3) + " .. " + fixed(t.upper, 3) + ", " +
           std::to_string(t.redundancy) + " degrees of freedom): " + (t.passed ? "passed" : "<b>failed</b>");
}

std::string drawing(const Report& r, double& scaleOut) {
    const Adjustment& a = finalAdjustment(r);
    const auto plane = planeOf(r, a.stations);
    double minE = 1e300, maxE = -1e300, minN = 1e300, maxN = -1e300, largest = 0;
    for (const auto& [id, p] : plane) {
        minE = std::min(minE, p.east), maxE = std::max(maxE, p.east);
        minN = std::min(minN, p.north), maxN = std::max(maxN, p.north);
    }
    for (const auto& s : a.stations) largest = std::max(largest, s.ellipseMajor);
    const double extent = std::max({maxE - minE, maxN - minN, 1.0});
    const double scale = std::min((kWidth - 2 * kMargin) / extent, (kHeight - 2 * kMargin) / extent);
    double enlarge = r.campaign->ellipseScale;
    if (enlarge <= 0 && largest > 0) {
        // The largest step of 1, 2 or 5 times a power of ten that keeps the largest ellipse within its share.
        const double target = kEllipseShare * extent / largest;
        const double decade = std::pow(10.0, std::floor(std::log10(target)));
        enlarge = target >= 5 * decade ? 5 * decade : target >= 2 * decade ? 2 * decade : decade;
    }
    if (enlarge <= 0) enlarge = 1;
    scaleOut = enlarge;
    auto x = [&](double e) { return kMargin + (e - minE) * scale; };
    auto y = [&](double n) { return kHeight - kMargin - (n - minN) * scale; };
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + fixed(kWidth, 0) + "\" height=\"" +
                      fixed(kHeight, 0) + "\" viewBox=\"0 0 " + fixed(kWidth, 0) + " " + fixed(kHeight, 0) +
                      "\">\n<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
    for (const Baseline& b : r.baselines) {
        if (!plane.count(b.from) || !plane.count(b.to)) continue;
        const AdjustedBaseline* adjusted = adjustedBaseline(r, b.job);
        const std::string colour = !adjusted ? "#999999" : adjusted->flagged ? "#d62728"
                                   : adjusted->wTest > r.campaign->wCritical / 2 ? "#ff9900" : "#2ca02c";
        const PlanePoint p = plane.at(b.from), q = plane.at(b.to);
        svg += "<line x1=\"" + fixed(x(p.east), 1) + "\" y1=\"" + fixed(y(p.north), 1) + "\" x2=\"" + fixed(x(q.east), 1) +
               "\" y2=\"" + fixed(y(q.north), 1) + "\" stroke=\"" + colour + "\" stroke-width=\"3\"><title>" +
               escaped(b.job) + " w " + (adjusted ? fixed(adjusted->wTest, 2) : "-") + "</title></line>\n";
    }
    for (const auto& s : a.stations) {
        const PlanePoint p = plane.at(s.id);
        const double rx = s.ellipseMajor * enlarge * scale, ry = s.ellipseMinor * enlarge * scale;
        svg += "<ellipse cx=\"" + fixed(x(p.east), 1) + "\" cy=\"" + fixed(y(p.north), 1) + "\" rx=\"" + fixed(rx, 2) +
               "\" ry=\"" + fixed(ry, 2) + "\" transform=\"rotate(" + fixed(s.ellipseAzimuth - 90, 2) + " " +
               fixed(x(p.east), 1) + " " + fixed(y(p.north), 1) +
               ")\" fill=\"#1f77b4\" fill-opacity=\"0.25\" stroke=\"#1f77b4\"/>\n";
        if (s.control)
            svg += "<rect x=\"" + fixed(x(p.east) - 7, 1) + "\" y=\"" + fixed(y(p.north) - 7, 1) +
                   "\" width=\"14\" height=\"14\" fill=\"" + (s.held ? "#000000" : "#555555") + "\"/>\n";
        else
            svg += "<circle cx=\"" + fixed(x(p.east), 1) + "\" cy=\"" + fixed(y(p.north), 1) +
                   "\" r=\"6\" fill=\"#1f77b4\"/>\n";
        svg += "<text x=\"" + fixed(x(p.east) + 9, 1) + "\" y=\"" + fixed(y(p.north) - 9, 1) +
               "\" font-family=\"sans-serif\" font-size=\"14\">" + escaped(s.id) + "</text>\n";
    }
    return svg + "</svg>\n";
}

}  // namespace

std::string reportHtml(const Report& r) {
    const Campaign& c = *r.campaign;
    const Adjustment& a = finalAdjustment(r);
    double enlarge = 1;
    const std::string svg = drawing(r, enlarge);
    std::string h = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + escaped(c.name) +
                    "</title>\n<style>body{font-family:sans-serif;margin:2em}table{border-collapse:collapse;margin:1em 0}"
                    "td,th{border:1px solid #bbb;padding:2px 8px;text-align:right}th{background:#eee}"
                    ".bad{color:#d62728;font-weight:bold}</style></head><body>\n<h1>Campaign " +
                    escaped(c.name) + "</h1>\n";
    h += "<p>" + std::to_string(r.baselines.size()) + " baselines adjusted, " + std::to_string(r.failed.size()) +
         " jobs failed; " + escaped(c.held) + " held; baseline covariances multiplied by " + fixed(c.varianceFactor, 3) +
         "; w-test critical value " + fixed(c.wCritical, 2) + ".</p>\n";
    h += "<h2>Network</h2>\n<p>Squares: control stations (black: held); circles: new stations. Baselines green "
         "(|w| below half the critical value), orange (below it), red (flagged), grey (not tested). Error ellipses "
         "(1 sigma) enlarged " + fixed(enlarge, 0) + " times.</p>\n" + svg;
    h += "<h2>Tests</h2>\n<p>Minimally constrained, global test of the variance factor: " + testText(r.network.minimal.global) +
         "</p>\n";
    if (r.network.constrainedDone)
        h += "<p>Constrained to every control: " + testText(r.network.constrained.global) + "</p>\n<p>Fit of the controls "
             "(increase of the variance factor, one-sided): " + testText(r.network.controlFit) + "</p>\n";
    h += "<h2>Loop misclosures</h2>\n<table>\n" +
         row({"loop", "X mm", "Y mm", "Z mm", "length mm", "loop km", "ppm", "sigma mm", "ratio", "test"}, "th");
    for (const Loop& l : r.network.loops) {
        std::string path;
        for (const auto& s : l.stations) path += (path.empty() ? "" : "-") + s;
        h += row({escaped(path), fixed(l.misclosure[0] * 1000, 1), fixed(l.misclosure[1] * 1000, 1),
                  fixed(l.misclosure[2] * 1000, 1), fixed(l.misclosureMm, 1), fixed(l.lengthM / 1000, 3), fixed(l.ppm, 2),
                  fixed(l.sigmaMm, 1), fixed(l.ratio, 2), l.passed ? "passed" : "<span class=\"bad\">failed</span>"});
    }
    h += "</table>\n<h2>Baselines</h2>\n<table>\n" +
         row({"job", "from", "to", "dX m", "dY m", "dZ m", "vX mm", "vY mm", "vZ mm", "w", "flag"}, "th");
    for (const Baseline& b : r.baselines) {
        const AdjustedBaseline* ad = adjustedBaseline(r, b.job);
        h += row({escaped(b.job), escaped(b.from), escaped(b.to), fixed(b.vector[0], 4), fixed(b.vector[1], 4),
                  fixed(b.vector[2], 4), ad ? fixed(ad->residual[0] * 1000, 1) : "-",
                  ad ? fixed(ad->residual[1] * 1000, 1) : "-", ad ? fixed(ad->residual[2] * 1000, 1) : "-",
                  ad ? fixed(ad->wTest, 2) : "-", ad && ad->flagged ? "<span class=\"bad\">flagged</span>" : ""});
    }
    h += "</table>\n";
    if (!r.failed.empty()) {
        h += "<h2>Failed jobs</h2>\n<table>\n" + row({"job", "explanation"}, "th");
        for (const FailedJob& f : r.failed) h += row({escaped(f.job), escaped(f.explanation)});
        h += "</table>\n";
    }
    h += "<h2>Coordinates</h2>\n<table>\n" + row({"station", "X m", "Y m", "Z m", "sX mm", "sY mm", "sZ mm", "sN mm",
                                                  "sE mm", "sU mm", "ellipse mm", "azimuth"}, "th");
    for (const AdjustedStation& s : a.stations)
        h += row({escaped(s.id) + (s.held ? " (held)" : s.control ? " (control)" : ""), fixed(s.xyz[0], 4),
                  fixed(s.xyz[1], 4), fixed(s.xyz[2], 4), fixed(s.sigma[0] * 1000, 1), fixed(s.sigma[1] * 1000, 1),
                  fixed(s.sigma[2] * 1000, 1), fixed(s.sigmaNeu[0] * 1000, 1), fixed(s.sigmaNeu[1] * 1000, 1),
                  fixed(s.sigmaNeu[2] * 1000, 1),
                  fixed(s.ellipseMajor * 1000, 1) + " x " + fixed(s.ellipseMinor * 1000, 1), fixed(s.ellipseAzimuth, 1)});
    h += "</table>\n";
    if (r.projected) {
        const auto& axes = r.projected->axes;
        const int decimals = axes[0] == "longitude_deg" ? 9 : 4;
        h += "<h3>" + escaped(r.projected->crs) + " (" + escaped(r.projected->crsName) + ")</h3>\n<table>\n" +
             row({"station", axes[0], "sigma", axes[1], "sigma", axes[2], "sigma"}, "th");
        for (const auto& p : r.projected->stations)
            h += row({escaped(p.id), fixed(p.easting, decimals), fixed(p.sigmaE, decimals), fixed(p.northing, decimals),
                      fixed(p.sigmaN, decimals), fixed(p.height, 4), fixed(p.sigmaH, 4)});
        h += "</table>\n";
    }
    h += "<h2>Relative precision</h2>\n<table>\n" +
         row({"from", "to", "length m", "sigma mm", "ppm", "sN mm", "sE mm", "sU mm"}, "th");
    for (const RelativePrecision& p : r.network.relative)
        h += row({escaped(p.from), escaped(p.to), fixed(p.length, 3), fixed(p.sigmaLength * 1000, 1), fixed(p.ppm, 2),
                  fixed(p.sigmaNeu[0] * 1000, 1), fixed(p.sigmaNeu[1] * 1000, 1), fixed(p.sigmaNeu[2] * 1000, 1)});
    h += "</table>\n";
    std::vector<std::string> notes = r.plan->notes;
    notes.insert(notes.end(), r.network.notes.begin(), r.network.notes.end());
    if (!notes.empty()) {
        h += "<h2>Notes</h2>\n<ul>\n";
        for (const auto& n : notes) h += "<li>" + escaped(n) + "</li>\n";
        h += "</ul>\n";
    }
    return h + "</body></html>\n";
}

}  // namespace varno::campaign
