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
// The spread of a window from the residuals falls short of what simulated sessions with Gauss-Markov code errors
// show at 30 s (the correlation over a window of 10 epochs is estimated low); its variance is doubled.
constexpr double kSpreadFactor = 2.0;

// A departure with the inverse of its covariance (`weight`) and the span it covers.
struct Estimate {
    std::array<double, 3> departure{};
    std::array<double, 9> weight{};
    double start = 0, end = 0;
};

double quadratic(const std::array<double, 3>& d, const std::array<double, 9>& m) {
    double q = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        for (std::size_t j = 0; j < 3; ++j) q += d[i] * m[j * 3 + i] * d[j];
    }
    return q;
}

// The weighted mean of estimates [from, to) and its covariance (returned in `weight`).
Estimate combined(const std::vector<Estimate>& all, std::size_t from, std::size_t to) {
    Estimate out;
    std::array<double, 3> rhs{};
    for (std::size_t k = from; k < to; ++k) {
        const Estimate& e = all[k];
        for (std::size_t i = 0; i < 9; ++i) out.weight[i] += e.weight[i];
        for (std::size_t i = 0; i < 3; ++i) {
            for (std::size_t j = 0; j < 3; ++j) rhs[i] += e.weight[j * 3 + i] * e.departure[j];
        }
    }
    out.start = all[from].start;
    out.end = all[to - 1].end;
    if (!invert(out.weight.data(), 3)) return out;
    ab(out.weight.data(), rhs.data(), out.departure.data(), 3, 3, 1);
    return out;
}

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
    // The windows and the steps between them share the false alarms.
    check.critical = chiSquare3Quantile(kFalseAlarm / (2 * check.windows - 1));
    check.done = true;

    double lat = 0, lon = 0, h = 0;
    xyzgeo(staticMarker[0], staticMarker[1], staticMarker[2], lat, lon, h);
    const double scale = kSpreadFactor * sigma0 * sigma0 * check.correlationFactor;
    // Errors that differencing leaves over a long baseline (ionosphere, troposphere, orbit) are common to every
    // satellite, so the residuals do not show them; they are allowed for by a spread in proportion to the length.
    const double floor = kFloorPerMetre * baselineLength;
    // Each window's departure with the inverse of its covariance.
    std::vector<Estimate> estimates;
    for (const WindowSolution& w : windows) {
        std::array<double, 9> c = w.normal;
        if (!invert(c.data(), 3)) continue;
        for (double& v : c) v *= scale;
        for (std::size_t i = 0; i < 3; ++i) c[i * 4] += floor * floor;
        if (!invert(c.data(), 3)) continue;
        estimates.push_back({w.departure, c, w.start, w.end});
    }
    const auto judge = [&](const std::array<double, 3>& d, double statistic, double start, double end, bool change) {
        const double length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        if (statistic > check.critical && length >= kMinimumDeparture) check.passed = false;
        if (statistic <= check.largestStatistic) return;
        check.largestStatistic = statistic;
        check.largestDeparture = length;
        rge(lat, lon, check.largestNeu[0], check.largestNeu[1], check.largestNeu[2], d[0], d[1], d[2]);
        check.largestStart = start;
        check.largestEnd = end;
        check.largestIsChange = change;
    };
    for (const Estimate& e : estimates) judge(e.departure, quadratic(e.departure, e.weight), e.start, e.end, false);
    // A receiver set up again a few metres away shows best as a step: the windows after a time against those
    // before it, each side averaged.
    for (std::size_t split = 1; split < estimates.size(); ++split) {
        const Estimate before = combined(estimates, 0, split);
        const Estimate after = combined(estimates, split, estimates.size());
        std::array<double, 3> d{};
        std::array<double, 9> c{};
        for (std::size_t i = 0; i < 3; ++i) d[i] = after.departure[i] - before.departure[i];
        for (std::size_t i = 0; i < 9; ++i) c[i] = before.weight[i] + after.weight[i];  // covariances here
        if (!invert(c.data(), 3)) continue;
        judge(d, quadratic(d, c), after.start, after.end, true);
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
    return "the solution over " + calendarText(c.jd0, c.largestStart, ' ') + " to " +
           calendarText(c.jd0, c.largestEnd, ' ') + " lies " + metres(c.largestDeparture) +
           (c.largestIsChange ? " m from the one before it (north " : " m from the static one (north ") +
           metres(c.largestNeu[0]) + ", east " + metres(c.largestNeu[1]) + ", up " + metres(c.largestNeu[2]) + " m)";
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

std::string staticCheckNotDoneWarning(const StaticCheck& check) {
    return "the check that point 2 stood still could not be made: the solutions epoch by epoch gave " +
           std::to_string(check.windows) + " window(s) of " + std::to_string(std::lround(check.windowSeconds)) +
           " s, " + std::to_string(kMinWindows) + " are needed (they use the first system of --systems alone); "
           "--require-static cannot vouch for it";
}

}  // namespace varno
