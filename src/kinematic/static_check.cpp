// The test that point 2 stood still: window solutions against the static solution, their spread taken from the
// double-difference rms and widened by the time correlation the epoch residuals show.
#include <cmath>
#include <cstdio>

#include "kinematic/kinematic.h"

namespace varno {

namespace {

// The whole session fails on good data with this probability at most (shared among the windows).
constexpr double kFalseAlarm = 0.001;
// Departures smaller than this are not taken as movement: code cannot tell them from its own slow errors.
constexpr double kMinimumDeparture = 1.0;  // m
constexpr int kMinWindows = 2;
constexpr double kFloorPerMetre = 1.0e-5;  // 10 ppm of the baseline, per coordinate

// Pooled autocorrelations of the residual series at lags 0..maxLag, ending early after the first lag whose
// correlation is not positive.
std::vector<double> autocorrelation(const std::vector<std::vector<float>>& series, int maxLag) {
    std::vector<double> rho{1.0};
    for (int k = 1; k <= maxLag; ++k) {
        double sxy = 0, sxx = 0, syy = 0;
        for (const std::vector<float>& s : series) {
            const std::size_t lag = static_cast<std::size_t>(k);
            for (std::size_t i = 0; i + lag < s.size(); ++i) {
                const double a = s[i], b = s[i + lag];
                if (std::isnan(a) || std::isnan(b)) continue;
                sxy += a * b;
                sxx += a * a;
                syy += b * b;
            }
        }
        if (sxx <= 0 || syy <= 0) break;
        const double r = sxy / std::sqrt(sxx * syy);
        rho.push_back(r);
        if (r <= 0) break;
    }
    return rho;
}

}  // namespace

double correlationFactor(const std::vector<double>& rho, int n) {
    double f = 1.0;
    for (std::size_t k = 1; k < rho.size() && static_cast<int>(k) < n && rho[k] > 0; ++k) {
        f += 2.0 * (1.0 - static_cast<double>(k) / n) * rho[k];
    }
    if (rho.size() > 1 && rho[1] > 0 && rho[1] < 1) {
        const double r = rho[1];
        const double ar1 = (1 + r) / (1 - r) - 2 * r * (1 - std::pow(r, n)) / (n * (1 - r) * (1 - r));
        f = std::fmax(f, ar1);
    }
    return std::fmax(f, 1.0);
}

StaticCheck staticCheck(const std::vector<WindowSolution>& windows, int epochsPerWindow, double interval,
                        double sigma0, const std::vector<std::vector<float>>& residualSeries,
                        const std::array<double, 3>& staticMarker, double baselineLength) {
    StaticCheck check;
    check.windowSeconds = epochsPerWindow * interval;
    check.windows = static_cast<int>(windows.size());
    check.sigma0 = sigma0;
    if (check.windows < kMinWindows || !(sigma0 > 0)) return check;
    const std::vector<double> rho = autocorrelation(residualSeries, epochsPerWindow - 1);
    check.correlationFactor = correlationFactor(rho, epochsPerWindow);
    if (rho.size() > 1 && rho[1] > 0 && rho[1] < 1) check.correlationTime = -interval / std::log(rho[1]);
    check.critical = chiSquare3Quantile(kFalseAlarm / check.windows);
    check.done = true;

    double lat = 0, lon = 0, h = 0;
    xyzgeo(staticMarker[0], staticMarker[1], staticMarker[2], lat, lon, h);
    const double scale = sigma0 * sigma0 * check.correlationFactor;
    // Errors that differencing leaves over a long baseline (ionosphere, troposphere, orbit) are common to every
    // satellite, so the residuals do not show them; they are allowed for by a spread in proportion to the length.
    const double floor = kFloorPerMetre * baselineLength;
    for (const WindowSolution& w : windows) {
        const std::array<double, 3>& d = w.departure;
        std::array<double, 9> c = w.normal;
        if (!invert(c.data(), 3)) continue;
        for (std::size_t i = 0; i < 9; ++i) c[i] *= scale;
        for (std::size_t i = 0; i < 3; ++i) c[i * 4] += floor * floor;
        if (!invert(c.data(), 3)) continue;
        double dcd = 0;
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) dcd += d[i] * c[static_cast<std::size_t>(j * 3 + i)] * d[j];
        }
        const double statistic = dcd;
        const double length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        if (statistic > check.critical && length >= kMinimumDeparture) check.passed = false;
        if (statistic <= check.largestStatistic) continue;
        check.largestStatistic = statistic;
        check.largestDeparture = length;
        rge(lat, lon, check.largestNeu[0], check.largestNeu[1], check.largestNeu[2], d[0], d[1], d[2]);
        check.largestStart = w.start;
        check.largestEnd = w.end;
    }
    return check;
}

namespace {

std::string metres(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", v);
    return text;
}

std::string largestWindow(const StaticCheck& c) {
    return "the solution over " + calendarText(c.largestStart, ' ') + " to " + calendarText(c.largestEnd, ' ') +
           " lies " + metres(c.largestDeparture) + " m from the static one (north " + metres(c.largestNeu[0]) +
           ", east " + metres(c.largestNeu[1]) + ", up " + metres(c.largestNeu[2]) + " m)";
}

}  // namespace

std::string staticCheckListingLine(const StaticCheck& check) {
    return " warning -- point 2 did not stand still: " + largestWindow(check) +
           " -- the static position and its sigmas do not hold";
}

std::string staticCheckWarning(const StaticCheck& check) {
    return "point 2 did not stand still: " + largestWindow(check) + ", " + metres(std::sqrt(check.largestStatistic /
           check.critical)) + " times the spread allowed; the static position and its sigmas do not hold (--kinematic "
           "gives a position per epoch)";
}

}  // namespace varno
