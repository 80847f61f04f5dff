// The pool of ephemeris records, the choice of a record for a satellite at a time, and the pool as an orbit.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "broadcast/broadcast.h"

namespace varno {

namespace {

constexpr double kHour = 3600.0;
// Signal times within this of their epoch are served by the expansion about the epoch (see BroadcastOrbit).
constexpr double kExpansionReach = 0.5;  // s
constexpr double kExpansionStep = 0.1;   // s, the half-width of the differences that give velocity and acceleration

std::atomic<unsigned long> orbitCount{0};

// The record chosen for one satellite at one epoch (null: none usable) and the position, velocity and acceleration
// there that its evaluations at the epoch and kExpansionStep either side give.
struct Formed {
    const Ephemeris* record = nullptr;
    std::array<double, 3> position{}, velocity{}, acceleration{};
};

Formed form(const NavPool& pool, SatId sat, const GpsTime& at) {
    Formed f;
    f.record = chooseRecord(pool, sat, at);
    if (f.record == nullptr) return f;
    const SatelliteState mid = ephemerisState(*f.record, at);
    const SatelliteState before = ephemerisState(*f.record, at + (-kExpansionStep));
    const SatelliteState after = ephemerisState(*f.record, at + kExpansionStep);
    for (std::size_t k = 0; k < 3; ++k) {
        f.position[k] = mid.position[k];
        f.velocity[k] = (after.position[k] - before.position[k]) / (2.0 * kExpansionStep);
        f.acceleration[k] =
            (after.position[k] - 2.0 * mid.position[k] + before.position[k]) / (kExpansionStep * kExpansionStep);
    }
    return f;
}

// What a thread holds of one satellite about one epoch: the expansion and the record's toc in seconds of the run.
struct Expansion {
    unsigned long orbit = 0;  // the BroadcastOrbit's number; 0: empty
    double epoch = 0.0;
    Formed formed;
    double toc = 0.0;
};
// Two per satellite and thread, in front of the orbit's own store, which a thread asks only when neither serves:
// the signal times of one epoch come one after the other on a thread, the two receivers' often with epochs (their
// own time tags) a little apart. The older of the two is replaced.
struct ExpansionPair {
    std::array<Expansion, 2> entry;
    int last = 0;  // the entry used last
};
thread_local std::array<ExpansionPair, kSatKeyCount> expansions;

bool before(const Ephemeris& a, const Ephemeris& b) {
    if (!(a.toe == b.toe)) return a.toe < b.toe;
    return a.transmitted < b.transmitted;
}

// The best record of one message family (Galileo INAV or FNAV; every record for the other systems).
const Ephemeris* nearest(const std::vector<Ephemeris>& records, const GpsTime& t, double reach, bool fnav) {
    const GpsTime from = t + (-reach);
    auto it = std::lower_bound(records.begin(), records.end(), from,
                               [](const Ephemeris& r, const GpsTime& at) { return r.toe < at; });
    const Ephemeris* best = nullptr;
    double bestDistance = 0.0;
    for (; it != records.end(); ++it) {
        const double off = it->toe - t;
        if (off > reach) break;
        if (!it->healthy || (it->message == NavMessage::fnav) != fnav) continue;
        const double distance = std::fabs(off);
        if (distance > recordReach(*it)) continue;
        if (best == nullptr || distance < bestDistance ||
            (distance == bestDistance && !(it->transmitted < best->transmitted))) {
            best = &*it;
            bestDistance = distance;
        }
    }
    return best;
}

}  // namespace

bool NavPool::add(const Ephemeris& record) {
    std::vector<Ephemeris>& list = bySat_[static_cast<std::size_t>(record.sat.key())];
    for (const Ephemeris& held : list) {
        if (held.message == record.message && held.toe == record.toe && held.issue == record.issue) {
            ++repeats_;
            return false;
        }
    }
    list.insert(std::upper_bound(list.begin(), list.end(), record, before), record);
    if (count_ == 0 || record.toe < first_) first_ = record.toe;
    if (count_ == 0 || last_ < record.toe) last_ = record.toe;
    ++count_;
    return true;
}

const std::vector<Ephemeris>& NavPool::records(SatId sat) const { return bySat_[static_cast<std::size_t>(sat.key())]; }

std::vector<SatId> NavPool::satellites() const {
    std::vector<SatId> out;
    for (const std::vector<Ephemeris>& list : bySat_) {
        if (!list.empty()) out.push_back(list.front().sat);
    }
    std::sort(out.begin(), out.end());
    return out;
}

int NavPool::recordCount(GnssSystem system) const {
    int n = 0;
    for (const std::vector<Ephemeris>& list : bySat_) {
        if (!list.empty() && list.front().sat.system == system) n += static_cast<int>(list.size());
    }
    return n;
}

double recordReach(const Ephemeris& record) {
    switch (record.sat.system) {
        case GnssSystem::galileo: return 4 * kHour;
        case GnssSystem::beidou: return 6 * kHour;
        case GnssSystem::glonass: return 0.5 * kHour;
        default: return std::max(2 * kHour, record.fitHours * kHour / 2);
    }
}

const Ephemeris* chooseRecord(const NavPool& pool, SatId sat, const GpsTime& t) {
    const std::vector<Ephemeris>& records = pool.records(sat);
    if (records.empty()) return nullptr;
    double reach = 0.0;
    if (sat.system == GnssSystem::gps || sat.system == GnssSystem::qzss) {
        for (const Ephemeris& r : records) reach = std::max(reach, recordReach(r));
    } else {
        reach = recordReach(records.front());
    }
    const Ephemeris* best = nearest(records, t, reach, false);
    if (best == nullptr && sat.system == GnssSystem::galileo) best = nearest(records, t, reach, true);
    return best;
}

// Every expansion formed so far, by satellite and epoch: each pass over the data asks for the same ones again, in
// time order. A satellite's expansions lie in blocks of kBlockSeconds, each a vector in increasing epoch, so that
// the next epoch's is found beside the last one; they are guarded by the satellite's own lock, held only to look
// up or to file one. Forming happens outside it (two threads that form the same one at once file equal values,
// and the second is dropped).
struct BroadcastOrbit::Expansions {
    static constexpr double kBlockSeconds = 64.0;
    using Block = std::vector<std::pair<double, Formed>>;
    struct Satellite {
        std::mutex lock;
        std::unordered_map<long long, Block> blocks;
    };
    std::array<Satellite, kSatKeyCount> bySat;

    Formed at(const NavPool& pool, const GpsTime& reference, SatId sat, double epoch) {
        Satellite& held = bySat[static_cast<std::size_t>(sat.key())];
        const long long index = static_cast<long long>(std::floor(epoch / kBlockSeconds));
        const auto earlier = [](const std::pair<double, Formed>& entry, double at) { return entry.first < at; };
        {
            const std::lock_guard<std::mutex> guard(held.lock);
            const auto block = held.blocks.find(index);
            if (block != held.blocks.end()) {
                const auto found = std::lower_bound(block->second.begin(), block->second.end(), epoch, earlier);
                if (found != block->second.end() && found->first == epoch) return found->second;
            }
        }
        const Formed formed = form(pool, sat, reference + epoch);
        const std::lock_guard<std::mutex> guard(held.lock);
        Block& block = held.blocks[index];
        const auto place = std::lower_bound(block.begin(), block.end(), epoch, earlier);
        if (place == block.end() || place->first != epoch) block.emplace(place, epoch, formed);
        return formed;
    }
};

BroadcastOrbit::~BroadcastOrbit() = default;

BroadcastOrbit::BroadcastOrbit(const NavPool& pool, int referenceMjd)
    : pool_(pool), reference_(gpsTimeOfMjd(referenceMjd, 0.0)), satellites_(pool.satellites()),
      number_(++orbitCount), expansions_(std::make_unique<Expansions>()) {
    bool any = false;
    for (SatId sat : satellites_) {
        for (const Ephemeris& r : pool.records(sat)) {
            const double from = (r.toe - reference_) - recordReach(r);
            const double to = (r.toe - reference_) + recordReach(r);
            if (!any || from < first_) first_ = from;
            if (!any || to > last_) last_ = to;
            any = true;
        }
    }
}

int BroadcastOrbit::epochsWithoutRecord(SatId sat, double start, double stop, double interval, int& epochs) const {
    int lacking = 0;
    epochs = 0;
    if (!(interval > 0.0)) return lacking;
    const int count = static_cast<int>(std::floor((stop - start) / interval + 1e-9)) + 1;
    epochs = count;
    for (int k = 0; k < count; ++k) {
        if (chooseRecord(pool_, sat, reference_ + (start + static_cast<double>(k) * interval)) == nullptr) ++lacking;
    }
    return lacking;
}

bool BroadcastOrbit::serves(SatId sat, double epoch) const {
    return std::isfinite(epoch) && expansions_->at(pool_, reference_, sat, epoch).record != nullptr;
}

bool BroadcastOrbit::state(SatId sat, double t, double epoch, SatelliteState& state, OrbitMiss& miss) const {
    if (!std::isfinite(t) || !std::isfinite(epoch)) {
        miss = OrbitMiss::outsideSpan;
        return false;
    }
    ExpansionPair& held = expansions[static_cast<std::size_t>(sat.key())];
    Expansion* x = nullptr;
    for (int k = 0; k < 2; ++k) {
        Expansion& entry = held.entry[static_cast<std::size_t>(k)];
        if (entry.orbit == number_ && entry.epoch == epoch) {
            x = &entry;
            held.last = k;
        }
    }
    if (x == nullptr) {
        held.last = 1 - held.last;
        x = &held.entry[static_cast<std::size_t>(held.last)];
        x->orbit = 0;
        x->formed = expansions_->at(pool_, reference_, sat, epoch);
        if (x->formed.record == nullptr) {
            miss = pool_.records(sat).empty() ? OrbitMiss::notCarried : OrbitMiss::noRecord;
            return false;
        }
        x->toc = x->formed.record->toc - reference_;
        x->orbit = number_;
        x->epoch = epoch;
    }
    const Formed& f = x->formed;
    const double dt = t - epoch;
    if (std::fabs(dt) > kExpansionReach) {
        state = ephemerisState(*f.record, reference_ + t);
        return true;
    }
    for (std::size_t k = 0; k < 3; ++k) {
        state.position[k] = f.position[k] + (f.velocity[k] + 0.5 * f.acceleration[k] * dt) * dt;
    }
    const double dc = t - x->toc;
    state.clock = f.record->af0 + f.record->af1 * dc + f.record->af2 * dc * dc;
    return true;
}

}  // namespace varno
