// Run control: the files of one run and the order of its stages.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "adjust/adjust.h"
#include "gnss/gnss.h"
#include "models/models.h"
#include "results/results.h"
#include "station/station.h"
#include "textio/textio.h"

namespace varno {

// The fixed file names of a run, all in the current directory.
struct RunFiles {
    static constexpr const char* listing = "varno.lst";
    static constexpr const char* position = "pos";
    static constexpr const char* point1 = "point1.rnx";
    static constexpr const char* point2 = "point2.rnx";
    static constexpr const char* orbit = "orbit.sp3";
    static constexpr const char* offsets = "off";
    static constexpr const char* residuals = "varno.res";
};

// What one run reads, writes and applies. The defaults are the run without arguments: the fixed names in the
// current directory, no optional output, no optional model. The command line fills it; each later option is a
// field here, with its default meaning "as without the option".
struct RunOptions {
    // Inputs.
    std::string point1 = RunFiles::point1;
    std::string point2 = RunFiles::point2;
    std::vector<std::string> orbits{RunFiles::orbit};  // in time order; several files join into one table
    std::vector<std::string> navs;  // broadcast navigation files, any order; when given, no orbit file is read
    std::string position = RunFiles::position;
    std::string offsets = RunFiles::offsets;
    bool useOffsets = true;  // false: an offset file that is present is ignored
    // Stations named or placed on the command line (empty: the observation files' MARKER NAMEs, the position file).
    std::string point1Id, point2Id;
    std::optional<std::array<double, 3>> point1Position;  // point 1's marker, earth-centred, m
    std::string point1PositionOption;                     // the option that gave it
    std::optional<std::array<double, 3>> point2Apriori;   // point 2's a priori marker, earth-centred, m
    // Outputs.
    std::string outputDirectory;  // empty: the current directory
    bool quiet = false;           // no progress lines on the console
    // Optional models, all off by default.
    bool troposphere = false;  // slant troposphere delays at both receivers, standard met values
    double elevationMask = -91.0;  // degrees; below -90: no mask
    SystemSet systems = kGpsOnly;  // the systems whose double differences are formed, each within itself
    bool elevationWeights = false;  // weights from the elevation model of the adjustment
    bool correlatedWeights = false;  // with them, each epoch's double differences by their covariance
    // Results beside the listing (empty: not written).
    std::string summary;          // summary JSON; "-": standard output
    bool report = false;          // a short block of the results on standard output
    std::string plot;             // residual plot, SVG
    std::string residualsCsv;     // the post-fit residuals as CSV
    std::string kinematic;        // one solution of point 2 per epoch, CSV
    std::string track;            // the same as GeoJSON
    std::string plotTrack;        // the same drawn, SVG
    std::string crs;              // point 2 also in this system in the summary and report (empty: not)
    // A failed static check ends the run with kStatusNotStatic (else it only warns).
    bool requireStatic = false;
};

// Everything one run holds of its own: its satellites, its reference satellites, the values its models read (the
// reference day, the met values) and the sinks of its listing and console. runVarno makes a fresh one for every
// run, so that two runs in two threads of one process never meet.
struct RunContext {
    RunContext() {
        models.sats = &satellites;
        models.references = &references;
    }
    RunContext(const RunContext&) = delete;
    RunContext& operator=(const RunContext&) = delete;

    SatIndex satellites;
    RefSatTables references;  // one for each system
    RunModels models;  // reads the two tables above
    OutputSinks output;
};

// The exit status of a complete run whose static check failed, when --require-static asks for it.
inline constexpr int kStatusNotStatic = 4;

// What one run solved: point 2 and the figures the listing and the result files give of it.
struct BaselineSolution {
    std::string point1Id, point2Id;  // as the run named the stations
    StationPair pair;                // the final stations: point 2 adjusted (p2Marker, p2L1), its a priori p2Apriori
    AdjustSolution adjustment;       // the last iteration's inverse normal matrix, count and rms; post-fit figures
    StaticCheck staticCheck;         // whether point 2 stood still
    std::optional<RunSummary> summary;  // what the summary and the report give, when the run wrote either or a
                                        // residual plot or CSV
};

// How one run ended: its exit status as runVarno returns it and, after "End of Processing", its solution.
struct RunOutcome {
    int status = 0;
    std::optional<BaselineSolution> solution;  // none after a stop or an error
};

// Runs the whole program on one baseline and returns its outcome; the files and the console are as runVarno
// writes them.
RunOutcome solveBaseline(const RunOptions& options);

// Runs the whole program and returns the process exit status: 0 after "End of Processing", the stop code's low
// 8 bits after a stop ("STOP <code>" on the console), kStatusNotStatic after a complete run whose static check
// failed under requireStatic, 2 after an input error (one line "varno: ..." on standard
// error), 1 when the listing cannot be created. The status of solveBaseline(options).
int runVarno(const RunOptions& options = RunOptions{});

// One plain line on a stop, for standard error after "STOP <code>": what happened and what to do, with the run's
// own file names ("stop 43587: the two receivers' data do not overlap ...; use observation files of ...").
std::string explainStop(int code, const RunOptions& options);
// Every stop code that has an explanation, in table order.
std::vector<int> explainedStopCodes();

}  // namespace varno
