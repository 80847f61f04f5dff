#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "cli/cli.h"
#include "cli/cli_internal.h"
#include "crs/crs.h"
#include "station/station.h"

namespace varno {

namespace {

constexpr const char* kOrbitOrNav = "options '--orbit' and '--nav' exclude each other: give the precise orbit or the "
                                    "navigation files";

void setOrbit(CommandLine& line, const std::string& value) {
    if (!line.options.navs.empty()) throw CommandLineError(kOrbitOrNav);
    if (!line.orbitsGiven) line.options.orbits.clear();
    line.orbitsGiven = true;
    line.options.orbits.push_back(value);
}

void setNav(CommandLine& line, const std::string& value) {
    if (line.orbitsGiven) throw CommandLineError(kOrbitOrNav);
    line.options.navs.push_back(value);
}

void setElevationMask(CommandLine& line, const std::string& value) {
    double degrees = 0.0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), degrees);
    if (error != std::errc() || end != value.data() + value.size() || !std::isfinite(degrees) || degrees < -90.0 ||
        degrees > 90.0) {
        throw CommandLineError("option '--elevation-mask' needs degrees from -90 to 90, not '" + value + "'");
    }
    line.options.elevationMask = degrees;
}

void setSystems(CommandLine& line, const std::string& value) {
    const std::optional<SystemSet> systems = parseSystems(value);
    if (!systems) {
        throw CommandLineError("option '--systems' takes system letters G, E, C, J and R separated by commas, or "
                               "all (G,E,C,J), not '" + value + "'");
    }
    line.options.systems = *systems;
}

void setWeights(CommandLine& line, const std::string& value) {
    if (value == "equal" || value == "elevation" || value == "correlated") {
        line.options.elevationWeights = value != "equal";
        line.options.correlatedWeights = value == "correlated";
    } else {
        throw CommandLineError("option '--weights' takes 'equal', 'elevation' or 'correlated', not '" + value + "'");
    }
}

// Three numbers separated by commas, each finite.
std::array<double, 3> triple(const std::string& option, const std::string& value, const char* what) {
    std::array<double, 3> out{};
    const char* p = value.data();
    const char* end = value.data() + value.size();
    for (int i = 0; i < 3; ++i) {
        const auto [next, error] = std::from_chars(p, end, out[static_cast<std::size_t>(i)]);
        const bool last = i == 2;
        if (error != std::errc() || !std::isfinite(out[static_cast<std::size_t>(i)]) ||
            (last ? next != end : next == end || *next != ',')) {
            throw CommandLineError("option '" + option + "' needs " + what + ", not '" + value + "'");
        }
        p = next + 1;
    }
    return out;
}

void setPoint1(CommandLine& line, const std::string& option, const std::array<double, 3>& xyz) {
    if (line.options.point1Position) {
        throw CommandLineError("point 1's position is given twice (" + line.options.point1PositionOption + " and " +
                               option + ")");
    }
    line.options.point1Position = xyz;
    line.options.point1PositionOption = option;
}

void setPoint1Llh(CommandLine& line, const std::string& value) {
    const char* what = "LAT,LON,H (degrees, degrees, metres above the ellipsoid)";
    const std::array<double, 3> llh = triple("--point1-llh", value, what);
    if (std::fabs(llh[0]) > 90.0 || llh[1] < -180.0 || llh[1] > 360.0) {
        throw CommandLineError("option '--point1-llh' needs " + std::string(what) + ", not '" + value + "'");
    }
    std::array<double, 3> xyz{};
    const double radiansPerDegree = 1.0 / GpsConstants::degreesPerRadian;
    geoxyz(llh[0] * radiansPerDegree, llh[1] * radiansPerDegree, llh[2], xyz[0], xyz[1], xyz[2]);
    setPoint1(line, "--point1-llh", xyz);
}

// The options, in the order --help lists them. Each entry stores its value in RunOptions (or the CommandLine).
const OptionSpec kOptions[] = {
    {"point1", 0, "FILE", "observations of point 1, the known point (default point1.rnx)",
     [](CommandLine& l, const std::string& v) { l.options.point1 = v; }},
    {"point2", 0, "FILE", "observations of point 2, the point determined (default point2.rnx)",
     [](CommandLine& l, const std::string& v) { l.options.point2 = v; }},
    {"orbit", 0, "FILE", "precise orbit; repeat for consecutive files, in time order (default orbit.sp3)", setOrbit},
    {"nav", 0, "FILE", "broadcast navigation file as the orbit (RINEX 2, 3 or 4); repeat for more, in any order",
     setNav},
    {"pos", 0, "FILE", "station positions (default pos)",
     [](CommandLine& l, const std::string& v) { l.options.position = v; }},
    {"off", 0, "FILE", "antenna offsets, used when the file exists (default off)",
     [](CommandLine& l, const std::string& v) {
         l.options.offsets = v;
         l.options.useOffsets = true;
         l.offsetsGiven = true;
     }},
    {"point1-xyz", 0, "X,Y,Z", "point 1's marker, earth-centred metres, instead of the position file",
     [](CommandLine& l, const std::string& v) {
         setPoint1(l, "--point1-xyz", triple("--point1-xyz", v, "X,Y,Z (earth-centred metres)"));
     }},
    {"point1-llh", 0, "LAT,LON,H", "point 1's marker as latitude, longitude (degrees) and ellipsoidal height (m)",
     setPoint1Llh},
    {"point2-apriori", 0, "X,Y,Z", "point 2's a priori marker, earth-centred metres",
     [](CommandLine& l, const std::string& v) {
         if (l.options.point2Apriori) throw CommandLineError("point 2's a priori position is given twice");
         l.options.point2Apriori = triple("--point2-apriori", v, "X,Y,Z (earth-centred metres)");
     }},
    {"point1-id", 0, "ID", "look point 1 up in the position file by ID, not by its file's MARKER NAME",
     [](CommandLine& l, const std::string& v) { l.options.point1Id = v; }},
    {"point2-id", 0, "ID", "look point 2 up in the position file by ID, not by its file's MARKER NAME",
     [](CommandLine& l, const std::string& v) { l.options.point2Id = v; }},
    {"no-off", 0, nullptr, "ignore any antenna offset file",
     [](CommandLine& l, const std::string&) { l.options.useOffsets = false; }},
    {"directory", 'C', "DIR", "run as if started in DIR (inputs and outputs are found there)",
     [](CommandLine& l, const std::string& v) { l.directory = v; }},
    {"output-dir", 'o', "DIR", "write varno.lst, varno.res and every other output in DIR (created if missing)",
     [](CommandLine& l, const std::string& v) { l.options.outputDirectory = v; }},
    {"quiet", 'q', nullptr, "no progress lines on the console (stops and errors are still shown)",
     [](CommandLine& l, const std::string&) { l.options.quiet = true; }},
    {"summary", 0, "FILE", "write the results as JSON (schema varno-summary/2) to FILE; '-' for standard output",
     [](CommandLine& l, const std::string& v) {
         l.options.summary = v;
         // Standard output then carries the JSON alone.
         if (v == "-") l.options.quiet = true;
     }},
    {"report", 0, nullptr, "print a short block of the results (baseline, formal precision) on standard output",
     [](CommandLine& l, const std::string&) { l.options.report = true; }},
    {"plot", 0, "FILE", "draw the post-fit residuals against time and elevation as an SVG picture",
     [](CommandLine& l, const std::string& v) { l.options.plot = v; }},
    {"residuals-csv", 0, "FILE", "write the post-fit residuals as CSV, with calendar time and a used flag",
     [](CommandLine& l, const std::string& v) { l.options.residualsCsv = v; }},
    {"kinematic", 0, "FILE", "write a solution of point 2 for every epoch alone as CSV (a receiver that moves)",
     [](CommandLine& l, const std::string& v) { l.options.kinematic = v; }},
    {"track", 0, "FILE", "write the same per-epoch solutions as GeoJSON (a line and a point per epoch)",
     [](CommandLine& l, const std::string& v) { l.options.track = v; }},
    {"plot-track", 0, "FILE", "draw the per-epoch solutions (north against east, height against time) as SVG",
     [](CommandLine& l, const std::string& v) { l.options.plotTrack = v; }},
    {"crs", 0, "CRS", "give point 2 also in CRS (e.g. EPSG:25831) in the summary and the report",
     [](CommandLine& l, const std::string& v) {
         try {
             crs::describe(v);
         } catch (const crs::CrsError& error) {
             throw CommandLineError(std::string("option '--crs': ") + error.what());
         }
         l.options.crs = v;
     }},
    {"require-static", 0, nullptr, "exit with status 4 when point 2 did not stand still (the static check fails)",
     [](CommandLine& l, const std::string&) { l.options.requireStatic = true; }},
    {"troposphere", 0, nullptr, "correct both receivers' pseudoranges for the troposphere (standard atmosphere)",
     [](CommandLine& l, const std::string&) { l.options.troposphere = true; }},
    {"elevation-mask", 0, "DEG", "form double differences only of satellites at least DEG above both horizons",
     setElevationMask},
    {"systems", 0, "LIST", "G (the default), letters of G, E, C, J, R separated by commas, or all (G,E,C,J)",
     setSystems},
    {"weights", 0, "MODEL",
     "equal (the default), elevation (by each double difference's variance) or correlated (by each epoch's covariance)",
     setWeights},
    {"help", 'h', nullptr, "show this help and exit",
     [](CommandLine& l, const std::string&) { l.action = CommandLine::Action::help; }},
    {"version", 0, nullptr, "show the version and build and exit",
     [](CommandLine& l, const std::string&) { l.action = CommandLine::Action::version; }},
};

[[noreturn]] void refuse(const std::string& message) { throw CommandLineError(message); }

std::string shownName(const OptionSpec& entry) { return std::string("--") + entry.longName; }

const OptionSpec* findLong(std::string_view name) {
    for (const OptionSpec& entry : kOptions) {
        if (name == entry.longName) return &entry;
    }
    return nullptr;
}

const OptionSpec* findShort(char letter) {
    for (const OptionSpec& entry : kOptions) {
        if (entry.shortName != 0 && entry.shortName == letter) return &entry;
    }
    return nullptr;
}

void apply(CommandLine& line, const OptionSpec& entry, const std::string& value, const std::string& shown) {
    if (entry.valueName != nullptr && value.empty()) refuse("option '" + shown + "' needs a value (" + entry.valueName + ")");
    entry.apply(line, value);
}

// --name, --name=value or --name value; returns the index of the last argument used.
size_t parseLong(CommandLine& line, const std::vector<std::string>& args, size_t i) {
    const std::string& arg = args[i];
    size_t equals = arg.find('=');
    std::string name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
    const OptionSpec* entry = findLong(name);
    if (entry == nullptr) refuse("unknown option '--" + name + "'");
    if (entry->valueName == nullptr) {
        if (equals != std::string::npos) refuse("option '" + shownName(*entry) + "' takes no value");
        apply(line, *entry, "", shownName(*entry));
        return i;
    }
    if (equals != std::string::npos) {
        apply(line, *entry, arg.substr(equals + 1), shownName(*entry));
        return i;
    }
    if (i + 1 >= args.size()) refuse("option '" + shownName(*entry) + "' needs a value (" + entry->valueName + ")");
    apply(line, *entry, args[i + 1], shownName(*entry));
    return i + 1;
}

// -x, -xvalue, -x value, and grouped switches (-qh); returns the index of the last argument used.
size_t parseShort(CommandLine& line, const std::vector<std::string>& args, size_t i) {
    const std::string& arg = args[i];
    for (size_t k = 1; k < arg.size(); ++k) {
        const std::string shown = std::string("-") + arg[k];
        const OptionSpec* entry = findShort(arg[k]);
        if (entry == nullptr) refuse("unknown option '" + shown + "'");
        if (entry->valueName == nullptr) {
            apply(line, *entry, "", shown);
            continue;
        }
        if (k + 1 < arg.size()) {
            apply(line, *entry, arg.substr(k + 1), shown);
            return i;
        }
        if (i + 1 >= args.size()) refuse("option '" + shown + "' needs a value (" + entry->valueName + ")");
        apply(line, *entry, args[i + 1], shown);
        return i + 1;
    }
    return i;
}

}  // namespace

const OptionSpec* optionTable(size_t& count) {
    count = sizeof(kOptions) / sizeof(kOptions[0]);
    return kOptions;
}

CommandLine parseCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") {
            if (i + 1 < args.size()) refuse("unexpected argument '" + args[i + 1] + "'");
            break;
        }
        if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            i = parseLong(line, args, i);
        } else if (arg.size() > 1 && arg[0] == '-') {
            i = parseShort(line, args, i);
        } else {
            // varno takes no operands: every input is named by its option.
            refuse("unexpected argument '" + arg + "'");
        }
    }
    // The covariance of an epoch is that of double differences sharing one reference satellite: the double
    // differences of several systems, each against its own, would be weighted as if they shared one.
    if (line.options.correlatedWeights && systemCount(line.options.systems) > 1) {
        refuse("option '--weights correlated' weights the double differences of one system; '--systems " +
               systemsText(line.options.systems) + "' forms those of several");
    }
    return line;
}

}  // namespace varno
