// The scratch files of the adjustment: the per-satellite scatter files and the gather file.
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "adjust/adjust.h"
#include "adjust/adjust_internal.h"
#include "textio/textio.h"

namespace varno {

namespace {

constexpr int kFirstDigitSlot = 27;
constexpr int kLettersCount = 26;
// A run never raises it: formob names the files of the first 35 slots by scrnam and later ones by their number.
constexpr int kScrnamStop = 98786;
constexpr int kOneCharacterNames = 35;

constexpr std::size_t kScratchBuffer = 1 << 16;
constexpr std::size_t kScatterDoubles = 12;
constexpr std::size_t kEquationDoubles = 6;
constexpr std::size_t kGatherRecordBytes = sizeof(std::int32_t) + sizeof(double) * 11;

std::string systemReason() { return std::strerror(errno); }

}  // namespace

std::string scrnam(int k) {
    if (k < 1 || k > kOneCharacterNames) stopRun(kScrnamStop);
    const char last = k <= kLettersCount ? static_cast<char>('A' + (k - 1))
                                         : static_cast<char>('0' + (k - kFirstDigitSlot));
    return std::string("ZZ-") + last;
}

std::string adjust_internal::scatterFileName(int k) { return k > kOneCharacterNames ? "ZZ-" + std::to_string(k) : scrnam(k); }

// ---------------------------------------------------------------------------------------------------------------

GatherFile::GatherFile() {
    file_ = std::tmpfile();
    if (file_ == nullptr) throw InputError("cannot create the temporary gather file: " + systemReason());
    std::setvbuf(file_, nullptr, _IOFBF, kScratchBuffer);
}

GatherFile::GatherFile(const std::string& directory) {
    const std::string path = (std::filesystem::path(directory) / "gather").string();
    SignalBlock block;  // the name exists only inside this block, so no signal can leave it behind
    file_ = std::fopen(path.c_str(), "w+bx");
    if (file_ == nullptr) throw InputError("cannot create the temporary gather file " + path + ": " + systemReason());
    std::remove(path.c_str());
}

GatherFile::~GatherFile() {
    if (file_ != nullptr) std::fclose(file_);
}

void GatherFile::write(const ScratchRecord& record) {
    // Slot and values are packed without the padding of the struct, so no indeterminate bytes reach the file.
    unsigned char buffer[kGatherRecordBytes];
    std::memcpy(buffer, &record.slot, sizeof record.slot);
    std::memcpy(buffer + sizeof record.slot, record.values.data(), sizeof(double) * record.values.size());
    if (std::fwrite(buffer, kGatherRecordBytes, 1, file_) != 1) {
        throw InputError("cannot write the temporary gather file: " + systemReason());
    }
}

bool GatherFile::read(ScratchRecord& record) {
    unsigned char buffer[kGatherRecordBytes];
    const std::size_t got = std::fread(buffer, 1, kGatherRecordBytes, file_);
    if (got == 0 && std::feof(file_)) return false;
    if (got != kGatherRecordBytes) throw InputError("cannot read the temporary gather file: record cut short");
    std::memcpy(&record.slot, buffer, sizeof record.slot);
    std::memcpy(record.values.data(), buffer + sizeof record.slot, sizeof(double) * record.values.size());
    return true;
}

void GatherFile::rewind() {
    // Seeking writes out what is buffered; its failure is a failed write.
    if (std::fseek(file_, 0, SEEK_SET) != 0) {
        throw InputError("cannot write the temporary gather file: " + systemReason());
    }
    std::clearerr(file_);
}

// ---------------------------------------------------------------------------------------------------------------

namespace adjust_internal {

ScatterFile::~ScatterFile() { close(); }

void ScatterFile::open(const std::string& directory, const std::string& name, bool equationsOnly) {
    close();
    equationsOnly_ = equationsOnly;
    path_ = (std::filesystem::path(directory) / name).string();
    // Created exclusively: a file of that name is not this run's and is neither overwritten nor removed.
    SignalBlock block;
    file_ = std::fopen(path_.c_str(), "w+bx");
    if (file_ != nullptr) guard_.hold(path_);
    if (file_ == nullptr) {
        if (errno == EEXIST) {
            throw InputError("cannot create " + path_ + ": a file of that name is in the way (left by an interrupted "
                             "run?); move or remove it");
        }
        throw InputError("cannot create " + path_ + ": " + systemReason());
    }
    // Large buffers: 35 of these files take a record each per epoch.
    std::setvbuf(file_, nullptr, _IOFBF, kScratchBuffer);
}

void ScatterFile::write(const ScatterRecord& record) {
    const std::array<double, kScatterDoubles> values{
        record.epochTime1, record.epochTime2, record.refRange1, record.refRange2,  record.satRange1,
        record.satRange2,  record.ddObserved, record.ddComputed, record.partials[0], record.partials[1],
        record.partials[2], record.weight};
    // The equation alone is the last six.
    const std::size_t count = equationsOnly_ ? kEquationDoubles : kScatterDoubles;
    if (std::fwrite(values.data() + (kScatterDoubles - count), sizeof(double), count, file_) != count) {
        throw InputError("cannot write " + path_ + ": " + systemReason());
    }
}

void ScatterFile::rewind() {
    if (std::fseek(file_, 0, SEEK_SET) != 0) throw InputError("cannot write " + path_ + ": " + systemReason());
    std::clearerr(file_);
}

bool ScatterFile::read(ScatterRecord& record) {
    std::array<double, kScatterDoubles> values{};
    const std::size_t count = equationsOnly_ ? kEquationDoubles : kScatterDoubles;
    const std::size_t got = std::fread(values.data() + (kScatterDoubles - count), sizeof(double), count, file_);
    if (got == 0 && std::feof(file_)) return false;
    if (got != count) throw InputError("cannot read " + path_ + ": record cut short");
    record.epochTime1 = values[0];
    record.epochTime2 = values[1];
    record.refRange1 = values[2];
    record.refRange2 = values[3];
    record.satRange1 = values[4];
    record.satRange2 = values[5];
    record.ddObserved = values[6];
    record.ddComputed = values[7];
    record.weight = values[11];
    record.partials = {values[8], values[9], values[10]};
    return true;
}

bool nextObservation(GatherFile& gather, int satCount, GatheredObservation& observation) {
    ScratchRecord record;
    while (gather.read(record)) {
        if (record.slot < 1 || record.slot > satCount) continue;
        observation.slot = record.slot;
        observation.epochTime1 = record.values[0];
        observation.epochTime2 = record.values[1];
        observation.refRange1 = record.values[2];
        observation.refRange2 = record.values[3];
        observation.satRange1 = record.values[4];
        observation.satRange2 = record.values[5];
        observation.ddObserved = record.values[6];
        observation.weight = record.values[7];
        return true;
    }
    return false;
}

void ScatterFile::close() {
    if (file_ == nullptr) return;
    std::fclose(file_);
    file_ = nullptr;
    SignalBlock block;
    std::remove(path_.c_str());
    guard_.release();
}

}  // namespace adjust_internal

}  // namespace varno
