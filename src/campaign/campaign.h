// Survey campaigns: many baselines from one campaign file, run as separate varno jobs, adjusted as a network.
//
// The flow: readCampaign (the TOML file, the observation files' headers and spans, the control stations) ->
// planCampaign (sessions and the baselines to process) -> writeJobs (one directory per baseline) -> the jobs run
// (jobCommand / runJob, driven by GNU parallel or a Slurm array) -> readBaselines (each job's summary) ->
// loopMisclosures and adjustNetwork -> toProjected -> the writers of the report.
//
// Coordinates are earth-centred X, Y, Z in metres (WGS 84 ellipsoid for every geodetic conversion); covariances in
// square metres. Every input error is a CampaignError whose text names the file, the line and the key or field.
#pragma once

#include <array>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace varno::campaign {

struct CampaignError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

using Vec3 = std::array<double, 3>;
using Mat3 = std::array<std::array<double, 3>, 3>;

// ---------------------------------------------------------------- inputs (campaign_file.cpp, observation_span.cpp,
// control_files.cpp)

// Antenna offsets from the marker, metres: up (to the reference point), aux (added to up), north, east; exactly the
// four fields of varno's offset file.
struct AntennaOffset {
    double up = 0, aux = 0, north = 0, east = 0;
};

// One observation file as its header and epochs describe it.
struct Occupation {
    std::string path;      // absolute
    std::string station;   // columns 1-4 of MARKER NAME, trailing blanks removed
    double start = 0;      // first and last epoch, seconds since 1980-01-06 0h in the file's time scale
    double end = 0;
    Vec3 approx{};         // APPROX POSITION XYZ (0,0,0 when absent)
    AntennaOffset antenna; // from ANTENNA: DELTA H/E/N unless the campaign file gives the station's or file's own
};

// Reads the header and the first and last epoch lines of a RINEX 2, 3 or 4 observation file (plain, compressed or
// compact, as varno reads them). Throws CampaignError naming the file and line when MARKER NAME is missing or an
// epoch line does not read.
Occupation readOccupation(const std::string& path);

struct ControlStation {
    std::string id;
    Vec3 xyz{};
    Vec3 sigma{};  // metres, X, Y, Z
};

// Control stations of a varno position file (records *80* and *86*), each with `sigma`; of a SINEX file's
// SOLUTION/ESTIMATE block (STAX, STAY, STAZ with their standard deviations). Throw CampaignError naming the file
// and line.
std::vector<ControlStation> readControlPos(const std::string& path, const Vec3& sigma);
std::vector<ControlStation> readControlSinex(const std::string& path);

struct Campaign {
    std::string file;        // the campaign file, absolute
    std::string directory;   // where its relative paths start
    std::string name;
    std::string workDirectory;  // jobs/ and the outputs go here
    std::vector<Occupation> occupations;
    std::map<std::string, ControlStation> controls;
    std::string held;               // the control held in the minimally constrained adjustment
    std::vector<std::string> orbits;  // --orbit files
    std::vector<std::string> navs;    // --nav files
    std::vector<std::string> varnoOptions;
    std::string varno = "varno";      // the program run for every baseline
    double minOverlap = 1800;         // seconds two occupations must share to form a baseline
    bool allPairs = false;            // every pair of a session instead of the shortest spanning tree
    double trivialBelow = 0;          // (unused by the tree) nothing below this length is planned, metres
    double varianceFactor = 1;        // every baseline covariance is multiplied by this
    double wCritical = 3.29;
    double ellipseScale = 0;          // 0: chosen from the network's size
    std::string crs;                  // e.g. EPSG:25831; empty: none
};

// Reads a campaign file. Throws CampaignError "FILE:LINE: key K: what is wrong" for any key of the wrong type or
// value, and names the glob that matched no file. `crsOverride` (non-empty) replaces the file's crs.
Campaign readCampaign(const std::string& path, const std::string& crsOverride = "");

// ---------------------------------------------------------------- plan (plan.cpp, jobs.cpp)

struct Session {
    std::string name;                  // S1, S2, ... in time order
    double start = 0, end = 0;         // earliest start and latest end of its occupations
    std::vector<int> occupations;      // indices into Campaign::occupations, one per station
};

struct PlannedBaseline {
    std::string session;
    int from = 0, to = 0;    // occupation indices: point 1, point 2
    double length = 0;       // a priori, metres
    double overlap = 0;      // seconds
    bool trivial = false;    // dependent on the others of its session (all-pairs plans only)
    std::string job;         // job name: SESSION-FROM-TO
};

struct Plan {
    std::vector<Session> sessions;
    std::vector<PlannedBaseline> baselines;
    std::vector<std::string> notes;  // stations passed over, duplicate files, sessions that do not connect
};

// Groups the occupations into sessions (connected by overlaps of at least minOverlap; a station occupied twice in
// one session keeps its longer file) and chooses each session's baselines: the shortest spanning tree by a priori
// length over the pairs that overlap enough, or every such pair with those outside the tree marked trivial.
Plan planCampaign(const Campaign& campaign);

// The a priori position of a station: the control's coordinates, else the header's approximate position.
Vec3 aprioriPosition(const Campaign& campaign, const Occupation& occupation);

// Writes workDirectory/jobs/<job>/ for every non-trivial baseline (or every one with `includeTrivial`): links
// point1 and point2 to the observation files, a pos file with both stations' a priori positions, an off file, and
// run.sh (the varno command). Writes workDirectory/jobs.list (one job directory a line) and returns its path.
std::string writeJobs(const Campaign& campaign, const Plan& plan, bool includeTrivial);

// Whether a job directory holds a summary whose stamp matches the job's command and inputs as they are now.
bool jobUpToDate(const std::string& jobDirectory);

// Runs one job directory: when its stamp (a hash of run.sh and of each input's path, size and time) matches the
// last successful run, does nothing and returns 0; else runs run.sh, writes the stamp on success, or the file
// `failed` with varno's explanation on failure, and returns run.sh's status.
int runJob(const std::string& jobDirectory);

// The GNU parallel command line that runs the job list (`self` is this program's path).
struct ParallelOptions {
    int jobs = 0;                 // -j; 0: one per processor
    std::string sshLoginFile;
    bool progress = false;        // --bar
};
std::vector<std::string> parallelCommand(const std::string& self, const std::string& jobList,
                                         const std::string& jobLog, const ParallelOptions& options);
// Writes a Slurm batch script that runs the job list as an array of `chunks` tasks, each a slice through GNU
// parallel on the task's processors; returns its path.
std::string writeSlurmScript(const std::string& self, const std::string& jobList, int chunks);

// ---------------------------------------------------------------- results of the jobs (baselines.cpp)

struct Baseline {
    std::string job;
    std::string from, to;    // station ids
    std::string session;
    Vec3 vector{};           // to minus from, metres
    Mat3 covariance{};       // metres², as the summary gives it, times the campaign's variance factor
    std::string schema;
};

struct FailedJob {
    std::string job;
    std::string explanation;
};

// Reads the summary of every job of the list that has an up-to-date one; the others are listed as failed with the
// explanation their `failed` file holds, "not run", or "out of date" when the inputs changed since the result.
void readBaselines(const Campaign& campaign, const Plan& plan, std::vector<Baseline>& baselines,
                   std::vector<FailedJob>& failed);
// One summary file (varno-summary/1 or /2; members read by name). Throws CampaignError naming the file and member.
Baseline readSummary(const std::string& path);

// ---------------------------------------------------------------- network (network.cpp, loops.cpp, statistics.cpp)

struct Loop {
    std::vector<std::string> stations;  // closed: first repeated at the end
    std::vector<std::string> jobs;
    Vec3 misclosure{};                  // metres
    double misclosureMm = 0, lengthM = 0, ppm = 0;
    double sigmaMm = 0;                 // of the misclosure along its own direction
    double ratio = 0;                   // misclosure / sigma
    double chiSquare = 0;               // mT C^-1 m of the 3-D misclosure
    bool passed = false;                // chiSquare within the 95 % point of chi-square with 3 degrees of freedom
};

// Every independent loop: one for each baseline outside a spanning tree of the network.
std::vector<Loop> loopMisclosures(const std::vector<Baseline>& baselines);

struct AdjustedStation {
    std::string id;
    bool control = false;
    bool held = false;
    Vec3 xyz{};
    Mat3 covariance{};
    Vec3 sigma{};          // X, Y, Z
    Vec3 sigmaNeu{};       // north, east, up
    double latitude = 0, longitude = 0, height = 0;  // degrees, metres
    double ellipseMajor = 0, ellipseMinor = 0, ellipseAzimuth = 0;  // 1-sigma, metres; degrees from north
};

struct AdjustedBaseline {
    std::string job, from, to;
    Vec3 residual{};     // metres, X, Y, Z
    double wTest = 0;    // largest |w| of the three components
    bool flagged = false;
};

struct GlobalTest {
    double sumSquares = 0;  // vT P v
    int redundancy = 0;
    double varianceFactor = 0;  // sumSquares / redundancy
    double lower = 0, upper = 0;  // 95 % acceptance bounds of the variance factor
    bool passed = false;
};

struct RelativePrecision {
    std::string from, to;
    double length = 0, sigmaLength = 0;
    Vec3 sigmaNeu{};
    double ppm = 0;  // sigmaLength / length
};

struct Adjustment {
    std::vector<AdjustedStation> stations;
    std::vector<AdjustedBaseline> baselines;
    std::vector<AdjustedBaseline> controls;  // the controls' coordinates as observations (from empty, job "control")
    GlobalTest global;
};

struct NetworkResult {
    std::vector<Loop> loops;
    Adjustment minimal;       // held station fixed
    Adjustment constrained;   // every control with its sigma
    GlobalTest controlFit;    // the increase of vTPv from minimal to constrained against its chi-square bounds
    bool constrainedDone = false;
    std::vector<RelativePrecision> relative;  // from the constrained (else minimal) adjustment
    std::vector<std::string> notes;
};

// Adjusts the baselines: minimally constrained with `campaign.held` fixed at its control coordinates, then (with
// more than one control in the network) constrained to every control with its sigma. Throws CampaignError when
// the held station is not in the network or the network does not connect every station to it.
NetworkResult adjustNetwork(const Campaign& campaign, const std::vector<Baseline>& baselines);

// The point below which chi-square with `dof` degrees of freedom (dof >= 1) falls with `probability` (0 < p < 1),
// to 1e-12 relative.
double chiSquareQuantile(double probability, int dof);

// ---------------------------------------------------------------- coordinate systems (crs.cpp)

struct ProjectedStation {
    std::string id;
    double easting = 0, northing = 0, height = 0;   // or longitude, latitude (degrees) for a geographic system
    double sigmaE = 0, sigmaN = 0, sigmaH = 0;
    bool outsideAreaOfUse = false;                   // outside the system's area of use (distorted figures)
};
struct ProjectedNetwork {
    std::string crs;        // as given
    std::string crsName;    // PROJ's name of it
    std::vector<std::string> axes;  // names of the three output axes
    std::string areaOfUse;          // PROJ's name of the area the system is made for
    std::vector<ProjectedStation> stations;
};
// Converts the adjusted stations from earth-centred WGS 84 to `crs` with PROJ, propagating each covariance with
// the numerical Jacobian of the transformation (central differences of 1 mm). Throws CampaignError naming the crs
// when PROJ does not know it or cannot transform a station.
ProjectedNetwork toProjected(const std::string& crs, const std::vector<AdjustedStation>& stations);

// ---------------------------------------------------------------- outputs (report_json.cpp, report_html.cpp,
// exchange.cpp)

struct Report {
    const Campaign* campaign = nullptr;
    const Plan* plan = nullptr;
    std::vector<Baseline> baselines;
    std::vector<FailedJob> failed;
    NetworkResult network;
    std::optional<ProjectedNetwork> projected;
};

// The final adjustment of a report: the constrained one when it was done, else the minimal one.
const Adjustment& finalAdjustment(const Report& report);
// The minimally constrained adjustment's residual and w-test of a job's baseline; nullptr when it was left out.
const AdjustedBaseline* adjustedBaseline(const Report& report, const std::string& job);

std::string reportJson(const Report& report);       // schema varno-campaign/1 (docs/varno-campaign-1.schema.json)
std::string reportHtml(const Report& report);       // one page, the network drawn in SVG
std::string stationsCsv(const Report& report);
std::string baselinesCsv(const Report& report);
std::string posRecords(const std::vector<AdjustedStation>& stations);  // the *80* / *86* pairs varno reads
std::string gamaXml(const Report& report);          // GNU Gama local adjustment input: vectors with covariance
std::string starnetRecords(const Report& report);   // STAR*NET G1/G2/G3 records

// One pair of position file records (*80*, *86*) of a station; empty when the height does not fit the field.
std::string posRecord(const std::string& id, double latitudeDeg, double longitudeDeg, double height);

}  // namespace varno::campaign
