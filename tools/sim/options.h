// varno-sim internals of option handling: the table of options and the value helpers.
#pragma once

#include "sim.h"

namespace sim {

std::string trim(const std::string& s);

using Setter = std::function<void(Scenario&, Receiver&, const std::string& key, const std::string& value)>;

struct Option {
    const char* key;
    bool perReceiver;
    const char* def1;  // default (for receiver 1 when per receiver)
    const char* def2;  // default for receiver 2 (per receiver only)
    const char* help;
    Setter set;
};

// Every option, scenario options and per-receiver options, in help order.
const std::vector<Option>& options();

}  // namespace sim
