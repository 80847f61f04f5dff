// varno-sim: the options of point 2's motion and of the time-correlated code errors, listed after the others
// in the help text.

#include "options.h"

namespace sim {

std::vector<Option> modelOptions() {
    return {
        // ---- scenario: point 2's motion
        {"trajectory", false, "static", nullptr,
         "point 2's motion from its marker at the start: static, straight (along heading), circle (turning "
         "clockwise with radius) or stop-and-go (along heading, stopped and moving in turn, see stop-go); its "
         "true track is written to truth-track.csv",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             const std::string t = trim(v);
             if (t != "static" && t != "straight" && t != "circle" && t != "stop-and-go")
                 throw Error("option " + k + ": static, straight, circle or stop-and-go: '" + v + "'");
             s.trajectory = t;
         }},
        {"speed", false, "10", nullptr, "speed of a moving point 2, metres per second (0 to 1000)",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             s.speed = toDouble(k, v);
             if (s.speed < 0 || s.speed > 1000) throw Error("option " + k + ": 0 to 1000 m/s");
         }},
        {"heading", false, "0", nullptr, "direction of a moving point 2 at the start, degrees clockwise from north",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) { s.heading = toDouble(k, v); }},
        {"radius", false, "200", nullptr, "radius of the circle trajectory, metres (1 or more)",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             s.radius = toDouble(k, v);
             if (s.radius < 1) throw Error("option " + k + ": must be >= 1 m");
         }},
        {"stop-go", false, "60,120", nullptr,
         "STOP,GO seconds of the stop-and-go trajectory: stopped for STOP, then moving for GO, in turn from the start",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             const std::vector<double> sg = toDoubles(k, v);
             if (sg.size() != 2 || sg[0] < 0 || sg[1] < 0 || sg[0] + sg[1] <= 0)
                 throw Error("option " + k + ": expected STOP,GO seconds (>= 0, not both 0): '" + v + "'");
             s.stopTime = sg[0], s.goTime = sg[1];
         }},
        // ---- scenario: satellite systems
        {"systems", false, "G", nullptr,
         "simulated satellite systems, letters of G (GPS), E (Galileo), C (BeiDou), J (QZSS), R (GLONASS), e.g. "
         "G,E,C; other than G alone needs orbit-version c or d (d above 85 satellites); max-sats applies per system",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             std::string letters;
             for (const std::string& x : splitList(v)) {
                 if (x.size() != 1 || std::string("GRECJ").find(x[0]) == std::string::npos)
                     throw Error("option " + k + ": a list of the letters G, E, C, J, R: '" + v + "'");
                 letters += x;
             }
             if (letters.empty()) throw Error("option " + k + ": at least one system");
             s.systems.clear();
             for (char c : std::string("GRECJ"))
                 if (letters.find(c) != std::string::npos) s.systems += c;
         }},
        // ---- scenario: navigation files
        {"nav-files", false, "none", nullptr,
         "broadcast navigation files reproducing the orbit and clocks: none, all, or a list of 2 (RINEX 2.11 "
         "brdcDDD0.YYn), 3 (RINEX 3.04 mixed BRDC00SIM_R_YYYYDDD0000_01D_MN.rnx), 4 (RINEX 4.00 mixed "
         "BRD400SIM_R_YYYYDDD0000_01D_MN.rnx)",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             std::string versions;
             for (const std::string& x : splitList(v)) {
                 if (x == "all") {
                     versions += "234";
                 } else if (x == "2" || x == "3" || x == "4") {
                     versions += x;
                 } else {
                     throw Error("option " + k + ": none, all or a list of 2, 3, 4: '" + v + "'");
                 }
             }
             s.navFiles.clear();
             for (char c : std::string("234"))
                 if (versions.find(c) != std::string::npos) s.navFiles += c;
         }},
        // ---- per receiver
        {"system-noise", true, "none", "none",
         "code noise of simulated systems instead of noise, a list of LETTER:METRES, e.g. E:0.3,C:0.6,R:0.8",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) {
             r.systemNoise.clear();
             for (const std::string& x : splitList(v)) {
                 if (x.size() < 3 || x[1] != ':' || std::string("GRECJ").find(x[0]) == std::string::npos)
                     throw Error("option " + k + ": expected LETTER:METRES, e.g. E:0.3: '" + x + "'");
                 const double sigma = toDouble(k, x.substr(2));
                 if (sigma < 0) throw Error("option " + k + ": noise must be >= 0");
                 r.systemNoise[x[0]] = sigma;
             }
         }},
        {"correlation-time", true, "0", "0",
         "correlation time in seconds of the time-correlated code error (first-order Gauss-Markov, one process per "
         "satellite, added to every code value of it); 0 = none",
         [](Scenario&, Receiver& r, const std::string& k, const std::string& v) {
             r.corrTime = toDouble(k, v);
             if (r.corrTime < 0) throw Error("option " + k + ": must be >= 0");
         }},
        {"separation-ppm", false, "0", nullptr,
         "K mm per km: point 2's code gains a delay that grows with the baseline, as ionosphere and orbit leave it: "
         "a vertical delay of standard deviation K x baseline / 10^6, half of its variance drawn per satellite pass "
         "and half per 2 h common to all satellites, mapped to the elevation through a 350 km shell; 0 = none",
         [](Scenario& s, Receiver&, const std::string& k, const std::string& v) {
             s.separationPpm = toDouble(k, v);
             if (!(s.separationPpm >= 0 && s.separationPpm <= 1000)) throw Error("option " + k + ": 0 to 1000");
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
