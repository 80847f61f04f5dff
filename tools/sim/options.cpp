// varno-sim: applying options (command line, config files, defaults) and the help text.

#include "options.h"

namespace sim {

void applyOption(Scenario& sc, const std::string& keyIn, const std::string& value) {
    const std::string key = trim(keyIn);
    for (auto& o : options()) {
        if (!o.perReceiver && key == o.key) {
            o.set(sc, sc.rx[0], key, value);
            return;
        }
    }
    for (auto& o : options()) {
        if (!o.perReceiver) continue;
        const std::string base = o.key;
        if (key == base) {
            o.set(sc, sc.rx[0], key, value);
            o.set(sc, sc.rx[1], key, value);
            return;
        }
        if (key.size() == base.size() + 1 && key.compare(0, base.size(), base) == 0 &&
            (key.back() == '1' || key.back() == '2')) {
            o.set(sc, sc.rx[key.back() - '1'], key, value);
            return;
        }
    }
    throw Error("unknown option '" + key + "' (see --help)");
}

void applyDefaults(Scenario& sc) {
    for (auto& o : options()) {
        if (o.perReceiver) {
            o.set(sc, sc.rx[0], o.key, o.def1);
            o.set(sc, sc.rx[1], o.key, o.def2 ? o.def2 : o.def1);
        } else {
            o.set(sc, sc.rx[0], o.key, o.def1);
        }
    }
}

void applyConfigFile(Scenario& sc, const std::string& path) {
    std::ifstream in(path);
    if (!in) throw Error("cannot open config file '" + path + "'");
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        ++n;
        size_t hash = line.find('#');
        if (hash != std::string::npos) line.resize(hash);
        if (trim(line).empty()) continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos) throw Error(path + ":" + std::to_string(n) + ": expected key = value");
        std::string key = trim(line.substr(0, eq));
        if (key.rfind("--", 0) == 0) key = key.substr(2);
        applyOption(sc, key, trim(line.substr(eq + 1)));
    }
}

namespace {

// An option's name in the help's first column, padded to its width; a longer name is kept whole.
std::string helpName(const std::string& name) { return name.size() < 17 ? padTo(name, 17) : name; }

}  // namespace

void printHelp() {
    std::cout <<
        "usage: varno-sim [options] DIR\n"
        "\n"
        "Writes a simulated varno run directory into DIR (created if needed):\n"
        "  point1.rnx, point2.rnx  RINEX 2.11 observation files (receivers at point 1 and point 2; see --format)\n"
        "  orbit.sp3               SP3 orbit (version a: numeric ids; c, d: G01 ...), km and microseconds\n"
        "  pos                     station positions (*80* / *86* record pairs)\n"
        "  off                     antenna offsets (see option off)\n"
        "  truth                   the true answer, key = value lines (below)\n"
        "With no option the default scenario (that of examples/baseline-2km) is written.\n"
        "The same options and seed give byte-identical files.\n"
        "\n"
        "Options are --key=value (or --key value); --config FILE reads key = value lines\n"
        "(# starts a comment) with the same keys; later settings override earlier ones.\n"
        "  --help, -h      this text (exit status 0)\n"
        "  --config FILE   read options from FILE at this point of the command line\n"
        "\n"
        "Scenario options [default]:\n";
    for (auto& o : options()) {
        if (o.perReceiver) continue;
        std::cout << "  --" << helpName(std::string(o.key) + "=") << " " << o.help << " [" << o.def1 << "]\n";
    }
    std::cout << "\nReceiver options: --KEY sets both receivers, --KEY1 point 1 only, --KEY2 point 2 only\n"
                 "[default of point 1 / point 2]; times are seconds after start:\n";
    for (auto& o : options()) {
        if (!o.perReceiver) continue;
        std::string d = o.def1;
        if (o.def2 && std::string(o.def2) != o.def1) d += " / " + std::string(o.def2);
        std::cout << "  --" << helpName(std::string(o.key) + "[12]=") << " " << o.help << " [" << d << "]\n";
    }
    std::cout <<
        "\n"
        "Model: Keplerian orbits in the earth-fixed frame; satellite clocks (bias + drift) in the SP3 clock\n"
        "column; each receiver clock offset dt(t) = tag-offset + clock-bias + clock-drift*(t - start)\n"
        "(+ clock-jump). A time tag is the receiver clock reading tag = t + dt(t); the pseudorange is\n"
        "c*(tag - transmission time by the satellite clock), with the travel time iterated in the earth-\n"
        "fixed frame and the earth's rotation during it applied, to the L1 phase centre, plus tropo and\n"
        "noise. Epochs without a satellite above the mask are not written.\n"
        "\n"
        "truth file (key = value, '#' lines are comments; coordinates earth-centred WGS 84, metres):\n"
        "  seed, id1, id2           seed and station ids\n"
        "  point1 = X Y Z           point 1 marker exactly as the program derives it from pos (%.4f)\n"
        "  point2 = X Y Z           true point 2 marker (%.4f)\n"
        "  point1_l1, point2_l1     true L1 phase centres\n"
        "  point2_apriori = X Y Z   point 2 as written in pos (or 'none' when it is not usable)\n"
        "  baseline = D             marker distance, metres\n"
        "  point1_geodetic, point2_geodetic = lat lon h   (degrees, degrees, metres)\n"
        "  clock1, clock2 = bias drift   receiver clock (bias includes tag-offset), s and s/s\n"
        "  start, duration, interval1, interval2, epochs1, epochs2, satellites\n";
}

}  // namespace sim
