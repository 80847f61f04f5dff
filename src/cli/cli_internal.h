// Inside the command line subsystem: the option table shared by the parser and the help text.
#pragma once

#include <cstddef>
#include <string>

#include "cli/cli.h"

namespace varno {

struct OptionSpec {
    const char* longName;   // without the leading "--"
    char shortName;         // 0: no short form
    const char* valueName;  // nullptr: a switch that takes no value
    const char* help;       // one line, lower case, no final full stop
    void (*apply)(CommandLine& line, const std::string& value);
};

// The table of options in the order --help lists them; `count` receives its length.
const OptionSpec* optionTable(std::size_t& count);

}  // namespace varno
