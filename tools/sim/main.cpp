// varno-sim: writes a complete varno run directory (point1.rnx, point2.rnx, orbit.sp3, pos,
// optionally off) for a simulated GPS scenario, plus a "truth" file with the true marker positions.
//
// The physics here is written independently of the program in src/ (no code or header of it is
// used): Keplerian orbits in an earth-fixed frame, satellite and receiver clocks, the signal travel
// time iterated in the earth-fixed frame with an exact rotation of the earth during it, and
// pseudoranges defined as c x (receiver-clock reception time - satellite-clock transmission time).
// All randomness comes from a private xoshiro256** generator (seeded by splitmix64) and Box-Muller,
// so the same options give byte-identical files on every platform that rounds IEEE doubles alike.
//
// Files: options.cpp / option_table.cpp (scenario options and help), constellation.cpp (orbits,
// clocks, signal path), observations.cpp (what each receiver observes), station_files.cpp (geometry,
// pos, off, truth), rinex2_writer.cpp, rinex3_writer.cpp and sp3_writer.cpp (the file formats), compact_writer.cpp
// and packing.cpp (compact RINEX and compression), main.cpp (the run).

#include "sim.h"

namespace sim {

namespace {

// One output file: its name in the run directory and its lines.
struct OutputFile {
    std::string name;
    std::vector<std::string> lines;
    bool crlf;
    std::string packing = "plain";
};

// The observation file of receiver i in the scenario's format. Further observation formats are
// chosen here, each with its own writer.
OutputFile observationFile(const Scenario& sc, const Geometry& geo, int i, const ObsStream& obs) {
    const std::string name = i == 0 ? "point1.rnx" : "point2.rnx";
    const std::string& format = sc.rx[i].format;
    const std::vector<std::string> lines = format == "rinex3"   ? rinex3File(sc, geo, i, obs, 3.04)
                                           : format == "rinex4" ? rinex3File(sc, geo, i, obs, 4.00)
                                                                : rinex2File(sc, geo, i, obs);
    return {name, lines, sc.crlf.count(name) > 0, sc.rx[i].packing};
}

// The orbit file(s) covering the observations. Further orbit formats, and orbits split into several
// files, are chosen here.
std::vector<OutputFile> orbitFiles(const Scenario& sc, const std::vector<Sat>& sats, const Geometry& geo,
                                   int64_t minTag, int64_t maxTag) {
    std::vector<DailyOrbit> daily;
    std::vector<OutputFile> files{
        {"orbit.sp3", sp3File(sc, sats, geo, minTag, maxTag, sc.orbitDaily ? &daily : nullptr),
         sc.crlf.count("orbit.sp3") > 0, sc.orbitPacking}};
    for (DailyOrbit& day : daily)
        files.push_back({day.name, std::move(day.lines), sc.crlf.count("orbit.sp3") > 0, sc.orbitPacking});
    return files;
}

// Writes one file of the run directory, packed as asked; every file goes through here.
void writeFile(const std::filesystem::path& dir, const OutputFile& file) {
    const std::string text = packedFile(file.lines, file.crlf, file.packing);
    std::ofstream out(dir / file.name, std::ios::binary | std::ios::trunc);
    if (!out) throw Error("cannot write " + (dir / file.name).string());
    out << text;
    if (!out) throw Error("write failed: " + (dir / file.name).string());
}

// Settings that contradict each other, one line naming them.
void checkScenario(const Scenario& sc) {
    if (sc.systems == "G") return;
    if (sc.orbitVersion == 'a') throw Error("option systems: systems other than G need orbit-version c or d");
    if (sc.orbitOthers > 0) throw Error("option orbit-others: not with systems other than G");
    for (const Receiver& r : sc.rx) {
        if (simulated(sc, 'R') && !r.glonass.empty()) throw Error("option glonass: not with R among the systems");
        if (simulated(sc, 'E') && !r.galileo.empty()) throw Error("option galileo: not with E among the systems");
    }
}

void writeRunDirectory(const Scenario& sc, const std::filesystem::path& dir) {
    checkScenario(sc);
    const std::vector<Sat> sats = makeConstellation(sc);
    const Geometry geo = makeGeometry(sc);
    std::filesystem::create_directories(dir);
    ObsStream obs[2];
    for (int i = 0; i < 2; ++i) obs[i] = simulateObservations(sc, sats, geo, i);
    const int epochs[2] = {obs[0].epochCount, obs[1].epochCount};
    if (epochs[0] == 0 || epochs[1] == 0) throw Error("a receiver has no epoch (check duration, delays, gaps)");
    const int64_t minTag = std::min(obs[0].minTag, obs[1].minTag);
    const int64_t maxTag = std::max(obs[0].maxTag, obs[1].maxTag);
    for (int i = 0; i < 2; ++i) writeFile(dir, observationFile(sc, geo, i, obs[i]));
    for (auto& f : orbitFiles(sc, sats, geo, minTag, maxTag)) writeFile(dir, f);
    for (auto& f : navFiles(sc, sats, geo, minTag, maxTag)) writeFile(dir, {f.name, f.lines, false});
    Vec3 apriori;
    bool aprioriUsable = false;
    std::vector<std::string> pos = posFile(sc, geo, apriori, aprioriUsable);
    writeFile(dir, {"pos", pos, sc.crlf.count("pos") > 0});
    bool anyOffset = false;
    for (auto& r : sc.rx)
        if (r.antUp != 0 || r.antNorth != 0 || r.antEast != 0 || r.auxOffset != 0) anyOffset = true;
    const bool writeOff = sc.off == "yes" || (sc.off == "auto" && anyOffset);
    std::filesystem::remove(dir / "off");
    if (writeOff) writeFile(dir, {"off", offFile(sc), sc.crlf.count("off") > 0});
    writeFile(dir, {"truth", truthFile(sc, sats, geo, apriori, aprioriUsable, epochs), false});
    std::filesystem::remove(dir / "truth-track.csv");
    if (moving(sc)) writeFile(dir, {"truth-track.csv", trackFile(sc, geo, obs[1]), false});
}

}  // namespace

}  // namespace sim

namespace sim {
int campaignMain(int argc, char** argv);  // campaign.cpp
namespace {

// Subcommands (`varno-sim NAME ...`), each with its own options; without one the run directory is written.
// A subcommand receives the arguments after its name.
using Subcommand = int (*)(int argc, char** argv);
const std::vector<std::pair<std::string, Subcommand>> kSubcommands = {};

}  // namespace
}  // namespace sim

int main(int argc, char** argv) {
    using namespace sim;
    for (const auto& [name, run] : kSubcommands)
        if (argc > 1 && name == argv[1]) return run(argc - 2, argv + 2);
    try {
        if (argc > 1 && std::string(argv[1]) == "campaign") return campaignMain(argc - 1, argv + 1);
        Scenario sc;
        applyDefaults(sc);
        std::string dir;
        for (int a = 1; a < argc; ++a) {
            std::string arg = argv[a];
            if (arg == "--help" || arg == "-h") {
                printHelp();
                return 0;
            }
            if (arg.rfind("--", 0) == 0) {
                std::string key = arg.substr(2), value;
                size_t eq = key.find('=');
                if (eq != std::string::npos) {
                    value = key.substr(eq + 1);
                    key.resize(eq);
                } else {
                    if (a + 1 >= argc) throw Error("option --" + key + " needs a value");
                    value = argv[++a];
                }
                if (key == "config") {
                    applyConfigFile(sc, value);
                } else {
                    applyOption(sc, key, value);
                }
            } else {
                if (!dir.empty()) throw Error("more than one output directory given");
                dir = arg;
            }
        }
        if (dir.empty()) throw Error("no output directory given (see --help)");
        writeRunDirectory(sc, dir);
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "varno-sim: error: " << e.what() << "\n";
        return 2;
    }
}
