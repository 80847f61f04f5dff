// The results of an epoch-ordered pass, spilled to each satellite's region of a scratch file and read back in
// gather order.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "adjust/evaluation.h"
#include "textio/textio.h"

namespace varno::adjust_internal {

namespace {

[[noreturn]] void failed(const char* what) {
    throw InputError(std::string("cannot ") + what + " the temporary results file: " + std::strerror(errno));
}

}  // namespace

bool writeAt(int fd, const void* data, std::size_t bytes, long long offset) {
    const char* at = static_cast<const char*>(data);
    while (bytes > 0) {
        const ssize_t done = ::pwrite(fd, at, bytes, static_cast<off_t>(offset));
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) {
            if (done == 0) errno = ENOSPC;
            return false;
        }
        at += done;
        bytes -= static_cast<std::size_t>(done);
        offset += done;
    }
    return true;
}

EvaluationSpill::EvaluationSpill(EpochStore& store, int satCount, Kept kept)
    : file_(store.spillFile()), satCount_(satCount), kept_(kept), weights_(!store.unitWeights()),
      regionStart_(static_cast<std::size_t>(std::max(satCount, 0)) + 2, 0) {
    doubles_ = (kept == Kept::residuals ? 1 : kept == Kept::everything ? 7 : 4) + (weights_ ? 1 : 0);
    long start = 0;
    for (int k = 1; k <= satCount; ++k) {
        regionStart_[static_cast<std::size_t>(k)] = start;
        start += store.count(k);
    }
    regionStart_[static_cast<std::size_t>(satCount + 1)] = start;
}

void EvaluationSpill::replay(const std::function<void(const Evaluated&)>& use) {
    std::vector<double> chunk(kPerSlot * doubles_);
    Evaluated e;
    for (int k = 1; k <= satCount_; ++k) {
        long index = regionStart_[static_cast<std::size_t>(k)];
        const long end = regionStart_[static_cast<std::size_t>(k + 1)];
        e.slot = k;
        while (index < end) {
            const std::size_t n = static_cast<std::size_t>(std::min<long>(end - index, kPerSlot));
            const std::size_t bytes = n * doubles_ * sizeof(double);
            const off_t offset = static_cast<off_t>(index) * static_cast<off_t>(doubles_ * sizeof(double));
            if (::pread(fileno(file_), chunk.data(), bytes, offset) != static_cast<ssize_t>(bytes)) failed("read");
            for (std::size_t i = 0; i < n; ++i) {
                const double* at = &chunk[i * doubles_];
                e.residual = at[0];
                if (kept_ == Kept::elevations || kept_ == Kept::everything) {
                    e.epochTime1 = at[1];
                    e.referenceSlot = static_cast<int>(at[2]);
                    e.elevation = at[3];
                }
                if (kept_ == Kept::everything) {
                    e.partials = {at[4], at[5], at[6]};
                } else if (kept_ == Kept::partials) {
                    e.partials = {at[1], at[2], at[3]};
                }
                e.weight = weights_ ? at[doubles_ - 1] : 1.0;
                use(e);
            }
            index += static_cast<long>(n);
        }
    }
}

SpillWriter::SpillWriter(EvaluationSpill& spill, const StorePlace& place)
    : spill_(spill),
      buffers_(static_cast<std::size_t>(spill.satCount_ + 1) * EvaluationSpill::kPerSlot * spill.doubles_),
      filled_(static_cast<std::size_t>(spill.satCount_ + 1), 0),
      next_(static_cast<std::size_t>(spill.satCount_ + 1), 0) {
    for (int k = 1; k <= spill.satCount_; ++k) {
        const std::size_t s = static_cast<std::size_t>(k);
        next_[s] = spill.regionStart_[s] + place.before(k);
    }
}

long SpillWriter::put(const Evaluated& e) {
    const std::size_t k = static_cast<std::size_t>(e.slot);
    const std::size_t doubles = spill_.doubles_;
    const long place = next_[k] + filled_[k];
    double* at = &buffers_[(k * EvaluationSpill::kPerSlot + static_cast<std::size_t>(filled_[k])) * doubles];
    at[0] = e.residual;
    if (spill_.kept_ == Kept::elevations || spill_.kept_ == Kept::everything) {
        at[1] = e.epochTime1;
        at[2] = static_cast<double>(e.referenceSlot);
        at[3] = e.elevation;
    }
    if (spill_.kept_ == Kept::everything) {
        at[4] = e.partials[0];
        at[5] = e.partials[1];
        at[6] = e.partials[2];
    } else if (spill_.kept_ == Kept::partials) {
        at[1] = e.partials[0];
        at[2] = e.partials[1];
        at[3] = e.partials[2];
    }
    if (spill_.weights_) at[doubles - 1] = e.weight;
    if (++filled_[k] == static_cast<int>(EvaluationSpill::kPerSlot)) flush(static_cast<int>(k));
    return place;
}

void SpillWriter::finish() {
    for (int k = 1; k <= spill_.satCount_; ++k) flush(k);
}

void SpillWriter::flush(int slot) {
    const std::size_t k = static_cast<std::size_t>(slot);
    const std::size_t n = static_cast<std::size_t>(filled_[k]);
    if (n == 0) return;
    const std::size_t record = spill_.doubles_ * sizeof(double);
    const std::size_t bytes = n * record;
    const long long offset = static_cast<long long>(next_[k]) * static_cast<long long>(record);
    if (!writeAt(fileno(spill_.file_), &buffers_[k * EvaluationSpill::kPerSlot * spill_.doubles_], bytes, offset)) {
        failed("write");
    }
    next_[k] += static_cast<long>(n);
    filled_[k] = 0;
}

}  // namespace varno::adjust_internal
