// Plain explanations of every stop code: what happened and what to do, in the words of the run's own files.
#include <algorithm>
#include <string>

#include "run/run.h"

namespace varno {

namespace {

// {p1}, {p2}, {orbit}, {pos}, {off} and {lst} stand for the file names of the run.
struct StopText {
    int code;
    const char* what;
    const char* todo;
};

constexpr StopText kStops[] = {
    {25, "point 2's adjusted L1 phase centre has no geodetic position (it ran off to the earth's centre)",
     "check {pos} and the observation files; the solution diverged"},
    {13598, "the reference satellite table is empty", "check that the observations overlap the orbit in {orbit}"},
    {23674, "point 1's position is not plausible (within 6000 km of the earth's centre; the listing says 'invalid "
            "point 1 xyz')",
     "add point 1 to {pos}, or give its observation file an APPROX POSITION XYZ"},
    {24303, "an epoch line of {p1} or {p2} lists no satellite while the observations are read",
     "repair or remove that epoch line"},
    {24307, "the first epoch line of {p1} or {p2} lists no satellite", "repair or remove that epoch line"},
    {24308, "an epoch line of {p1} or {p2} lists no satellite", "repair or remove that epoch line"},
    {24309, "{p1} or {p2} holds a single epoch ('fewer than two epochs in observation file')",
     "use files with at least two epochs"},
    {25551, "point 1's L1 phase centre has no geodetic position", "check point 1 in {pos} and the offsets in {off}"},
    {25552, "point 2's L1 phase centre has no geodetic position", "check point 2 in {pos} and the offsets in {off}"},
    {32646, "an observation record names satellite number 0 ('zero prn number was not expected')",
     "repair the epoch line of {p1} or {p2} named in {lst}"},
    {32875, "no satellite stands above point 1's horizon at a sample time (or above the elevation mask)",
     "check point 1's position in {pos}, the orbit in {orbit} and any --elevation-mask"},
    {32898, "{p1} holds more than 32 distinct GPS satellites ('prn table overflow')", "split the file"},
    {32899, "{p2} holds more than 32 distinct GPS satellites ('prn table overflow')", "split the file"},
    {34551, "no orbit for a satellite at a signal time of point 1 ('oterp error in comrng--', error code and PRN "
            "in {lst}: 1 not in the orbit, 2 no orbit, 3 outside the orbit's span)",
     "give an orbit that covers the data (see the line below), or leave the satellite out"},
    {34552, "no orbit for a satellite at a signal time of point 2 ('oterp error in comrng--' in {lst})",
     "give an orbit that covers the data (see the line below), or leave the satellite out"},
    {34553, "no orbit for a satellite when point 1's clock offset is computed ('oterp error in comdtr--' in {lst})",
     "give an orbit that covers the data (see the line below), or leave the satellite out"},
    {34554, "no orbit for a satellite when point 2's clock offset is computed ('oterp error in comdtr--' in {lst})",
     "give an orbit that covers the data (see the line below), or leave the satellite out"},
    {34587, "the orbit file {orbit} dates its first epoch before 1900", "check the first lines of {orbit}"},
    {34588, "a date before 1900 in the orbit or observation files", "check the dates of the files"},
    {34589, "a date before 1900 in the orbit or observation files", "check the dates of the files"},
    {34591, "an observation file ended while its epochs were being read in step", "check {p1} and {p2} for a cut end"},
    {34958, "no orbit for a satellite while the reference satellites are chosen ('oterp error in makrst--' in {lst})",
     "give an orbit that covers the data, or leave the satellite out"},
    {34989, "an observation file declares no observation type", "repair the '# / TYPES OF OBSERV' line"},
    {36649, "the epoch reader lost step (times that are not numbers)", "check the epoch lines of {p1} and {p2}"},
    {43586, "both receivers record faster than every 0.5 s ('data interval below 1 s')",
     "decimate the files to 1 s or slower"},
    {43587, "the two receivers' data do not overlap in time ('receiver data do not overlap'), or point 2's marker "
            "has no geodetic position",
     "use observation files of the same session"},
    {43588, "the orbit ({orbit}) does not cover the common span of the data ('orbit interval too short', with the orbit's "
            "span), or a record pair of {pos} is out of step, or point 1's phase centre has no geodetic position",
     "give an orbit that starts before and ends after the data (several --orbit files join); check {pos}"},
    {43589, "a record pair of {pos} whose second record is not *86*, or point 2's phase centre has no geodetic "
            "position",
     "check {pos}; varno-pos writes the pairs"},
    {45397, "a stored observation finds no reference satellite by point 1's time tag (its slot and both tags in "
            "{lst}); point 1's tags lie more than 0.2 s after the last nominal epoch",
     "end point 1's file on the nominal grid, or shift its time tags"},
    {66663, "an observation file could not be read at an epoch line ('read error encountered', the last good "
            "epoch in {lst})",
     "repair the line named just before this one (file, line and field), the epoch line after the one in {lst}"},
    {74358, "a satellite slot outside the satellite table", "report it: this should not happen with any input"},
    {78439, "a satellite without orbit could not be taken out of the satellite table",
     "report it: this should not happen with any input"},
    {80001, "the troposphere model was given a pressure outside 900-1100 hPa", "check the met values"},
    {80002, "the troposphere model was given a humidity outside 0-1", "check the met values"},
    {80003, "the troposphere model was given a temperature outside -50 to 50 C", "check the met values"},
    {80004, "the troposphere model was given a latitude beyond the poles", "check the stations' positions"},
    {80005, "a receiver lies outside the troposphere model's heights (-150 to 5000 m)",
     "run without --troposphere"},
    {80006, "the troposphere model was given an elevation outside -0.5 to 1.572 rad",
     "use --elevation-mask 0 or higher with --troposphere"},
    {87435, "the reference satellite table is full ('ref sat table overflow at')", "split the data into shorter spans"},
    {87436, "the reference satellite table could not be sized", "split the data into shorter spans"},
    {87473, "a satellite slot outside the table while values are taken", "report it: this should not happen"},
    {87854, "no double difference could be formed ('no observation equations'): no common epoch within 0.3 s, "
            "or no common satellite besides the reference",
     "check that both receivers observe at the same times, and any --elevation-mask"},
    {87855, "the normal equations are singular ('normal equations singular'): too weak a geometry",
     "use a longer span or more satellites"},
    {88998, "the orbit interpolation was asked for a node outside its window", "report it: this should not happen"},
    {89756, "an epoch of {orbit} has fewer position records than its header declares", "use a complete orbit file"},
    {89757, "a satellite number of {orbit} lies outside the satellite table", "use a complete orbit file"},
    {89758, "the orbit window has fewer than 9 epochs", "give an orbit with more epochs around the data"},
    {89759, "orbit epochs are missing or off the orbit's grid in the loaded window", "use a complete orbit file"},
    {93278, "the reference satellite table could not be opened", "report it: this should not happen"},
    {95397, "a stored observation finds no reference satellite in the results", "see stop 45397"},
    {98786, "more than 35 satellites would need scatter files", "split the data"},
};

std::string replaceAll(std::string text, const std::string& key, const std::string& value) {
    for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size())) {
        text.replace(at, key.size(), value);
    }
    return text;
}

}  // namespace

std::vector<int> explainedStopCodes() {
    std::vector<int> codes;
    for (const StopText& s : kStops) codes.push_back(s.code);
    return codes;
}

std::string explainStop(int code, const RunOptions& options) {
    const StopText* found = nullptr;
    for (const StopText& s : kStops) {
        if (s.code == code) found = &s;
    }
    std::string text = found == nullptr ? std::string("the run stopped; the last lines of {lst} say where")
                                        : std::string(found->what) + "; " + found->todo;
    std::string orbits;
    for (const std::string& name : options.orbits) orbits += (orbits.empty() ? "" : ", ") + name;
    text = replaceAll(text, "{p1}", options.point1);
    text = replaceAll(text, "{p2}", options.point2);
    text = replaceAll(text, "{orbit}", orbits);
    text = replaceAll(text, "{pos}", options.position);
    text = replaceAll(text, "{off}", options.offsets);
    text = replaceAll(text, "{lst}", options.outputDirectory.empty() ? std::string(RunFiles::listing)
                                                                    : options.outputDirectory + "/" + RunFiles::listing);
    return "stop " + std::to_string(code) + ": " + text;
}

}  // namespace varno
