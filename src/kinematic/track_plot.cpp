// The track drawn as a standalone SVG document: north against east at one scale, and height against time.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "kinematic/kinematic.h"

namespace varno {

namespace {

constexpr double kWidth = 1000, kHeight = 560;
constexpr double kMapLeft = 84, kMapTop = 50, kMapSize = 420;
constexpr double kTimeLeft = 570, kTimeRight = 970, kTimeTop = 50, kTimeBottom = 470;
// At most this many points drawn per line: the picture does not grow with the span.
constexpr std::size_t kMaxDrawn = 4000;
constexpr int kTicks = 5;

std::string number(double v, int decimals = 1) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else if (static_cast<unsigned char>(c) >= 0x20) out += c;
    }
    return out;
}

// A range widened to a non-zero span with a margin.
struct Range {
    double lo = 0, hi = 0;
    void widen() {
        const double span = std::fmax(hi - lo, 1.0);
        const double mid = 0.5 * (lo + hi);
        lo = mid - 0.55 * span;
        hi = mid + 0.55 * span;
    }
};

std::string axisLabels(const Range& r, bool vertical, double a0, double a1, double at) {
    std::string out;
    for (int i = 0; i <= kTicks; ++i) {
        const double v = r.lo + (r.hi - r.lo) * i / kTicks;
        const double p = vertical ? a1 - (a1 - a0) * i / kTicks : a0 + (a1 - a0) * i / kTicks;
        out += vertical ? "<text x=\"" + number(at - 6) + "\" y=\"" + number(p + 4) + "\" text-anchor=\"end\">"
                        : "<text x=\"" + number(p) + "\" y=\"" + number(at + 16) + "\" text-anchor=\"middle\">";
        out += number(v, r.hi - r.lo < 10 ? 2 : 1) + "</text>\n";
    }
    return out;
}

}  // namespace

std::string trackSvg(const KinematicResult& result, const std::array<double, 3>& apriori, const std::string& title) {
    double alat = 0, alon = 0, ah = 0;
    xyzgeo(apriori[0], apriori[1], apriori[2], alat, alon, ah);
    std::vector<std::array<double, 4>> points;  // north, east, ellipsoidal height, t
    for (const EpochSolution& s : result.epochs) {
        if (s.status != EpochStatus::solved) continue;
        std::array<double, 4> p{0, 0, 0, s.t};
        double up = 0, lat = 0, lon = 0;
        rge(alat, alon, p[0], p[1], up, s.marker[0] - apriori[0], s.marker[1] - apriori[1],
            s.marker[2] - apriori[2]);
        // Height, not up in the a priori point's frame: a drive of kilometres would show the earth's curvature.
        xyzgeo(s.marker[0], s.marker[1], s.marker[2], lat, lon, p[2]);
        points.push_back(p);
    }
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                      number(kWidth, 0) + "\" height=\"" + number(kHeight, 0) + "\" viewBox=\"0 0 " +
                      number(kWidth, 0) + " " + number(kHeight, 0) +
                      "\" font-family=\"sans-serif\" font-size=\"12\">\n<rect width=\"100%\" height=\"100%\" "
                      "fill=\"white\"/>\n<text x=\"500\" y=\"24\" text-anchor=\"middle\" font-size=\"15\">" +
                      escaped(title) + "</text>\n";
    out += "<rect x=\"" + number(kMapLeft) + "\" y=\"" + number(kMapTop) + "\" width=\"" + number(kMapSize) +
           "\" height=\"" + number(kMapSize) + "\" fill=\"none\" stroke=\"black\"/>\n";
    out += "<rect x=\"" + number(kTimeLeft) + "\" y=\"" + number(kTimeTop) + "\" width=\"" +
           number(kTimeRight - kTimeLeft) + "\" height=\"" + number(kTimeBottom - kTimeTop) +
           "\" fill=\"none\" stroke=\"black\"/>\n";
    out += "<text x=\"" + number(kMapLeft + kMapSize / 2) + "\" y=\"" + number(kMapTop + kMapSize + 36) +
           "\" text-anchor=\"middle\">east (m) from the a priori point</text>\n";
    out += "<text x=\"16\" y=\"" + number(kMapTop + kMapSize / 2) + "\" transform=\"rotate(-90 16 " +
           number(kMapTop + kMapSize / 2) + ")\" text-anchor=\"middle\">north (m)</text>\n";
    out += "<text x=\"" + number((kTimeLeft + kTimeRight) / 2) + "\" y=\"" + number(kTimeBottom + 36) +
           "\" text-anchor=\"middle\">time (s from the first solution)</text>\n";
    out += "<text x=\"" + number(kTimeLeft) + "\" y=\"" + number(kTimeTop - 8) + "\">ellipsoidal height (m)</text>\n";
    if (points.empty()) {
        out += "<text x=\"500\" y=\"280\" text-anchor=\"middle\">no epoch was solved</text>\n</svg>\n";
        return out;
    }
    Range north{points[0][0], points[0][0]}, east{points[0][1], points[0][1]}, up{points[0][2], points[0][2]};
    for (const auto& p : points) {
        north.lo = std::fmin(north.lo, p[0]), north.hi = std::fmax(north.hi, p[0]);
        east.lo = std::fmin(east.lo, p[1]), east.hi = std::fmax(east.hi, p[1]);
        up.lo = std::fmin(up.lo, p[2]), up.hi = std::fmax(up.hi, p[2]);
    }
    north.widen(), east.widen(), up.widen();
    // One scale for north and east, so that the map keeps its shape.
    const double half = 0.5 * std::fmax(north.hi - north.lo, east.hi - east.lo);
    north = {0.5 * (north.lo + north.hi) - half, 0.5 * (north.lo + north.hi) + half};
    east = {0.5 * (east.lo + east.hi) - half, 0.5 * (east.lo + east.hi) + half};
    Range time{0, std::fmax(points.back()[3] - points.front()[3], 1.0)};
    out += axisLabels(east, false, kMapLeft, kMapLeft + kMapSize, kMapTop + kMapSize);
    out += axisLabels(north, true, kMapTop, kMapTop + kMapSize, kMapLeft);
    out += axisLabels(time, false, kTimeLeft, kTimeRight, kTimeBottom);
    out += axisLabels(up, true, kTimeTop, kTimeBottom, kTimeLeft);

    const std::size_t step = std::max<std::size_t>(1, (points.size() + kMaxDrawn - 1) / kMaxDrawn);
    std::string map = "<polyline fill=\"none\" stroke=\"#1f5fa8\" stroke-width=\"1.2\" points=\"";
    std::string height = "<polyline fill=\"none\" stroke=\"#a8321f\" stroke-width=\"1.2\" points=\"";
    for (std::size_t i = 0; i < points.size(); i += step) {
        const auto& p = points[i];
        map += number(kMapLeft + (p[1] - east.lo) / (east.hi - east.lo) * kMapSize) + "," +
               number(kMapTop + (north.hi - p[0]) / (north.hi - north.lo) * kMapSize) + " ";
        height += number(kTimeLeft + (p[3] - points.front()[3]) / time.hi * (kTimeRight - kTimeLeft)) + "," +
                  number(kTimeTop + (up.hi - p[2]) / (up.hi - up.lo) * (kTimeBottom - kTimeTop)) + " ";
    }
    out += map + "\"/>\n" + height + "\"/>\n";
    const auto& first = points.front();
    out += "<circle cx=\"" + number(kMapLeft + (first[1] - east.lo) / (east.hi - east.lo) * kMapSize) + "\" cy=\"" +
           number(kMapTop + (north.hi - first[0]) / (north.hi - north.lo) * kMapSize) +
           "\" r=\"4\" fill=\"green\"><title>first solution</title></circle>\n</svg>\n";
    return out;
}

}  // namespace varno
