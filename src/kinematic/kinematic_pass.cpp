// The pass over both observation files after the static adjustment: a solution of every epoch alone and the
// window solutions of the static check.
#include <cmath>
#include <limits>
#include <map>

#include "kinematic/kinematic.h"

namespace varno {

namespace {

constexpr int kFileEnded = 2;
constexpr double kEndTolerance = 0.2;  // s beyond the common stop, as the static pass
constexpr double kWindowSeconds = 300.0;
constexpr int kMinWindowEpochs = 10;
// A short session still gets this many windows.
constexpr int kWindowsAtLeast = 5;

// Lines the reading writes are dropped: the static pass wrote them already.
class DropOutput {
public:
    DropOutput() { holdOutput(&lines_); }
    ~DropOutput() { holdOutput(nullptr); }
    DropOutput(const DropOutput&) = delete;
    DropOutput& operator=(const DropOutput&) = delete;

private:
    HeldLines lines_;
};

int windowEpochs(const KinematicInputs& in) {
    const double span = in.dataEnd - in.dataStart;
    double seconds = std::fmin(kWindowSeconds, span / kWindowsAtLeast);
    seconds = std::fmax(seconds, kMinWindowEpochs * in.interval);
    return std::max(1, static_cast<int>(std::lround(seconds / in.interval)));
}

// The normal equations of one window, linearised at the static solution.
struct WindowSum {
    NormalEquations n;
    int epochs = 0;
    double start = 0, end = 0;
};

void closeWindow(WindowSum& sum, int minEpochs, std::vector<WindowSolution>& out) {
    if (sum.epochs >= minEpochs) {
        WindowSolution w;
        w.start = sum.start;
        w.end = sum.end;
        w.epochs = sum.epochs;
        w.normal = sum.n.matrix;
        std::array<double, 9> inverse = sum.n.matrix;
        if (invert(inverse.data(), 3)) {
            ab(inverse.data(), sum.n.rhs.data(), w.departure.data(), 3, 3, 1);
            if (std::isfinite(w.departure[0] + w.departure[1] + w.departure[2])) out.push_back(w);
        }
    }
    sum = WindowSum();
}

// The epoch solutions' residuals of each satellite as runs of consecutive epochs with one reference satellite
// (missing epochs not-a-number); a run ends at a change of reference or at a gap longer than `maxGap` epochs, so
// that memory follows the data, not the grid.
class ResidualSeries {
public:
    explicit ResidualSeries(int maxGap) : maxGap_(static_cast<std::size_t>(maxGap)) {}
    void add(int slot, int reference, std::size_t index, double value) {
        Run& run = open_[slot];
        const std::size_t next = run.start + run.values.size();
        if (run.values.empty() || run.reference != reference || index < next || index - next > maxGap_) {
            close(run);
            run.reference = reference;
            run.start = index;
        }
        while (run.start + run.values.size() < index) run.values.push_back(std::numeric_limits<float>::quiet_NaN());
        run.values.push_back(static_cast<float>(value));
    }
    std::vector<std::vector<float>> finish() {
        for (auto& [slot, run] : open_) close(run);
        return std::move(closed_);
    }

private:
    struct Run {
        int reference = 0;
        std::size_t start = 0;
        std::vector<float> values;
    };
    void close(Run& run) {
        if (run.values.size() > 1) closed_.push_back(std::move(run.values));
        run.values = {};
    }
    std::size_t maxGap_;
    std::map<int, Run> open_;
    std::vector<std::vector<float>> closed_;
};

}  // namespace

KinematicResult kinematicPass(const RunModels& run, const OrbitSource& orbit, const StationPair& pair, int satCount,
                              const KinematicInputs& in) {
    KinematicResult result;
    result.jd0 = run.jd0;
    DropOutput drop;
    skipHeader(*in.obs1);
    skipHeader(*in.obs2);
    const int perWindow = windowEpochs(in);
    ResidualSeries series(perWindow);
    std::vector<WindowSolution> windows;
    WindowSum window;
    long long windowIndex = 0;

    EpochRecord rec1, rec2;
    int staticCursor = 1, epochCursor = 1;
    std::array<double, 3> position = pair.p2L1;
    double sumSquares = 0;
    long long dof = 0;
    KinematicEquations equations;
    std::vector<std::pair<int, double>> residuals;
    std::size_t index = 0;
    for (double t = in.dataStart; t - in.dataEnd <= kEndTolerance; t = t + in.interval, ++index) {
        const bool have1 = oget(*in.obs1, *in.summary1, *run.sats, satCount, t, rec1);
        const bool have2 = oget(*in.obs2, *in.summary2, *run.sats, satCount, t, rec2);
        if (!(have1 && have2)) {
            if (rec1.syncState == kFileEnded || rec2.syncState == kFileEnded) break;
            continue;
        }
        const long long w = static_cast<long long>(index) / perWindow;
        if (w != windowIndex) {
            closeWindow(window, (perWindow + 1) / 2, windows);
            windowIndex = w;
        }
        int reference = 0;
        EpochSolution s = solveEpoch(t, rec1, rec2, satCount, run, orbit, pair, in.model, epochCursor, position,
                                     residuals, reference);
        // The windows take the epochs whose own solution passed its residual test, linearised at the static point.
        const bool formed =
            formEpochEquations(t, rec1, rec2, satCount, run, orbit, pair, pair.p2L1, in.model, staticCursor, equations);
        if (formed && s.status == EpochStatus::solved) {
            addEpoch(equations, window.n);
            if (window.epochs == 0) window.start = t;
            window.end = t;
            window.epochs += 1;
        }
        if (s.status == EpochStatus::solved && s.differences > 3) {
            sumSquares += s.sumSquares;
            dof += s.differences - 3;
            for (const auto& [slot, v] : residuals) series.add(slot, reference, index, v);
        }
        if (in.keepEpochs) result.epochs.push_back(s);
    }
    closeWindow(window, (perWindow + 1) / 2, windows);
    result.sigma0 = dof > 0 ? std::sqrt(sumSquares / static_cast<double>(dof)) : 0.0;
    const std::vector<std::vector<float>> lines = series.finish();
    const double length = std::hypot(pair.p2Marker[0] - pair.p1Marker[0], pair.p2Marker[1] - pair.p1Marker[1],
                                     pair.p2Marker[2] - pair.p1Marker[2]);
    result.check = staticCheck(windows, perWindow, in.interval, result.sigma0, lines, pair.p2Marker, length);
    result.check.jd0 = run.jd0;
    return result;
}

}  // namespace varno
