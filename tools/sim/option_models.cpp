// varno-sim: the options of the time-correlated code errors (and of the further models that follow them in
// the help text).

#include "options.h"

namespace sim {

std::vector<Option> modelOptions() {
    return {
        // ---- per receiver
        {"correlation-time", true, "0", "0",
         "correlation time in seconds of the time-correlated code error (first-order Gauss-Markov, one process per "
         "satellite, added to every code value of it); 0 = none",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) {
             r.corrTime = toDouble(k, v);
             if (r.corrTime < 0) throw Error("option " + k + ": must be >= 0");
         }},
        {"correlated-noise", true, "0,0", "0,0",
         "A,B metres: standard deviation sqrt(A^2 + (B / sin e)^2) of the time-correlated code error at elevation e",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) {
             const std::vector<double> ab = toDoubles(k, v);
             if (ab.size() != 2 || ab[0] < 0 || ab[1] < 0)
                 throw Error("option " + k + ": expected two numbers A,B >= 0: '" + v + "'");
             r.corrA = ab[0], r.corrB = ab[1];
         }},
    };
}

}  // namespace sim
