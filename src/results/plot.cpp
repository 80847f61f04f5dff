// The residual plot: binned post-fit residuals drawn as a standalone SVG document.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "results/results.h"
#include "timebase/timebase.h"

namespace varno {

namespace {

constexpr int kTimeBins = 370;       // 2 px each across the plot area
constexpr int kElevationBins = 370;
constexpr double kMaxElevation = 90.0;
constexpr std::uint32_t kSpreadCount = 5;
constexpr double kWidth = 1000, kHeight = 800;
constexpr double kLeft = 80, kRight = 820;
constexpr double kTimeTop = 60, kTimeBottom = 400;
constexpr double kElevationTop = 480, kElevationBottom = 720;
constexpr double kLegendX = 845, kLegendTop = 66, kLegendStep = 16;

[[gnu::format(printf, 2, 3)]] void put(std::string& out, const char* format, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n > 0) out.append(buffer, static_cast<std::size_t>(std::min(n, static_cast<int>(sizeof buffer) - 1)));
}

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default:
                // Control characters have no place in XML 1.0 text.
                if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') out += c;
        }
    }
    return out;
}

// The colour of hue `degrees` and lightness l.
std::string hueColour(double degrees, double l) {
    const double h = std::fmod(degrees, 360.0) / 60.0;
    const double s = 0.75;
    const double c = (1.0 - std::fabs(2.0 * l - 1.0)) * s;
    const double x = c * (1.0 - std::fabs(std::fmod(h, 2.0) - 1.0));
    double r = 0, g = 0, b = 0;
    switch (static_cast<int>(h)) {
        case 0: r = c, g = x; break;
        case 1: r = x, g = c; break;
        case 2: g = c, b = x; break;
        case 3: g = x, b = c; break;
        case 4: r = x, b = c; break;
        default: r = c, b = x; break;
    }
    const double m = l - c / 2.0;
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", static_cast<int>(std::lround((r + m) * 255)),
                  static_cast<int>(std::lround((g + m) * 255)), static_cast<int>(std::lround((b + m) * 255)));
    return text;
}

// Well-separated colours: hues a golden angle apart, lightness alternating.
std::string colour(int index) { return hueColour(index * 137.508, index % 2 == 0 ? 0.40 : 0.55); }

// With satellites of several systems, each system has its own hue (GPS blue, GLONASS red, Galileo green, BeiDou
// orange, QZSS purple) and its satellites shades of it.
std::string systemColour(SatId sat) {
    constexpr std::array<double, kSystemCount> kHues{215, 0, 125, 32, 280, 180, 330};
    return hueColour(kHues[static_cast<std::size_t>(sat.system)], 0.30 + 0.04 * (sat.number % 9));
}

// 1, 2 or 5 times a power of ten, at least `value`.
double niceStep(double value) {
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    for (double f : {1.0, 2.0, 5.0, 10.0}) {
        if (f * power >= value) return f * power;
    }
    return 10.0 * power;
}

struct Frame {
    double left, right, top, bottom;
    double xMin, xMax, yLimit;
    double x(double value) const {
        return xMax > xMin ? left + (value - xMin) / (xMax - xMin) * (right - left) : (left + right) / 2;
    }
    double y(double value) const {
        const double v = std::clamp(value, -yLimit, yLimit);
        return (top + bottom) / 2 - v / yLimit * (bottom - top) / 2;
    }
};

void axesBox(std::string& out, const Frame& f, double yStep, const std::string& xTitle) {
    put(out, "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"none\" stroke=\"#000\"/>\n", f.left,
        f.top, f.right - f.left, f.bottom - f.top);
    for (double v = -std::floor(f.yLimit / yStep) * yStep; v <= f.yLimit * (1 + 1e-9); v += yStep) {
        const double y = f.y(v);
        put(out, "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#ddd\"%s/>\n", f.left, y, f.right, y,
            std::fabs(v) < yStep / 2 ? " stroke-dasharray=\"4 3\" stroke-width=\"1.2\"" : "");
        put(out, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">%g</text>\n", f.left - 6, y + 4,
            std::fabs(v) < yStep / 2 ? 0.0 : v);
    }
    const double mid = (f.top + f.bottom) / 2;
    put(out, "<text x=\"22\" y=\"%.1f\" text-anchor=\"middle\" transform=\"rotate(-90 22 %.1f)\">"
             "post-fit residual (m)</text>\n", mid, mid);
    put(out, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">%s</text>\n", (f.left + f.right) / 2, f.bottom + 44,
        escaped(xTitle).c_str());
}

void timeTicks(std::string& out, const Frame& f, int jd0) {
    const double span = f.xMax - f.xMin;
    double step = 86400.0 * 7;
    for (double s : {10.0, 30.0, 60.0, 120.0, 300.0, 600.0, 900.0, 1800.0, 3600.0, 7200.0, 10800.0, 21600.0, 43200.0,
                     86400.0, 172800.0}) {
        if (span / s <= 8) {
            step = s;
            break;
        }
    }
    std::string lastDate;
    for (double t = std::ceil(f.xMin / step) * step; t <= f.xMax + 1e-6; t += step) {
        const double x = f.x(t);
        const std::string when = calendarText(jd0, t, ' ');
        put(out, "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#000\"/>\n", x, f.bottom, x,
            f.bottom + 5);
        put(out, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">%s</text>\n", x, f.bottom + 18,
            when.substr(11, step < 60 ? 8 : 5).c_str());
        if (when.substr(0, 10) != lastDate) {
            lastDate = when.substr(0, 10);
            put(out, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\" fill=\"#555\">%s</text>\n", x, f.bottom + 31,
                lastDate.c_str());
        }
    }
}

}  // namespace

ResidualPlot::ResidualPlot(int jd0, double spanStart, double spanEnd, bool letteredNames)
    : jd0_(jd0), spanStart_(spanStart), spanEnd_(spanEnd), lettered_(letteredNames) {}

ResidualPlot::Series& ResidualPlot::series(SatId sat) {
    auto it = std::lower_bound(series_.begin(), series_.end(), sat,
                               [](const Series& s, SatId p) { return s.sat < p; });
    if (it == series_.end() || it->sat != sat) {
        Series s;
        s.sat = sat;
        s.time.resize(kTimeBins);
        s.elevation.resize(kElevationBins);
        it = series_.insert(it, std::move(s));
    }
    return *it;
}

void ResidualPlot::add(const PostFitResidual& r) {
    if (!std::isfinite(r.residual) || !std::isfinite(r.epochTime)) return;
    const auto binOf = [](double fraction, int bins) {
        return static_cast<std::size_t>(std::clamp(static_cast<int>(std::floor(fraction * bins)), 0, bins - 1));
    };
    const double span = spanEnd_ - spanStart_;
    const double timeFraction = span > 0 ? (r.epochTime - spanStart_) / span : 0.0;
    const double elevation = std::isfinite(r.elevation) ? r.elevation : 0.0;
    Series& s = series(r.sat);
    const float v = static_cast<float>(r.residual);
    for (Bin* bin : {&s.time[binOf(timeFraction, kTimeBins)],
                     &s.elevation[binOf(elevation / kMaxElevation, kElevationBins)]}) {
        float& low = r.used ? bin->usedMin : bin->rejectedMin;
        float& high = r.used ? bin->usedMax : bin->rejectedMax;
        std::uint32_t& count = r.used ? bin->usedCount : bin->rejectedCount;
        if (count == 0 || v < low) low = v;
        if (count == 0 || v > high) high = v;
        count += 1;
        if (r.used) {
            bin->usedSum += r.residual;
            bin->usedSumSquares += r.residual * r.residual;
        }
    }
}

std::string ResidualPlot::svg(const std::string& title) const {
    // The scale follows the used residuals; trimmed ones far beyond are drawn at the edge.
    double usedMax = 0, rejectedMax = 0;
    for (const Series& s : series_) {
        for (const Bin& b : s.time) {
            if (b.usedCount > 0) usedMax = std::max({usedMax, std::fabs(double(b.usedMin)), std::fabs(double(b.usedMax))});
            if (b.rejectedCount > 0) {
                rejectedMax = std::max({rejectedMax, std::fabs(double(b.rejectedMin)), std::fabs(double(b.rejectedMax))});
            }
        }
    }
    double limit = std::max(usedMax * 1.1, std::min(rejectedMax * 1.05, usedMax * 3.0));
    if (!(limit > 0) || !std::isfinite(limit)) limit = 1.0;
    const double yStep = niceStep(limit / 4);
    limit = std::ceil(limit / yStep) * yStep;

    std::string out;
    out.reserve(1 << 16);
    put(out, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    put(out, "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%g\" height=\"%g\" viewBox=\"0 0 %g %g\" "
             "font-family=\"sans-serif\" font-size=\"12\">\n", kWidth, kHeight, kWidth, kHeight);
    put(out, "<title>%s</title>\n", escaped(title).c_str());
    put(out, "<rect width=\"100%%\" height=\"100%%\" fill=\"#fff\"/>\n");
    put(out, "<text x=\"%g\" y=\"30\" text-anchor=\"middle\" font-size=\"15\">%s</text>\n", (kLeft + kRight) / 2,
        escaped(title).c_str());

    const Frame time{kLeft, kRight, kTimeTop, kTimeBottom, spanStart_, spanEnd_, limit};
    const Frame elevation{kLeft, kRight, kElevationTop, kElevationBottom, 0.0, kMaxElevation, limit};
    axesBox(out, time, yStep, "time of the observation files (hh:mm)");
    timeTicks(out, time, jd0_);
    axesBox(out, elevation, yStep, "elevation of the satellite at point 2 (deg)");
    for (int e = 0; e <= 90; e += 10) {
        const double x = elevation.x(e);
        put(out, "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#000\"/>\n", x, kElevationBottom, x,
            kElevationBottom + 5);
        put(out, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">%d</text>\n", x, kElevationBottom + 18, e);
    }

    for (std::size_t i = 0; i < series_.size(); ++i) {
        const Series& s = series_[i];
        const std::string c = lettered_ ? systemColour(s.sat) : colour(static_cast<int>(i));
        std::string ranges, spreads, dots, crosses;
        const auto draw = [&](const std::vector<Bin>& bins, const Frame& f, double binWidth) {
            for (std::size_t k = 0; k < bins.size(); ++k) {
                const Bin& b = bins[k];
                const double x = f.x(f.xMin + (static_cast<double>(k) + 0.5) * binWidth);
                if (b.usedCount > 0) {
                    if (b.usedMax > b.usedMin) put(ranges, "M%.1f %.1fV%.1f", x, f.y(b.usedMax), f.y(b.usedMin));
                    else put(dots, "M%.1f %.1fh0.01", x, f.y(b.usedMin));
                    // Many residuals in a bin: their mean ± standard deviation stands out of the range.
                    if (b.usedCount >= kSpreadCount) {
                        const double mean = b.usedSum / b.usedCount;
                        const double spread = std::sqrt(std::max(0.0, b.usedSumSquares / b.usedCount - mean * mean));
                        put(spreads, "M%.1f %.1fV%.1f", x, f.y(mean + spread), f.y(mean - spread));
                    }
                }
                if (b.rejectedCount > 0) {
                    put(crosses, "M%.1f %.1fl5 5m0 -5l-5 5", x - 2.5, f.y(b.rejectedMin) - 2.5);
                    if (b.rejectedMax > b.rejectedMin) {
                        put(crosses, "M%.1f %.1fl5 5m0 -5l-5 5", x - 2.5, f.y(b.rejectedMax) - 2.5);
                    }
                }
            }
        };
        draw(s.time, time, (spanEnd_ - spanStart_) / kTimeBins);
        draw(s.elevation, elevation, kMaxElevation / kElevationBins);
        put(out, "<g stroke=\"%s\" fill=\"none\" stroke-linecap=\"round\">\n", c.c_str());
        if (!ranges.empty()) {
            out += "<path stroke-width=\"2.2\" stroke-opacity=\"" + std::string(spreads.empty() ? "1" : "0.3") +
                   "\" d=\"" + ranges + "\"/>\n";
        }
        if (!spreads.empty()) out += "<path stroke-width=\"2.2\" d=\"" + spreads + "\"/>\n";
        if (!dots.empty()) out += "<path stroke-width=\"3.2\" d=\"" + dots + "\"/>\n";
        if (!crosses.empty()) out += "<path stroke-width=\"1.3\" d=\"" + crosses + "\"/>\n";
        put(out, "</g>\n");

        const double column = static_cast<double>(i / 40) * 70;
        const double y = kLegendTop + static_cast<double>(i % 40) * kLegendStep;
        put(out, "<rect x=\"%.1f\" y=\"%.1f\" width=\"12\" height=\"10\" fill=\"%s\"/>\n", kLegendX + column, y - 9,
            c.c_str());
        if (lettered_) {
            put(out, "<text x=\"%.1f\" y=\"%.1f\">%s</text>\n", kLegendX + column + 17, y, s.sat.text().c_str());
        } else {
            put(out, "<text x=\"%.1f\" y=\"%.1f\">PRN %d</text>\n", kLegendX + column + 17, y, s.sat.number);
        }
    }
    put(out, "<text x=\"%g\" y=\"%g\" font-weight=\"bold\">satellite</text>\n", kLegendX, kLegendTop - 22);
    put(out, "<text x=\"%g\" y=\"%g\" fill=\"#333\">Bars: used residuals in bins of %.3g s and of %.2g deg "
             "(faint: range, solid: mean \u00b1 sd); crosses: trimmed (not used); beyond the scale: at its edge."
             "</text>\n",
        kLeft, kHeight - 12, (spanEnd_ - spanStart_) / kTimeBins, kMaxElevation / kElevationBins);
    put(out, "</svg>\n");
    return out;
}

}  // namespace varno
