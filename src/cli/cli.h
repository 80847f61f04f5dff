// The command line of varno: GNU-style options that fill the run's RunOptions, the help and version texts, and the
// main program's whole body.
//
// Adding an option takes three small steps:
//   1. a field in RunOptions (src/run/run.h) whose default means "as without the option";
//   2. one entry in the option table in src/cli/options.cpp: long name, short letter (or 0), value name (nullptr
//      for a switch), one line of help, and the function that stores the value in the field (a value that does not
//      convert is refused there with CommandLineError, naming the option);
//   3. an .TP item in the OPTIONS section of man/varno.1 and a row in the README's options table (a test checks
//      that every long name of the table appears in both).
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "run/run.h"

namespace varno {

// A command line that cannot be followed: an unknown option, a missing or malformed value, a stray argument.
// The message names the culprit; it is printed as "varno: <message>; try 'varno --help'" with status 2.
class CommandLineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What the command line asks for.
struct CommandLine {
    enum class Action { run, help, version };
    Action action = Action::run;
    RunOptions options;     // for Action::run
    std::string directory;  // -C: change to this directory before anything else; empty: stay
    bool orbitsGiven = false;  // an --orbit was seen (the first one replaces the default name)
    bool offsetsGiven = false; // --off named a file: it must then exist
};

// Parses the arguments after the program name. Options may come in any order: --name=value, --name value, -x value,
// -xvalue, and switches grouped (-q). "--" ends the options. A later value of a single-valued option replaces an
// earlier one; --orbit accumulates in order. Throws CommandLineError; never runs or writes anything.
CommandLine parseCommandLine(const std::vector<std::string>& args);

// The long names of every option, without "--", in table order (for the checks of the man page and README).
std::vector<std::string> longOptionNames();

// The --help text (ends with a newline): synopsis, what a run does, every option of the table, exit status.
std::string usageText();
// The --version text: "varno <version>" and a line naming the build.
std::string versionText();

// The main program: parses argv, prints help or version, or changes directory and runs. Returns the exit status
// (2 for a command line that cannot be followed, after one line on standard error).
int runCommandLine(int argc, const char* const* argv);

}  // namespace varno
