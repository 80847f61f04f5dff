#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "cli/cli.h"
#include "cli/cli_internal.h"

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

void setWeights(CommandLine& line, const std::string& value) {
    if (value == "equal") {
        line.options.elevationWeights = false;
    } else if (value == "elevation") {
        line.options.elevationWeights = true;
    } else {
        throw CommandLineError("option '--weights' takes 'equal' or 'elevation', not '" + value + "'");
    }
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
    {"troposphere", 0, nullptr, "correct both receivers' pseudoranges for the troposphere (standard atmosphere)",
     [](CommandLine& l, const std::string&) { l.options.troposphere = true; }},
    {"elevation-mask", 0, "DEG", "form double differences only of satellites at least DEG above both horizons",
     setElevationMask},
    {"weights", 0, "MODEL", "equal (the default) or elevation: weight each double difference by its variance",
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
    return line;
}

}  // namespace varno
