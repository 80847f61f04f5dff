// varno-sim internals of option handling: the table of options and the value helpers.
#pragma once

#include "sim.h"

namespace sim {

std::string trim(const std::string& s);
// Value parsers of the option table; each throws Error naming the option for a bad value.
std::vector<std::string> splitList(const std::string& v);
double toDouble(const std::string& key, const std::string& v);
long long toInt(const std::string& key, const std::string& v);
bool toBool(const std::string& key, const std::string& v);
std::vector<double> toDoubles(const std::string& key, const std::string& v);
std::vector<int> toPrns(const std::string& key, const std::string& v, int lo, int hi);
Vec3 toVec3(const std::string& key, const std::string& v);

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
// The options of the error, motion, navigation and constellation models (option_models.cpp), after the others.
std::vector<Option> modelOptions();

}  // namespace sim
