// varno-orbit: positions and clocks of the satellites of an orbit source (broadcast navigation files or precise
// SP3 orbits) on a time grid, as CSV; or both sources compared satellite by satellite.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "broadcast/broadcast.h"
#include "precise_orbit.h"
#include "timebase/timebase.h"

namespace {

using namespace varno;

constexpr int kStatusUsage = 2;
constexpr double kEarthRotation = 7.2921151467e-5;  // rad/s, to turn earth-fixed velocity into inertial

const char* const kUsage =
    "Usage: varno-orbit (--nav FILE... | --orbit FILE...) [--from TIME] [--to TIME] [--step SECONDS]\n"
    "                   [--systems LETTERS]\n"
    "       varno-orbit --compare --nav FILE... --orbit FILE... [same options]\n"
    "Prints the earth-fixed position (m) and clock (s) of every satellite on the grid from --from to --to\n"
    "(GPS time, YYYY-MM-DDTHH:MM:SS) every --step seconds (default 900), as CSV; --systems G,R,E,C,J keeps\n"
    "those systems. --compare prints per satellite the rms of the radial, along-track, cross-track and 3-D\n"
    "differences of the broadcast orbit from the precise one, and of the clock difference after removing each\n"
    "epoch's mean over the satellites of a system.\n";

struct Options {
    std::vector<std::string> nav, orbit;
    std::string from, to;
    double step = 900.0;
    std::set<GnssSystem> systems;
    bool compare = false;
};

[[noreturn]] void usage(const std::string& message) {
    std::fprintf(stderr, "varno-orbit: %s\n", message.c_str());
    std::exit(kStatusUsage);
}

Options parse(const std::vector<std::string>& args) {
    Options o;
    std::vector<std::string>* files = nullptr;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) usage(a + " needs a value");
            return args[++i];
        };
        if (a == "--nav") {
            files = &o.nav;
        } else if (a == "--orbit") {
            files = &o.orbit;
        } else if (a == "--compare") {
            o.compare = true;
            files = nullptr;
        } else if (a == "--from") {
            o.from = value();
            files = nullptr;
        } else if (a == "--to") {
            o.to = value();
            files = nullptr;
        } else if (a == "--step") {
            const std::string& v = value();
            const auto [end, error] = std::from_chars(v.data(), v.data() + v.size(), o.step);
            if (error != std::errc() || end != v.data() + v.size() || !(o.step > 0.0)) {
                usage("--step needs a positive number of seconds, not '" + v + "'");
            }
            files = nullptr;
        } else if (a == "--systems") {
            for (char c : value()) {
                if (c == ',') continue;
                const std::optional<GnssSystem> s = systemOfLetter(c);
                if (!s) usage(std::string("unknown system letter '") + c + "' in --systems");
                o.systems.insert(*s);
            }
            files = nullptr;
        } else if (!a.empty() && a[0] == '-') {
            usage("unknown option " + a);
        } else if (files != nullptr) {
            files->push_back(a);
        } else {
            usage("'" + a + "' follows no --nav or --orbit");
        }
    }
    if (o.nav.empty() && o.orbit.empty()) usage("give --nav FILE... or --orbit FILE...");
    if (o.compare && (o.nav.empty() || o.orbit.empty())) usage("--compare needs both --nav and --orbit");
    if (!o.compare && !o.nav.empty() && !o.orbit.empty()) usage("--nav and --orbit together only with --compare");
    return o;
}

// "YYYY-MM-DD", "YYYY-MM-DDTHH:MM:SS" or with a blank for the T.
GpsTime parseTime(const std::string& text) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0;
    double s = 0.0;
    char sep = 'T';
    const int n = std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%lf", &y, &mo, &d, &sep, &h, &mi, &s);
    if (!(n == 3 || n == 7) || y < 1980 || y > 2099 || mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 ||
        mi < 0 || mi > 59 || !(s >= 0.0 && s < 60.0)) {
        usage("a time is written YYYY-MM-DDTHH:MM:SS, not '" + text + "'");
    }
    return gpsTimeOfMjd(dayNumber(y, mo, d, 0), h * 3600.0 + mi * 60.0 + s);
}

struct Sums {
    int epochs = 0, clockEpochs = 0;
    double radial = 0.0, along = 0.0, cross = 0.0, clock = 0.0;
};

std::array<double, 3> cross3(const std::array<double, 3>& a, const std::array<double, 3>& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double dot3(const std::array<double, 3>& a, const std::array<double, 3>& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
std::array<double, 3> unit(const std::array<double, 3>& a) {
    const double n = std::sqrt(dot3(a, a));
    return {a[0] / n, a[1] / n, a[2] / n};
}

// Adds one epoch's differences of the broadcast (b) from the precise (p) orbit of `sat`.
void addDifference(Sums& sums, const SatelliteState& b, const SatelliteState& p, const std::array<double, 3>& v) {
    const std::array<double, 3> inertial{v[0] - kEarthRotation * p.position[1], v[1] + kEarthRotation * p.position[0],
                                         v[2]};
    const std::array<double, 3> r = unit(p.position);
    const std::array<double, 3> c = unit(cross3(p.position, inertial));
    const std::array<double, 3> a = cross3(c, r);
    const std::array<double, 3> d{b.position[0] - p.position[0], b.position[1] - p.position[1],
                                  b.position[2] - p.position[2]};
    const double dr = dot3(d, r), da = dot3(d, a), dc = dot3(d, c);
    sums.radial += dr * dr;
    sums.along += da * da;
    sums.cross += dc * dc;
    ++sums.epochs;
}

int run(const Options& o) {
    NavPool pool;
    for (const std::string& path : o.nav) {
        TextFile file(path);
        readNavigation(file, pool);
    }
    // The reference day: --from's, else the precise orbit's first epoch's, else the day of the median record.
    GpsTime start, stop;
    std::unique_ptr<orbittool::PreciseOrbit> precise;
    int referenceMjd = 0;
    double seconds = 0.0;
    if (!o.from.empty()) {
        mjdOfGpsTime(parseTime(o.from), referenceMjd, seconds);
    } else if (!o.orbit.empty()) {
        orbittool::PreciseOrbit probe(o.orbit, 0);
        mjdOfGpsTime(gpsTimeOfMjd(0, probe.firstTime()), referenceMjd, seconds);
    } else if (pool.recordCount() > 0) {
        // The day of the median toe: a file's few stale or next-day records do not move it.
        std::vector<GpsTime> toes;
        for (SatId sat : pool.satellites()) {
            for (const Ephemeris& r : pool.records(sat)) toes.push_back(r.toe);
        }
        std::nth_element(toes.begin(), toes.begin() + static_cast<long>(toes.size() / 2), toes.end());
        mjdOfGpsTime(toes[toes.size() / 2], referenceMjd, seconds);
    }
    const GpsTime reference = gpsTimeOfMjd(referenceMjd, 0.0);
    if (!o.orbit.empty()) precise = std::make_unique<orbittool::PreciseOrbit>(o.orbit, referenceMjd);
    BroadcastOrbit broadcast(pool, referenceMjd);
    const OrbitSource& source = o.nav.empty() ? static_cast<const OrbitSource&>(*precise) : broadcast;
    start = o.from.empty() ? (precise ? reference + precise->firstTime() : reference) : parseTime(o.from);
    stop = o.to.empty() ? (precise ? reference + precise->lastTime() : reference + (86400.0 - o.step))
                        : parseTime(o.to);
    if (stop < start) usage("--to lies before --from");
    std::vector<SatId> sats;
    for (SatId sat : source.satellites()) {
        if (o.systems.empty() || o.systems.count(sat.system)) sats.push_back(sat);
    }
    const long long steps = static_cast<long long>(std::floor((stop - start) / o.step + 1e-9));
    if (!o.compare) {
        std::printf("time,sat,x_m,y_m,z_m,clock_s\n");
        for (long long k = 0; k <= steps; ++k) {
            const double t = (start - reference) + static_cast<double>(k) * o.step;
            for (SatId sat : sats) {
                SatelliteState s;
                OrbitMiss miss = OrbitMiss::none;
                if (!source.state(sat, t, t, s, miss)) continue;
                std::printf("%s,%s,%.3f,%.3f,%.3f,%.12e\n", calendarText(reference + t, 'T').c_str(), sat.text().c_str(),
                            s.position[0], s.position[1], s.position[2], s.clock);
            }
        }
        return 0;
    }
    std::map<SatId, Sums> sums;
    for (long long k = 0; k <= steps; ++k) {
        const double t = (start - reference) + static_cast<double>(k) * o.step;
        std::map<SatId, double> clocks;
        for (SatId sat : sats) {
            SatelliteState b, p, before, after;
            OrbitMiss miss = OrbitMiss::none;
            if (!broadcast.state(sat, t, t, b, miss) || !precise->state(sat, t, t, p, miss)) continue;
            if (!precise->state(sat, t - 1.0, t, before, miss) || !precise->state(sat, t + 1.0, t, after, miss)) {
                if (!precise->state(sat, t, t, before, miss)) continue;
                after = before;
            }
            const std::array<double, 3> v{(after.position[0] - before.position[0]) / 2.0,
                                          (after.position[1] - before.position[1]) / 2.0,
                                          (after.position[2] - before.position[2]) / 2.0};
            addDifference(sums[sat], b, p, v);
            if (std::isfinite(p.clock)) clocks[sat] = b.clock - p.clock;
        }
        // Each system's mean clock difference of the epoch is a common offset, not an error of a satellite.
        for (GnssSystem system : allSystems()) {
            double total = 0.0;
            int n = 0;
            for (const auto& [sat, d] : clocks) {
                if (sat.system == system) total += d, ++n;
            }
            for (const auto& [sat, d] : clocks) {
                if (sat.system != system || n < 2) continue;
                const double r = d - total / n;
                sums[sat].clock += r * r;
                ++sums[sat].clockEpochs;
            }
        }
    }
    std::printf("sat,epochs,rms_radial_m,rms_along_m,rms_cross_m,rms_3d_m,clock_epochs,rms_clock_ns\n");
    for (const auto& [sat, s] : sums) {
        const double n = s.epochs;
        const double clock = s.clockEpochs > 0 ? std::sqrt(s.clock / s.clockEpochs) * 1e9 : 0.0;
        std::printf("%s,%d,%.3f,%.3f,%.3f,%.3f,%d,%.3f\n", sat.text().c_str(), s.epochs, std::sqrt(s.radial / n),
                    std::sqrt(s.along / n), std::sqrt(s.cross / n), std::sqrt((s.radial + s.along + s.cross) / n),
                    s.clockEpochs, clock);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args[0] == "-h" || args[0] == "--help")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    try {
        return run(parse(args));
    } catch (const varno::InputError& error) {
        std::fprintf(stderr, "varno-orbit: %s\n", error.what());
        return kStatusUsage;
    } catch (const varno::StopRequest& stop) {
        std::fprintf(stderr, "varno-orbit: %s\n", stop.detail.empty() ? "input out of range" : stop.detail.c_str());
        return kStatusUsage;
    }
}
