// varno-sim campaign [--blunder] [--seed N] DIR: a survey campaign with known truth. Three control stations and
// eight new points around one place, observed in three sessions of two hours at 30 s (every control in every
// session, every new point in two), one observation file per station and session, one orbit for the day, the
// campaign file campaign.toml and the truth. With --blunder, the header of one file states an antenna height
// 0.5 m from the one the simulated receiver had: the mistake a field crew makes. With --network N [--hours H],
// instead N stations on a grid 15 km apart (the first three controls) observed in one session of H hours (24) from
// 0h: the workload of the campaign benchmark.
#include "sim.h"

namespace sim {

namespace {

constexpr double kGridSpacing = 15000;  // m between the stations of a --network grid
constexpr double kCentreLat = 41.40, kCentreLon = 2.10, kCentreHeight = 120;
constexpr double kBlunder = 0.5;  // m of antenna height written wrongly
const char* const kBlunderStation = "P006";
constexpr int kBlunderSession = 2;

struct CampaignStation {
    std::string id;
    double north, east, up;  // m from the centre
    bool control;
};

// Spread over about 20 km; controls at the edges, new points inside.
const std::vector<CampaignStation> kStations = {
    {"C001", -9000, -8000, 40, true},  {"C002", 8500, -6000, -20, true}, {"C003", 1000, 9500, 60, true},
    {"P001", -4000, -3000, 10, false}, {"P002", 2000, -4500, 30, false}, {"P003", 5000, 1000, -15, false},
    {"P004", -1500, 2500, 25, false},  {"P005", -6000, 4000, 50, false}, {"P006", 3000, 6000, 5, false},
    {"P007", 500, -500, 15, false},    {"P008", -3000, 7500, 35, false}};

// Which new points each session occupies (1-based indices into the new points).
const std::vector<std::vector<int>> kOccupied = {{1, 2, 3, 4, 5}, {4, 5, 6, 7, 8}, {1, 2, 3, 6, 7, 8}};

struct SessionPlan {
    double start, length;          // seconds since 0h of the day
    std::vector<size_t> stations;  // indices into the layout's stations
};

struct Layout {
    std::vector<CampaignStation> stations;
    std::vector<SessionPlan> sessions;
};

Layout standardLayout() {
    Layout l{kStations, {}};
    const double starts[] = {8 * 3600.0, 11 * 3600.0, 14 * 3600.0};
    for (size_t s = 0; s < kOccupied.size(); ++s) {
        SessionPlan plan{starts[s], 7200, {0, 1, 2}};
        for (int p : kOccupied[s]) plan.stations.push_back(2 + static_cast<size_t>(p));
        l.sessions.push_back(plan);
    }
    return l;
}

Layout networkLayout(int count, double hours) {
    Layout l;
    const int side = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count))));
    SessionPlan plan{0, hours * 3600, {}};
    for (int k = 0; k < count; ++k) {
        const double north = (k / side - side / 2.0) * kGridSpacing, east = (k % side - side / 2.0) * kGridSpacing;
        l.stations.push_back({fmt(k < 3 ? "C%03d" : "P%03d", k < 3 ? k + 1 : k - 2), north, east, 10.0 * (k % 7), k < 3});
        plan.stations.push_back(static_cast<size_t>(k));
    }
    l.sessions.push_back(plan);
    return l;
}

void writeText(const std::filesystem::path& path, const std::vector<std::string>& lines) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << packedFile(lines, false, "plain");
    if (!out) throw Error("cannot write " + path.string());
}

}  // namespace

int campaignMain(int argc, char** argv) {
    const char* const usage = "usage: varno-sim campaign [--blunder] [--seed N] [--network N [--hours H]] DIR";
    bool blunder = false;
    uint64_t seed = 1;
    int network = 0;
    double hours = 24;
    std::string dir;
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        if (arg == "--blunder") blunder = true;
        else if (arg == "--seed" && a + 1 < argc) seed = std::strtoull(argv[++a], nullptr, 10);
        else if (arg == "--network" && a + 1 < argc) network = std::atoi(argv[++a]);
        else if (arg == "--hours" && a + 1 < argc) hours = std::atof(argv[++a]);
        else if (arg.rfind("--", 0) != 0 && dir.empty()) dir = arg;
        else throw Error(usage);
    }
    if (dir.empty() || (network != 0 && (network < 4 || network > 9999)) || !(hours > 0 && hours <= 24))
        throw Error(usage);
    const Layout layout = network ? networkLayout(network, hours) : standardLayout();
    const std::filesystem::path root(dir);
    std::filesystem::create_directories(root / "obs");

    Scenario base;
    applyDefaults(base);
    base.seed = seed;
    base.year = 2010, base.month = 3, base.day = 18, base.hour = 0, base.minute = 0;
    const std::vector<Sat> sats = makeConstellation(base);
    const double lat0 = kCentreLat / kDegPerRad, lon0 = kCentreLon / kDegPerRad;
    const Vec3 centre = geodToXyz(lat0, lon0, kCentreHeight);

    std::vector<Vec3> truth;
    for (const CampaignStation& s : layout.stations) {
        // Along the tangent plane, then back onto the ellipsoidal height asked for.
        double lat = 0, lon = 0, h = 0;
        xyzToGeod(centre + neuToXyz(lat0, lon0, s.north, s.east, 0), lat, lon, h);
        truth.push_back(geodToXyz(lat, lon, kCentreHeight + s.up));
    }

    Rng heights(streamSeed(seed, 900));
    std::vector<std::string> truthLines{"# station x_m y_m z_m (marker, WGS 84)"};
    for (size_t k = 0; k < layout.stations.size(); ++k)
        truthLines.push_back(fmt("%s %.4f %.4f %.4f", layout.stations[k].id.c_str(), truth[k].x, truth[k].y,
                                 truth[k].z));
    int64_t minTag = INT64_MAX, maxTag = INT64_MIN;
    Geometry geo{};
    geo.mjd0 = mjdOf(base.year, base.month, base.day);
    for (int session = 1; session <= static_cast<int>(layout.sessions.size()); ++session) {
        const SessionPlan& plan = layout.sessions[session - 1];
        for (size_t k : plan.stations) {
            Scenario sc = base;
            sc.duration = plan.length;
            sc.seed = streamSeed(seed, 1000 + 100 * static_cast<uint64_t>(session) + k);
            Receiver& r = sc.rx[0];
            r.id = layout.stations[k].id;
            r.antUp = 1.2 + 0.6 * heights.uniform();
            r.approxError = {2.5, -1.5, 3.0};
            geo.tStart = plan.start;
            geo.marker[0] = truth[k];
            double h = 0;
            xyzToGeod(truth[k], geo.lat[0], geo.lon[0], h);
            sc.h1 = h;
            geo.l1[0] = geo.marker[0] + neuToXyz(geo.lat[0], geo.lon[0], r.antNorth, r.antEast, r.antUp);
            const ObsStream obs = simulateObservations(sc, sats, geo, 0);
            if (obs.epochCount == 0) throw Error("station " + r.id + " sees no satellite");
            minTag = std::min(minTag, obs.minTag);
            maxTag = std::max(maxTag, obs.maxTag);
            const double trueHeight = r.antUp;
            const bool planted = blunder && r.id == kBlunderStation && session == kBlunderSession;
            if (planted) r.antUp += kBlunder;  // what the header states, not what the receiver had
            writeText(root / "obs" / fmt("%s-%d.10o", r.id.c_str(), session), rinex2File(sc, geo, 0, obs));
            truthLines.push_back(fmt("# session %d %s antenna height %.4f m%s", session, r.id.c_str(), trueHeight,
                                     planted ? fmt(", header states %.4f m", r.antUp).c_str() : ""));
        }
    }
    writeText(root / "orbit.sp3", sp3File(base, sats, geo, minTag, maxTag));
    writeText(root / "truth", truthLines);

    std::vector<std::string> toml{
        "# A simulated campaign: 3 control stations, 8 new points, 3 sessions of 2 h at 30 s (varno-sim campaign).",
        "name = \"Simulated campaign\"", "observations = \"obs/*.10o\"", "orbits = [\"orbit.sp3\"]",
        "min_overlap_minutes = 30", "baselines = \"tree\"",
        "# varno's formal sigmas are about 1.5 times too small on this white-noise data (its calibration).",
        "variance_factor = 2.25", "[control]",
        "held = \"C001\""};
    for (size_t k = 0; k < layout.stations.size(); ++k) {
        if (!layout.stations[k].control) continue;
        toml.push_back("[control.stations." + layout.stations[k].id + "]");
        toml.push_back(fmt("xyz_m = [%.4f, %.4f, %.4f]", truth[k].x, truth[k].y, truth[k].z));
        toml.push_back("sigma_m = 0.002");
    }
    writeText(root / "campaign.toml", toml);
    return 0;
}

}  // namespace sim
