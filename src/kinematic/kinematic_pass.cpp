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

}  // namespace

KinematicResult kinematicPass(const OrbitSource& orbit, const StationPair& pair, int satCount,
                              const KinematicInputs& in) {
    KinematicResult result;
    DropOutput drop;
    skipHeader(*in.obs1);
    skipHeader(*in.obs2);
    const int perWindow = windowEpochs(in);
    const std::size_t gridEpochs =
        static_cast<std::size_t>(std::floor((in.dataEnd - in.dataStart + kEndTolerance) / in.interval)) + 1;
    // Residual series per (satellite, reference) pair, indexed by epoch of the grid.
    std::map<int, std::vector<float>> series;
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
        const bool have1 = oget(*in.obs1, *in.summary1, satCount, t, rec1);
        const bool have2 = oget(*in.obs2, *in.summary2, satCount, t, rec2);
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
        EpochSolution s = solveEpoch(t, rec1, rec2, satCount, orbit, pair, in.model, epochCursor, position,
                                     residuals, reference);
        // The windows take the epochs whose own solution passed its residual test, linearised at the static point.
        const bool formed = formEpochEquations(t, rec1, rec2, satCount, orbit, pair, pair.p2L1, in.model,
                                               staticCursor, equations);
        if (formed && s.status == EpochStatus::solved) {
            addEpoch(equations, window.n);
            if (window.epochs == 0) window.start = t;
            window.end = t;
            window.epochs += 1;
        }
        if (s.status == EpochStatus::solved && s.differences > 3) {
            sumSquares += s.sumSquares;
            dof += s.differences - 3;
            for (const auto& [slot, v] : residuals) {
                std::vector<float>& line = series[reference * (kMaxPrn + 1) + slot];
                if (line.empty()) line.assign(gridEpochs, std::numeric_limits<float>::quiet_NaN());
                if (index < line.size()) line[index] = static_cast<float>(v);
            }
        }
        result.epochs.push_back(s);
    }
    closeWindow(window, (perWindow + 1) / 2, windows);
    result.sigma0 = dof > 0 ? std::sqrt(sumSquares / static_cast<double>(dof)) : 0.0;
    std::vector<std::vector<float>> lines;
    for (auto& [key, line] : series) lines.push_back(std::move(line));
    const double length = std::hypot(pair.p2Marker[0] - pair.p1Marker[0], pair.p2Marker[1] - pair.p1Marker[1],
                                     pair.p2Marker[2] - pair.p1Marker[2]);
    result.check = staticCheck(windows, perWindow, in.interval, result.sigma0, lines, pair.p2Marker, length);
    return result;
}

}  // namespace varno
