#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>

#include "cli/cli.h"
#include "cli/cli_internal.h"
#include "textio/textio.h"

#ifndef VARNO_VERSION
#define VARNO_VERSION "unknown"
#endif
#ifndef VARNO_BUILD_TYPE
#define VARNO_BUILD_TYPE "unknown"
#endif

namespace varno {

namespace {

constexpr int kStatusUsage = 2;

// "  -C, --directory=DIR" or "      --point1=FILE": the left column of the help.
std::string optionColumn(const OptionSpec& entry) {
    std::string text = entry.shortName != 0 ? std::string("  -") + entry.shortName + ", " : std::string("      ");
    text += "--";
    text += entry.longName;
    if (entry.valueName != nullptr) text += std::string("=") + entry.valueName;
    return text;
}

}  // namespace

std::vector<std::string> longOptionNames() {
    size_t count = 0;
    const OptionSpec* table = optionTable(count);
    std::vector<std::string> names;
    for (size_t i = 0; i < count; ++i) names.emplace_back(table[i].longName);
    return names;
}

std::string usageText() {
    size_t count = 0;
    const OptionSpec* table = optionTable(count);
    size_t width = 0;
    for (size_t i = 0; i < count; ++i) width = std::max(width, optionColumn(table[i]).size());
    std::string text =
        "Usage: varno [OPTION]...\n"
        "Position of GPS receiver point 2 relative to the known point 1 from double differences of L1\n"
        "pseudoranges and a precise orbit. Without options it reads point1.rnx, point2.rnx, orbit.sp3, pos and\n"
        "(when present) off in the current directory and writes the listing varno.lst and the residual file\n"
        "varno.res there.\n"
        "\n"
        "Options:\n";
    for (size_t i = 0; i < count; ++i) {
        std::string column = optionColumn(table[i]);
        text += column + std::string(width + 2 - column.size(), ' ') + table[i].help + '\n';
    }
    text +=
        "\n"
        "Exit status: 0 after \"End of Processing\"; after \"STOP <code>\" the code's low 8 bits, with one line\n"
        "on standard error that explains the stop; 2 for an input error or a command line that cannot be\n"
        "followed; 1 when the listing cannot be created. See varno(1) for the files and every stop code.\n";
    return text;
}

std::string versionText() {
    return std::string("varno ") + VARNO_VERSION + "\nbuild: " + VARNO_BUILD_TYPE + ", g++ " + __VERSION__ + '\n';
}

int runCommandLine(int argc, const char* const* argv) {
    std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
    CommandLine line;
    try {
        line = parseCommandLine(args);
    } catch (const CommandLineError& error) {
        std::cerr << "varno: " << error.what() << "; try 'varno --help'\n";
        return kStatusUsage;
    }
    if (line.action == CommandLine::Action::help) {
        std::cout << usageText() << std::flush;
        return 0;
    }
    if (line.action == CommandLine::Action::version) {
        std::cout << versionText() << std::flush;
        return 0;
    }
    if (!line.directory.empty() && ::chdir(line.directory.c_str()) != 0) {
        std::cerr << "varno: cannot change to directory " << line.directory << ": " << std::strerror(errno) << '\n';
        return kStatusUsage;
    }
    // Without the option a missing offset file means "no offsets"; a file named on purpose must be there.
    if (line.offsetsGiven && line.options.useOffsets && !fileExists(line.options.offsets)) {
        std::cerr << "varno: cannot open " << line.options.offsets << ": No such file or directory\n";
        return kStatusUsage;
    }
    return runVarno(line.options);
}

}  // namespace varno
