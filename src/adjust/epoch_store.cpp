// The epoch-ordered copy of the observations that the passes of the adjustment walk.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "adjust/evaluation.h"
#include "textio/textio.h"

namespace varno::adjust_internal {

namespace {

constexpr std::size_t kBufferBytes = 1 << 16;
constexpr long kPlaceEvery = 1024;
// More observations than any epoch can hold (one per satellite number of every system): a damaged record.
constexpr int kMaxStoredObservations = kSatKeyCount;
constexpr std::size_t kEpochBytes = 5 * sizeof(double) + 3 * sizeof(std::int32_t);
constexpr std::size_t kObservationBytes = 3 * sizeof(double) + 2 * sizeof(std::int32_t);

[[noreturn]] void failed(const char* what) {
    throw InputError(std::string("cannot ") + what + " the temporary epoch file: " + std::strerror(errno));
}

// Fields are packed one after the other, so that no padding byte reaches the file.
template <typename T>
unsigned char* put(unsigned char* at, const T& value) {
    std::memcpy(at, &value, sizeof value);
    return at + sizeof value;
}
template <typename T>
const unsigned char* get(const unsigned char* at, T& value) {
    std::memcpy(&value, at, sizeof value);
    return at + sizeof value;
}

}  // namespace

EpochStore::EpochStore() : buffer_(kBufferBytes) {
    file_ = std::tmpfile();
    if (file_ == nullptr) failed("create");
}

EpochStore::~EpochStore() {
    if (file_ != nullptr) std::fclose(file_);
    if (spill_ != nullptr) std::fclose(spill_);
}

std::FILE* EpochStore::spillFile() {
    if (spill_ == nullptr) spill_ = std::tmpfile();
    if (spill_ == nullptr) {
        throw InputError(std::string("cannot create the temporary results file: ") + std::strerror(errno));
    }
    return spill_;
}

void EpochStore::flush() {
    if (used_ > 0 && std::fwrite(buffer_.data(), 1, used_, file_) != used_) failed("write");
    used_ = 0;
}

void EpochStore::add(const StoredEpoch& epoch, const StoredObservation* observations) {
    if (epochs_ % kPlaceEvery == 0) {
        StorePlace place;
        place.offset = size_;
        place.countBefore = count_;
        place.lastBefore = last_;
        places_.push_back(place);
    }
    ++epochs_;
    const std::size_t bytes = kEpochBytes + static_cast<std::size_t>(epoch.count) * kObservationBytes;
    if (used_ + bytes > buffer_.size()) flush();
    unsigned char* at = buffer_.data() + used_;
    at = put(at, epoch.epochTime1);
    at = put(at, epoch.epochTime2);
    at = put(at, epoch.refRange1);
    at = put(at, epoch.refRange2);
    at = put(at, epoch.rho1Ref);
    at = put(at, epoch.refSlot);
    at = put(at, epoch.cached);
    at = put(at, epoch.count);
    for (int i = 0; i < epoch.count; ++i) {
        const StoredObservation& o = observations[i];
        at = put(at, o.ddObserved);
        at = put(at, o.weight);
        at = put(at, o.rho1);
        at = put(at, o.slot);
        at = put(at, o.cached);
        if (o.weight != 1.0) unitWeights_ = false;
        const std::size_t s = static_cast<std::size_t>(std::max(o.slot, 0));
        if (s >= count_.size()) {
            count_.resize(s + 1, 0);
            first_.resize(s + 1, 0.0);
            last_.resize(s + 1, 0.0);
        }
        if (count_[s] == 0) first_[s] = epoch.epochTime1;
        last_[s] = epoch.epochTime1;
        count_[s] += 1;
    }
    used_ += bytes;
    size_ += static_cast<long>(bytes);
    total_ += epoch.count;
}

void EpochStore::rewind() {
    if (!reader_) {
        flush();
        if (std::fflush(file_) != 0) failed("write");
    }
    reader_ = std::make_unique<StoreReader>(*this, 0, size_);
}

bool EpochStore::next(StoredEpoch& epoch, std::vector<StoredObservation>& observations) {
    return reader_ && reader_->next(epoch, observations);
}

StoreReader::StoreReader(const EpochStore& store, long from, long to)
    : fd_(store.descriptor()), next_(from), end_(to), buffer_(kBufferBytes) {}

// Makes at least `bytes` unread bytes available; false at the end of the part.
bool StoreReader::fill(std::size_t bytes) {
    if (used_ - at_ >= bytes) return true;
    std::memmove(buffer_.data(), buffer_.data() + at_, used_ - at_);
    used_ -= at_;
    at_ = 0;
    while (used_ < bytes && next_ < end_) {
        const std::size_t want = std::min(buffer_.size() - used_, static_cast<std::size_t>(end_ - next_));
        const ssize_t got = ::pread(fd_, buffer_.data() + used_, want, static_cast<off_t>(next_));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) failed("read");
        used_ += static_cast<std::size_t>(got);
        next_ += got;
    }
    return used_ >= bytes;
}

bool StoreReader::next(StoredEpoch& epoch, std::vector<StoredObservation>& observations) {
    if (!fill(kEpochBytes)) {
        if (used_ != at_) throw InputError("cannot read the temporary epoch file: record cut short");
        return false;
    }
    const unsigned char* at = buffer_.data() + at_;
    at = get(at, epoch.epochTime1);
    at = get(at, epoch.epochTime2);
    at = get(at, epoch.refRange1);
    at = get(at, epoch.refRange2);
    at = get(at, epoch.rho1Ref);
    at = get(at, epoch.refSlot);
    at = get(at, epoch.cached);
    at = get(at, epoch.count);
    at_ += kEpochBytes;
    if (epoch.count < 0 || epoch.count > kMaxStoredObservations) {
        throw InputError("cannot read the temporary epoch file: bad record");
    }
    if (observations.size() < static_cast<std::size_t>(epoch.count)) {
        observations.resize(static_cast<std::size_t>(epoch.count));
    }
    const std::size_t bytes = static_cast<std::size_t>(epoch.count) * kObservationBytes;
    if (!fill(bytes)) throw InputError("cannot read the temporary epoch file: record cut short");
    at = buffer_.data() + at_;
    for (int i = 0; i < epoch.count; ++i) {
        StoredObservation& o = observations[static_cast<std::size_t>(i)];
        at = get(at, o.ddObserved);
        at = get(at, o.weight);
        at = get(at, o.rho1);
        at = get(at, o.slot);
        at = get(at, o.cached);
    }
    at_ += bytes;
    return true;
}

}  // namespace varno::adjust_internal
