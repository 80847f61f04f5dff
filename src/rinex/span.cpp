// The common span and interval of the two receivers and the window of orbit epochs that covers it.
#include <algorithm>
#include <climits>
#include <cmath>

#include "orbit/orbit.h"
#include "record_model.h"
#include "rinex/rinex.h"

namespace varno {

namespace {

// The orbit window reaches this many orbit intervals beyond each end of the common span.
constexpr double kWindowMargin = 9.0;
// A common span may end this far (s) beyond the orbit pass and still be covered.
constexpr double kCoverageMargin = 0.2;

constexpr int kStopIntervalBelowOne = 43586;
constexpr int kStopNoOverlap = 43587;
constexpr int kStopOrbitTooShort = 43588;

// Nearest whole number, halves away from zero, kept in double so that no value can overflow an integer.
double nint(double x) { return std::round(x); }

void scanReceiver(TextFile& file, int jd0, SatIndex& sats, ObsFileSummary& summary, const char* label,
                  std::array<double, 3>& marker) {
    oscan(file, jd0, sats, summary);
    writeListing(label + fmtF(summary.firstEpoch, 10, 2) + fmtF(summary.lastEpoch, 10, 2) +
                 fmtF(summary.interval, 10, 2));
    marker = {summary.x, summary.y, summary.z};
    // With more than GPS the listing names the code types taken of each system.
    if (sats.letteredNames()) writeListing(freeLine("code types -- ", rinex_internal::codeTypes(summary)));
    file.rewind();
}

// Scans both files and fixes the common span and interval, which the orbit's [t0, tEnd] must cover.
void commonSpan(TextFile& obs1, TextFile& obs2, SatIndex& sats, SpanPlan& plan, ObsFileSummary& summary1,
                ObsFileSummary& summary2, StationPair& pair, double t0, double tEnd) {
    newprn(sats);
    scanReceiver(obs1, plan.jd0, sats, summary1, "file1  start/stop, intrvl", pair.p1Marker);
    scanReceiver(obs2, plan.jd0, sats, summary2, "file2  start/stop, intrvl", pair.p2Marker);

    double start = std::max(summary1.firstEpoch, summary2.firstEpoch);
    double stop = std::min(summary1.lastEpoch, summary2.lastEpoch);
    const double interval = nint(std::max(summary1.interval, summary2.interval));
    // Written to also refuse an interval that is not a number.
    if (!(interval >= 1.0)) {
        writeListing(freeLine("data interval below 1 s -- fatal"));
        stopRun(kStopIntervalBelowOne);
    }
    const double perInterval = 1.0 / interval;
    start = nint(start * perInterval) * interval;
    stop = nint(stop * perInterval) * interval;
    writeListing("common start/stop, intrvl" + fmtF(start, 10, 0) + fmtF(stop, 10, 0) + fmtF(interval, 10, 0));
    plan.dataStart = start;
    plan.dataEnd = stop;
    plan.interval = interval;

    if (!(stop > start)) {
        writeListing(freeLine("receiver data do not overlap -- fatal"));
        stopRun(kStopNoOverlap);
    }
    if (!(start >= t0 - kCoverageMargin) || !(stop <= tEnd + kCoverageMargin)) {
        writeListing(freeLine("orbit interval too short -- fatal"));
        writeListing("orbit start/stop " + fmtF(t0, 10, 0) + fmtF(tEnd, 10, 0));
        stopRun(kStopOrbitTooShort, orbgap(plan.jd0, t0, tEnd, start, stop));
    }
}

}  // namespace

void recon(TextFile& orbit, TextFile& obs1, TextFile& obs2, SatIndex& sats, SpanPlan& plan, ObsFileSummary& summary1,
           ObsFileSummary& summary2, StationPair& pair) {
    recon(std::vector<TextFile*>{&orbit}, obs1, obs2, sats, plan, summary1, summary2, pair);
}

void recon(const std::vector<TextFile*>& orbits, TextFile& obs1, TextFile& obs2, SatIndex& sats, SpanPlan& plan,
           ObsFileSummary& summary1, ObsFileSummary& summary2, StationPair& pair) {
    pair = StationPair{};

    const OrbitSpan orbitSpan = orbspn(orbits);
    plan.jd0 = orbitSpan.jd0;
    plan.orbitEpochs = orbitSpan.epochs;
    const double t0 = orbitSpan.start;
    const double delta = orbitSpan.interval;
    const double tEnd = orbitSpan.end;

    commonSpan(obs1, obs2, sats, plan, summary1, summary2, pair, t0, tEnd);

    const double r = 1.0 / delta;
    double a = (nint(plan.dataStart * r) - kWindowMargin) * delta;
    double b = (nint(plan.dataEnd * r) + kWindowMargin) * delta;
    a = std::max(a, t0);
    b = std::min(b, tEnd);
    plan.orbitStart = t0 + nint((a - t0) * r) * delta;
    plan.orbitStop = t0 + nint((b - t0) * r) * delta;
    writeListing("lodorb start/stop" + fmtF(plan.orbitStart, 10, 2) + fmtF(plan.orbitStop, 10, 2));

    numprn(sats, plan.satCount);
    // The window lies inside the orbit's M epochs, so the count fits; the clamp only keeps a degenerate orbit
    // header from overflowing the conversion.
    const double epochs = std::clamp(nint((plan.orbitStop - plan.orbitStart) * r) + 1.0, double(INT_MIN),
                                     double(INT_MAX));
    plan.orbitEpochs = std::isnan(epochs) ? 0 : static_cast<int>(epochs);
    writeListing(freeLine("satellites and epochs", plan.satCount, plan.orbitEpochs));
}

void recon(const OrbitSource& orbit, TextFile& obs1, TextFile& obs2, SatIndex& sats, SpanPlan& plan,
           ObsFileSummary& summary1, ObsFileSummary& summary2, StationPair& pair) {
    pair = StationPair{};
    commonSpan(obs1, obs2, sats, plan, summary1, summary2, pair, orbit.firstTime(), orbit.lastTime());
    numprn(sats, plan.satCount);
    plan.orbitEpochs = 0;
    writeListing(freeLine("satellites", plan.satCount));
}

}  // namespace varno
