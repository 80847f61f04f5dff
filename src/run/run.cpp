#include "run/run.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <deque>
#include <filesystem>
#include <iostream>
#include <memory>

#include "adjust/adjust.h"
#include "broadcast/broadcast.h"
#include "kinematic/kinematic.h"
#include "models/models.h"
#include "orbit/orbit.h"
#include "results/results.h"
#include "rinex/rinex.h"
#include "runfiles/runfiles.h"
#include "station/station.h"
#include "textio/textio.h"
#include "timebase/timebase.h"

namespace varno {

namespace {

constexpr const char* kBanner = "Pseudorange Program -- L1 only -- 2006aug26";
constexpr double kSecondsPerHour = 3600.0;
constexpr const char* kTroposphereLine =
    "troposphere model used: Saastamoinen zenith delays and continued-fraction mapping at each receiver, met "
    "values of the standard atmosphere from 1013 hPa, 20 C, 50 % humidity at sea level";

// Where an output of the run goes: the output directory when one is given, else the current directory.
std::string outputPath(const RunOptions& options, const char* name) {
    return varno::outputPath(options.outputDirectory, name);
}

std::string coordinateLine(const double* values, int count) {
    std::string line;
    for (int i = 0; i < count; ++i) line += fmtF(values[i], 14, 4);
    return line;
}

void writeCoordinateDump(const StationPair& pair) {
    writeListing(freeLine("coordinate dump"));
    writeListing(coordinateLine(pair.p1Marker.data(), 3));
    writeListing(coordinateLine(pair.p1L1.data(), 3));
    writeListing(coordinateLine(pair.p2Marker.data(), 3));
    writeListing(coordinateLine(pair.p2L1.data(), 3));
    writeListing(coordinateLine(pair.p1Antenna.data(), 4));
    writeListing(coordinateLine(pair.p2Antenna.data(), 4));
}

// The distance is between the markers; "interval" labels the length of the common span in hours.
void writeBaselineLine(const StationPair& pair, const SpanPlan& plan) {
    double dx = pair.p2Marker[0] - pair.p1Marker[0];
    double dy = pair.p2Marker[1] - pair.p1Marker[1];
    double dz = pair.p2Marker[2] - pair.p1Marker[2];
    double distance = std::sqrt(dx * dx + dy * dy + dz * dz);
    double hours = (plan.dataEnd - plan.dataStart) / kSecondsPerHour;
    writeListing("baseline = " + fmtF(distance, 14, 4) + " m.    interval = " + fmtF(hours, 6, 2) + " hr.");
}

// GLONASS code biases depend on the frequency channel and differ between receiver makes: with GLONASS asked for
// and two receivers of different type, the listing and standard error say so.
void warnOfGlonassBiases(const RunOptions& options, const ObsFileSummary& summary1, const ObsFileSummary& summary2) {
    if (!options.systems[static_cast<std::size_t>(GnssSystem::glonass)]) return;
    if (summary1.receiverType == summary2.receiverType) return;
    const std::string line = "GLONASS with receivers of different type ('" + summary1.receiverType + "', '" +
                             summary2.receiverType +
                             "'): their code biases differ by frequency channel and enter the GLONASS results";
    writeListing(freeLine(line));
    writeWarning(line);
}

// Removes from the run every satellite the orbit does not carry; `satCount` comes back as the count left.
void keepSatellitesOf(SatIndex& sats, const OrbitSource& orbit, int& satCount) {
    const std::vector<SatId> carried = orbit.satellites();
    for (const SatId& sat : std::vector<SatId>(sats.satellites())) {
        int n = 0;
        if (!std::binary_search(carried.begin(), carried.end(), sat)) delprn(sats, sat, n);
    }
    numprn(sats, satCount);
}

// One listing line for every satellite that lacks a usable broadcast record at some epochs of the common span: it
// takes no part in those epochs, and is removed from the run when that is every epoch. `satCount` comes back as
// the count left.
void keepSatellitesWithRecords(SatIndex& sats, const BroadcastOrbit& orbit, const SpanPlan& plan, int& satCount) {
    for (const SatId& sat : std::vector<SatId>(sats.satellites())) {
        int epochs = 0;
        const int lacking = orbit.epochsWithoutRecord(sat, plan.dataStart, plan.dataEnd, plan.interval, epochs);
        if (lacking == 0) continue;
        if (lacking < epochs) {
            writeListing(freeLine("no usable ephemeris for prn ", sats.name(sat), " at", lacking,
                                  " epochs -- left out there"));
            continue;
        }
        writeListing(freeLine("no usable ephemeris for prn ", sats.name(sat), " at", lacking, " epochs -- dropped"));
        int n = 0;
        delprn(sats, sat, n);
    }
    numprn(sats, satCount);
}

// The orbit of broadcast ephemerides: the navigation files read into `pool`, the reference day that of point 1's
// first epoch, the span of both receivers, and the run's satellites those with a record at some epoch.
std::unique_ptr<OrbitSource> broadcastOrbit(const RunOptions& options, SatIndex& sats, NavPool& pool, TextFile& obs1,
                                            TextFile& obs2, SpanPlan& plan, ObsFileSummary& summary1,
                                            ObsFileSummary& summary2, StationPair& pair) {
    for (const std::string& name : options.navs) {
        TextFile file(name);
        readNavigation(file, pool);
    }
    int year = 0, month = 0, day = 0;
    firstEpochDate(obs1, year, month, day);
    plan.jd0 = setjd0(year, month, day);
    for (const std::string& line : poolListing(pool)) writeListing(line);
    auto orbit = std::make_unique<BroadcastOrbit>(pool, plan.jd0);
    recon(*orbit, obs1, obs2, sats, plan, summary1, summary2, pair);
    keepSatellitesWithRecords(sats, *orbit, plan, plan.satCount);
    return orbit;
}

// The files a run writes besides the listing.
struct StageOutputs {
    std::string scratchDirectory;
    std::FILE* residuals = nullptr;
};

// The stations as the command line names or places them.
StationSources stationSources(const RunOptions& options, const ObsFileSummary& s1, const ObsFileSummary& s2) {
    StationSources sources;
    sources.id1Given = !options.point1Id.empty();
    sources.id2Given = !options.point2Id.empty();
    sources.id1 = sources.id1Given ? options.point1Id : s1.stationId;
    sources.id2 = sources.id2Given ? options.point2Id : s2.stationId;
    sources.point1 = options.point1Position;
    sources.point1Option = options.point1PositionOption;
    sources.point2 = options.point2Apriori;
    return sources;
}

// Writes one track file whole; nothing, and no text made, when `path` is empty (a day of 1 Hz epochs makes texts
// of tens of megabytes).
template <typename MakeText>
void writeTrackFile(const std::string& path, const MakeText& text) {
    if (path.empty()) return;
    OutputFile file(path);
    file.write(text());
    file.commit();
}

// What a run reads, opened in this order (the first that is missing ends the run), and what it makes of it.
struct StageInputs {
    explicit StageInputs(const RunOptions& options)
        : pos(options.position), obs1(options.point1), obs2(options.point2) {
        if (options.navs.empty()) {
            for (const std::string& name : options.orbits) orbitFiles.emplace_back(name);
        }
    }
    TextFile pos, obs1, obs2;
    std::deque<TextFile> orbitFiles;  // the precise orbit's files, closed once it is loaded
    SpanPlan plan;
    ObsFileSummary summary1, summary2;
    StationPair pair;
    NavPool pool;
    std::unique_ptr<OrbitSource> orbit;
};

// Scans both observation files, fixes the common span and loads the orbit (precise, or broadcast with --nav);
// the run keeps the satellites the orbit carries.
void openOrbit(RunContext& run, const RunOptions& options, StageInputs& in) {
    in.summary1.systems = in.summary2.systems = options.systems;
    if (options.navs.empty()) {
        std::vector<TextFile*> orbits;
        for (TextFile& file : in.orbitFiles) orbits.push_back(&file);
        recon(orbits, in.obs1, in.obs2, run.satellites, in.plan, in.summary1, in.summary2, in.pair);
        for (TextFile* file : orbits) file->rewind();
        in.orbit = loadSp3Orbit(orbits, in.plan.jd0, run.satellites.satellites(), run.satellites.letteredNames(),
                                in.plan.orbitEpochs, in.plan.orbitStart, in.plan.orbitStop);
        in.orbitFiles.clear();
    } else {
        in.orbit = broadcastOrbit(options, run.satellites, in.pool, in.obs1, in.obs2, in.plan, in.summary1,
                                  in.summary2, in.pair);
    }
    keepSatellitesOf(run.satellites, *in.orbit, in.plan.satCount);
    run.models.jd0 = in.plan.jd0;
    warnOfGlonassBiases(options, in.summary1, in.summary2);
}

// Places both stations (position file, command line, antenna offsets) and lists them with the baseline.
StationSources placeStations(const RunOptions& options, StageInputs& in) {
    const StationSources sources = stationSources(options, in.summary1, in.summary2);
    if (sources.any()) {
        lodpos(in.pos, in.pair, sources);
    } else {
        lodpos(in.pos, in.pair, in.summary1.stationId, in.summary2.stationId);
    }
    getoff(in.pos, in.pair, sources.id1, sources.id2, options.useOffsets ? options.offsets : std::string());
    writeCoordinateDump(in.pair);
    writeBaselineLine(in.pair, in.plan);
    return sources;
}

// The run's optional models (troposphere, mask, weights), set and listed.
ObservationModel listModels(RunContext& run, const RunOptions& options) {
    run.models.met = inimet(options.troposphere);
    writeListing(freeLine(options.troposphere ? kTroposphereLine : "no troposphere model used"));
    ObservationModel model;
    model.elevationMask = options.elevationMask;
    model.elevationWeights = options.elevationWeights;
    model.correlatedWeights = options.elevationWeights && options.correlatedWeights;
    if (model.elevationMask >= -90.0) {
        writeListing(freeLine("elevation mask", model.elevationMask, " degrees at both receivers"));
    }
    if (model.elevationWeights) {
        writeListing(freeLine("elevation weights: pseudorange variance", model.sigmaA, "^2 +", model.sigmaB,
                              "^2 / sin^2 e  m^2"));
        if (model.correlatedWeights) {
            writeListing(freeLine("correlated weights: each epoch's double differences by the inverse of their "
                                  "covariance"));
        }
    }
    return model;
}

// Result files go with the other outputs: a relative name is taken in the output directory.
std::string resultPath(const RunOptions& options, const std::string& path) {
    return path.empty() || path == "-" ? path : outputPath(options, path.c_str());
}

// The epoch-by-epoch solutions of point 2 and the static check, with the track files asked for.
StaticCheck trackPoint2(const RunContext& run, const RunOptions& options, StageInputs& in,
                        const ObservationModel& model) {
    const bool trackAsked = !options.kinematic.empty() || !options.track.empty() || !options.plotTrack.empty();
    KinematicInputs pass{&in.obs1, &in.obs2, &in.summary1, &in.summary2, in.plan.dataStart, in.plan.dataEnd,
                         in.plan.interval, model};
    pass.keepEpochs = trackAsked;
    const StationPair& pair = in.pair;
    const KinematicResult track = kinematicPass(run.models, *in.orbit, in.pair, in.plan.satCount, pass);
    if (!track.check.passed) {
        writeListing(staticCheckListingLine(track.check));
        writeWarning(staticCheckWarning(track.check));
    }
    if (!track.check.done && options.requireStatic) writeWarning(staticCheckNotDoneWarning(track.check));
    writeTrackFile(resultPath(options, options.kinematic), [&] { return trackCsv(track, pair.p2Apriori); });
    writeTrackFile(resultPath(options, options.track), [&] { return trackGeoJson(track, pair.p2Apriori); });
    writeTrackFile(resultPath(options, options.plotTrack),
                   [&] { return trackSvg(track, pair.p2Apriori, "point 2 epoch by epoch: " + options.point2); });
    return track.check;
}

// Point 2 also in the system the run names (--crs), with its area of use checked.
void projectPoint2(const RunOptions& options, RunSummary& summary) {
    if (options.crs.empty()) return;
    crs::Mat3 covariance{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) covariance[r][c] = summary.precision.covarianceXyz[3 * c + r];
    try {
        summary.projected = crs::project(options.crs, summary.point2, covariance, "point 2");
        if (summary.projected->outsideAreaOfUse) writeWarning(crs::areaWarning(*summary.projected, "point 2"));
    } catch (const crs::CrsError& error) {
        throw InputError(std::string("option '--crs': ") + error.what());  // outside what the system covers
    }
}

// Every stage of the run, to its solution.
BaselineSolution runStages(RunContext& run, const RunOptions& options, const StageOutputs& outputs) {
    writeListing(freeLine(kBanner));
    StageInputs in(options);
    openOrbit(run, options, in);
    const OrbitSource& orbit = *in.orbit;
    const SpanPlan& plan = in.plan;
    const StationSources sources = placeStations(options, in);
    const ObservationModel model = listModels(run, options);
    makrst(run.references, run.satellites, plan.dataStart, plan.dataEnd, plan.interval, in.pair, orbit,
           plan.satCount);

    AdjustInputs inputs;
    inputs.obs1 = &in.obs1;
    inputs.obs2 = &in.obs2;
    inputs.summary1 = &in.summary1;
    inputs.summary2 = &in.summary2;
    inputs.dataStart = plan.dataStart;
    inputs.dataEnd = plan.dataEnd;
    inputs.interval = plan.interval;
    inputs.residualFile = outputs.residuals;
    inputs.scratchDirectory = outputs.scratchDirectory;
    inputs.model = model;
    const ResultsRequest wanted{resultPath(options, options.summary), options.report,
                                resultPath(options, options.plot),    resultPath(options, options.residualsCsv),
                                options.troposphere,                  model};
    std::unique_ptr<ResultsRecorder> results;
    if (wanted.any()) {
        results = std::make_unique<ResultsRecorder>(wanted, run.satellites, plan.jd0, plan.dataStart, plan.dataEnd,
                                                    plan.interval, plan.satCount);
        inputs.observer = results.get();
    }
    BaselineSolution solution;
    solution.point1Id = sources.id1;
    solution.point2Id = sources.id2;
    solution.adjustment = adjst(run.models, orbit, in.pair, plan.satCount, inputs);
    solution.pair = in.pair;
    solution.staticCheck = trackPoint2(run, options, in, model);
    if (results) {
        RunSummary summary =
            results->summarise(in.pair, solution.adjustment, in.pair.p2Apriori, orbit, sources.id1, sources.id2);
        summary.staticCheck = solution.staticCheck;
        projectPoint2(options, summary);
        results->finish(summary, std::cout);
        solution.summary = std::move(summary);
    }
    return solution;
}

}  // namespace

int runVarno(const RunOptions& options) { return solveBaseline(options).status; }

RunOutcome solveBaseline(const RunOptions& options) {
    // Everything the run holds is its own, and its lines go to its own sinks for as long as it lasts.
    RunContext run;
    const OutputBinding boundOutput(run.output);
    run.satellites.setSystems(options.systems);
    showProgress(!options.quiet);
    installSignalCleanup();
    const std::string& directory = options.outputDirectory;
    const std::string listingPath = outputPath(directory, RunFiles::listing);
    // The previous listing and residual file stay as they are until this run has written its own whole.
    OutputFile listing;
    OutputFile residuals;
    RunLock lock;
    try {
        makeOutputDirectory(directory);
        listing.open(directory, RunFiles::listing);
        if (!lock.acquire(directory)) {
            std::cerr << "varno: another run is using "
                      << (directory.empty() ? std::string("this directory") : "the output directory " + directory)
                      << " (it holds " << outputPath(directory, RunLock::fileName) << "); try again when it has ended\n";
            return {2, std::nullopt};
        }
        residuals.open(directory, RunFiles::residuals);
    } catch (const InputError& error) {
        std::cerr << "varno: " << error.what() << '\n';
        return {1, std::nullopt};
    }
    if (!openListing(listing.writingPath())) {
        std::cerr << "varno: cannot create " << listingPath << ": " << std::strerror(errno) << '\n';
        return {1, std::nullopt};
    }
    int status = 0;
    std::optional<BaselineSolution> solution;
    bool complete = false;
    try {
        ScratchDirectory scratch;
        scratch.create();
        solution = runStages(run, options, StageOutputs{scratch.path(), residuals.stream()});
        writeListing(freeLine("End of Processing"));
        complete = true;
        if (!solution->staticCheck.passed && options.requireStatic) status = kStatusNotStatic;
    } catch (const StopRequest& stop) {
        writeConsole("STOP " + std::to_string(stop.code));
        std::cerr << "varno: " << explainStop(stop.code, options) << '\n';
        if (!stop.detail.empty()) std::cerr << "varno: " << stop.detail << '\n';
        status = stop.code & 0xFF;
    } catch (const InputError& error) {
        std::cerr << "varno: " << error.what() << '\n';
        status = 2;
    } catch (const std::exception& error) {
        // Not expected from any input; reported rather than left to abort the process.
        std::cerr << "varno: internal error: " << error.what() << '\n';
        status = 3;
    }
    // A listing that could not be written completely (a full disk) must not pass for a complete run, nor replace
    // the previous one.
    if (!closeListing()) {
        std::cerr << "varno: cannot write " << listingPath << '\n';
        return {status == 0 ? 2 : status, std::nullopt};
    }
    try {
        if (complete) {
            residuals.commit();
        } else {
            // A run that did not complete leaves no residual file, so that an older one cannot pass for its own.
            residuals.discard();
            removeOutput(directory, RunFiles::residuals);
        }
        listing.commit();
    } catch (const InputError& error) {
        std::cerr << "varno: " << error.what() << '\n';
        return {status == 0 ? 2 : status, std::nullopt};
    }
    if (!complete) solution.reset();
    return {status, std::move(solution)};
}

}  // namespace varno
