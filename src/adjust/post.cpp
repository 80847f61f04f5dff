// Results of the adjustment: the adjusted point 2, its shift from the a priori position, the residual file and
// the rms per satellite.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "adjust/adjust.h"
#include "adjust/adjust_internal.h"
#include "adjust/evaluation.h"
#include "models/models.h"
#include "station/station.h"
#include "textio/textio.h"
#include "timebase/timebase.h"

namespace varno {

namespace {

// A residual line (27 columns and its end; 28 when satellites are named with their system letter, the satellite
// field then " G05") and the size of the writes they are gathered into.
constexpr std::size_t kResidualLine = 28;
constexpr std::size_t kLetteredLine = 29;
constexpr std::size_t kResidualChunk = 1 << 16;

constexpr int kStopGeodetic = 25;
constexpr int kStopNoReference = 95397;
constexpr int kStopSlot = 74358;
// Sums by SatId::key(), so that the table lists the satellites by system and number.
struct SatelliteStats {
    std::array<int, kSatKeyCount> countAll{};
    std::array<double, kSatKeyCount> sumAll{};
    std::array<int, kSatKeyCount> countTrim{};
    std::array<double, kSatKeyCount> sumTrim{};
};

std::string threeValues(double a, double b, double c) { return fmtF(a, 14, 4) + fmtF(b, 14, 4) + fmtF(c, 14, 4); }

[[noreturn]] void cannotWrite() {
    throw InputError(std::string("cannot write the residual file: ") + std::strerror(errno));
}

std::size_t residualLineBytes(bool lettered) { return lettered ? kLetteredLine : kResidualLine; }

// The residual line of a result: time, residual, elevation and satellite (by id when `lettered`), in
// residualLineBytes(lettered) columns with its end.
void residualLine(const adjust_internal::Evaluated& e, SatId sat, bool lettered, char* line) {
    char* end = putF(putF(putF(line, e.epochTime1, 9, 1), e.residual, 9, 3), e.elevation, 6, 2);
    if (lettered) {
        const std::string text = satelliteField(sat, 4, true);
        end = std::copy(text.begin(), text.end(), end);
    } else {
        end = putI(end, sat.number, 3);
    }
    *end = '\n';
}

// The residual file written by the parts of a pass at once: every line is kResidualLine long, so a result's line
// lies at its place in gather order from where the file ended when the pass began.
struct PlacedLines {
    int fd = -1;
    off_t base = 0;
    std::vector<SatId> sats;  // by slot
    bool lettered = false;    // satellites named by id
    std::size_t lineBytes = kResidualLine;
};

// Each satellite's lines of one part gathered into blocks, each block written at its place.
class LineWriter : public adjust_internal::PlacedWriter {
public:
    explicit LineWriter(const PlacedLines& file)
        : file_(file), slots_(file.sats.size()), line_(file.lineBytes), buffers_(slots_ * kPerSlot * line_),
          first_(slots_, 0),
          filled_(slots_, 0) {}
    void put(const adjust_internal::Evaluated& e, long place) override {
        const std::size_t k = static_cast<std::size_t>(e.slot);
        if (filled_[k] > 0 && place != first_[k] + filled_[k]) flush(k);
        if (filled_[k] == 0) first_[k] = place;
        const std::size_t at = (k * kPerSlot + static_cast<std::size_t>(filled_[k])) * line_;
        residualLine(e, file_.sats[k], file_.lettered, &buffers_[at]);
        if (++filled_[k] == static_cast<long>(kPerSlot)) flush(k);
    }
    void finish() override {
        for (std::size_t k = 0; k < slots_; ++k) flush(k);
    }

private:
    static constexpr std::size_t kPerSlot = 256;

    void flush(std::size_t k) {
        const std::size_t bytes = static_cast<std::size_t>(filled_[k]) * line_;
        const long long offset = file_.base + static_cast<long long>(first_[k]) * static_cast<long long>(line_);
        if (!adjust_internal::writeAt(file_.fd, &buffers_[k * kPerSlot * line_], bytes, offset)) cannotWrite();
        filled_[k] = 0;
    }

    const PlacedLines& file_;
    std::size_t slots_;
    std::size_t line_;
    std::vector<char> buffers_;
    std::vector<long> first_, filled_;
};

// Whether the parts may write the residual lines themselves: the file is a plain one, written at its end, and
// every satellite with observations has a PRN that the tables hold (otherwise the lines before the stop are
// written in order). Flushes the stream.
bool placedLines(std::FILE* residualFile, const adjust_internal::EpochStore* store, const SatIndex& sats, int satCount,
                 PlacedLines& lines) {
    if (store == nullptr || satCount < 1 || satCount > sats.size()) return false;
    lines.sats.assign(static_cast<std::size_t>(satCount) + 1, SatId{});
    lines.lettered = sats.letteredNames();
    lines.lineBytes = residualLineBytes(lines.lettered);
    for (int k = 1; k <= satCount; ++k) {
        const SatId sat = invprn(sats, k);
        if (store->count(k) > 0 && sat.number > systemInfo(sat.system).maxNumber) return false;
        lines.sats[static_cast<std::size_t>(k)] = sat;
    }
    if (std::fflush(residualFile) != 0) cannotWrite();
    lines.fd = fileno(residualFile);
    struct stat status {};
    if (lines.fd < 0 || ::fstat(lines.fd, &status) != 0 || !S_ISREG(status.st_mode)) return false;
    const int flags = ::fcntl(lines.fd, F_GETFL);
    if (flags < 0 || (flags & O_APPEND) != 0) return false;
    lines.base = ::lseek(lines.fd, 0, SEEK_CUR);
    return lines.base >= 0 && lines.base == status.st_size;
}

// Writes the adjusted point 2 and its shift from the a priori position to the listing; returns point 2's L1
// phase centre as a geodetic position (stop 25 where there is none).
Geodetic listAdjusted(const StationPair& pair) {
    writeListing(freeLine("adjusted point 2 marker and l1 phase center"));
    writeListing(threeValues(pair.p2Marker[0], pair.p2Marker[1], pair.p2Marker[2]));
    writeListing(threeValues(pair.p2L1[0], pair.p2L1[1], pair.p2L1[2]));

    Geodetic site2;
    if (!xyzgeo(pair.p2L1[0], pair.p2L1[1], pair.p2L1[2], site2.latitude, site2.longitude, site2.height)) {
        stopRun(kStopGeodetic);
    }
    const std::array<double, 3>& apriori = pair.p2Apriori;
    const double dx = pair.p2Marker[0] - apriori[0];
    const double dy = pair.p2Marker[1] - apriori[1];
    const double dz = pair.p2Marker[2] - apriori[2];
    double north = 0, east = 0, up = 0;
    rge(site2.latitude, site2.longitude, north, east, up, dx, dy, dz);
    writeListing(freeLine("delta x,y,z and n,e,u at point 2 marker"));
    writeListing(threeValues(dx, dy, dz));
    writeListing(threeValues(north, east, up));
    return site2;
}

// Takes the post-fit results in gather order: the sums of each satellite, the observer's share and, when asked,
// the residual line, gathered into large writes. Whatever is gathered is written before anything can stop the
// run.
class PostFitTaker {
public:
    PostFitTaker(const SatIndex& sats, double threshold, std::FILE* residualFile, AdjustObserver* observer)
        : sats_(sats), threshold_(threshold), file_(residualFile), observer_(observer),
          lettered_(sats.letteredNames()), lineBytes_(residualLineBytes(lettered_)) {
        lines_.reserve(kResidualChunk + lineBytes_);
    }

    void take(const adjust_internal::Evaluated& e, bool line) {
        const int k = e.slot;
        const double v = e.residual;
        // The residual file and the table hold two-digit satellite numbers; anything else is not a satellite of
        // this run.
        const SatId sat = k >= 1 && k <= sats_.size() ? invprn(sats_, k) : SatId{};
        if (sat.number < 1 || sat.number > systemInfo(sat.system).maxNumber) {
            writeLines();
            stopRun(kStopSlot);
        }
        const std::size_t key = static_cast<std::size_t>(sat.key());
        stats.countAll[key] += 1;
        stats.sumAll[key] += e.weight * v * v;
        if (line) {
            lines_.resize(lines_.size() + lineBytes_);
            residualLine(e, sat, lettered_, &lines_[lines_.size() - lineBytes_]);
            if (lines_.size() >= kResidualChunk) writeLines();
        }
        const bool used = std::fabs(v) * std::sqrt(e.weight) <= threshold_;
        if (used) {
            stats.countTrim[key] += 1;
            stats.sumTrim[key] += e.weight * v * v;
        }
        if (observer_) {
            observer_->residual({e.epochTime1, k, e.referenceSlot, sat, invprn(sats_, e.referenceSlot), e.elevation,
                                 v, used, e.weight, e.partials});
        }
    }

    void writeLines() {
        if (!lines_.empty() && std::fwrite(lines_.data(), 1, lines_.size(), file_) != lines_.size()) cannotWrite();
        lines_.clear();
    }

    std::size_t lineBytes() const { return lineBytes_; }

    SatelliteStats stats;

private:
    const SatIndex& sats_;
    double threshold_;
    std::FILE* file_;
    AdjustObserver* observer_;
    bool lettered_;
    std::size_t lineBytes_;
    std::vector<char> lines_;
};

// The table of rms per satellite and the post-fit rms line; returns the post-fit figures.
PostFitFigures listSatelliteRms(const SatelliteStats& stats, const SatIndex& sats) {
    writeListing(freeLine("rms per satellite    (with and without trim)"));
    double totalSum = 0.0;
    int totalCount = 0;
    for (std::size_t key = 0; key < stats.countAll.size(); ++key) {
        const std::string name = sats.field(SatId::fromKey(static_cast<int>(key)), 2);
        if (stats.countTrim[key] >= 1) {
            totalSum += stats.sumTrim[key];
            totalCount += stats.countTrim[key];
            writeListing(name + fmtI(stats.countTrim[key], 8) +
                         fmtF(std::sqrt(stats.sumTrim[key] / stats.countTrim[key]), 10, 3) +
                         fmtF(std::sqrt(stats.sumAll[key] / stats.countAll[key]), 10, 3));
        } else if (stats.countAll[key] >= 1) {
            writeListing(name + fmtI(0, 8) + fmtF(0.0, 10, 4) +
                         fmtF(std::sqrt(stats.sumAll[key] / stats.countAll[key]), 10, 4) + " ****");
        }
    }
    const double postFitRms = totalCount > 0 ? std::sqrt(totalSum / totalCount) : 0.0;
    writeListing("post-fit rms =" + fmtF(postFitRms, 9, 4) + " m.    n=" + fmtI(totalCount, 6));
    return {totalCount, postFitRms};
}

}  // namespace

namespace adjust_internal {

PostFitFigures postFrom(GatherFile& gather, EpochStore* store, const RunModels& run, const OrbitSource& orbit,
                        const StationPair& pair, int satCount, double threshold, std::FILE* residualFile,
                        AdjustObserver* observer) {
    const Geodetic site2 = listAdjusted(pair);
    const ElevationSite site{{site2.latitude, site2.longitude, 0.0}, observer != nullptr && observer->wantsPartials()};
    PostFitTaker taker(*run.sats, threshold, residualFile, observer);
    const auto inOrder = [&](const Evaluated& e) { taker.take(e, true); };
    // Without an observer the parts of the pass write the lines where the file allows it.
    PlacedLines placedFile;
    PlacedOutput placed;
    long placedCount = 0;
    const bool mayPlace = observer == nullptr && placedLines(residualFile, store, *run.sats, satCount, placedFile);
    if (mayPlace) {
        placed.writer = [&placedFile] { return std::make_unique<LineWriter>(placedFile); };
        placed.discard = [&placedFile] {
            if (::ftruncate(placedFile.fd, placedFile.base) != 0) cannotWrite();
        };
        placed.use = [&](const Evaluated& e) {
            ++placedCount;
            taker.take(e, false);
        };
    }
    try {
        evaluateAll(gather, store, run, orbit, pair, satCount, &site, false, kStopNoReference, inOrder,
                    mayPlace ? &placed : nullptr);
    } catch (const StopRequest&) {
        taker.writeLines();  // the lines before an observation that stops the run
        throw;
    }
    taker.writeLines();
    // The stream goes on after the lines the parts wrote.
    const off_t written = static_cast<off_t>(placedCount * static_cast<long>(taker.lineBytes()));
    if (placedCount > 0 && fseeko(residualFile, placedFile.base + written, SEEK_SET) != 0) cannotWrite();
    return listSatelliteRms(taker.stats, *run.sats);
}

}  // namespace adjust_internal

PostFitFigures post(GatherFile& gather, const RunModels& run, const OrbitSource& orbit, const StationPair& pair,
                    int satCount, double threshold, std::FILE* residualFile, AdjustObserver* observer) {
    return adjust_internal::postFrom(gather, nullptr, run, orbit, pair, satCount, threshold, residualFile, observer);
}

}  // namespace varno
